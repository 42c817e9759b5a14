// The agent's state, lifetime, registry settings and modem connection.
// Registry cases run against HKLM "Software\Velmora Inc\QDL" in both views; the
// fixture keeps whatever was there and puts it back afterwards.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "agent/HiddenAgent.h"
#include "agent/QdlSettingsKey.h"
#include "modem/ToviApiWrapper.h"
#include "support/PauseRecorder.h"
#include "support/RegistrySnapshot.h"
#include "support/SimModem.h"
#include "support/TraceCapture.h"
#include "support/TraceTestSupport.h"

namespace
{
const wchar_t kKey[] = L"Software\\Velmora Inc\\QDL";
const wchar_t kAuto[] = L"AutoImageDownloadbySIM";
const REGSAM kViews[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};

const wchar_t* ViewName(REGSAM view)
{
    return view == KEY_WOW64_32KEY ? L"32-bit" : L"64-bit";
}

std::wstring InView(const std::wstring& text, REGSAM view)
{
    return text + L" in " + ViewName(view) + L" registry view";
}

const std::wstring kOpen32Failed = L"Failed to open Software\\Velmora Inc\\QDL in 32-bit registry view - 2";
const std::wstring kOpen64Failed = L"Failed to open Software\\Velmora Inc\\QDL in 64-bit registry view - 2";

class AgentSettingsTest : public ::testing::Test
{
protected:
    void CreateKey(REGSAM view) { ASSERT_TRUE(TestRegistry::CreateKey(HKEY_LOCAL_MACHINE, kKey, view)); }
    void CreateKeyInBothViews()
    {
        for (REGSAM view : kViews)
            CreateKey(view);
    }
    void SetDword(REGSAM view, const wchar_t* name, DWORD value)
    {
        ASSERT_TRUE(TestRegistry::SetDword(HKEY_LOCAL_MACHINE, kKey, view, name, value));
    }
    void SetDwordInBothViews(const wchar_t* name, DWORD value)
    {
        for (REGSAM view : kViews)
            SetDword(view, name, value);
    }
    // The value in that view, or -1 when it is missing.
    static long long Dword(REGSAM view, const wchar_t* name)
    {
        DWORD value = 0;
        return TestRegistry::GetDword(HKEY_LOCAL_MACHINE, kKey, view, name, value) ? static_cast<long long>(value) : -1LL;
    }
    static bool KeyExists(REGSAM view) { return TestRegistry::KeyExists(HKEY_LOCAL_MACHINE, kKey, view); }

    CRegistrySnapshot m_snapshot32{HKEY_LOCAL_MACHINE, kKey, KEY_WOW64_32KEY};
    CRegistrySnapshot m_snapshot64{HKEY_LOCAL_MACHINE, kKey, KEY_WOW64_64KEY};
    CTraceCapture m_trace;
};

// ---- construction and destruction --------------------------------------

TEST_F(AgentSettingsTest, ConstructionGivesInitialStateAndAnUnsignaledAutoResetEvent)
{
    {
        CHiddenAgent agent;
        EXPECT_EQ(&agent, CHiddenAgent::Instance());
        EXPECT_EQ(0xFFFFu, agent.m_dwQdlStatus);
        EXPECT_FALSE(agent.m_hWorkerThread.valid());
        EXPECT_EQ(0u, agent.m_dwWorkerThreadId);
        EXPECT_EQ(0, agent.m_bAllImagesDownloaded);
        EXPECT_EQ(0, agent.m_bStopWorker);
        EXPECT_EQ(0, agent.m_FwImageStore.m_bInitialized);
        EXPECT_TRUE(agent.m_csImageFolder.empty());
        EXPECT_TRUE(agent.m_csHostModemVersion.empty());
        EXPECT_TRUE(agent.m_csHostPriVersion.empty());
        EXPECT_EQ(0u, agent.m_ulHostPriVersionID);
        EXPECT_EQ(0u, agent.m_ulDeviceFwRevisionID);
        EXPECT_EQ(1u, agent.m_dwAutoImageDownloadBySim);

        ASSERT_TRUE(agent.m_hQdlStatusEvent.valid());
        HANDLE hEvent = agent.m_hQdlStatusEvent.get();
        EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(hEvent, 0));
        ::SetEvent(hEvent);
        EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(hEvent, 0));
        EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(hEvent, 0)) << "the event must reset itself";
    }
    EXPECT_EQ(nullptr, CHiddenAgent::Instance());
    EXPECT_FALSE(CToviApiWrapper::m_bLoaded);
}

