// Trace configuration: registry overrides and their precedence, the two
// refused changes, the alter event set by another process, start-up with the
// "_Saved" copy, the log file's name, checks and version lines.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <memory>
#include <ostream>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "diroduzuvevo/DiroDuzUvevo.h"
#include "platform/Handles.h"
#include "diroduzuvevo/TbdInternal.h"
#include "support/TraceCapture.h"
#include "support/TraceTestSupport.h"

namespace
{
const wchar_t kGeneralKey[] = L"Software\\DiroDuzUvevo";
const wchar_t kTestProgram[] = L"TraceConfigTest";
const wchar_t kTestProgramKey[] = L"Software\\DiroDuzUvevo\\TraceConfigTest";
const wchar_t kToviProgramKey[] = L"Software\\DiroDuzUvevo\\ToviImgMgr";

const wchar_t* const kLibraryValues[] = {
    L"OutputTickCount", L"OutputThreadID", L"OutputDateTimeInHeader", L"OutputToDebug", L"OutputToFile",
    L"TraceLevel",      L"TraceLevelAll",  L"TraceLevelFile",         L"TraceLevelDebug", L"TBDCT_ALL",
    L"TBDCT_ALL_FUNCTIONS", L"TBDCT_ALL_MEMORY", L"TBCT_INFO",       L"TBCT_READ",     L"MaxLogSize",
    L"OutputFileName"};

enum KeyKind
{
    GENERAL,
    PROGRAM
};

struct RegSetting
{
    HKEY hRoot;
    KeyKind key;
    const wchar_t* value;
    DWORD dwType;
    const wchar_t* text;    // REG_SZ
    unsigned long long number;  // REG_DWORD, REG_QWORD
    DWORD cbData;           // bytes stored; 0 for a string: the whole text and its terminator
};

RegSetting Dword(HKEY hRoot, KeyKind key, const wchar_t* value, DWORD dw)
{
    return {hRoot, key, value, REG_DWORD, nullptr, dw, 4};
}
RegSetting Text(HKEY hRoot, KeyKind key, const wchar_t* value, const wchar_t* text)
{
    return {hRoot, key, value, REG_SZ, text, 0, 0};
}

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.rfind(L'\\'));
}

// Runs the helper program that sets the named event; returns its exit code.
DWORD SignalFromAnotherProcess(const std::wstring& eventName)
{
    std::wstring command = L"\"" + ProgramFolder() + L"\\trace_alter_signal.exe\" \"" + eventName + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return (DWORD)-1;
    ::WaitForSingleObject(process.hProcess, 30000);
    DWORD dwExit = (DWORD)-1;
    ::GetExitCodeProcess(process.hProcess, &dwExit);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return dwExit;
}

// The helper process started ahead and held at its go event, so that its
// signal comes the moment the test asks for it, between two trace calls.
class CHeldSignaller
{
public:
    explicit CHeldSignaller(const std::wstring& eventName)
        : m_go(::CreateEventW(nullptr, TRUE, FALSE, L"TraceConfigTest.Go")),
          m_done(::CreateEventW(nullptr, TRUE, FALSE, L"TraceConfigTest.Done"))
    {
        std::wstring command = L"\"" + ProgramFolder() + L"\\trace_alter_signal.exe\" \"" + eventName +
                               L"\" TraceConfigTest.Go TraceConfigTest.Done";
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        if (::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        {
            m_process.reset(process.hProcess);
            ::CloseHandle(process.hThread);
        }
    }
    ~CHeldSignaller()
    {
        if (m_process)
            ::WaitForSingleObject(m_process.get(), 30000);
    }
    // True once the other process has set the event.
    bool Signal()
    {
        return m_process && ::SetEvent(m_go.get()) && ::WaitForSingleObject(m_done.get(), 30000) == WAIT_OBJECT_0;
    }

private:
    CHandle m_go;
    CHandle m_done;
    CHandle m_process;
};

// Every registry value the library reads, under both roots, in the general
// key and the program's key, starts absent and is put back afterwards.
class TraceConfigTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TbdShutdown();
        for (HKEY hRoot : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
            for (const wchar_t* key : {kGeneralKey, kTestProgramKey, kToviProgramKey})
                for (const wchar_t* value : kLibraryValues)
                    Guard(hRoot, key, value).Delete();
        m_path = TestTempPath(L"trace_config.txt");
    }
    void TearDown() override
    {
        TbdShutdown();
        m_guards.clear();
        DeleteTraceProgramKey(kTestProgram);
        ::DeleteFileW(m_path.c_str());
    }

