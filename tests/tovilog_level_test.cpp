// tovilog level: writes the trace overrides under the program key and sets
// the alter event of every running program of the session, found by listing
// the session's named objects. A program that traces through the library
// (tovilog_traced) shows when its next lines follow the new settings.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "AlterEvents.h"
#include "platform/Handles.h"
#include "support/ProgramRun.h"
#include "support/RegistrySnapshot.h"
#include "support/ToolRun.h"
#include "support/TraceTestSupport.h"

namespace
{
const wchar_t* const PROGRAM_KEY = L"Software\\DiroDuzUvevo\\ToviImgMgr";
const char kApplied[] = " i :   Apply TBD logging registry over-rides\r\n";
const DWORD WAIT_MS = 10000;

size_t Count(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1))
        ++n;
    return n;
}

bool WaitFor(const std::function<bool()>& condition)
{
    for (DWORD dwStart = ::GetTickCount(); ::GetTickCount() - dwStart < WAIT_MS; ::Sleep(20))
    {
        if (condition())
            return true;
    }
    return condition();
}

// The program keys of both roots start empty and are put back afterwards.
class TovilogLevelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_log = TestTempPath(L"tovilog_traced.txt");
        ::DeleteFileW(m_log.c_str());
        m_stopName = L"tovilog_traced_stop_" + std::to_wstring(::GetCurrentProcessId());
    }

    void TearDown() override
    {
        StopTraced();
        ::DeleteFileW(m_log.c_str());
    }

    // Starts the tracing program and waits for its first lines.
    void StartTraced()
    {
        m_stop.reset(::CreateEventW(nullptr, TRUE, FALSE, m_stopName.c_str()));
        ASSERT_TRUE(m_stop.valid());
        m_traced.reset(new CProgramRun(TestProgramFolder() + L"\\tovilog_traced.exe",
                                       L" \"" + m_log + L"\" " + m_stopName, TestProgramFolder()));
        ASSERT_TRUE(m_traced->Started());
        ASSERT_TRUE(WaitFor([&] { return Log().find(" i :   info 1\r\n") != std::string::npos; }))
            << "the traced program wrote no lines";
        const std::string log = Log();
        size_t start = log.find("alter event: ");
        ASSERT_NE(std::string::npos, start);
        m_eventName = log.substr(start + 13, log.find("\r\n", start) - start - 13);
    }

    void StopTraced()
    {
        if (!m_traced)
            return;
        ::SetEvent(m_stop.get());
        EXPECT_EQ(0, m_traced->WaitForExit(WAIT_MS));
        m_traced.reset();
    }

    std::string Log() const { return ReadFileBytes(m_log); }

    CRegistrySnapshot m_user{HKEY_CURRENT_USER, PROGRAM_KEY, KEY_WOW64_64KEY};
    CRegistrySnapshot m_machine32{HKEY_LOCAL_MACHINE, PROGRAM_KEY, KEY_WOW64_32KEY};
    CRegistrySnapshot m_machine64{HKEY_LOCAL_MACHINE, PROGRAM_KEY, KEY_WOW64_64KEY};
    std::wstring m_log;
    std::wstring m_stopName;
    CHandle m_stop;
    std::unique_ptr<CProgramRun> m_traced;
    std::string m_eventName;
};

TEST_F(TovilogLevelTest, RunningProgramFollowsTheNewLevelAndClasses)
{
    StartTraced();
    ASSERT_EQ(std::string::npos, Log().find(" t :   detail")) << "detail lines before any change";
    // The start's own reading came before the class was enabled: not in the log.
    ASSERT_EQ(0u, Count(Log(), kApplied));

    ToolResult result = RunTool(L"tovilog.exe", L"level TBDOL_TRACE");
    ASSERT_EQ(0, result.nExit) << result.err;
    EXPECT_NE(std::string::npos, result.out.find("Signalled " + m_eventName + "\r\n")) << result.out;
    std::wstring value;
    EXPECT_TRUE(TestRegistry::GetString(HKEY_CURRENT_USER, PROGRAM_KEY, KEY_WOW64_64KEY, L"TraceLevelFile", value));
    EXPECT_EQ(L"TBDOL_TRACE", value);

    // The next lines after the re-read include the detail level.
    ASSERT_TRUE(WaitFor([&] { return Log().find(" t :   detail") != std::string::npos; }));
    std::string log = Log();
    ASSERT_EQ(1u, Count(log, kApplied));
    EXPECT_LT(log.rfind(kApplied), log.find(" t :   detail")) << "detail lines before the settings were read";

    // A class switched off: nothing of it follows the next re-read.
    result = RunTool(L"tovilog.exe", L"level --class TBCT_INFO=off");
    ASSERT_EQ(0, result.nExit) << result.err;
    EXPECT_NE(std::string::npos, result.out.find("Signalled " + m_eventName + "\r\n")) << result.out;
    DWORD dwEnabled = 1;
    EXPECT_TRUE(TestRegistry::GetDword(HKEY_CURRENT_USER, PROGRAM_KEY, KEY_WOW64_64KEY, L"TBCT_INFO", dwEnabled));
    EXPECT_EQ(0u, dwEnabled);
    ASSERT_TRUE(WaitFor([&] {
        const std::string now = Log();
        const size_t size = now.size();
        ::Sleep(300);
        return Log().size() == size;
    })) << "the program kept writing its lines";
    log = Log();
    EXPECT_EQ(log.size() - 2, log.rfind("\r\n")) << "the log ends with a whole line";
}

