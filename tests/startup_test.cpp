// Start-up of the real program: ToviImgMgr.exe beside the test is run as its
// own process; the test finds the version box, reads it, presses OK and reads
// the trace log that the run left.
#include <windows.h>

#include <stdio.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "framework/WinApp.h"
#include "support/RegistrySnapshot.h"
#include "support/ProgramRun.h"
#include "support/SimModem.h"
#include "support/TraceTestSupport.h"

namespace
{
const wchar_t* const BOX_CAPTION = L"ToviImageManager";
const DWORD START_TIMEOUT_MS = 20000;
const DWORD EXIT_TIMEOUT_MS = 20000;
// Long enough for a second box, if the program showed one, to appear.
const DWORD SECOND_BOX_GRACE_MS = 500;

int IndexOf(const std::vector<std::string>& texts, const std::string& text, size_t from = 0)
{
    for (size_t i = from; i < texts.size(); ++i)
        if (texts[i] == text)
            return (int)i;
    return -1;
}

bool IsVersionBox(HWND hWnd)
{
    wchar_t caption[256] = {};
    ::GetWindowTextW(hWnd, caption, 256);
    return wcscmp(caption, BOX_CAPTION) == 0;
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

// The program beside the test, started from a folder that is not its own.
std::wstring TempFolder()
{
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    return temp;
}

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
    std::wstring logPath = ProgramLogPath();
    ASSERT_FALSE(logPath.empty());
    ::DeleteFileW(logPath.c_str());

    CProgramRun run(TestProgramFolder() + L"\\ToviImgMgr.exe", c.pszArguments, TempFolder());
    ASSERT_TRUE(run.Started()) << ::GetLastError();
    HWND hBox = run.WaitForWindow(IsVersionBox, START_TIMEOUT_MS);
    if (c.bShowsBox)
    {
        ASSERT_NE(nullptr, hBox) << "no box captioned ToviImageManager appeared";
        ::Sleep(SECOND_BOX_GRACE_MS);
        EXPECT_EQ(1u, run.Windows(IsVersionBox).size());
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
    EXPECT_EQ(0, run.WaitForExit(EXIT_TIMEOUT_MS));
    EXPECT_TRUE(run.Windows(IsVersionBox).empty());

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