    CRegValueGuard& Guard(HKEY hRoot, const std::wstring& key, const std::wstring& value)
    {
        auto id = std::make_tuple(hRoot, key, value);
        std::unique_ptr<CRegValueGuard>& guard = m_guards[id];
        if (!guard)
            guard.reset(new CRegValueGuard(hRoot, key, value));
        return *guard;
    }
    void Apply(const RegSetting& s, const wchar_t* programKey = kTestProgramKey)
    {
        CRegValueGuard& guard = Guard(s.hRoot, s.key == GENERAL ? kGeneralKey : programKey, s.value);
        if (s.dwType == REG_SZ && s.cbData == 0)
            guard.SetString(s.text);
        else if (s.dwType == REG_SZ)
            guard.SetBytes(REG_SZ, s.text, s.cbData);  // a string stored without its terminator
        else
            guard.SetBytes(s.dwType, &s.number, s.cbData);
    }
    void Start() { ASSERT_TRUE(TbdInitialize(m_path.c_str(), 0, kTestProgram)); }
    std::string LogBytes() const { return ReadFileBytes(m_path); }

    std::map<std::tuple<HKEY, std::wstring, std::wstring>, std::unique_ptr<CRegValueGuard>> m_guards;
    std::wstring m_path;
};

struct OverrideCase
{
    const char* name;
    std::vector<RegSetting> settings;
    int nFileLevel;
    int nDebugLevel;
    bool bInfoEnabled;
    int nMaxLogSize;
};

// Test output names the case.
std::ostream& operator<<(std::ostream& out, const OverrideCase& c)
{
    return out << c.name;
}

const HKEY CU = HKEY_CURRENT_USER;
const HKEY LM = HKEY_LOCAL_MACHINE;
const int kDefaultSize = 100000000;

const OverrideCase kOverrideCases[] = {
    {"no values", {}, 3, 3, false, kDefaultSize},
    {"machine value alone", {Text(LM, GENERAL, L"TraceLevelFile", L"TBDOL_ERROR")}, 2, 3, false, kDefaultSize},
    {"user over machine",
     {Text(CU, GENERAL, L"TraceLevelFile", L"TBDOL_TRACE"), Text(LM, GENERAL, L"TraceLevelFile", L"TBDOL_ERROR")},
     0, 3, false, kDefaultSize},
    {"program key over general key, even from the machine",
     {Text(CU, GENERAL, L"TraceLevel", L"TBDOL_TRACE"), Text(LM, PROGRAM, L"TraceLevel", L"TBDOL_INFORMATION")},
     1, 1, false, kDefaultSize},
    {"user over machine in the program key",
     {Text(CU, PROGRAM, L"TraceLevelDebug", L"TBDOL_INFORMATION"),
      Text(LM, PROGRAM, L"TraceLevelDebug", L"TBDOL_ERROR")},
     3, 1, false, kDefaultSize},
    {"level names ignore case", {Text(CU, GENERAL, L"TraceLevel", L"tbdol_trace")}, 0, 0, false, kDefaultSize},
    {"unknown level name changes nothing", {Text(CU, GENERAL, L"TraceLevel", L"VERBOSE")}, 3, 3, false,
     kDefaultSize},
    {"file threshold none with trace level trace",
     {Text(CU, GENERAL, L"TraceLevel", L"TBDOL_TRACE"), Text(CU, GENERAL, L"TraceLevelFile", L"TBDOL_NONE")}, 3, 0,
     false, kDefaultSize},
    {"specific over all over plain",
     {Text(CU, GENERAL, L"TraceLevel", L"TBDOL_TRACE"), Text(CU, GENERAL, L"TraceLevelAll", L"TBDOL_INFORMATION"),
      Text(CU, GENERAL, L"TraceLevelFile", L"TBDOL_NONE")},
     3, 1, false, kDefaultSize},
    {"string without terminator", {{CU, GENERAL, L"TraceLevel", REG_SZ, L"TBDOL_ERROR", 0, 11 * sizeof(wchar_t)}},
     2, 2, false, kDefaultSize},
    {"over-long string falls back to the machine",
     {Text(CU, GENERAL, L"TraceLevel",
           L"TBDOL_TRACE_TBDOL_TRACE_TBDOL_TRACE_TBDOL_TRACE_TBDOL_TRACE_TBDOL_TRACE_TBDOL_TRACE"),
      Text(LM, GENERAL, L"TraceLevel", L"TBDOL_ERROR")},
     2, 2, false, kDefaultSize},
    {"class enable", {Dword(CU, GENERAL, L"TBCT_INFO", 7)}, 3, 3, true, kDefaultSize},
    {"user disable over machine enable", {Dword(CU, GENERAL, L"TBCT_INFO", 0), Dword(LM, GENERAL, L"TBCT_INFO", 1)},
     3, 3, false, kDefaultSize},
    {"eight-byte user value falls back to the machine",
     {{CU, GENERAL, L"TBCT_INFO", REG_QWORD, nullptr, 0, 8}, Dword(LM, GENERAL, L"TBCT_INFO", 1)}, 3, 3, true,
     kDefaultSize},
    {"program key disables what the general key enables",
     {Dword(CU, GENERAL, L"TBCT_INFO", 1), Dword(CU, PROGRAM, L"TBCT_INFO", 0)}, 3, 3, false, kDefaultSize},
    {"size limit", {Dword(CU, GENERAL, L"MaxLogSize", 5000)}, 3, 3, false, 5000},
    {"size limit 0 changes nothing", {Dword(CU, GENERAL, L"MaxLogSize", 0)}, 3, 3, false, kDefaultSize},
    {"size limit of 2 GB changes nothing", {Dword(CU, GENERAL, L"MaxLogSize", 0x80000000u)}, 3, 3, false,
     kDefaultSize},
    {"size limit of 4 GB changes nothing", {Dword(CU, GENERAL, L"MaxLogSize", 0xFFFFFFFFu)}, 3, 3, false,
     kDefaultSize},
};

