// Start-up of the real program: ToviImgMgr.exe beside the test is run as its
// own process; the test finds the version box, reads it, presses OK and reads
// the trace log that the run left.
#include <windows.h>

#include <shlobj.h>
#include <stdio.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "framework/WinApp.h"
#include "platform/Handles.h"
#include "support/RegistrySnapshot.h"
#include "support/SimModem.h"

namespace
{
const wchar_t* const BOX_CAPTION = L"ToviImageManager";
const DWORD START_TIMEOUT_MS = 20000;
const DWORD EXIT_TIMEOUT_MS = 20000;
// Long enough for a second box, if the program showed one, to appear.
const DWORD SECOND_BOX_GRACE_MS = 500;

std::wstring OwnFolder()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\'));
}

std::wstring LogPath()
{
    wchar_t appData[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_DEFAULT, appData)))
        return std::wstring();
    return std::wstring(appData) + L"\\Velmora\\Logs\\ToviImgMgr.txt";
}

std::string ReadFileBytes(const std::wstring& path)
{
    std::string bytes;
    CFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
    if (!file)
        return bytes;
    char chunk[4096];
    DWORD read = 0;
    while (::ReadFile(file.get(), chunk, sizeof(chunk), &read, nullptr) && read > 0)
        bytes.append(chunk, read);
    return bytes;
}

// The texts of the log's trace lines: what follows the level tag after the
// thread ID field (" 0x%08x"). Header and footer lines have no tag.
std::vector<std::string> LogTexts(const std::string& log)
{
    static const char* const tags[] = {" t :   ", " i :   ", " h : ", " E :   "};
    std::vector<std::string> texts;
    size_t start = 0;
    while (start < log.size())
    {
        size_t end = log.find("\r\n", start);
        if (end == std::string::npos)
            end = log.size();
        std::string line = log.substr(start, end - start);
        start = end + 2;
        size_t pos = line.find(" 0x");
        if (pos == std::string::npos)
            continue;
        pos += 3 + 8;
        for (const char* tag : tags)
        {
            if (line.compare(pos, strlen(tag), tag) == 0)
            {
                texts.push_back(line.substr(pos + strlen(tag)));
                break;
            }
        }
    }
    return texts;
}

int IndexOf(const std::vector<std::string>& texts, const std::string& text, size_t from = 0)
{
    for (size_t i = from; i < texts.size(); ++i)
        if (texts[i] == text)
            return (int)i;
    return -1;
}

struct CBoxSearch
{
    DWORD dwProcessId;
    std::vector<HWND> boxes;
};

BOOL CALLBACK CollectBox(HWND hWnd, LPARAM lParam)
{
    CBoxSearch* pSearch = reinterpret_cast<CBoxSearch*>(lParam);
    DWORD dwProcessId = 0;
    ::GetWindowThreadProcessId(hWnd, &dwProcessId);
    wchar_t caption[256] = {};
    ::GetWindowTextW(hWnd, caption, 256);
    if (dwProcessId == pSearch->dwProcessId && ::IsWindowVisible(hWnd) && wcscmp(caption, BOX_CAPTION) == 0)
        pSearch->boxes.push_back(hWnd);
    return TRUE;
}

std::vector<HWND> FindBoxes(DWORD dwProcessId)
{
    CBoxSearch search = {dwProcessId, {}};
    ::EnumWindows(CollectBox, reinterpret_cast<LPARAM>(&search));
    return search.boxes;
}

// What a message box shows: its texts, its buttons and whether it shows an icon.
struct CBoxContents
{
    std::vector<std::wstring> texts;
    std::vector<std::wstring> buttons;
    std::vector<int> buttonIds;
    bool bIcon = false;
};

