#pragma once
// Delivers "the modem went away" to the removal callbacks of every process
// that uses the same state file. A process that registers a callback gets a
// named auto-reset event of its own ("ToviSim.Removal.<state key>.<process
// ID>") and a thread that waits on it and calls the callback; its process ID
// is listed in the state so that whoever resets the modem can signal it.
#include <windows.h>

#include <string>
#include <vector>

#include "ModemState.h"
#include "modem/ToviApi.h"
#include "platform/Handles.h"

class CRemovalNotifier
{
public:
    static CRemovalNotifier& Instance();

    // Starts (or keeps) the waiting thread for this state file, or stops it
    // when the callback is null. False when the thread could not be started.
    bool Register(TOVI_DEVICE_REMOVAL_CALLBACK pCallback, const std::wstring& statePath);
    // Signals every listening process of the state (under the state's lock)
    // and drops the ones that are gone.
    static void NotifyAll(CModemState& state, const std::wstring& statePath);

private:
    CRemovalNotifier() = default;
    static std::wstring EventName(const std::wstring& statePath, DWORD processId);
    static DWORD WINAPI ThreadProc(LPVOID pParameter);
    void Stop();

    CCriticalSection m_cs;
    TOVI_DEVICE_REMOVAL_CALLBACK volatile m_pCallback = nullptr;
    CHandle m_hThread;
    DWORD m_dwThreadId = 0;
    CHandle m_hStop;
    std::wstring m_statePath;
};