class TraceOverrideTest : public TraceConfigTest, public ::testing::WithParamInterface<OverrideCase>
{
};

TEST_P(TraceOverrideTest, RegistrySettingsApplyInTheirOrder)
{
    const OverrideCase& c = GetParam();
    for (const RegSetting& s : c.settings)
        Apply(s);
    Start();
    EXPECT_EQ(c.nFileLevel, nTraceLevelFile) << c.name;
    EXPECT_EQ(c.nDebugLevel, nTraceLevelDebug) << c.name;
    EXPECT_EQ(c.bInfoEnabled, bClassEnabled[TBCT_INFO]) << c.name;
    EXPECT_EQ(c.nMaxLogSize, nMaxLogSize) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, TraceOverrideTest, ::testing::ValuesIn(kOverrideCases));

TEST_F(TraceConfigTest, EitherThresholdLetsEveryLevelThrough)
{
    Apply(Text(CU, GENERAL, L"TraceLevel", L"TBDOL_TRACE"));
    Apply(Text(CU, GENERAL, L"TraceLevelFile", L"TBDOL_NONE"));
    Apply(Dword(CU, GENERAL, L"TBCT_INFO", 1));
    Start();
    for (int level = 0; level <= 3; ++level)
        TbdPrintMessage(TBCT_INFO, level, L"level %d line", level);
    std::string log = LogBytes();
    for (int level = 0; level <= 3; ++level)
        EXPECT_NE(std::string::npos, log.find("level " + std::to_string(level) + " line")) << level;
}

TEST_F(TraceConfigTest, OutputToFileCanNotBeSwitchedOnDuringStart)
{
    Apply(Dword(CU, GENERAL, L"OutputToDebug", 1));
    Apply(Dword(CU, GENERAL, L"OutputToFile", 0));
    Apply(Dword(CU, PROGRAM, L"OutputToFile", 1));
    ::DeleteFileW(m_path.c_str());
    CDebugOutputCapture debug;
    Start();

    EXPECT_TRUE(debug.Contains(
        " E :   TBD : \"OutputToFile\" can NOT be enabled from the registry if it was initially disabled\r\n"));
    EXPECT_FALSE(OutputToFile);
    EXPECT_EQ(INVALID_HANDLE_VALUE, hOutputFile);
    EXPECT_FALSE(FileExists(m_path));
}

