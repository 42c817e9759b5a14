// Agent mode end to end: the real ToviImgMgr.exe beside the test runs against
// the simulated modem, with the download service's event held by the test so
// that the program's status monitor runs; the modem, the trace log and the
// registry tell what the run did.
#include <windows.h>


#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "platform/Handles.h"
#include "support/ProgramRun.h"
#include "support/RegistrySnapshot.h"
#include "support/SimModem.h"
#include "support/TraceTestSupport.h"

namespace
{
const wchar_t* const SETTINGS_KEY = L"Software\\Velmora Inc\\QDL";
const REGSAM VIEWS[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
const DWORD RUN_TIMEOUT_MS = 30000;

std::vector<std::string> ReadLogTexts()
{
    return LogTexts(ReadFileBytes(ProgramLogPath()));
}

// Fails the test unless every text is in the log, in this order.
void ExpectLogInOrder(const std::vector<std::string>& texts, const std::vector<std::string>& expected)
{
    size_t from = 0;
    for (const std::string& text : expected)
    {
        size_t i = from;
        while (i < texts.size() && texts[i] != text)
            ++i;
        EXPECT_LT(i, texts.size()) << "not in the log in order: \"" << text << "\"";
        if (i < texts.size())
            from = i + 1;
    }
}

int CountInLog(const std::vector<std::string>& texts, const std::string& text)
{
    int n = 0;
    for (const std::string& t : texts)
        n += t == text ? 1 : 0;
    return n;
}

bool AnyWindow(HWND)
{
    return true;
}

std::wstring ProgramBesideTest()
{
    return TestProgramFolder() + L"\\ToviImgMgr.exe";
}

// The program is started in its own folder, so that a library search finds
// only what is there.
std::wstring FolderOf(const std::wstring& program)
{
    return program.substr(0, program.find_last_of(L'\\'));
}

// The settings key is made fresh in both views, the download service's event
// is held, and the log of the previous run is gone.
class AgentModeE2eTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_sim.Loaded());
        ASSERT_EQ(0u, m_sim.Create(L"6"));
        for (REGSAM view : VIEWS)
            ASSERT_TRUE(TestRegistry::CreateKey(HKEY_LOCAL_MACHINE, SETTINGS_KEY, view));
        m_hServiceEvent.reset(::CreateEventW(nullptr, FALSE, FALSE, L"Global\\QDL_STATUS_CHANGE_EVENT"));
        ASSERT_TRUE(m_hServiceEvent.valid());
        ASSERT_FALSE(ProgramLogPath().empty());
        ::DeleteFileW(ProgramLogPath().c_str());
        m_sim.ClearJournal();
    }

    // Runs the program beside the test to its end; its exit status.
    long Run(const std::wstring& arguments)
    {
        CProgramRun run(ProgramBesideTest(), L" " + arguments, TestProgramFolder());
        EXPECT_TRUE(run.Started()) << ::GetLastError();
        long nExit = run.WaitForExit(RUN_TIMEOUT_MS);
        m_dwElapsedMs = run.ElapsedMs();
        return nExit;
    }

    // "AutoImageDownloadbySIM" in both views: -1 when absent from both.
    long AutoDownloadBySim() const
    {
        DWORD values[2] = {};
        bool found[2] = {};
        for (int i = 0; i < 2; ++i)
            found[i] = TestRegistry::GetDword(HKEY_LOCAL_MACHINE, SETTINGS_KEY, VIEWS[i], L"AutoImageDownloadbySIM",
                                              values[i]);
        EXPECT_EQ(found[0], found[1]);
        EXPECT_EQ(values[0], values[1]);
        return found[0] ? (long)values[0] : -1;
    }

    CSimModem m_sim;
    CRegistrySnapshot m_settings32{HKEY_LOCAL_MACHINE, SETTINGS_KEY, KEY_WOW64_32KEY};
    CRegistrySnapshot m_settings64{HKEY_LOCAL_MACHINE, SETTINGS_KEY, KEY_WOW64_64KEY};
    CHandle m_hServiceEvent;
    DWORD m_dwElapsedMs = 0;
};

