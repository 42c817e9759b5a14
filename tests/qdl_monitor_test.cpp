// The download status monitor against a stand-in for the download service:
// the test owns the service's event and its "Status" value.
#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Handles.h"
#include "qdl/QdlStatusMonitor.h"

namespace
{
const DWORD WAIT_FOR_CALLS_MS = 5000;
// How long the test watches for calls that must not come.
const DWORD QUIET_MS = 200;

struct CCall
{
    QdlStatusCallback pfnCallback;
    DWORD dwStatus;
    bool operator==(const CCall& other) const
    {
        return pfnCallback == other.pfnCallback && dwStatus == other.dwStatus;
    }
};

class CCallLog
{
public:
    void Add(QdlStatusCallback pfnCallback, DWORD dwStatus)
    {
        CLock lock(m_cs);
        m_calls.push_back({pfnCallback, dwStatus});
    }
    std::vector<CCall> Calls()
    {
        CLock lock(m_cs);
        return m_calls;
    }
    size_t Count()
    {
        CLock lock(m_cs);
        return m_calls.size();
    }
    void Clear()
    {
        CLock lock(m_cs);
        m_calls.clear();
    }

private:
    CCriticalSection m_cs;
    std::vector<CCall> m_calls;
};

CCallLog g_calls;

void CallbackA(DWORD dwStatus)
{
    g_calls.Add(CallbackA, dwStatus);
}

void CallbackB(DWORD dwStatus)
{
    g_calls.Add(CallbackB, dwStatus);
}

bool WaitUntil(const std::function<bool()>& done, DWORD dwTimeoutMs)
{
    DWORD dwStart = ::GetTickCount();
    while (!done())
    {
        if (::GetTickCount() - dwStart > dwTimeoutMs)
            return false;
        ::Sleep(5);
    }
    return true;
}

bool WaitForCalls(size_t count)
{
    return WaitUntil([count] { return g_calls.Count() >= count; }, WAIT_FOR_CALLS_MS);
}

int CountOwnThreads()
{
    CHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry))
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId())
            ++count;
    return count;
}

bool ThreadIsAlive(DWORD dwThreadId)
{
    CHandle thread(::OpenThread(SYNCHRONIZE, FALSE, dwThreadId));
    return thread && ::WaitForSingleObject(thread.get(), 0) == WAIT_TIMEOUT;
}

// Plays the download service: its event and its registry value, both removed
// again after each test.
class QdlMonitorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_calls.Clear();
        CreateServiceKey();
    }

    void TearDown() override
    {
        m_event.reset();
        DeleteServiceKey();
    }

    void CreateServiceEvent()
    {
        m_event.reset(::CreateEventW(nullptr, FALSE, FALSE, QDL_STATUS_CHANGE_EVENT_NAME));
        ASSERT_TRUE(m_event) << ::GetLastError();
        ASSERT_NE(ERROR_ALREADY_EXISTS, ::GetLastError()) << "another process owns the service's event";
    }

    void CreateServiceKey()
    {
        DWORD dwDisposition = 0;
        CRegKey corvane;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Corvane", 0, nullptr, 0,
                                                   KEY_ALL_ACCESS, nullptr, corvane.put(), &dwDisposition));
        m_bCreatedCorvane = m_bCreatedCorvane || dwDisposition == REG_CREATED_NEW_KEY;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, QDL_STATUS_KEY, 0, nullptr, 0, KEY_ALL_ACCESS,
                                                   nullptr, m_key.put(), &dwDisposition));
        m_bCreatedQdl = m_bCreatedQdl || dwDisposition == REG_CREATED_NEW_KEY;
    }

    void DeleteServiceKey()
    {
        if (m_key)
            ::RegDeleteValueW(m_key.get(), QDL_STATUS_VALUE);
        m_key.reset();
        if (m_bCreatedQdl)
            ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, QDL_STATUS_KEY);
        if (m_bCreatedCorvane)
            ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Corvane");
    }

    void WriteStatus(DWORD dwType, const void* pData, DWORD cbData)
    {
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(m_key.get(), QDL_STATUS_VALUE, 0, dwType,
                                                  static_cast<const BYTE*>(pData), cbData));
    }
    void WriteStatus(DWORD dwStatus) { WriteStatus(REG_DWORD, &dwStatus, sizeof(dwStatus)); }
    void DeleteStatus() { ::RegDeleteValueW(m_key.get(), QDL_STATUS_VALUE); }

    void SignalChange() { ASSERT_TRUE(::SetEvent(m_event.get())); }

    // Signals one change and returns what it delivered once the calls have come.
    std::vector<CCall> ChangeAndCollect(size_t expectedCalls)
    {
        g_calls.Clear();
        ::SetEvent(m_event.get());
        EXPECT_TRUE(WaitForCalls(expectedCalls));
        ::Sleep(QUIET_MS / 4);
        return g_calls.Calls();
    }

    CHandle m_event;
    CRegKey m_key;
    bool m_bCreatedCorvane = false;
    bool m_bCreatedQdl = false;
};