DWORD WINAPI FinishSoon(void* pFlag)
{
    ::Sleep(200);
    *static_cast<volatile LONG*>(pFlag) = 1;
    return 0;
}

DWORD WINAPI NeverFinish(void*)
{
    ::Sleep(INFINITE);
    return 0;
}

TEST_F(AgentSettingsTest, DestructionWaitsForARunningWorker)
{
    volatile LONG lFinished = 0;
    {
        CHiddenAgent agent;
        agent.m_hWorkerThread.reset(::CreateThread(nullptr, 0, FinishSoon, (void*)&lFinished, 0,
                                                   &agent.m_dwWorkerThreadId));
        ASSERT_TRUE(agent.m_hWorkerThread.valid());
    }
    EXPECT_EQ(1, lFinished);
}

TEST_F(AgentSettingsTest, DestructionTerminatesAWorkerStillRunningAfterTenSeconds)
{
    HANDLE hWatch = nullptr;
    DWORD dwStart = 0;
    {
        CHiddenAgent agent;
        agent.m_hWorkerThread.reset(::CreateThread(nullptr, 0, NeverFinish, nullptr, 0, &agent.m_dwWorkerThreadId));
        ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), agent.m_hWorkerThread.get(), ::GetCurrentProcess(),
                                      &hWatch, 0, FALSE, DUPLICATE_SAME_ACCESS));
        dwStart = ::GetTickCount();
    }
    DWORD dwElapsed = ::GetTickCount() - dwStart;
    CHandle watch(hWatch);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(hWatch, 5000));
    DWORD dwExitCode = 0;
    ASSERT_TRUE(::GetExitCodeThread(hWatch, &dwExitCode));
    EXPECT_EQ(1u, dwExitCode);
    EXPECT_GE(dwElapsed, 9500u);
    EXPECT_LT(dwElapsed, 20000u);
}

// ---- "AutoImageDownloadbySIM" through Initialize and RestoreQdlSettings ----

struct AutoDownloadCase
{
    const char* pszName;
    bool bPresent;
    DWORD dwValue;
};

void PrintTo(const AutoDownloadCase& c, std::ostream* os)
{
    *os << c.pszName;
}

class AutoDownloadBySimTest : public AgentSettingsTest, public ::testing::WithParamInterface<AutoDownloadCase>
{
};