BOOL CALLBACK CollectControl(HWND hWnd, LPARAM lParam)
{
    CBoxContents* pContents = reinterpret_cast<CBoxContents*>(lParam);
    if (!::IsWindowVisible(hWnd))
        return TRUE;
    wchar_t className[64] = {};
    ::GetClassNameW(hWnd, className, 64);
    wchar_t text[512] = {};
    ::GetWindowTextW(hWnd, text, 512);
    LONG style = ::GetWindowLongW(hWnd, GWL_STYLE);
    if (_wcsicmp(className, L"Static") == 0)
    {
        if ((style & SS_TYPEMASK) == SS_ICON)
            pContents->bIcon = pContents->bIcon || ::SendMessageW(hWnd, STM_GETICON, 0, 0) != 0;
        else if (text[0])
            pContents->texts.push_back(text);
    }
    else if (_wcsicmp(className, L"Button") == 0)
    {
        pContents->buttons.push_back(text);
        pContents->buttonIds.push_back(::GetDlgCtrlID(hWnd));
    }
    return TRUE;
}

CBoxContents ReadBox(HWND hBox)
{
    CBoxContents contents;
    ::EnumChildWindows(hBox, CollectControl, reinterpret_cast<LPARAM>(&contents));
    return contents;
}

// One run of the program with the given text after its name, started from a
// folder that is not its own. Ends the process if a test leaves it running.
class CProgramRun
{
public:
    explicit CProgramRun(const std::wstring& arguments)
    {
        std::wstring commandLine = L"\"" + OwnFolder() + L"\\ToviImgMgr.exe\"" + arguments;
        std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
        buffer.push_back(L'\0');
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi = {};
        if (::CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, temp, &si, &pi))
        {
            m_process.reset(pi.hProcess);
            ::CloseHandle(pi.hThread);
            m_dwProcessId = pi.dwProcessId;
        }
    }
    ~CProgramRun()
    {
        if (m_process && ::WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT)
        {
            ::TerminateProcess(m_process.get(), 99);
            ::WaitForSingleObject(m_process.get(), EXIT_TIMEOUT_MS);
        }
    }
    CProgramRun(const CProgramRun&) = delete;
    CProgramRun& operator=(const CProgramRun&) = delete;

    bool Started() const { return static_cast<bool>(m_process); }
    DWORD ProcessId() const { return m_dwProcessId; }

    // The first version box, or nullptr once the program has ended or the time is up.
    HWND WaitForBox() const
    {
        DWORD dwStart = ::GetTickCount();
        while (::GetTickCount() - dwStart < START_TIMEOUT_MS)
        {
            std::vector<HWND> boxes = FindBoxes(m_dwProcessId);
            if (!boxes.empty())
                return boxes.front();
            if (::WaitForSingleObject(m_process.get(), 50) == WAIT_OBJECT_0)
                return nullptr;
        }
        return nullptr;
    }

    // Waits for the process to end by itself; its exit code, or -1 when it did not end.
    long WaitForExit() const
    {
        if (::WaitForSingleObject(m_process.get(), EXIT_TIMEOUT_MS) != WAIT_OBJECT_0)
            return -1;
        DWORD dwCode = 0;
        ::GetExitCodeProcess(m_process.get(), &dwCode);
        return static_cast<long>(dwCode);
    }

private:
    CHandle m_process;
    DWORD m_dwProcessId = 0;
};

struct StartCase
{
    const char* pszWhat;
    const wchar_t* pszArguments;
    bool bShowsBox;
    const char* pszTracedOptions;
};

void PrintTo(const StartCase& c, std::ostream* os)
{
    *os << c.pszWhat;
}

class StartupTest : public ::testing::TestWithParam<StartCase>
{
};