TEST_F(QdlMonitorTest, FirstRegistrationStartsOneThreadAndRepeatsStartNone)
{
    CreateServiceEvent();
    CQdlStatusMonitor monitor;
    EXPECT_EQ(0u, monitor.GetThreadId());
    int threadsBefore = CountOwnThreads();

    EXPECT_EQ(0u, monitor.RegisterQdlStatusCallback(CallbackA));
    DWORD dwThreadId = monitor.GetThreadId();
    ASSERT_NE(0u, dwThreadId);
    EXPECT_TRUE(ThreadIsAlive(dwThreadId));
    EXPECT_EQ(threadsBefore + 1, CountOwnThreads());

    EXPECT_EQ(0u, monitor.RegisterQdlStatusCallback(CallbackA));
    EXPECT_EQ(0u, monitor.RegisterQdlStatusCallback(CallbackB));
    EXPECT_EQ(dwThreadId, monitor.GetThreadId());
    EXPECT_EQ(threadsBefore + 1, CountOwnThreads());

    // The same callback registered twice is still called once per change.
    WriteStatus(3);
    std::vector<CCall> calls = ChangeAndCollect(2);
    EXPECT_EQ(1, std::count(calls.begin(), calls.end(), CCall{CallbackA, 3}));
    EXPECT_EQ(2u, calls.size());
}

TEST_F(QdlMonitorTest, StatusChangeReachesEveryCallbackOnceLowerAddressFirst)
{
    CreateServiceEvent();
    CQdlStatusMonitor monitor;
    // Registered in the order opposite to their addresses, so that only the
    // address decides.
    QdlStatusCallback pfnLow = std::min(CallbackA, CallbackB, std::less<QdlStatusCallback>());
    QdlStatusCallback pfnHigh = std::max(CallbackA, CallbackB, std::less<QdlStatusCallback>());
    ASSERT_EQ(0u, monitor.RegisterQdlStatusCallback(pfnHigh));
    ASSERT_EQ(0u, monitor.RegisterQdlStatusCallback(pfnLow));

    WriteStatus(0x12345678);
    std::vector<CCall> expected = {{pfnLow, 0x12345678}, {pfnHigh, 0x12345678}};
    EXPECT_EQ(expected, ChangeAndCollect(2));
    ::Sleep(QUIET_MS);
    EXPECT_EQ(expected, g_calls.Calls()) << "one change, one call each";

    WriteStatus(7);
    expected = {{pfnLow, 7}, {pfnHigh, 7}};
    EXPECT_EQ(expected, ChangeAndCollect(2));
}

TEST_F(QdlMonitorTest, UnreadableStatusStillCallsWithLastValueRead)
{
    CreateServiceEvent();
    CQdlStatusMonitor monitor;
    ASSERT_EQ(0u, monitor.RegisterQdlStatusCallback(CallbackA));

    const BYTE abFour[4] = {9, 0, 0, 0};
    const BYTE abTwo[2] = {1, 2};
    const ULONGLONG ullEight = 5;
    struct Step
    {
        const char* pszWhat;
        std::function<void()> change;
        DWORD dwExpected;
    };
    const Step steps[] = {
        {"no value yet", [&] { DeleteStatus(); }, QDL_STATUS_UNKNOWN},
        {"a 32-bit value", [&] { WriteStatus(42); }, 42},
        {"value deleted", [&] { DeleteStatus(); }, 42},
        {"four bytes of another type", [&] { WriteStatus(REG_BINARY, abFour, sizeof(abFour)); }, 9},
        {"too long", [&] { WriteStatus(REG_QWORD, &ullEight, sizeof(ullEight)); }, 9},
        {"too short", [&] { WriteStatus(REG_BINARY, abTwo, sizeof(abTwo)); }, 9},
        {"key gone", [&] { DeleteServiceKey(); }, 9},
    };
    for (const Step& step : steps)
    {
        SCOPED_TRACE(step.pszWhat);
        step.change();
        std::vector<CCall> expected = {{CallbackA, step.dwExpected}};
        EXPECT_EQ(expected, ChangeAndCollect(1));
    }
}