TEST_P(AutoDownloadBySimTest, IsSwitchedOffWhileTheAgentWorksAndClearedAfterwards)
{
    const AutoDownloadCase& c = GetParam();
    CreateKeyInBothViews();
    if (c.bPresent)
        SetDwordInBothViews(kAuto, c.dwValue);
    SetDwordInBothViews(L"ForceDownload", 1);
    for (REGSAM view : kViews)
        ASSERT_TRUE(TestRegistry::SetString(HKEY_LOCAL_MACHINE, kKey, view, L"ImageManagerParam", L"3"));

    CHiddenAgent agent;
    EXPECT_EQ(0u, agent.Initialize());
    const bool bWasDisabled = c.bPresent && c.dwValue == 0;
    EXPECT_EQ(c.bPresent ? c.dwValue : 1u, agent.m_dwAutoImageDownloadBySim);
    for (REGSAM view : kViews)
        EXPECT_EQ(0, Dword(view, kAuto)) << ViewName(view);

    if (c.bPresent)
    {
        EXPECT_TRUE(m_trace.Contains(L"Got AutoImageDownloadbySIM - " + std::to_wstring(c.dwValue) +
                                     L" in 32-bit registry view"));
    }
    else
    {
        EXPECT_TRUE(m_trace.Contains(L"Failed to query AutoImageDownloadbySIM in 32-bit registry view - 2"));
        EXPECT_TRUE(m_trace.Contains(L"Failed to query AutoImageDownloadbySIM in 64-bit registry view - 2"));
    }
    EXPECT_EQ(bWasDisabled ? 1 : 0, m_trace.Count(L"AutoImageDownloadbySIM already disabled"));
    for (REGSAM view : kViews)
        EXPECT_EQ(bWasDisabled ? 0 : 1, m_trace.Count(InView(L"Set AutoImageDownloadbySIM - 0", view)));

    EXPECT_TRUE(agent.RestoreQdlSettings());
    for (REGSAM view : kViews)
    {
        std::wstring param = L"unread";
        EXPECT_TRUE(TestRegistry::GetString(HKEY_LOCAL_MACHINE, kKey, view, L"ImageManagerParam", param));
        EXPECT_EQ(L"", param);
        EXPECT_EQ(-1, Dword(view, L"ForceDownload")) << ViewName(view);
        EXPECT_EQ(bWasDisabled ? 0 : -1, Dword(view, kAuto)) << ViewName(view);
        EXPECT_TRUE(m_trace.Contains(InView(L"Set ImageManagerParam - ", view)));
        EXPECT_TRUE(m_trace.Contains(InView(L"Registry value deleted: ForceDownload", view)));
    }
    EXPECT_EQ(1, m_trace.Count(L"Carrier index cleared"));
    EXPECT_EQ(bWasDisabled ? 0 : 1, m_trace.Count(L"Auto downloading by SIM cleared"));
    EXPECT_EQ(bWasDisabled ? 1 : 0,
              m_trace.Count(L"AutoImageDownloadbySIM orignally disabled, no need for recovery"));
}

INSTANTIATE_TEST_SUITE_P(StartValues, AutoDownloadBySimTest,
                         ::testing::Values(AutoDownloadCase{"Absent", false, 0}, AutoDownloadCase{"Zero", true, 0},
                                           AutoDownloadCase{"Five", true, 5}),
                         [](const ::testing::TestParamInfo<AutoDownloadCase>& info) { return info.param.pszName; });

TEST_F(AgentSettingsTest, AValueInThe32BitViewIsReadFromThereAlone)
{
    CreateKeyInBothViews();
    SetDword(KEY_WOW64_32KEY, kAuto, 9);

    CHiddenAgent agent;
    agent.Initialize();
    EXPECT_EQ(9u, agent.m_dwAutoImageDownloadBySim);
    EXPECT_TRUE(m_trace.Contains(L"Got AutoImageDownloadbySIM - 9 in 32-bit registry view"));
    EXPECT_EQ(-1, m_trace.IndexOf(L"Failed to query AutoImageDownloadbySIM in 64-bit registry view - 2"));
    EXPECT_EQ(0, Dword(KEY_WOW64_32KEY, kAuto));
    EXPECT_EQ(0, Dword(KEY_WOW64_64KEY, kAuto));
}

TEST_F(AgentSettingsTest, AValueOnlyInThe64BitViewIsFoundThere)
{
    CreateKeyInBothViews();
    SetDword(KEY_WOW64_64KEY, kAuto, 0);

    CHiddenAgent agent;
    agent.Initialize();
    EXPECT_EQ(0u, agent.m_dwAutoImageDownloadBySim);
    std::vector<std::wstring> info = m_trace.TextsAtLevel(1);
    std::vector<std::wstring> expected = {L"Failed to query AutoImageDownloadbySIM in 32-bit registry view - 2",
                                          L"Got AutoImageDownloadbySIM - 0 in 64-bit registry view",
                                          L"AutoImageDownloadbySIM already disabled"};
    EXPECT_EQ(expected, info);
    EXPECT_EQ(-1, Dword(KEY_WOW64_32KEY, kAuto)) << "a disabled switch is not written";
}

