#pragma once
// The file that holds the simulated modem's state for every process that uses
// it, and the named mutex that guards it: each process reads, changes and
// writes the state while it holds the mutex, and writes by replacing the file
// with a complete new one, so a reader never sees half a state.
#include <windows.h>

#include <string>

#include "ModemState.h"
#include "platform/Handles.h"

class CStateFile
{
public:
    // %TOVISIM_STATE% when set, else besideModule (BesideModule's answer,
    // asked once: asking the loader at every call could wait for the loader's
    // lock while the library is being unloaded).
    static std::wstring DefaultPath(const std::wstring& besideModule);
    // "tovisim.state" in the module's folder.
    static std::wstring BesideModule(HMODULE module);
    // A 32-bit hash of the upper-cased full path, as hexadecimal text: names
    // the mutex and the removal events that belong to one state file.
    static std::wstring PathKey(const std::wstring& path);

    explicit CStateFile(const std::wstring& path);
    const std::wstring& Path() const { return m_path; }

    // Waits for the mutex (an abandoned one is taken over: the file is whole).
    bool Lock(DWORD timeoutMs = 60000);
    void Unlock();

    // Under the lock. A missing file gives a fresh state without a modem;
    // an unreadable one gives SimError::kStateCorrupt.
    ULONG Load(CModemState& state) const;
    ULONG Save(const CModemState& state) const;

private:
    std::wstring m_path;
    CHandle m_hMutex;
    bool m_bLocked = false;
};

// Holds a state file's lock for one scope.
class CStateLock
{
public:
    explicit CStateLock(CStateFile& file) : m_file(file), m_bLocked(file.Lock()) {}
    ~CStateLock()
    {
        if (m_bLocked)
            m_file.Unlock();
    }
    CStateLock(const CStateLock&) = delete;
    CStateLock& operator=(const CStateLock&) = delete;
    bool Locked() const { return m_bLocked; }

private:
    CStateFile& m_file;
    bool m_bLocked;
};