TEST_F(TraceConfigTest, OutputDateTimeInHeaderCanNotBeChanged)
{
    Apply(Dword(CU, GENERAL, L"OutputToDebug", 1));
    Apply(Dword(CU, GENERAL, L"OutputDateTimeInHeader", 0));
    const std::string refusal = "TBD : \"OutputDateTimeInHeader\" can NOT be enabled or disabled from the registry";
    CDebugOutputCapture debug;
    Start();

    // Refused before the log was open: only the debugger saw it.
    EXPECT_TRUE(debug.Contains(refusal));
    EXPECT_TRUE(OutputDateTimeInHeader);
    std::string header = LogBytes();
    EXPECT_EQ(std::string::npos, header.find(refusal));
    EXPECT_TRUE(std::regex_search(header, std::regex(R"(TraceConfigTest - .+ \d\d:\d\d:\d\d\.\d{3} \d+\.\d{6} =======)")))
        << header;

    // Every later reading refuses again, now into the log.
    ASSERT_EQ(0u, SignalFromAnotherProcess(szAlterEventName));
    TbdPrintMessage(TBDCT_LAST, 1, L"after the signal");
    EXPECT_NE(std::string::npos, LogBytes().find(" E :   " + refusal + "\r\n"));
}

TEST_F(TraceConfigTest, AlterEventNameHoldsTickCountAndProgramName)
{
    Start();
    EXPECT_TRUE(std::regex_match(AnsiBytes(szAlterEventName), std::regex("DiroDuzUvevo_AlterEvent_\\d+_TRACECONFIGTEST")))
        << AnsiBytes(szAlterEventName);
    TbdShutdown();

    std::wstring longName(400, L'p');
    ASSERT_TRUE(TbdInitialize(m_path.c_str(), 0, longName.c_str()));
    EXPECT_EQ(259u, wcslen(szAlterEventName));
    TbdShutdown();
    DeleteTraceProgramKey(longName);
}

TEST_F(TraceConfigTest, AnotherProcessMakesTheNextTraceReadTheRegistry)
{
    Start();
    bClassEnabled[TBCT_INFO] = true;
    nTraceLevelFile = nTraceLevelDebug = 1;
    Apply(Text(CU, PROGRAM, L"TraceLevel", L"TBDOL_TRACE"));
    CHeldSignaller signaller(szAlterEventName);
    TbdPrintMessage(TBCT_INFO, 0, L"detail before the signal");

    // No pause: the very next call applies the signal.
    ASSERT_TRUE(signaller.Signal());
    TbdPrintMessage(TBCT_INFO, 0, L"detail after the signal");

    std::string log = LogBytes();
    EXPECT_EQ(std::string::npos, log.find("detail before the signal")) << "applied without a signal";
    size_t applied = log.find(" i :   Apply TBD logging registry over-rides\r\n");
    size_t after = log.find(" t :   detail after the signal\r\n");
    ASSERT_NE(std::string::npos, applied);
    ASSERT_NE(std::string::npos, after);
    EXPECT_LT(applied, after);
    EXPECT_EQ(0, nTraceLevelFile);
}

TEST_F(TraceConfigTest, FileOutputSwitchedOffAndOnAgainThroughTheAlterEvent)
{
    Start();
    TbdPrintMessage(TBDCT_LAST, 1, L"first");
    Apply(Dword(CU, PROGRAM, L"OutputToFile", 0));
    ASSERT_EQ(0u, SignalFromAnotherProcess(szAlterEventName));
    TbdPrintMessage(TBDCT_LAST, 1, L"while off");

    Apply(Dword(CU, PROGRAM, L"OutputToFile", 1));
    ASSERT_EQ(0u, SignalFromAnotherProcess(szAlterEventName));
    TbdPrintMessage(TBDCT_LAST, 1, L"on again");

    std::string log = LogBytes();
    EXPECT_NE(std::string::npos, log.find("first"));
    EXPECT_EQ(std::string::npos, log.find("while off"));
    EXPECT_NE(std::string::npos, log.find("on again")) << "a file was chosen, so switching on is allowed";
}