// ---- SaveCarrierIndex ---------------------------------------------------

TEST_F(AgentSettingsTest, SaveCarrierIndexWritesForceDownloadOnlyWhenForced)
{
    for (DWORD dwForce : {0u, 1u})
    {
        SCOPED_TRACE(dwForce);
        CreateKeyInBothViews();
        SetDwordInBothViews(L"ForceDownload", 7);
        CHiddenAgent agent;
        EXPECT_TRUE(agent.SaveCarrierIndex(13, dwForce));
        for (REGSAM view : kViews)
        {
            EXPECT_EQ(13, Dword(view, L"CarrierIndex")) << ViewName(view);
            EXPECT_EQ(dwForce ? 1 : 7, Dword(view, L"ForceDownload")) << ViewName(view);
            EXPECT_TRUE(m_trace.Contains(InView(L"Set CarrierIndex - 13", view)));
        }
    }
}

TEST_F(AgentSettingsTest, OnlyThe64BitViewOpenTakesEveryChangeThere)
{
    CreateKey(KEY_WOW64_64KEY);
    SetDword(KEY_WOW64_64KEY, L"ForceDownload", 1);
    CHiddenAgent agent;

    EXPECT_TRUE(agent.SaveCarrierIndex(4, 1));
    EXPECT_EQ(1, m_trace.Count(kOpen32Failed));
    EXPECT_EQ(0, m_trace.Count(kOpen64Failed));
    EXPECT_EQ(4, Dword(KEY_WOW64_64KEY, L"CarrierIndex"));
    EXPECT_FALSE(KeyExists(KEY_WOW64_32KEY));

    agent.Initialize();
    EXPECT_EQ(0, Dword(KEY_WOW64_64KEY, kAuto));
    EXPECT_TRUE(agent.RestoreQdlSettings());
    EXPECT_EQ(-1, Dword(KEY_WOW64_64KEY, L"ForceDownload"));
    EXPECT_EQ(-1, Dword(KEY_WOW64_64KEY, kAuto));
    EXPECT_FALSE(KeyExists(KEY_WOW64_32KEY));
    for (const std::wstring& text : m_trace.Texts())
    {
        if (text.find(L"32-bit") != std::wstring::npos)
        {
            EXPECT_EQ(kOpen32Failed, text);
        }
    }
}

// ---- the key missing in both views --------------------------------------

TEST_F(AgentSettingsTest, AMissingKeyIsReportedAndNothingIsWritten)
{
    CHiddenAgent agent;
    const std::vector<std::wstring> openFailures = {kOpen32Failed, kOpen64Failed};

    EXPECT_EQ(0u, agent.Initialize());
    EXPECT_EQ(openFailures, m_trace.TextsAtLevel(1));
    EXPECT_EQ(std::vector<std::wstring>{L"Failed to initialize ImageStore"}, m_trace.TextsAtLevel(3));
    EXPECT_EQ(1u, agent.m_dwAutoImageDownloadBySim);

    EXPECT_FALSE(agent.RestoreQdlSettings());
    EXPECT_FALSE(agent.SaveCarrierIndex(3, 1));
    std::vector<std::wstring> expected;
    for (int i = 0; i < 3; ++i)
        expected.insert(expected.end(), openFailures.begin(), openFailures.end());
    EXPECT_EQ(expected, m_trace.TextsAtLevel(1));
    EXPECT_FALSE(KeyExists(KEY_WOW64_32KEY));
    EXPECT_FALSE(KeyExists(KEY_WOW64_64KEY));
}

