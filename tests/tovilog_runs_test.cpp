// tovilog on logs that the real ToviImgMgr.exe wrote against the simulated
// modem: the summary names the run's decision row and operation results, a
// scrambled log decodes to the lines of a plain run, a log emptied at the
// size limit and its backup read like any other, and bad input is refused.
#include <windows.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "LogFile.h"
#include "LogLine.h"
#include "platform/Handles.h"
#include "support/ProgramRun.h"
#include "support/RegistrySnapshot.h"
#include "support/SimModem.h"
#include "support/ToolRun.h"
#include "support/TraceTestSupport.h"

using nlohmann::json;

namespace
{
const wchar_t* const SETTINGS_KEY = L"Software\\Velmora Inc\\QDL";
const wchar_t* const ENCRYPT_KEY = L"Software\\Velmora Inc";
const wchar_t* const PROGRAM_KEY = L"Software\\DiroDuzUvevo\\ToviImgMgr";
const REGSAM VIEWS[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
const DWORD RUN_TIMEOUT_MS = 60000;

std::wstring Quoted(const std::wstring& path)
{
    return L"\"" + path + L"\"";
}

json SummaryOf(const std::wstring& log)
{
    ToolResult result = RunTool(L"tovilog.exe", L"summary " + Quoted(log) + L" --json");
    EXPECT_EQ(0, result.nExit) << result.err;
    json summary = json::parse(result.out, nullptr, false);
    EXPECT_FALSE(summary.is_discarded()) << result.out;
    return summary;
}

// The steps of one kind, as "target -> result" texts.
std::vector<std::string> Steps(const json& summary, const std::string& kind)
{
    std::vector<std::string> steps;
    for (const json& step : summary["agent"]["steps"])
    {
        if (step["kind"] != kind)
            continue;
        std::string text = step.value("target", std::string());
        text += " -> " + (step.contains("result") ? std::to_string(step["result"].get<long>()) : std::string("?"));
        steps.push_back(text);
    }
    return steps;
}

std::string Utf8(const std::wstring& text)
{
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string bytes((size_t)n, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &bytes[0], n, nullptr, nullptr);
    return bytes;
}

// A log's lines without what changes from run to run: the wall-clock and
// counter fields, thread IDs, the scope lines' milliseconds and the dates of
// header and footer.
std::vector<std::string> LinesTimesAside(const std::string& text)
{
    CLogFile log;
    EXPECT_TRUE(log.Load(text));
    std::vector<std::string> lines;
    const std::regex scopeTimes("\\(Duration = \\d+ms - Total time = \\d+ms");
    for (const std::string& raw : log.Lines())
    {
        CLogLine line;
        if (line.Parse(raw))
            lines.push_back(line.m_sProgram + " [" + line.m_cLevel + "] " +
                            std::regex_replace(line.m_sText, scopeTimes, "(Duration = #ms - Total time = #ms"));
        else if (raw.compare(0, 9, "Log Ended") == 0)
            lines.push_back("Log Ended");
        else if (raw.compare(0, 8, "======= ") == 0)
            lines.push_back(raw.substr(0, raw.find(" -") + 2));
        else
            lines.push_back(raw);
    }
    return lines;
}

std::string Scramble(const std::string& text)
{
    std::string bytes = text;
    for (char& c : bytes)
        c = (char)(c ^ 0xB5);
    return bytes;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes)
{
    CFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD dwWritten = 0;
    return file && ::WriteFile(file.get(), bytes.data(), (DWORD)bytes.size(), &dwWritten, nullptr) &&
           dwWritten == bytes.size();
}

// A modem running folder 6, the settings key fresh in both views, the
// download service's event held, no trace overrides, and no log left from
// another run.
class TovilogRunsTest : public ::testing::Test
{
protected:
    explicit TovilogRunsTest(const SampleStoreOptions& options = SampleStoreOptions()) : m_sim(options) {}

    void SetUp() override
    {
        ASSERT_TRUE(m_sim.Loaded());
        ASSERT_EQ(0u, m_sim.Create(L"6"));
        // The runs here do not wait for the modem to come back after a reset.
        ASSERT_EQ(0u, m_sim.SetResetDelay(0));
        for (REGSAM view : VIEWS)
            ASSERT_TRUE(TestRegistry::CreateKey(HKEY_LOCAL_MACHINE, SETTINGS_KEY, view));
        m_hServiceEvent.reset(::CreateEventW(nullptr, FALSE, FALSE, L"Global\\QDL_STATUS_CHANGE_EVENT"));
        ASSERT_TRUE(m_hServiceEvent.valid());
        m_encrypt.Delete();
        m_maxLogSize.Delete();
        m_log = ProgramLogPath();
        ASSERT_FALSE(m_log.empty());
        ::DeleteFileW(m_log.c_str());
        ::DeleteFileW((m_log + L"_BACKUP").c_str());
    }

    void TearDown() override
    {
        for (const std::wstring& path : m_files)
            ::DeleteFileW(path.c_str());
    }

    // Runs the program beside the test to its end.
    void Run(const std::wstring& arguments)
    {
        CProgramRun run(TestProgramFolder() + L"\\ToviImgMgr.exe", L" " + arguments, TestProgramFolder());
        ASSERT_TRUE(run.Started());
        ASSERT_EQ(0, run.WaitForExit(RUN_TIMEOUT_MS)) << "the program did not end";
    }

    // A copy of the run's log, removed after the test.
    std::wstring KeepLog(const std::wstring& name)
    {
        std::wstring path = TestTempPath(name);
        EXPECT_TRUE(::CopyFileW(m_log.c_str(), path.c_str(), FALSE));
        m_files.push_back(path);
        return path;
    }

    std::wstring TempFile(const std::wstring& name)
    {
        std::wstring path = TestTempPath(name);
        ::DeleteFileW(path.c_str());
        m_files.push_back(path);
        return path;
    }

    CSimModem m_sim;
    CRegistrySnapshot m_settings32{HKEY_LOCAL_MACHINE, SETTINGS_KEY, KEY_WOW64_32KEY};
    CRegistrySnapshot m_settings64{HKEY_LOCAL_MACHINE, SETTINGS_KEY, KEY_WOW64_64KEY};
    CRegValueGuard m_encrypt{HKEY_CURRENT_USER, ENCRYPT_KEY, L"enable encrypt"};
    CRegValueGuard m_maxLogSize{HKEY_CURRENT_USER, PROGRAM_KEY, L"MaxLogSize"};
    CHandle m_hServiceEvent;
    std::wstring m_log;
    std::vector<std::wstring> m_files;
};

TEST_F(TovilogRunsTest, ForcedDefaultImage)
{
    Run(L"-FWUPDATE FORCE -DEFAULTIMAGE 3");

    json summary = SummaryOf(m_log);
    EXPECT_EQ("agent", summary["mode"]);
    EXPECT_EQ("-FWUPDATE FORCE -DEFAULTIMAGE 3", summary["commandLine"]);
    EXPECT_EQ("FORCE", summary["agent"]["updateMode"]);
    EXPECT_EQ("3", summary["agent"]["folder"]);
    EXPECT_EQ("-FWUPDATE FORCE. Firmware will be updated", summary["agent"]["decision"]);
    EXPECT_EQ(std::vector<std::string>{Utf8(m_sim.FolderPath(3)) + " -> 0"}, Steps(summary, "upgrade"));
    EXPECT_EQ(0, summary["errors"]["count"]);
    EXPECT_TRUE(summary["footer"].get<bool>());
    EXPECT_TRUE(summary["log"]["header"].get<bool>());
    EXPECT_FALSE(summary["log"]["scrambled"].get<bool>());
    EXPECT_TRUE(std::regex_match(summary["start"]["time"].get<std::string>(), std::regex("\\d\\d:\\d\\d:\\d\\d\\.\\d{3}")));
    EXPECT_FALSE(summary["start"]["date"].is_null());
    // The scope table holds the agent's own operation once, with its time.
    bool bExecute = false;
    for (const json& scope : summary["timedOperations"])
    {
        if (scope["name"] == "CHiddenAgent::Execute")
        {
            bExecute = true;
            EXPECT_EQ(1, scope["calls"]);
            EXPECT_EQ(scope["totalMs"], scope["longestMs"]);
            EXPECT_EQ(0, scope["notEnded"]);
        }
    }
    EXPECT_TRUE(bExecute);
    EXPECT_GE(summary["lengthMs"].get<long long>(), summary["timedOperations"][0]["totalMs"].get<long long>());

    // The text form tells the same story.
    ToolResult text = RunTool(L"tovilog.exe", L"summary " + Quoted(m_log));
    EXPECT_EQ(0, text.nExit);
    EXPECT_NE(std::string::npos, text.out.find("Decision:   -FWUPDATE FORCE. Firmware will be updated\r\n")) << text.out;
    EXPECT_NE(std::string::npos, text.out.find(AnsiBytes(m_sim.FolderPath(3)) + " -> 0 (ok)\r\n")) << text.out;
    EXPECT_NE(std::string::npos, text.out.find("Footer:     yes (the run ended normally)\r\n")) << text.out;
}

TEST_F(TovilogRunsTest, HostFirmwareNotNewer)
{
    Run(L"-FWUPDATE AUTO");

    json summary = SummaryOf(m_log);
    EXPECT_EQ("AUTO", summary["agent"]["updateMode"]);
    EXPECT_EQ("-FWUPDATE AUTO. Firmware will not be updated as the host firmware is not newer",
              summary["agent"]["decision"]);
    EXPECT_TRUE(Steps(summary, "upgrade").empty());
    EXPECT_TRUE(Steps(summary, "preference").empty());
    EXPECT_EQ(0, summary["errors"]["count"]);
}

// Deletion, the update mode kept at "OFF", and the GPS step after its 2 s pause.
TEST_F(TovilogRunsTest, DeletionsAndGpsWithUpdateOff)
{
    ASSERT_EQ(0u, m_sim.StoreFolder(L"3"));
    Run(L"-DELETEALLIMAGES 1 -FWUPDATE OFF -DEFAULTIMAGE 3 -GPSAUTO 1");

    json summary = SummaryOf(m_log);
    EXPECT_EQ("OFF", summary["agent"]["updateMode"]);
    EXPECT_EQ("-FWUPDATE OFF. Desired firmware doesn't exists on the modem", summary["agent"]["decision"]);
    EXPECT_EQ(std::vector<std::string>{"1 -> 0"}, Steps(summary, "gps"));
    EXPECT_TRUE(Steps(summary, "upgrade").empty());
    const std::vector<std::string> deletions = Steps(summary, "deletion");
    EXPECT_EQ(2, std::count(deletions.begin(), deletions.end(), " -> 0")) << testing::PrintToString(deletions);
    EXPECT_TRUE(m_sim.StoredImages(0).size() == 1 && m_sim.StoredImages(1).size() == 1);
}

TEST_F(TovilogRunsTest, RunThatCannotConnect)
{
    ASSERT_EQ(0u, m_sim.SetFault("QCWWANConnect", 6, TOVISIM_ALWAYS));
    Run(L"-FWUPDATE FORCE -DEFAULTIMAGE 3");

    json summary = SummaryOf(m_log);
    EXPECT_EQ("-FWUPDATE FORCE. Firmware will be updated", summary["agent"]["decision"]);
    // The store's start-up connection and the upgrade's own both fail, each
    // after its ten retries; no upgrade was tried.
    EXPECT_EQ((std::vector<std::string>{"11 tries -> 6", "11 tries -> 6"}), Steps(summary, "connect"));
    EXPECT_TRUE(Steps(summary, "upgrade").empty());
    // Per connection ten retries and the failure, the store's failed start-up,
    // and the agent's own report of the upgrade's failed connection.
    EXPECT_EQ(2 * (10 + 1) + 1 + 1, summary["errors"]["count"]);
    EXPECT_EQ("Can't find device, sleep and try again: 1", summary["errors"]["lines"][0]["text"]);
    EXPECT_TRUE(summary["footer"].get<bool>());
}

TEST_F(TovilogRunsTest, ScrambledLogDecodesToThePlainRunsLines)
{
    Run(L"-FWUPDATE FORCE -DEFAULTIMAGE 3");
    const std::wstring plain = KeepLog(L"tovilog_plain.txt");
    ASSERT_EQ(0u, m_sim.Create(L"6"));
    m_encrypt.SetDword(1);
    Run(L"-FWUPDATE FORCE -DEFAULTIMAGE 3");
    const std::wstring scrambled = KeepLog(L"tovilog_scrambled.txt");
    const std::string scrambledBytes = ReadFileBytes(scrambled);
    ASSERT_EQ(std::string::npos, scrambledBytes.find("ToviImgMgr")) << "the log is not scrambled";

    const std::wstring decoded = TempFile(L"tovilog_decoded.txt");
    ToolResult result = RunTool(L"tovilog.exe", L"decode " + Quoted(scrambled) + L" " + Quoted(decoded));
    ASSERT_EQ(0, result.nExit) << result.err;
    EXPECT_EQ("", result.err);
    const std::string text = ReadFileBytes(decoded);
    EXPECT_EQ(Scramble(scrambledBytes), text);
    EXPECT_EQ(LinesTimesAside(ReadFileBytes(plain)), LinesTimesAside(text));

    // Decoding a plain log gives it back as it is; show and summary read the
    // scrambled one directly.
    ToolResult again = RunTool(L"tovilog.exe", L"decode " + Quoted(plain));
    EXPECT_EQ(0, again.nExit);
    EXPECT_EQ(ReadFileBytes(plain), again.out);
    json summary = SummaryOf(scrambled);
    EXPECT_TRUE(summary["log"]["scrambled"].get<bool>());
    EXPECT_EQ("-FWUPDATE FORCE. Firmware will be updated", summary["agent"]["decision"]);
    ToolResult shown = RunTool(L"tovilog.exe", L"show " + Quoted(scrambled) + L" --level i --grep UpgradeFirmware3k");
    EXPECT_EQ(0, shown.nExit);
    EXPECT_TRUE(std::regex_match(shown.out, std::regex("ToviImgMgr [^\\r\\n]+ i :   UpgradeFirmware3k succeed for [^\\r\\n]+\\r\\n")))
        << shown.out;
}

// A small size limit empties the log again and again during the run; the
// live log then starts with a trace line and the backup is the log as it
// was at the last limit. Both, plain and scrambled, read like any log.
TEST_F(TovilogRunsTest, LogEmptiedAtTheSizeLimitAndItsBackup)
{
    m_maxLogSize.SetDword(3000);
    for (bool bScrambled : {false, true})
    {
        SCOPED_TRACE(bScrambled ? "scrambled" : "plain");
        if (bScrambled)
            m_encrypt.SetDword(1);
        ASSERT_EQ(0u, m_sim.Create(L"6"));
        ::DeleteFileW((m_log + L"_BACKUP").c_str());
        Run(L"-FWUPDATE FORCE -DEFAULTIMAGE 3");
        const std::wstring backup = m_log + L"_BACKUP";
        ASSERT_TRUE(FileExists(backup));

        json live = SummaryOf(m_log);
        EXPECT_FALSE(live["log"]["header"].get<bool>());
        EXPECT_EQ(bScrambled, live["log"]["scrambled"].get<bool>());
        EXPECT_EQ(0, live["log"]["unparsedLines"]);
        EXPECT_TRUE(live["footer"].get<bool>());
        EXPECT_FALSE(live["start"]["time"].is_null());
        json saved = SummaryOf(backup);
        EXPECT_EQ(bScrambled, saved["log"]["scrambled"].get<bool>());
        EXPECT_EQ(0, saved["log"]["unparsedLines"]);
        EXPECT_FALSE(saved["footer"].get<bool>()) << "the backup is taken in the middle of the run";
        EXPECT_GT(saved["log"]["lines"].get<long>(), 10);

        ToolResult decoded = RunTool(L"tovilog.exe", L"decode " + Quoted(m_log));
        EXPECT_EQ(0, decoded.nExit);
        EXPECT_EQ("", decoded.err);
        EXPECT_EQ(0u, decoded.out.find("ToviImgMgr ")) << decoded.out.substr(0, 100);
    }
}

// The real program during its 2 s pause before the GPS step: the level the
// tool sets applies from the program's next trace line on.
TEST_F(TovilogRunsTest, LevelChangedDuringThePauseAppliesToTheNextLines)
{
    CRegistrySnapshot overrides(HKEY_CURRENT_USER, PROGRAM_KEY, KEY_WOW64_64KEY);
    CProgramRun run(TestProgramFolder() + L"\\ToviImgMgr.exe", L" -FWUPDATE OFF -GPSAUTO 1", TestProgramFolder());
    ASSERT_TRUE(run.Started());
    const std::string pause = " i :   Sleep 2s before EnableGpsAuto\r\n";
    const DWORD dwStart = ::GetTickCount();
    while (ReadFileBytes(m_log).find(pause) == std::string::npos && ::GetTickCount() - dwStart < 20000)
        ::Sleep(20);
    ToolResult result = RunTool(L"tovilog.exe", L"level --class TBDCT_ALL_FUNCTIONS=off");
    ASSERT_EQ(0, run.WaitForExit(RUN_TIMEOUT_MS));
    ASSERT_EQ(0, result.nExit) << result.err;
    EXPECT_TRUE(std::regex_search(result.out, std::regex("Signalled DiroDuzUvevo_AlterEvent_\\d+_TOVIIMGMGR\r\n")))
        << result.out;

    const std::string log = ReadFileBytes(m_log);
    const size_t paused = log.find(pause);
    ASSERT_NE(std::string::npos, paused) << "the program did not reach its pause";
    const std::string after = log.substr(paused);
    EXPECT_NE(std::string::npos, after.find(" i :   Apply TBD logging registry over-rides\r\n"));
    EXPECT_NE(std::string::npos, after.find(" i :   SetPortAutomaticTracking succeeded with 1\r\n"));
    EXPECT_EQ(std::string::npos, after.find(" h : ")) << "timed-operation lines after the class was switched off";
    EXPECT_NE(std::string::npos, log.substr(0, paused).find(" h : + CHiddenAgent::Execute"));
}

struct BadInput
{
    const char* name;
    std::string bytes;     // written to the input file; "" with bMissing: no file
    bool bMissing;
    long nExit;
    const char* message;   // in the error output
};

TEST_F(TovilogRunsTest, BadInputIsRefusedOrReadAsFarAsItGoes)
{
    Run(L"-FWUPDATE AUTO");
    const std::string plain = ReadFileBytes(m_log);
    ASSERT_GT(plain.size(), 200u);
    const size_t cut = plain.find("\r\n", 150) + 5;  // inside a line

    const BadInput cases[] = {
        {"missing file", "", true, 2, "cannot open"},
        {"empty file", "", false, 2, "is empty"},
        {"text that is not a log", "Hello\r\nthis is not a log\r\n", false, 2, "is not a trace log"},
        {"binary file", std::string("\x4d\x5a\x90\x00\x03\x00\x00\x00\x04\x00", 10), false, 2, "is not a trace log"},
        {"scrambled log cut inside a line", Scramble(plain.substr(0, cut)), false, 0, "cut short"},
        {"scrambled log cut inside its header", Scramble(plain.substr(0, 6)), false, 0, "cut short"},
    };
    for (const BadInput& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::wstring input = TempFile(L"tovilog_input.txt");
        if (!c.bMissing)
        {
            ASSERT_TRUE(WriteBytes(input, c.bytes));
        }
        const std::wstring output = TempFile(L"tovilog_output.txt");
        for (const wchar_t* command : {L"decode", L"show", L"summary"})
        {
            std::wstring arguments = std::wstring(command) + L" " + Quoted(input);
            if (std::wstring(command) == L"decode")
                arguments += L" " + Quoted(output);
            ToolResult result = RunTool(L"tovilog.exe", arguments);
            EXPECT_EQ(c.nExit, result.nExit) << AnsiBytes(command) << ": " << result.err;
            EXPECT_NE(std::string::npos, result.err.find(c.message)) << AnsiBytes(command) << ": " << result.err;
            if (c.nExit != 0)
            {
                EXPECT_FALSE(FileExists(output)) << "decode wrote something for a refused input";
            }
        }
        if (c.nExit == 0)
        {
            EXPECT_EQ(c.bytes.size(), ReadFileBytes(output).size());
            EXPECT_EQ(Scramble(c.bytes), ReadFileBytes(output)) << "what is there is decoded whole";
            json summary = SummaryOf(input);
            EXPECT_TRUE(summary["log"]["cutShort"].get<bool>());
            EXPECT_FALSE(summary["footer"].get<bool>());
        }
    }
}

TEST_F(TovilogRunsTest, PathNamesTheLogAndItsCopies)
{
    Run(L"-FWUPDATE AUTO");
    ToolResult result = RunTool(L"tovilog.exe", L"path");
    ASSERT_EQ(0, result.nExit) << result.err;
    const std::string log = AnsiBytes(m_log);
    const std::string size = std::to_string(ReadFileBytes(m_log).size());
    EXPECT_NE(std::string::npos, result.out.find("Log:     " + log + "  " + size + " bytes  ")) << result.out;
    EXPECT_NE(std::string::npos, result.out.find("Saved:   " + log + "_Saved  ")) << result.out;
    EXPECT_NE(std::string::npos, result.out.find("Backup:  " + log + "_BACKUP  (none)")) << result.out;
}

// Download-all pauses 30 s after each folder: a store of one folder keeps the
// run to one pause.
class TovilogDownloadAllTest : public TovilogRunsTest
{
protected:
    static SampleStoreOptions OneFolder()
    {
        SampleStoreOptions options;
        options.folders = {6};
        return options;
    }
    TovilogDownloadAllTest() : TovilogRunsTest(OneFolder()) {}
};

TEST_F(TovilogDownloadAllTest, DownloadAll)
{
    // A newer build in the folder, so the upgrade has something to store.
    SampleStoreOptions newer = OneFolder();
    newer.modemVersion = 1576;
    ASSERT_TRUE(m_sim.WriteStore(newer));
    Run(L"-DOWNLOADALL");

    json summary = SummaryOf(m_log);
    EXPECT_EQ("Down load all image.", summary["agent"]["decision"]);
    EXPECT_TRUE(summary["agent"]["updateMode"].is_null());
    EXPECT_EQ(std::vector<std::string>{"1 folders -> ?"}, Steps(summary, "download-all"));
    EXPECT_EQ(std::vector<std::string>{Utf8(m_sim.FolderPath(6)) + " -> 0"}, Steps(summary, "upgrade"));
    EXPECT_EQ(0, summary["errors"]["count"]);
    EXPECT_EQ("AMSS-STSUGN-F06-1576", m_sim.RunningBuildId(0));
}
}  // namespace