TEST_F(TraceConfigTest, FileOutputCanNotBeSwitchedOnWhenNoFileWasOpened)
{
    Apply(Dword(CU, GENERAL, L"OutputToDebug", 1));
    Apply(Dword(CU, GENERAL, L"OutputToFile", 0));
    Start();
    Apply(Dword(CU, GENERAL, L"OutputToFile", 1));
    CDebugOutputCapture debug;
    ASSERT_EQ(0u, SignalFromAnotherProcess(szAlterEventName));
    TbdPrintMessage(TBDCT_LAST, 1, L"still no file");

    EXPECT_TRUE(debug.Contains("TBD : \"OutputToFile\" can NOT be enabled from the registry if it was initially disabled"));
    EXPECT_TRUE(debug.Contains("still no file"));
    EXPECT_FALSE(OutputToFile);
    EXPECT_EQ(INVALID_HANDLE_VALUE, hOutputFile);
}

TEST_F(TraceConfigTest, OutputFileNameChoosesTheLog)
{
    const std::wstring fullPath = TestTempPath(L"trace_named_log.txt");
    struct
    {
        const char* name;
        HKEY hRoot;
        std::wstring value;
        std::wstring expected;
    } cases[] = {
        {"bare name from the user", CU, L"trace_bare_name.txt", ProgramFolder() + L"\\trace_bare_name.txt"},
        {"full path from the machine", LM, fullPath, fullPath},
        {"empty value", CU, L"", m_path},
    };
    for (const auto& c : cases)
    {
        Apply(Text(c.hRoot, PROGRAM, L"OutputFileName", c.value.c_str()));
        Start();
        TbdPrintMessage(TBDCT_LAST, 1, L"named log");
        EXPECT_EQ(c.expected, std::wstring(szLogFileName)) << c.name;
        TbdShutdown();
        EXPECT_NE(std::string::npos, ReadFileBytes(c.expected).find("named log")) << c.name;
        ::DeleteFileW(c.expected.c_str());
        Guard(c.hRoot, kTestProgramKey, L"OutputFileName").Delete();
    }
}

TEST_F(TraceConfigTest, RelativeGivenPathLandsInTheProgramFolder)
{
    ASSERT_TRUE(TbdInitialize(L"trace_relative.txt", 0, kTestProgram));
    std::wstring expected = ProgramFolder() + L"\\trace_relative.txt";
    EXPECT_EQ(expected, std::wstring(szLogFileName));
    TbdShutdown();
    EXPECT_TRUE(FileExists(expected));
    ::DeleteFileW(expected.c_str());
}

TEST_F(TraceConfigTest, ALogThatCanNotBeCreatedLeavesTheLibraryStopped)
{
    std::wstring missingFolder = TestTempPath(L"no_such_folder") + L"\\log.txt";
    EXPECT_FALSE(TbdInitialize(missingFolder.c_str(), 0, kTestProgram));
    EXPECT_FALSE(btbdInitialized);
    EXPECT_EQ(nullptr, hAlterEvent);
    // A later start with a good path works.
    EXPECT_TRUE(TbdInitialize(m_path.c_str(), 0, kTestProgram));
}