TEST_F(AgentSettingsTest, AnUnopenedKeyRefusesEveryOperation)
{
    CQdlSettingsKey key;
    DWORD dwValue = 42;
    EXPECT_FALSE(key.QueryAutoImageDownloadBySim(dwValue));
    EXPECT_FALSE(key.SetDwordValue(L"CarrierIndex", 1));
    EXPECT_FALSE(key.SetImageManagerParam(L""));
    EXPECT_FALSE(key.DeleteValue(L"ForceDownload"));
    EXPECT_EQ(42u, dwValue);
    EXPECT_EQ(std::vector<std::wstring>(4, L"Registry key not opened"), m_trace.TextsAtLevel(3));
}

TEST_F(AgentSettingsTest, DeletingAMissingValueReportsBothViews)
{
    CreateKeyInBothViews();
    CQdlSettingsKey key;
    ASSERT_TRUE(key.Open());
    EXPECT_FALSE(key.DeleteValue(L"ForceDownload"));
    EXPECT_TRUE(m_trace.Contains(L"Failed to delete ForceDownload in 32-bit registry view - 2"));
    EXPECT_TRUE(m_trace.Contains(L"Failed to delete ForceDownload in 64-bit registry view - 2"));
}

// A line of the log is found in the code by its text: each registry view has
// a format of its own that names the view, not one that is handed the name.
TEST_F(AgentSettingsTest, EveryRegistryViewLineHasALiteralFormatNamingItsView)
{
    CreateKey(KEY_WOW64_64KEY);
    {
        CQdlSettingsKey key;
        ASSERT_TRUE(key.Open());  // the 32-bit view fails to open
    }
    CreateKey(KEY_WOW64_32KEY);
    CQdlSettingsKey key;
    ASSERT_TRUE(key.Open());
    DWORD dwValue = 0;
    EXPECT_FALSE(key.QueryAutoImageDownloadBySim(dwValue));
    EXPECT_TRUE(key.SetDwordValue(kAuto, 0));
    EXPECT_TRUE(key.QueryAutoImageDownloadBySim(dwValue));
    EXPECT_TRUE(key.SetImageManagerParam(L"param"));
    EXPECT_TRUE(key.DeleteValue(kAuto));
    EXPECT_FALSE(key.DeleteValue(kAuto));

    int nViewLines = 0;
    for (const CTracedMessage& message : m_trace.Messages())
    {
        for (REGSAM view : kViews)
        {
            const std::wstring named = std::wstring(L"in ") + ViewName(view) + L" registry view";
            if (message.text.find(named) == std::wstring::npos)
                continue;
            ++nViewLines;
            EXPECT_NE(std::wstring::npos, message.format.find(named))
                << "\"" << AnsiBytes(message.format) << "\"";
        }
    }
    // Open, query, got, set, update, delete and its failure, in their views.
    EXPECT_EQ(12, nViewLines);
}

// ---- the modem connection -------------------------------------------------

class AgentDeviceTest : public AgentSettingsTest
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_sim.Loaded());
        ASSERT_EQ(0u, m_sim.Create(L"6"));
        m_sim.ClearJournal();
    }

    CPauseRecorder m_pauses;
    CSimModem m_sim;
};

TEST_F(AgentDeviceTest, InitializeLoadsTheStoreAndLeavesTheModemConnectedUntilDestruction)
{
    {
        CHiddenAgent agent;
        ASSERT_TRUE(CToviApiWrapper::Initialize());
        EXPECT_EQ(0u, agent.Initialize());
        EXPECT_EQ(1, agent.m_FwImageStore.m_bInitialized);
        EXPECT_TRUE(agent.m_FwImageStore.m_bConnectedToDevice);
        EXPECT_EQ(2u, agent.m_FwImageStore.m_lstSelectedImages.size());
        EXPECT_FALSE(agent.m_FwImageStore.m_lstModemImages.empty());
        EXPECT_FALSE(agent.m_FwImageStore.m_lstPriImages.empty());
        EXPECT_EQ(0, m_trace.Count(L"Failed to initialize ImageStore"));
        EXPECT_EQ(1, m_trace.Count(L"+ CHiddentAgent::Initialize"));
        EXPECT_TRUE(m_sim.JournalCalls(L"QCWWANDisconnect(").empty());
    }
    EXPECT_EQ(1u, m_sim.JournalCalls(L"QCWWANDisconnect(").size());
    EXPECT_FALSE(CToviApiWrapper::m_bLoaded);
}

