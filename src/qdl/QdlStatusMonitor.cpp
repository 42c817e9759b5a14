#include "qdl/QdlStatusMonitor.h"

#include "platform/Pause.h"

const wchar_t* const QDL_STATUS_CHANGE_EVENT_NAME = L"Global\\QDL_STATUS_CHANGE_EVENT";
const wchar_t* const QDL_STATUS_KEY = L"Software\\Corvane\\QDL";
const wchar_t* const QDL_STATUS_VALUE = L"Status";

namespace
{
// The monitor whose thread this is, so that a callback that registers or
// removes callbacks is recognised and does not wait for its own thread.
thread_local const CQdlStatusMonitor* t_pOwnMonitor = nullptr;

// Never spin on a wait that keeps failing.
const DWORD FAILED_WAIT_BACKOFF_MS = 10;

// The process-wide monitor: constructed before the program's start-up code
// runs, torn down after it has returned.
CQdlStatusMonitor g_QdlStatusMonitor;
}

CQdlStatusMonitor::CQdlStatusMonitor() : m_dwThreadId(0), m_bStopping(false)
{
    // The monitor only waits on the service's event, so it asks for no more
    // than that: an event whose owner grants ordinary users only SYNCHRONIZE
    // still opens.
    m_hStatusChangeEvent.reset(::OpenEventW(SYNCHRONIZE, FALSE, QDL_STATUS_CHANGE_EVENT_NAME));
    m_hStopEvent.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
}

CQdlStatusMonitor::~CQdlStatusMonitor()
{
    // A thread left running would wait on handles that are about to close and
    // call into a destroyed set: end it first.
    CLock control(m_csControl);
    RemoveCallbacks();
    if (m_hThread)
    {
        // It did not end in time. It calls nothing any more, but it may still
        // wait on the events: leave them open rather than let it wait on
        // handle values that the process may reuse.
        m_hStatusChangeEvent.release();
        m_hStopEvent.release();
    }
}