TEST_F(AgentModeE2eTest, ForcedUpdateSwitchesTheModemToTheFolder)
{
    ASSERT_EQ(0, Run(L"-FWUPDATE FORCE -DEFAULTIMAGE 3"));

    EXPECT_EQ("AMSS-STAUSH-F03-1575", m_sim.RunningBuildId(0));
    EXPECT_EQ("UQCN-C102-F03-3", m_sim.RunningBuildId(1));
    EXPECT_EQ(std::vector<std::wstring>{L"UpgradeFirmware3k(" + m_sim.FolderPath(3) + L", 1) = 0"},
              m_sim.JournalCalls(L"UpgradeFirmware3k("));
    const std::vector<std::string> log = ReadLogTexts();
    ExpectLogInOrder(log, {"Command line options: -FWUPDATE FORCE -DEFAULTIMAGE 3", "+ CHiddenAgent::Execute",
                           "-FWUPDATE FORCE. Firmware will be updated", "QDL status change callback registered",
                           "UpgradeFirmware3k succeed for " + AnsiBytes(m_sim.FolderPath(3)),
                           "Carrier index cleared", "QDL status change callback removed"});
    EXPECT_EQ(-1, AutoDownloadBySim()) << "handed back to the other readers of the key";
    // The upgrade signalled the service's event; the program's status monitor,
    // running while the callback was registered, took every signal.
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, ::WaitForSingleObject(m_hServiceEvent.get(), 0));
    for (REGSAM view : VIEWS)
    {
        std::wstring param = L"?";
        EXPECT_TRUE(TestRegistry::GetString(HKEY_LOCAL_MACHINE, SETTINGS_KEY, view, L"ImageManagerParam", param));
        EXPECT_EQ(L"", param);
    }
}

// The service may keep its event set: the program's monitor then notifies
// without a pause, and its removal must still end the run.
TEST_F(AgentModeE2eTest, ServiceEventHeldSetStillLetsTheRunEnd)
{
    m_hServiceEvent.reset();
    m_hServiceEvent.reset(::CreateEventW(nullptr, TRUE, TRUE, L"Global\\QDL_STATUS_CHANGE_EVENT"));
    ASSERT_TRUE(m_hServiceEvent.valid());
    ASSERT_NE((DWORD)ERROR_ALREADY_EXISTS, ::GetLastError());

    EXPECT_EQ(0, Run(L"-FWUPDATE FORCE -DEFAULTIMAGE 3"));

    EXPECT_EQ("AMSS-STAUSH-F03-1575", m_sim.RunningBuildId(0));
    const std::vector<std::string> log = ReadLogTexts();
    ExpectLogInOrder(log, {"QDL status change callback registered", "QDL status change callback removed"});
}

TEST_F(AgentModeE2eTest, UpdateOffResetsToStoredFolderAndSwitchesGpsOnAfterTwoSeconds)
{
    ASSERT_EQ(0u, m_sim.StoreFolder(L"3"));
    // Away after the reset for as long as a modem made by "tovisim create" is.
    ASSERT_EQ(0u, m_sim.SetResetDelay(1500));
    m_sim.ClearJournal();

    ASSERT_EQ(0, Run(L"-FWUPDATE OFF -DEFAULTIMAGE 3 -GPSAUTO 1"));

    EXPECT_GE(m_dwElapsedMs, 2000u);
    EXPECT_EQ("AMSS-STAUSH-F03-1575", m_sim.RunningBuildId(0));
    EXPECT_EQ(1u, m_sim.GpsTrackingValue());
    EXPECT_EQ(std::vector<std::wstring>{L"UpgradeFirmware3k(" + m_sim.FolderPath(3) + L", 0) = 0"},
              m_sim.JournalCalls(L"UpgradeFirmware3k("));
    const std::vector<std::string> log = ReadLogTexts();
    ExpectLogInOrder(log, {"-FWUPDATE OFF. Modem is reset as desired firmware exists", "Carrier index cleared",
                           "Sleep 2s before EnableGpsAuto", "SetPortAutomaticTracking succeeded with 1"});
    EXPECT_EQ(0, CountInLog(log, "QDL status change callback registered"));
    EXPECT_EQ(-1, AutoDownloadBySim());
    // The reset kept the connection that the agent's start made: after the
    // pause, GPS tracking goes over it without connecting again.
    const std::vector<std::wstring> journal = m_sim.Journal();
    const auto upgrade = std::find_if(journal.begin(), journal.end(), [](const std::wstring& line) {
        return line.compare(0, 18, L"UpgradeFirmware3k(") == 0;
    });
    const auto gps = std::find(upgrade, journal.end(), L"SetPortAutomaticTracking(1) = 0");
    ASSERT_NE(journal.end(), gps);
    EXPECT_TRUE(std::none_of(upgrade, gps, [](const std::wstring& line) {
        return line.compare(0, 14, L"QCWWANConnect(") == 0;
    }));
    // Without a download phase no monitor watched the reset's upgrade signal.
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(m_hServiceEvent.get(), 0));
}