TEST_F(AgentDeviceTest, AFailedStoreLoadIsReportedAndInitializeStillSucceeds)
{
    CreateKeyInBothViews();
    m_sim.SetFault("GetStoredImages", 31, TOVISIM_ALWAYS);
    {
        CHiddenAgent agent;
        ASSERT_TRUE(CToviApiWrapper::Initialize());
        EXPECT_EQ(0u, agent.Initialize());
        EXPECT_EQ(0, agent.m_FwImageStore.m_bInitialized);
        EXPECT_EQ(1, m_trace.Count(L"Failed to initialize ImageStore"));
        EXPECT_EQ(0, Dword(KEY_WOW64_64KEY, kAuto)) << "the registry step runs regardless";
    }
    EXPECT_TRUE(m_sim.JournalCalls(L"QCWWANDisconnect(").empty()) << "an uninitialized store is not disconnected";
}

TEST_F(AgentDeviceTest, ConnectAndDisconnectPassTheModemResultThrough)
{
    CHiddenAgent agent;
    ASSERT_TRUE(CToviApiWrapper::Initialize());
    EXPECT_EQ(0u, agent.ConnectDevice());
    EXPECT_TRUE(agent.m_FwImageStore.m_bConnectedToDevice);
    m_sim.SetFault("QCWWANDisconnect", 21);
    EXPECT_EQ(21u, agent.DisconnectDevice());
    EXPECT_TRUE(agent.m_FwImageStore.m_bConnectedToDevice);
    EXPECT_EQ(0u, agent.DisconnectDevice());
    EXPECT_FALSE(agent.m_FwImageStore.m_bConnectedToDevice);
    EXPECT_EQ(1, m_trace.Count(L"+ CHiddenAgent::ConnectDevice"));
    EXPECT_EQ(2, m_trace.Count(L"+ CHiddenAgent::DisconnectDevice"));
}

TEST_F(AgentDeviceTest, ResetModemDeviceAsksForAnUnforcedSwitchAndReportsOnlyItsResult)
{
    CHiddenAgent agent;
    ASSERT_TRUE(CToviApiWrapper::Initialize());
    ASSERT_EQ(0u, agent.Initialize());
    const std::wstring folder = m_sim.FolderPath(3);
    ASSERT_EQ(0u, m_sim.StoreFolder(folder));
    m_sim.ClearJournal();
    const size_t nInfoBefore = m_trace.TextsAtLevel(1).size();

    EXPECT_TRUE(agent.ResetModemDevice(folder));
    std::vector<std::wstring> calls = m_sim.JournalCalls(L"UpgradeFirmware3k(");
    ASSERT_EQ(1u, calls.size());
    EXPECT_NE(std::wstring::npos, calls[0].find(folder)) << calls[0];
    EXPECT_NE(std::wstring::npos, calls[0].find(L", 0)")) << calls[0];

    m_sim.SetFault("UpgradeFirmware3k", 87);
    EXPECT_FALSE(agent.ResetModemDevice(folder));
    EXPECT_EQ(2, m_trace.Count(L"+ CHiddenAgent::ResetModemDevice"));
    EXPECT_EQ(nInfoBefore, m_trace.TextsAtLevel(1).size());
    EXPECT_TRUE(m_sim.JournalCalls(L"QCWWANConnect(").empty());
    EXPECT_TRUE(m_sim.JournalCalls(L"QCWWANDisconnect(").empty());
}
}