TEST_F(QdlMonitorTest, RemovalEndsThreadAndNextRegistrationStartsWorkingOne)
{
    CreateServiceEvent();
    CQdlStatusMonitor monitor;
    ASSERT_EQ(0u, monitor.RegisterQdlStatusCallback(CallbackA));
    CHandle firstThread(::OpenThread(SYNCHRONIZE, FALSE, monitor.GetThreadId()));
    ASSERT_TRUE(firstThread);

    EXPECT_EQ(0u, monitor.RegisterQdlStatusCallback(nullptr));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), ::WaitForSingleObject(firstThread.get(), 0))
        << "the thread has ended when the removal returns";
    EXPECT_EQ(0u, monitor.GetThreadId());
    SignalChange();
    ::Sleep(QUIET_MS);
    EXPECT_EQ(0u, g_calls.Count());

    WriteStatus(11);
    ASSERT_EQ(0u, monitor.RegisterQdlStatusCallback(CallbackB));
    DWORD dwSecond = monitor.GetThreadId();
    ASSERT_NE(0u, dwSecond);
    EXPECT_TRUE(ThreadIsAlive(dwSecond));
    // The change signalled while no thread watched is still pending: the new
    // thread delivers it first.
    std::vector<CCall> expected = {{CallbackB, 11}};
    EXPECT_TRUE(WaitForCalls(1));
    ::Sleep(QUIET_MS / 4);
    EXPECT_EQ(expected, g_calls.Calls());
    WriteStatus(12);
    expected = {{CallbackB, 12}};
    EXPECT_EQ(expected, ChangeAndCollect(1));
}

TEST_F(QdlMonitorTest, RemovalWithNothingRegisteredDoesNotStopTheNextThread)
{
    CreateServiceEvent();
    CQdlStatusMonitor monitor;
    EXPECT_EQ(0u, monitor.RegisterQdlStatusCallback(nullptr));
    EXPECT_EQ(0u, monitor.RegisterQdlStatusCallback(nullptr));
    ASSERT_EQ(0u, monitor.RegisterQdlStatusCallback(CallbackA));
    WriteStatus(1);
    std::vector<CCall> expected = {{CallbackA, 1}};
    EXPECT_EQ(expected, ChangeAndCollect(1));
}

TEST_F(QdlMonitorTest, WithoutServiceEventNothingIsEverCalled)
{
    CQdlStatusMonitor monitor;  // the service has not created its event yet
    EXPECT_EQ(0u, monitor.RegisterQdlStatusCallback(CallbackA));
    EXPECT_EQ(0u, monitor.GetThreadId());

    // The process-wide monitor was built before the event existed, too.
    EXPECT_EQ(0u, RegisterQdlStatusCallback(CallbackB));

    CreateServiceEvent();
    WriteStatus(2);
    SignalChange();
    ::Sleep(QUIET_MS);
    EXPECT_EQ(0u, g_calls.Count());
    EXPECT_EQ(0u, monitor.RegisterQdlStatusCallback(nullptr));
    EXPECT_EQ(0u, RegisterQdlStatusCallback(nullptr));
}

// A callback that removes every callback from the monitor's own thread must
// not wait for itself; the next registration from outside works again.
CQdlStatusMonitor* g_pSelfRemovingMonitor = nullptr;
void SelfRemovingCallback(DWORD dwStatus)
{
    g_calls.Add(SelfRemovingCallback, dwStatus);
    g_pSelfRemovingMonitor->RegisterQdlStatusCallback(nullptr);
}

