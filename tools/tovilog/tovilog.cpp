// tovilog: reads, decodes and summarises the trace logs of ToviImgMgr, and
// changes the trace level of a running ToviImgMgr.
#include <windows.h>

#include <string>
#include <vector>

#include "AlterEvents.h"
#include "LogCommands.h"
#include "ToolConsole.h"
#include "TraceLevelSettings.h"

namespace
{
const wchar_t kProgramUpper[] = L"TOVIIMGMGR";

const wchar_t kUsage[] =
    L"Usage: tovilog <command> [arguments]\r\n"
    L"\r\n"
    L"  path                       where the current user's log lives, with its _Saved and _BACKUP copies\r\n"
    L"  decode LOG [OUT]           the plain text of a log, scrambled or not (to OUT, else to the output)\r\n"
    L"  show [LOG] [--level E,i,h,t] [--thread ID] [--grep TEXT] [--no-scopes]\r\n"
    L"                             the log's lines, filtered by their fields\r\n"
    L"  summary [LOG] [--json]     one run's story: command line, mode, decisions, operations, errors,\r\n"
    L"                             timed operations, length and whether the run ended normally\r\n"
    L"  level LEVEL [--file | --debug] [--class NAME=on|off]... [--machine]\r\n"
    L"                             writes trace overrides for ToviImgMgr and signals every running one\r\n"
    L"  level --reset [--machine]  removes the values that level writes, and signals again\r\n"
    L"\r\n"
    L"LOG defaults to the current user's log. LEVEL: TBDOL_TRACE, TBDOL_INFORMATION, TBDOL_ERROR,\r\n"
    L"TBDOL_NONE (or trace, info, error, none, 0..3). NAME: TBDCT_ALL, TBDCT_ALL_FUNCTIONS,\r\n"
    L"TBDCT_ALL_MEMORY, TBCT_INFO, TBCT_READ.\r\n"
    L"Exit code: 0 done, 1 the system refused (the reason is printed), 2 bad arguments or input.\r\n";

int Usage(const std::wstring& error)
{
    if (!error.empty())
        CToolConsole::Error(error);
    CToolConsole::Print(kUsage);
    return error.empty() ? 0 : 2;
}

std::wstring Joined(const std::vector<std::wstring>& items)
{
    std::wstring text;
    for (const std::wstring& item : items)
        text += (text.empty() ? L"" : L", ") + item;
    return text;
}

// Sets the alter event of every running ToviImgMgr of this session.
int SignalRunningPrograms()
{
    std::vector<std::wstring> names;
    std::wstring error;
    if (!CAlterEvents::Find(kProgramUpper, &names, &error))
    {
        CToolConsole::Error(L"cannot look for running programs: " + error);
        return 1;
    }
    if (names.empty())
    {
        CToolConsole::Print(L"No ToviImgMgr is running in this session; the settings apply at its next start.\r\n");
        return 0;
    }
    int nExit = 0;
    for (const std::wstring& name : names)
    {
        DWORD dwError = 0;
        if (CAlterEvents::Signal(name, &dwError))
            CToolConsole::Print(L"Signalled " + name + L"\r\n");
        else
        {
            CToolConsole::Error(L"cannot signal " + name + L" (" + CToolConsole::ErrorText(dwError) + L")");
            nExit = 1;
        }
    }
    return nExit;
}

int Level(const std::vector<std::wstring>& args)
{
    bool bReset = false, bMachine = false, bFile = false, bDebug = false;
    std::wstring levelName;
    std::vector<CTraceLevelSettings::ClassSetting> classes;
    for (size_t i = 0; i < args.size(); ++i)
    {
        const std::wstring& arg = args[i];
        if (arg == L"--reset")
            bReset = true;
        else if (arg == L"--machine")
            bMachine = true;
        else if (arg == L"--file")
            bFile = true;
        else if (arg == L"--debug")
            bDebug = true;
        else if (arg == L"--class")
        {
            CTraceLevelSettings::ClassSetting setting;
            if (i + 1 >= args.size() || !CTraceLevelSettings::ParseClass(args[++i], &setting))
                return Usage(L"--class takes NAME=on or NAME=off, NAME one of TBDCT_ALL, TBDCT_ALL_FUNCTIONS, "
                             L"TBDCT_ALL_MEMORY, TBCT_INFO, TBCT_READ");
            classes.push_back(setting);
        }
        else if (arg.compare(0, 2, L"--") == 0)
            return Usage(L"unknown option " + arg);
        else if (levelName.empty())
        {
            if (!CTraceLevelSettings::ParseLevel(arg, &levelName))
                return Usage(L"unknown level " + arg + L": use TBDOL_TRACE, TBDOL_INFORMATION, TBDOL_ERROR or "
                             L"TBDOL_NONE");
        }
        else
            return Usage(L"level takes one LEVEL");
    }
    if (bFile && bDebug)
        return Usage(L"--file and --debug exclude each other (without either, both thresholds are set)");

    CTraceLevelSettings settings(bMachine);
    std::wstring error;
    if (bReset)
    {
        if (!levelName.empty() || !classes.empty() || bFile || bDebug)
            return Usage(L"--reset takes no level and no classes");
        std::vector<std::wstring> removed;
        if (!settings.Remove(&removed, &error))
        {
            CToolConsole::Error(error);
            return 1;
        }
        CToolConsole::Print(removed.empty() ? L"Nothing to remove under " + settings.Where() + L"\r\n"
                                            : L"Removed from " + settings.Where() + L": " + Joined(removed) + L"\r\n");
        int nExit = SignalRunningPrograms();
        CToolConsole::Print(L"A running program keeps the levels it has now: a removed value changes nothing when it "
                            L"reads its settings again, only its next start goes back to the defaults.\r\n");
        return nExit;
    }
    if (levelName.empty() && classes.empty())
        return Usage(L"level needs LEVEL, --class or --reset");

    CTraceLevelSettings::Threshold threshold =
        bFile ? CTraceLevelSettings::FILE_ONLY : (bDebug ? CTraceLevelSettings::DEBUG_ONLY : CTraceLevelSettings::BOTH);
    if (!settings.Write(levelName, threshold, classes, &error))
    {
        CToolConsole::Error(error);
        return 1;
    }
    std::vector<std::wstring> written;
    if (!levelName.empty())
    {
        if (threshold != CTraceLevelSettings::DEBUG_ONLY)
            written.push_back(L"TraceLevelFile = " + levelName);
        if (threshold != CTraceLevelSettings::FILE_ONLY)
            written.push_back(L"TraceLevelDebug = " + levelName);
    }
    for (const CTraceLevelSettings::ClassSetting& setting : classes)
        written.push_back(setting.name + (setting.bEnabled ? L" = 1" : L" = 0"));
    CToolConsole::Print(L"Wrote " + settings.Where() + L": " + Joined(written) + L"\r\n");
    std::vector<std::wstring> shadowing = settings.ShadowingUserValues(levelName, threshold, classes);
    if (!shadowing.empty())
        CToolConsole::Error(L"warning: HKEY_CURRENT_USER\\" + std::wstring(CTraceLevelSettings::ProgramKey) +
                            L" also holds " + Joined(shadowing) + L", which the program reads first");
    return SignalRunningPrograms();
}
}

int wmain(int argc, wchar_t** argv)
{
    std::vector<std::wstring> args(argv + 1, argv + argc);
    if (args.empty())
        return Usage(L"no command given");
    const std::wstring command = args[0];
    std::vector<std::wstring> rest(args.begin() + 1, args.end());
    if (command == L"help" || command == L"-h" || command == L"--help" || command == L"/?")
        return Usage(L"");
    if (command == L"path")
        return LogCommands::Path(rest);
    if (command == L"decode")
        return LogCommands::Decode(rest);
    if (command == L"show")
        return LogCommands::Show(rest);
    if (command == L"summary")
        return LogCommands::Summary(rest);
    if (command == L"level")
        return Level(rest);
    return Usage(L"unknown command " + command);
}
