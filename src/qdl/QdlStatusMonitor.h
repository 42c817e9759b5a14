#pragma once
// Follows the download service: a thread waits for the service's change event,
// reads its "Status" value and hands it to every registered callback.
#include <windows.h>

#include <atomic>
#include <set>

#include "platform/Handles.h"

// Runs on the monitor's thread with the service's 32-bit status, unchanged.
// It must return promptly: a removal waits for a notification in progress.
// The agent's only stores the value and signals an event.
typedef void (*QdlStatusCallback)(DWORD dwStatus);

// What the callbacks receive when "Status" could not be read even once since
// the monitor thread started.
const DWORD QDL_STATUS_UNKNOWN = 0xFFFFFFFF;

extern const wchar_t* const QDL_STATUS_CHANGE_EVENT_NAME;  // L"Global\\QDL_STATUS_CHANGE_EVENT"
extern const wchar_t* const QDL_STATUS_KEY;                // L"Software\\Corvane\\QDL" under HKLM
extern const wchar_t* const QDL_STATUS_VALUE;              // L"Status"

class CQdlStatusMonitor
{
public:
    // Opens the service's event if it exists by now; without it the monitor
    // never starts a thread.
    CQdlStatusMonitor();
    // Stops a thread that is still running and waits a short while for it to
    // end, then closes the events.
    ~CQdlStatusMonitor();
    CQdlStatusMonitor(const CQdlStatusMonitor&) = delete;
    CQdlStatusMonitor& operator=(const CQdlStatusMonitor&) = delete;

    // With a callback: adds it and starts the thread for the first one.
    // With nullptr: removes every callback and ends the thread; once this has
    // returned no removed callback is called again. It waits for a notification
    // in progress and then at most THREAD_END_WAIT_MS for the thread, whatever
    // the service does with its event. 0 on success.
    DWORD RegisterQdlStatusCallback(QdlStatusCallback pfnCallback);

    // The running monitor thread's ID, 0 when none runs.
    DWORD GetThreadId() const;

private:
    static DWORD WINAPI QdlStatusMonitorThread(LPVOID pParam);
    void WatchStatus();
    DWORD ReadStatus(DWORD dwLastStatus) const;
    void NotifyCallbacks(DWORD dwStatus);

    DWORD AddCallback(QdlStatusCallback pfnCallback);
    DWORD RemoveCallbacks();
    bool StartThread();
    bool StopThread();
    bool ReleaseFinishedThread(bool bThreadEnding);
    bool StopRequested();
    bool OnMonitorThread() const;

    std::set<QdlStatusCallback> m_setCallbacks;
    CHandle m_hThread;
    // Read by GetThreadId from any thread.
    std::atomic<DWORD> m_dwThreadId;
    CHandle m_hStatusChangeEvent;
    CHandle m_hStopEvent;
    // Serialises registrations and removals, which start and join the thread.
    CCriticalSection m_csControl;
    // Guards the set; held by NotifyCallbacks for the whole notification, so a
    // removal waits until a notification in progress is over.
    mutable CCriticalSection m_csCallbacks;
    // Set under m_csCallbacks by a thread that found the set empty at a stop
    // and is on its way out: it will call nothing more, whatever is added.
    bool m_bThreadEnding = false;
    // Set by a removal from another thread before it signals the stop: the
    // thread starts no further notification and ends at its next look at the
    // stop event, without needing the callbacks' lock.
    std::atomic<bool> m_bStopping;
};

// How long a removal, or the teardown, waits for the monitor thread to end
// once no notification is in progress.
const DWORD THREAD_END_WAIT_MS = 2000;

// The process-wide monitor's registration.
DWORD RegisterQdlStatusCallback(QdlStatusCallback pfnCallback);