TEST_F(QdlMonitorTest, CallbackRemovingOnItsOwnThreadEndsMonitoring)
{
    CreateServiceEvent();
    CQdlStatusMonitor monitor;
    g_pSelfRemovingMonitor = &monitor;
    ASSERT_EQ(0u, monitor.RegisterQdlStatusCallback(SelfRemovingCallback));
    CHandle thread(::OpenThread(SYNCHRONIZE, FALSE, monitor.GetThreadId()));
    ASSERT_TRUE(thread);
    WriteStatus(4);
    std::vector<CCall> expected = {{SelfRemovingCallback, 4}};
    EXPECT_EQ(expected, ChangeAndCollect(1));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), ::WaitForSingleObject(thread.get(), WAIT_FOR_CALLS_MS));

    ASSERT_EQ(0u, monitor.RegisterQdlStatusCallback(CallbackA));
    expected = {{CallbackA, 4}};
    EXPECT_EQ(expected, ChangeAndCollect(1));
}

// Holds the monitor thread at its very end, after it has decided to stop and
// left the monitor but before it has ended, until the test has registered
// again or a second has passed.
HANDLE g_hThreadLeaving = nullptr;
HANDLE g_hRegisteredAgain = nullptr;
struct CThreadEndGate
{
    ~CThreadEndGate()
    {
        ::SetEvent(g_hThreadLeaving);
        ::WaitForSingleObject(g_hRegisteredAgain, 1000);
    }
};

void GatedSelfRemovingCallback(DWORD dwStatus)
{
    thread_local CThreadEndGate gate;  // destroyed as the monitor thread ends
    (void)gate;
    SelfRemovingCallback(dwStatus);
}

TEST_F(QdlMonitorTest, RegistrationWhileASelfStoppedThreadEndsStartsANewOne)
{
    CreateServiceEvent();
    CHandle leaving(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    CHandle registered(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    g_hThreadLeaving = leaving.get();
    g_hRegisteredAgain = registered.get();
    CQdlStatusMonitor monitor;
    g_pSelfRemovingMonitor = &monitor;
    ASSERT_EQ(0u, monitor.RegisterQdlStatusCallback(GatedSelfRemovingCallback));
    WriteStatus(4);
    SignalChange();
    ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), ::WaitForSingleObject(leaving.get(), WAIT_FOR_CALLS_MS));

    // The old thread no longer watches anything, so this registration needs a new one.
    EXPECT_EQ(0u, monitor.RegisterQdlStatusCallback(CallbackA));
    ::SetEvent(registered.get());
    WriteStatus(5);
    std::vector<CCall> expected = {{CallbackA, 5}};
    EXPECT_EQ(expected, ChangeAndCollect(1));
    EXPECT_EQ(0u, monitor.RegisterQdlStatusCallback(nullptr));
}

// The race: the service signals changes without pause while the agent keeps
// registering and removing. Once a removal has returned, the callback must
// never run again, not even one notification late.
std::atomic<bool> g_bRemoved(false);
std::atomic<int> g_lateCalls(0);
std::atomic<int> g_racingCalls(0);
void RacingCallback(DWORD)
{
    if (g_bRemoved)
        ++g_lateCalls;
    ++g_racingCalls;
    ::Sleep(1);  // keeps notifications long enough for removals to meet them
    if (g_bRemoved)
        ++g_lateCalls;
}

// A thread procedure: WINAPI, which a lambda cannot be in a 32-bit build.
DWORD WINAPI SignalUntilStopped(LPVOID p)
{
    auto* pStop = static_cast<std::pair<std::atomic<bool>*, HANDLE>*>(p);
    while (!*pStop->first)
    {
        ::SetEvent(pStop->second);
        ::Sleep(1);
    }
    return 0;
}