TEST_F(TraceConfigTest, StartLoggingKeepsThePreviousLogAndAppliesTheRecord)
{
    wchar_t folder[MAX_PATH];
    ASSERT_TRUE(TbdGetLogFolder(folder));
    std::wstring folderText = folder;
    EXPECT_EQ(L"\\Velmora\\Logs", folderText.substr(folderText.size() - 13));
    const std::wstring log = folderText + L"\\ToviImgMgr.txt";
    const std::wstring saved = log + L"_Saved";

    TbdConfig config = {};
    config.nDefaultLevel = 1;
    config.bTraceAllFunctions = 1;
    config.bTraceAllMemory = 1;
    config.bTraceInfo = 1;
    config.bTraceRead = 0;
    config.nLogSizeLimit = 1000000;
    config.hRootKey = HKEY_CURRENT_USER;
    config.bLogOwnVersion = 1;
    wcscpy(config.szModuleName, L"ToviImgMgr");

    ASSERT_TRUE(TbdStartLogging(&config));
    EXPECT_TRUE(bClassEnabled[TBDCT_ALL_FUNCTIONS] && bClassEnabled[TBDCT_ALL_MEMORY] && bClassEnabled[TBCT_INFO]);
    EXPECT_FALSE(bClassEnabled[TBCT_READ]);
    EXPECT_EQ(1, nTraceLevelFile);
    EXPECT_EQ(1000000, nMaxLogSize);
    TbdPrintMessage(TBCT_INFO, 1, L"first run");
    TbdPrintMessage(TBCT_INFO, 0, L"first run detail");
    TbdShutdown();
    std::string first = ReadFileBytes(log);

    // The first lines after the header: the record's own lines were filtered out.
    std::regex start(R"(^\r\n======= ToviImgMgr - [^\r\n]* =======\r\n)"
                     R"(ToviImgMgr [^\r\n]* i :   Apply TBD logging registry over-rides\r\n)"
                     R"(ToviImgMgr [^\r\n]* i :   Version: 0\.0\.0\.0\r\n)"
                     R"(ToviImgMgr [^\r\n]* i :   first run\r\n)"
                     R"(\r\n=======\r\nLog Ended [^\r\n]*\r\n\r\n$)");
    EXPECT_TRUE(std::regex_search(first, start)) << first;

    // The second start keeps the first run's log, and the registry's own log
    // name does not change which file is kept.
    const std::wstring elsewhere = TestTempPath(L"trace_start_elsewhere.txt");
    Guard(CU, kToviProgramKey, L"OutputFileName").SetString(elsewhere);
    ASSERT_TRUE(TbdStartLogging(nullptr));
    TbdPrintMessage(TBCT_INFO, 1, L"second run");
    EXPECT_EQ(3, nTraceLevelFile);
    EXPECT_FALSE(bClassEnabled[TBDCT_ALL_MEMORY]);
    TbdShutdown();

    EXPECT_EQ(first, ReadFileBytes(saved));
    std::string second = ReadFileBytes(elsewhere);
    EXPECT_NE(std::string::npos, second.find(" i :   Version: 0.0.0.0\r\n"));
    EXPECT_EQ(std::string::npos, second.find("second run")) << "level 1 is below threshold 3";
    EXPECT_EQ(std::string::npos, second.find("Apply TBD")) << "level 1 is below threshold 3";
    ::DeleteFileW(elsewhere.c_str());
}

// The texts of the log's level-1 lines, in order.
std::vector<std::string> InfoTexts(const std::string& log)
{
    std::vector<std::string> texts;
    std::regex line(R"(ToviImgMgr [^\r\n]* 0x[0-9a-f]{8} i :   ([^\r\n]*)\r\n)");
    for (std::sregex_iterator it(log.begin(), log.end(), line), end; it != end; ++it)
        texts.push_back((*it)[1].str());
    return texts;
}

// The record's own lines reach the log only as far as the registry already
// lets them through; each enable is set before its line is traced, and the
// registry is re-applied after the record.
TEST_F(TraceConfigTest, StartLoggingTracesTheRecordAsFarAsTheRegistryAllows)
{
    const std::string kPrefix = "TBD : Class enable state change: ";
    struct
    {
        const char* name;
        bool bRegistryEnablesInfo;
        BYTE bRecordInfo;
        std::vector<std::string> expected;
    } cases[] = {
        {"registry enables info", true, 1,
         {"Default logging level:", kPrefix + "TBDCT_ALL_FUNCTIONS = true", kPrefix + "TBDCT_ALL_MEMORY = true",
          kPrefix + "TBCT_INFO = true", kPrefix + "TBCT_READ = false", "Apply TBD logging registry over-rides",
          "Version: 0.0.0.0"}},
        {"the record enables info", false, 1,
         {kPrefix + "TBCT_INFO = true", kPrefix + "TBCT_READ = false", "Apply TBD logging registry over-rides",
          "Version: 0.0.0.0"}},
        {"the record disables info until the registry enables it again", true, 0,
         {"Default logging level:", kPrefix + "TBDCT_ALL_FUNCTIONS = true", kPrefix + "TBDCT_ALL_MEMORY = true",
          "Version: 0.0.0.0"}},
    };
    Guard(CU, kToviProgramKey, L"OutputFileName").SetString(m_path);
    Apply(Text(CU, GENERAL, L"TraceLevel", L"TBDOL_INFORMATION"));
    for (const auto& c : cases)
    {
        if (c.bRegistryEnablesInfo)
            Apply(Dword(CU, GENERAL, L"TBCT_INFO", 1));
        else
            Guard(CU, kGeneralKey, L"TBCT_INFO").Delete();
        TbdConfig config = {};
        config.nDefaultLevel = 1;
        config.bTraceAllFunctions = 1;
        config.bTraceAllMemory = 1;
        config.bTraceInfo = c.bRecordInfo;
        config.bTraceRead = 0;
        config.nLogSizeLimit = 1000000;
        config.bLogOwnVersion = 1;
        ASSERT_TRUE(TbdStartLogging(&config)) << c.name;
        TbdShutdown();
        EXPECT_EQ(c.expected, InfoTexts(LogBytes())) << c.name;
    }
}