DWORD CQdlStatusMonitor::RegisterQdlStatusCallback(QdlStatusCallback pfnCallback)
{
    if (OnMonitorThread())
    {
        // A callback changing the set: its own thread is running, so there is
        // nothing to start, and it cannot wait for itself to end.
        CLock lock(m_csCallbacks);
        if (!pfnCallback)
        {
            m_setCallbacks.clear();
            ::SetEvent(m_hStopEvent.get());
            return 0;
        }
        try
        {
            m_setCallbacks.insert(pfnCallback);
        }
        catch (...)
        {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        return 0;
    }
    CLock control(m_csControl);
    return pfnCallback ? AddCallback(pfnCallback) : RemoveCallbacks();
}

DWORD CQdlStatusMonitor::GetThreadId() const
{
    return m_dwThreadId.load();
}

DWORD CQdlStatusMonitor::AddCallback(QdlStatusCallback pfnCallback)
{
    bool bAdded = false;
    bool bThreadEnding = false;
    {
        CLock lock(m_csCallbacks);
        try
        {
            bAdded = m_setCallbacks.insert(pfnCallback).second;
        }
        catch (...)
        {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        bThreadEnding = m_bThreadEnding;
    }
    // Without the service's event the callback stays registered but is never
    // called: there is nothing to watch.
    if (!m_hStatusChangeEvent || !m_hStopEvent)
        return 0;
    if (!ReleaseFinishedThread(bThreadEnding))
    {
        // A removed thread that is still on its way out, past every wait:
        // starting a second one beside it could notify twice. The callback
        // stays registered without a watcher, as without the service's event.
        return 0;
    }
    if (m_hThread || StartThread())
        return 0;

    DWORD dwError = ::GetLastError();
    if (bAdded)
    {
        CLock lock(m_csCallbacks);
        m_setCallbacks.erase(pfnCallback);
    }
    return dwError ? dwError : ERROR_GEN_FAILURE;
}

DWORD CQdlStatusMonitor::RemoveCallbacks()
{
    // First the stop, so that a thread kept busy by an event that stays set
    // leaves its notifications and cannot hold the lock against us.
    m_bStopping.store(true);
    if (m_hStopEvent)
        ::SetEvent(m_hStopEvent.get());
    {
        // Waits for a notification in progress to end; none starts afterwards
        // that could reach a removed callback.
        CLock lock(m_csCallbacks);
        m_setCallbacks.clear();
    }
    StopThread();
    return 0;
}

bool CQdlStatusMonitor::StartThread()
{
    // No thread runs now, so a stop signalled earlier is stale and must not
    // end the new thread at its first wait.
    ::ResetEvent(m_hStopEvent.get());
    m_bThreadEnding = false;
    m_bStopping.store(false);
    DWORD dwThreadId = 0;
    m_hThread.reset(::CreateThread(nullptr, 0, QdlStatusMonitorThread, this, 0, &dwThreadId));
    if (!m_hThread)
        return false;
    m_dwThreadId.store(dwThreadId);
    return true;
}

// True when the thread has ended; otherwise its handle is kept, and the next
// registration looks again.
bool CQdlStatusMonitor::StopThread()
{
    if (!m_hThread)
        return true;
    if (::WaitForSingleObject(m_hThread.get(), THREAD_END_WAIT_MS) != WAIT_OBJECT_0)
        return false;
    m_hThread.reset();
    m_dwThreadId.store(0);
    return true;
}

// Lets go of a thread that no longer watches; false when a removed thread is
// still running and must end before another one starts.
bool CQdlStatusMonitor::ReleaseFinishedThread(bool bThreadEnding)
{
    if (!m_hThread)
        return true;
    // A callback may have removed everything from the monitor thread itself;
    // that thread ends without anyone waiting for it, and once it is on its
    // way out it touches nothing of the monitor: its handle simply goes.
    if (bThreadEnding || ::WaitForSingleObject(m_hThread.get(), 0) == WAIT_OBJECT_0)
    {
        m_hThread.reset();
        m_dwThreadId.store(0);
        return true;
    }
    // A thread that a removal stopped but that had not ended in time.
    if (m_bStopping.load())
        return StopThread();
    return true;
}

bool CQdlStatusMonitor::OnMonitorThread() const
{
    return t_pOwnMonitor == this;
}

DWORD WINAPI CQdlStatusMonitor::QdlStatusMonitorThread(LPVOID pParam)
{
    CQdlStatusMonitor* pMonitor = static_cast<CQdlStatusMonitor*>(pParam);
    if (!pMonitor)
        return 0;
    t_pOwnMonitor = pMonitor;
    try
    {
        pMonitor->WatchStatus();
    }
    catch (...)
    {
    }
    t_pOwnMonitor = nullptr;
    return 0;
}

void CQdlStatusMonitor::WatchStatus()
{
    DWORD dwStatus = QDL_STATUS_UNKNOWN;
    for (;;)
    {
        HANDLE ahEvents[2] = {m_hStatusChangeEvent.get(), m_hStopEvent.get()};
        DWORD dwWait = ::WaitForMultipleObjects(2, ahEvents, FALSE, INFINITE);
        if (dwWait == WAIT_OBJECT_0)
        {
            dwStatus = ReadStatus(dwStatus);
            NotifyCallbacks(dwStatus);
            // The change went first; now the stop gets its turn, looked at
            // without waiting: a service event that stays set, or is set
            // again at once, would otherwise win every wait.
            if (::WaitForSingleObject(m_hStopEvent.get(), 0) == WAIT_OBJECT_0 && StopRequested())
                return;
        }
        else if (dwWait == WAIT_OBJECT_0 + 1)
        {
            if (StopRequested())
                return;
        }
        else
        {
            ToviPause(FAILED_WAIT_BACKOFF_MS);
        }
    }
}

// Called once the stop event was taken: whether the thread is to end.
bool CQdlStatusMonitor::StopRequested()
{
    if (m_bStopping.load())
        return true;
    // A callback may have removed and re-added callbacks from this very
    // thread; such a stop only counts when nothing is left to call.
    CLock lock(m_csCallbacks);
    if (!m_setCallbacks.empty())
        return false;
    m_bThreadEnding = true;
    return true;
}

DWORD CQdlStatusMonitor::ReadStatus(DWORD dwLastStatus) const
{
    // Reading needs no more than query rights, which every user has.
    CRegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, QDL_STATUS_KEY, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return dwLastStatus;
    DWORD dwStatus = 0;
    DWORD cbStatus = sizeof(dwStatus);
    // The value's type is the service's business; its size must be that of a status.
    if (::RegQueryValueExW(key.get(), QDL_STATUS_VALUE, nullptr, nullptr, reinterpret_cast<BYTE*>(&dwStatus),
                           &cbStatus) != ERROR_SUCCESS ||
        cbStatus != sizeof(dwStatus))
        return dwLastStatus;
    return dwStatus;
}

void CQdlStatusMonitor::NotifyCallbacks(DWORD dwStatus)
{
    // A removal is under way: it is waiting for the lock, and what it removes
    // must not be called.
    if (m_bStopping.load())
        return;
    CLock lock(m_csCallbacks);
    // Ascending addresses. The next callback is looked up after each call, so a
    // callback that changes the set from this thread never leaves a stale
    // iterator, and a callback it removed is not called.
    auto it = m_setCallbacks.begin();
    while (it != m_setCallbacks.end())
    {
        QdlStatusCallback pfnCallback = *it;
        pfnCallback(dwStatus);
        it = m_setCallbacks.upper_bound(pfnCallback);
    }
}

DWORD RegisterQdlStatusCallback(QdlStatusCallback pfnCallback)
{
    return g_QdlStatusMonitor.RegisterQdlStatusCallback(pfnCallback);
}
