// tovisim: drives the simulated modem (the ToviApi.dll beside this program).
#include <windows.h>

#include <string>
#include <vector>

#include "ConsoleOutput.h"
#include "QdlServiceStandIn.h"
#include "SimCommands.h"
#include "SimLibrary.h"

namespace
{
int Usage(const wchar_t* error)
{
    if (error)
        CConsoleOutput::Error(L"tovisim: %s\n\n", error);
    CSimCommands::PrintUsage(false);
    return 2;
}

std::wstring LibraryPath()
{
    wchar_t path[MAX_PATH + 1] = {};
    DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    size_t slash = folder.find_last_of(L"\\/");
    return (slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1)) + L"ToviApi.dll";
}

typedef int (CSimCommands::*Command)(const CSimCommands::Args&);

struct CommandEntry
{
    const wchar_t* name;
    Command command;
};

const CommandEntry kCommands[] = {
    {L"create", &CSimCommands::Create},   {L"empty", &CSimCommands::Empty},
    {L"store", &CSimCommands::Store},     {L"prefer", &CSimCommands::Prefer},
    {L"upgrade", &CSimCommands::Upgrade}, {L"delete", &CSimCommands::Delete},
    {L"gps", &CSimCommands::Gps},         {L"show", &CSimCommands::Show},
    {L"journal", &CSimCommands::Journal}, {L"fault", &CSimCommands::Fault},
    {L"rawlist", &CSimCommands::RawList}, {L"override", &CSimCommands::Override},
    {L"clear", &CSimCommands::Clear},     {L"delay", &CSimCommands::Delay},
    {L"removal", &CSimCommands::Removal},
};

bool IsHelp(const std::wstring& word)
{
    return word == L"help" || word == L"-h" || word == L"--help" || word == L"/?";
}
}

int wmain(int argc, wchar_t** argv)
{
    std::vector<std::wstring> args(argv + 1, argv + argc);
    ULONG repeat = 1;
    size_t next = 0;
    while (next < args.size() && args[next].compare(0, 2, L"--") == 0 && !IsHelp(args[next]))
    {
        if (next + 1 >= args.size())
            return Usage((args[next] + L" needs a value").c_str());
        if (args[next] == L"--state")
            ::SetEnvironmentVariableW(L"TOVISIM_STATE", args[next + 1].c_str());
        else if (args[next] == L"--repeat")
        {
            if (!CSimCommands::ParseNumber(args[next + 1], repeat) || repeat == 0)
                return Usage(L"--repeat needs a number above 0");
        }
        else
            return Usage((L"unknown option " + args[next]).c_str());
        next += 2;
    }
    if (next >= args.size())
        return Usage(L"no command given");
    std::wstring name = args[next];
    CSimCommands::Args rest(args.begin() + next + 1, args.end());

    if (IsHelp(name))
    {
        CSimCommands::PrintUsage(true);
        return 0;
    }
    if (name == L"generate")
        return CSimCommands::Generate(rest);
    if (name == L"service")
    {
        if (rest.empty())
            return CQdlServiceStandIn::Run();
        if (rest.size() == 1 && rest[0] == L"stop")
            return CQdlServiceStandIn::SignalStop();
        return Usage(L"service takes nothing or \"stop\"");
    }
    for (const CommandEntry& entry : kCommands)
    {
        if (name != entry.name)
            continue;
        CSimLibrary library;
        if (!library.Load(LibraryPath()))
        {
            CConsoleOutput::Error(L"tovisim: cannot load the simulated modem library %s\n", LibraryPath().c_str());
            return 1;
        }
        CSimCommands commands(library);
        int result = 0;
        for (ULONG i = 0; i < repeat && result == 0; ++i)
            result = (commands.*entry.command)(rest);
        return result;
    }
    return Usage((L"unknown command " + name).c_str());
}