TEST_F(TraceConfigTest, StartLoggingTracesTheNamedModulesVersion)
{
    TbdConfig config = {};
    config.nDefaultLevel = 1;
    config.bTraceInfo = 1;
    config.bLogOwnVersion = 0;
    wcscpy(config.szModuleName, L"trace_no_such_module.dll");
    Guard(CU, kToviProgramKey, L"OutputFileName").SetString(m_path);
    ASSERT_TRUE(TbdStartLogging(&config));
    TbdShutdown();
    std::string log = LogBytes();
    EXPECT_NE(std::string::npos, log.find(" E :   Failed to load library: trace_no_such_module.dll\r\n"));
    std::string folderLine = " E :   Failed to load library: " + AnsiBytes(ProgramFolder()) + "\\trace_no_such_module.dll\r\n";
    EXPECT_NE(std::string::npos, log.find(folderLine)) << log;
}

TEST(TraceChecks, FailedCheckTracesItsExpressionAndLine)
{
    struct
    {
        bool bCondition;
        int nThreshold;
        bool bTraced;
    } cases[] = {{false, 0, true}, {false, 3, true}, {true, 0, false}, {false, 4, false}};
    for (const auto& c : cases)
    {
        CTraceCapture capture(CTraceCapture::ANY_CLASS);
        nTraceLevelFile = nTraceLevelDebug = c.nThreshold;
        EXPECT_EQ(c.bCondition, TbdAssertImpl(c.bCondition, "x == y", 42));
        nTraceLevelFile = nTraceLevelDebug = 0;
        std::vector<std::wstring> errors = capture.TextsAtLevel(3);
        bool bFound = false;
        for (const std::wstring& text : errors)
            bFound = bFound || text == L"TBD : ASSERT FAILURE in \"diroduzuvevo\" at line 42 : x == y";
        EXPECT_EQ(c.bTraced, bFound) << c.bCondition << " " << c.nThreshold;
    }
}

TEST(TraceVersions, VersionLinesAndTheProgramFolder)
{
    CTraceCapture capture(CTraceCapture::ANY_CLASS);
    EXPECT_TRUE(TbdLogModuleVersion(nullptr));
    EXPECT_TRUE(TbdLogLibraryVersion(L"kernel32.dll"));
    EXPECT_FALSE(TbdLogLibraryVersion(L"trace_no_such_library.dll"));
    EXPECT_FALSE(TbdLogLibraryVersion(L""));
    EXPECT_FALSE(TbdLogLibraryVersion(nullptr));
    wchar_t folder[MAX_PATH];
    ASSERT_TRUE(TbdGetExeFolder(folder));
    EXPECT_EQ(ProgramFolder(), std::wstring(folder));

    std::vector<std::wstring> info = capture.TextsAtLevel(1);
    ASSERT_EQ(4u, info.size());
    EXPECT_EQ(L"Version: 0.0.0.0", info[0]);
    EXPECT_TRUE(std::regex_match(info[1], std::wregex(L"Version: \\d+\\.\\d+\\.\\d+\\.\\d+")));
    EXPECT_NE(L"Version: 0.0.0.0", info[1]);
    wchar_t pid[32];
    _snwprintf(pid, 32, L"ProcessId = 0x%08x", (unsigned)::GetCurrentProcessId());
    EXPECT_EQ(pid, info[2]);
    wchar_t path[MAX_PATH];
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    EXPECT_EQ(path, info[3]);
    std::vector<std::wstring> errors = capture.TextsAtLevel(3);
    ASSERT_EQ(1u, errors.size());
    EXPECT_EQ(L"Failed to load library: trace_no_such_library.dll", errors[0]);
}
}