TEST_F(QdlMonitorTest, RemovalRacingStatusChangesNeverCallsRemovedCallback)
{
    CreateServiceEvent();
    WriteStatus(8);
    CQdlStatusMonitor monitor;
    std::atomic<bool> bStopService(false);
    HANDLE hEvent = m_event.get();
    std::pair<std::atomic<bool>*, HANDLE> serviceArgs(&bStopService, hEvent);
    CHandle serviceThread(::CreateThread(nullptr, 0, SignalUntilStopped, &serviceArgs, 0, nullptr));
    ASSERT_TRUE(serviceThread);

    for (int cycle = 0; cycle < 40; ++cycle)
    {
        g_bRemoved = false;
        g_racingCalls = 0;
        ASSERT_EQ(0u, monitor.RegisterQdlStatusCallback(RacingCallback));
        ASSERT_TRUE(WaitUntil([cycle] { return g_racingCalls > cycle % 3; }, WAIT_FOR_CALLS_MS));
        ASSERT_EQ(0u, monitor.RegisterQdlStatusCallback(nullptr));
        g_bRemoved = true;
        ::Sleep(cycle % 4);
    }
    ::Sleep(20);
    bStopService = true;
    ::WaitForSingleObject(serviceThread.get(), INFINITE);
    EXPECT_EQ(0, g_lateCalls.load());
}
// The service decides what kind of event it keeps: one that stays set, or one
// set again as soon as it is taken, keeps the monitor notifying without a
// pause. A removal must still come back promptly and the thread end soon
// after; what comes back late is a failure, not a hung test.
std::atomic<long> g_busyCalls(0);
std::atomic<bool> g_bBusyRemoved(false);
std::atomic<long> g_busyLateCalls(0);
void BusyCallback(DWORD)
{
    ++g_busyCalls;
    if (g_bBusyRemoved)
        ++g_busyLateCalls;
}

struct CStream
{
    HANDLE hEvent;
    std::atomic<bool> bStop{false};
};

DWORD WINAPI SignalWithoutPause(LPVOID pParam)
{
    CStream* pStream = static_cast<CStream*>(pParam);
    while (!pStream->bStop)
        ::SetEvent(pStream->hEvent);
    return 0;
}

DWORD WINAPI RemoveAll(LPVOID pParam)
{
    static_cast<CQdlStatusMonitor*>(pParam)->RegisterQdlStatusCallback(nullptr);
    g_bBusyRemoved = true;
    return 0;
}

TEST_F(QdlMonitorTest, RemovalReturnsPromptlyWhileTheServiceKeepsSignalling)
{
    const DWORD REMOVAL_BOUND_MS = THREAD_END_WAIT_MS + 1000;
    struct Case
    {
        const char* pszWhat;
        BOOL bManualReset;
    };
    const Case cases[] = {{"manual-reset event held set", TRUE}, {"auto-reset event signalled in a stream", FALSE}};
    WriteStatus(6);
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.pszWhat);
        m_event.reset(::CreateEventW(nullptr, c.bManualReset, c.bManualReset, QDL_STATUS_CHANGE_EVENT_NAME));
        ASSERT_TRUE(m_event);
        CStream stream{m_event.get()};
        CHandle streamThread;
        if (!c.bManualReset)
            streamThread.reset(::CreateThread(nullptr, 0, SignalWithoutPause, &stream, 0, nullptr));

        g_busyCalls = 0;
        g_bBusyRemoved = false;
        g_busyLateCalls = 0;
        CQdlStatusMonitor monitor;
        ASSERT_EQ(0u, monitor.RegisterQdlStatusCallback(BusyCallback));
        CHandle monitorThread(::OpenThread(SYNCHRONIZE, FALSE, monitor.GetThreadId()));
        ASSERT_TRUE(monitorThread);
        ASSERT_TRUE(WaitUntil([] { return g_busyCalls > 20; }, WAIT_FOR_CALLS_MS));

        CHandle removal(::CreateThread(nullptr, 0, RemoveAll, &monitor, 0, nullptr));
        ASSERT_TRUE(removal);
        bool bReturned = ::WaitForSingleObject(removal.get(), REMOVAL_BOUND_MS) == WAIT_OBJECT_0;
        EXPECT_TRUE(bReturned) << "the removal did not return within " << REMOVAL_BOUND_MS << " ms";
        EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), ::WaitForSingleObject(monitorThread.get(), REMOVAL_BOUND_MS))
            << "the monitor thread did not end";
        ::Sleep(QUIET_MS);
        EXPECT_EQ(0, g_busyLateCalls.load()) << "a removed callback was called";

        // Let a removal that is stuck come back, so the monitor can go.
        stream.bStop = true;
        ::ResetEvent(m_event.get());
        if (streamThread)
            ::WaitForSingleObject(streamThread.get(), WAIT_FOR_CALLS_MS);
        ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), ::WaitForSingleObject(removal.get(), WAIT_FOR_CALLS_MS));
    }
}
}  // namespace