TEST_P(StartupTest, ShowsVersionBoxOnlyForEmptyCommandLine)
{
    const StartCase& c = GetParam();
    // Agent mode works on a modem and the agent's registry key: give the run
    // a modem state of its own (no modem at all) and put the key back after it.
    CSimModem sim;
    CRegistrySnapshot settings32(HKEY_LOCAL_MACHINE, L"Software\\Velmora Inc\\QDL", KEY_WOW64_32KEY);
    CRegistrySnapshot settings64(HKEY_LOCAL_MACHINE, L"Software\\Velmora Inc\\QDL", KEY_WOW64_64KEY);
    std::wstring logPath = LogPath();
    ASSERT_FALSE(logPath.empty());
    ::DeleteFileW(logPath.c_str());

    CProgramRun run(c.pszArguments);
    ASSERT_TRUE(run.Started()) << ::GetLastError();
    HWND hBox = run.WaitForBox();
    if (c.bShowsBox)
    {
        ASSERT_NE(nullptr, hBox) << "no box captioned ToviImageManager appeared";
        ::Sleep(SECOND_BOX_GRACE_MS);
        EXPECT_EQ(1u, FindBoxes(run.ProcessId()).size());
        CBoxContents contents = ReadBox(hBox);
        EXPECT_EQ(std::vector<std::wstring>{L"ToviImgMgr 1.0.1312.0"}, contents.texts);
        EXPECT_EQ(std::vector<int>{IDOK}, contents.buttonIds) << "a single OK button";
        EXPECT_FALSE(contents.bIcon);
        EXPECT_EQ(nullptr, ::GetWindow(hBox, GW_OWNER));
        ::PostMessageW(hBox, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
    else
    {
        EXPECT_EQ(nullptr, hBox);
    }
    // The exit status is the framework's own, whatever the mode.
    EXPECT_EQ(0, run.WaitForExit());
    EXPECT_TRUE(FindBoxes(run.ProcessId()).empty());

    std::vector<std::string> texts = LogTexts(ReadFileBytes(logPath));
    int options = IndexOf(texts, c.pszTracedOptions);
    EXPECT_GE(options, 0) << "no line \"" << c.pszTracedOptions << "\" in " << ::testing::PrintToString(texts);
    int nothing = IndexOf(texts, "No command line options specified, application won't do anything");
    if (c.bShowsBox)
        EXPECT_EQ(options + 1, nothing);
    else
        EXPECT_EQ(-1, nothing);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, StartupTest,
    ::testing::Values(StartCase{"NoArguments", L"", true, "Command line options: "},
                      StartCase{"OnlyBlanks", L"   \t ", true, "Command line options: "},
                      StartCase{"PlainWord", L"   hello", false, "Command line options: hello"}),
    [](const ::testing::TestParamInfo<StartCase>& info) { return std::string(info.param.pszWhat); });

// The framework's view of the command line: the text after the program's name.
TEST(ProgramNameSkip, LeavesTextAfterNameWithoutLeadingBlanks)
{
    struct
    {
        const wchar_t* pszCommandLine;
        const wchar_t* pszExpected;
    } cases[] = {
        {L"ToviImgMgr.exe", L""},
        {L"ToviImgMgr.exe   ", L""},
        {L"ToviImgMgr.exe -GPSAUTO", L"-GPSAUTO"},
        {L"ToviImgMgr.exe\t \t-FWUPDATE  AUTO ", L"-FWUPDATE  AUTO "},
        {L"\"C:\\Program Files\\Velmora\\ToviImgMgr.exe\" -DOWNLOADALL", L"-DOWNLOADALL"},
        // The name runs to the first blank outside quotes, closing quote or not.
        {L"\"C:\\Program Files\\Velmora\\ToviImgMgr.exe\"-X", L""},
        {L"C:\\\"Program Files\"\\ToviImgMgr.exe  a b", L"a b"},
        {L"\"C:\\unclosed quote\\ToviImgMgr.exe -X", L""},
        {L"", L""},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(c.pszExpected, AfxSkipProgramName(c.pszCommandLine))
            << "command line: " << ::testing::PrintToString(std::wstring(c.pszCommandLine));
    EXPECT_STREQ(L"", AfxSkipProgramName(nullptr));
}
}  // namespace