// The whole log of a run: the header, the library's two opening lines, and
// the footer that only a normal end writes.
TEST_F(AgentModeE2eTest, TheLogOpensWithItsHeaderAndEndsWithItsFooter)
{
    ASSERT_EQ(0, Run(L"hello"));

    const std::string log = ReadFileBytes(ProgramLogPath());
    EXPECT_TRUE(std::regex_search(log, std::regex(R"(^\r\n======= ToviImgMgr - .+ \d\d:\d\d:\d\d\.\d{3} \d+\.\d{6} =======\r\n)")))
        << log.substr(0, 120);
    const std::vector<std::string> texts = LogTexts(log);
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ("Apply TBD logging registry over-rides", texts[0]);
    EXPECT_EQ("Version: 1.0.1312.0", texts[1]);
    EXPECT_TRUE(std::regex_search(log, std::regex(R"(\r\n\r\n=======\r\nLog Ended [^\r\n]+ \d\d:\d\d:\d\d\.\d{3} \d+\.\d{6}\r\n\r\n$)")))
        << log.substr(log.size() > 200 ? log.size() - 200 : 0);
    EXPECT_EQ(log.find("Log Ended"), log.rfind("Log Ended")) << "one footer";
}

TEST_F(AgentModeE2eTest, PlainWordLeavesTheModemAlone)
{
    ASSERT_EQ(0, Run(L"hello"));

    EXPECT_EQ("AMSS-STSUGN-F06-1575", m_sim.RunningBuildId(0));
    EXPECT_TRUE(m_sim.JournalCalls(L"UpgradeFirmware3k(").empty());
    const std::vector<std::string> log = ReadLogTexts();
    ExpectLogInOrder(log, {"Command line options: hello", "+ CHiddentAgent::Initialize",
                           "No switches were given on the command line"});
    EXPECT_EQ(0, AutoDownloadBySim()) << "Initialize switched it off and nothing put it back";
}

TEST_F(AgentModeE2eTest, WindowSwitchIgnoresTheOtherSwitches)
{
    CProgramRun run(ProgramBesideTest(), L" -SHOWMETHEGUI -FWUPDATE FORCE -DEFAULTIMAGE 3", TestProgramFolder());
    ASSERT_TRUE(run.Started());
    HWND hWindow = run.WaitForWindow(AnyWindow, RUN_TIMEOUT_MS);
    ASSERT_NE(nullptr, hWindow) << "no window appeared";

    ::PostMessageW(hWindow, WM_CLOSE, 0, 0);

    ASSERT_EQ(0, run.WaitForExit(RUN_TIMEOUT_MS));
    EXPECT_TRUE(m_sim.JournalCalls(L"UpgradeFirmware3k(").empty());
    EXPECT_EQ("AMSS-STSUGN-F06-1575", m_sim.RunningBuildId(0));
    const std::vector<std::string> log = ReadLogTexts();
    ExpectLogInOrder(log, {"+ CHiddenAgent::Execute", "-SHOWMETHEGUI specified, running in UI mode"});
    EXPECT_EQ(0, CountInLog(log, "-FWUPDATE FORCE. Firmware will be updated"));
}

TEST_F(AgentModeE2eTest, WithoutTheModemLibraryTheAgentDoesNotRun)
{
    // A copy of the program in a folder without ToviApi.dll.
    const std::wstring folder = TestTempPath(L"nolib");
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
    const std::wstring program = folder + L"\\ToviImgMgr.exe";
    ASSERT_TRUE(::CopyFileW(ProgramBesideTest().c_str(), program.c_str(), FALSE));

    long nExit;
    {
        CProgramRun run(program, L" -FWUPDATE FORCE -DEFAULTIMAGE 3", FolderOf(program));
        ASSERT_TRUE(run.Started());
        nExit = run.WaitForExit(RUN_TIMEOUT_MS);
    }
    ::DeleteFileW(program.c_str());
    ::RemoveDirectoryW(folder.c_str());

    EXPECT_EQ(0, nExit);
    EXPECT_TRUE(m_sim.Journal().empty());
    const std::vector<std::string> log = ReadLogTexts();
    ExpectLogInOrder(log, {"Failed to load ToviApi", "Failed to initialize HiddenAgent"});
    EXPECT_EQ(0, CountInLog(log, "+ CHiddenAgent::Execute"));
}
}  // namespace