TEST_F(TovilogLevelTest, ResetRemovesOnlyTheToolsValuesAndSignalsAgain)
{
    ASSERT_TRUE(TestRegistry::CreateKey(HKEY_CURRENT_USER, PROGRAM_KEY, KEY_WOW64_64KEY));
    ASSERT_TRUE(TestRegistry::SetString(HKEY_CURRENT_USER, PROGRAM_KEY, KEY_WOW64_64KEY, L"TraceLevel", L"TBDOL_ERROR"));
    ASSERT_TRUE(TestRegistry::SetDword(HKEY_CURRENT_USER, PROGRAM_KEY, KEY_WOW64_64KEY, L"MaxLogSize", 500000));
    ToolResult result = RunTool(L"tovilog.exe", L"level error --debug --class TBCT_READ=on --class TBDCT_ALL=0");
    ASSERT_EQ(0, result.nExit) << result.err;
    EXPECT_EQ("Wrote HKEY_CURRENT_USER\\Software\\DiroDuzUvevo\\ToviImgMgr: TraceLevelDebug = TBDOL_ERROR, "
              "TBCT_READ = 1, TBDCT_ALL = 0\r\n"
              "No ToviImgMgr is running in this session; the settings apply at its next start.\r\n",
              result.out);
    EXPECT_FALSE(TestRegistry::ValueExists(HKEY_CURRENT_USER, PROGRAM_KEY, KEY_WOW64_64KEY, L"TraceLevelFile"));

    StartTraced();
    result = RunTool(L"tovilog.exe", L"level --reset");
    ASSERT_EQ(0, result.nExit) << result.err;
    EXPECT_EQ(0u, result.out.find("Removed from HKEY_CURRENT_USER\\Software\\DiroDuzUvevo\\ToviImgMgr: "
                                  "TraceLevelDebug, TBDCT_ALL, TBCT_READ\r\nSignalled " +
                                  m_eventName + "\r\n"))
        << result.out;
    for (const wchar_t* name : {L"TraceLevelDebug", L"TBCT_READ", L"TBDCT_ALL"})
        EXPECT_FALSE(TestRegistry::ValueExists(HKEY_CURRENT_USER, PROGRAM_KEY, KEY_WOW64_64KEY, name)) << name;
    // Values the tool does not write stay.
    EXPECT_TRUE(TestRegistry::ValueExists(HKEY_CURRENT_USER, PROGRAM_KEY, KEY_WOW64_64KEY, L"TraceLevel"));
    EXPECT_TRUE(TestRegistry::ValueExists(HKEY_CURRENT_USER, PROGRAM_KEY, KEY_WOW64_64KEY, L"MaxLogSize"));
    ASSERT_TRUE(WaitFor([&] { return Count(Log(), kApplied) == 1; })) << "the program did not read its settings again";
}

TEST_F(TovilogLevelTest, MachineSettingsGoIntoBothRegistryViews)
{
    ToolResult result = RunTool(L"tovilog.exe", L"level TBDOL_INFORMATION --file --machine");
    ASSERT_EQ(0, result.nExit) << result.err;
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
    {
        std::wstring value;
        EXPECT_TRUE(TestRegistry::GetString(HKEY_LOCAL_MACHINE, PROGRAM_KEY, view, L"TraceLevelFile", value));
        EXPECT_EQ(L"TBDOL_INFORMATION", value);
    }
    result = RunTool(L"tovilog.exe", L"level --reset --machine");
    ASSERT_EQ(0, result.nExit) << result.err;
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
        EXPECT_FALSE(TestRegistry::ValueExists(HKEY_LOCAL_MACHINE, PROGRAM_KEY, view, L"TraceLevelFile"));
}

TEST_F(TovilogLevelTest, BadArgumentsChangeNothing)
{
    const wchar_t* const cases[] = {L"level", L"level loud", L"level trace --file --debug",
                                    L"level --class TBCT_INFO=maybe", L"level --class TBDCT_LAST=on",
                                    L"level --reset trace", L"level trace extra"};
    for (const wchar_t* arguments : cases)
    {
        ToolResult result = RunTool(L"tovilog.exe", arguments);
        EXPECT_EQ(2, result.nExit) << AnsiBytes(arguments);
        EXPECT_EQ(0u, result.err.find("tovilog: ")) << AnsiBytes(arguments);
        EXPECT_FALSE(TestRegistry::KeyExists(HKEY_CURRENT_USER, PROGRAM_KEY, KEY_WOW64_64KEY)) << AnsiBytes(arguments);
    }
}

TEST(TovilogAlterEventName, OnlyTheLibrarysPatternForTheProgram)
{
    struct
    {
        const wchar_t* name;
        bool bMatch;
    } const cases[] = {
        {L"DiroDuzUvevo_AlterEvent_12345_TOVIIMGMGR", true},
        {L"DiroDuzUvevo_AlterEvent_0_TOVIIMGMGR", true},
        {L"DiroDuzUvevo_AlterEvent__TOVIIMGMGR", false},
        {L"DiroDuzUvevo_AlterEvent_12a_TOVIIMGMGR", false},
        {L"DiroDuzUvevo_AlterEvent_12_TOVIIMGMGRX", false},
        {L"DiroDuzUvevo_AlterEvent_12_TRACECONFIGTEST", false},
        {L"diroduzuvevo_alterevent_12_TOVIIMGMGR", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.bMatch, CAlterEvents::IsAlterEventName(c.name, L"TOVIIMGMGR")) << AnsiBytes(c.name);
}
}  // namespace
