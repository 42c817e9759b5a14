#pragma once
// Delivers "the modem went away" to the removal callbacks of every process
// that uses the same state file. A process that registers a callback gets a
// named auto-reset event of its own ("ToviSim.Removal.<state key>.<process
// ID>"), waited on by the system's thread pool, and its process ID is listed
// in the state so that whoever resets the modem can signal it.
//
// A program need never unregister. The wait holds no reference on the
// library and no thread of its own, so nothing keeps the library loaded or
// the process running. When the process frees the library, the wait is
// removed before the library's code goes (Shutdown, from DllMain): a callback
// in progress is waited for, and none comes afterwards. A process that ends
// takes its event with it, and the next reset drops it from the list.
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

    // Sets this process's callback and starts waiting for this state file's
    // removals. A null callback delivers nothing further. False when the wait
    // could not be set up.
    bool Register(TOVI_DEVICE_REMOVAL_CALLBACK pCallback, const std::wstring& statePath);
    // The library is being freed: after this no callback runs. Waits for one
    // in progress at most kShutdownWaitMs.
    void Shutdown();
    // Signals every listening process of the state (under the state's lock)
    // and drops the ones that are gone.
    static void NotifyAll(CModemState& state, const std::wstring& statePath);

    static const DWORD kShutdownWaitMs = 5000;

private:
    CRemovalNotifier() = default;
    static std::wstring EventName(const std::wstring& statePath, DWORD processId);
    static VOID CALLBACK OnRemoval(PVOID pContext, BOOLEAN timedOut);
    void StopWaiting();

    CCriticalSection m_cs;
    TOVI_DEVICE_REMOVAL_CALLBACK volatile m_pCallback = nullptr;
    HANDLE m_hWait = nullptr;
    CHandle m_hEvent;
    std::wstring m_statePath;
    DWORD volatile m_dwDeliveringThread = 0;
};
