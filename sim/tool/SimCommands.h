#pragma once
// The commands of tovisim.exe, each on the bound library. A command returns
// the process exit code: 0 done, 1 the library refused, 2 bad arguments.
#include <windows.h>

#include <string>
#include <vector>

#include "SimLibrary.h"

class CSimCommands
{
public:
    typedef std::vector<std::wstring> Args;  // the command's own arguments

    explicit CSimCommands(CSimLibrary& library) : m_library(library) {}

    int Create(const Args& args);
    int Empty(const Args& args);
    int Store(const Args& args);
    int Prefer(const Args& args);
    int Upgrade(const Args& args);
    int Delete(const Args& args);
    int Gps(const Args& args);
    int Show(const Args& args);
    int Journal(const Args& args);
    int Fault(const Args& args);
    int RawList(const Args& args);
    int Override(const Args& args);
    int Clear(const Args& args);
    int Delay(const Args& args);
    int Removal(const Args& args);

    // Without the library.
    static int Generate(const Args& args);
    // On standard output when asked for, else on standard error.
    static void PrintUsage(bool asked);

    // Numbers as the commands take them: decimal (a leading zero changes
    // nothing), or hexadecimal with 0x.
    static bool ParseNumber(const std::wstring& text, ULONG& value);
    static bool ParseCount(const std::wstring& text, ULONG& count);

private:
    // A folder name is taken under the modem's image store root; a text with
    // a path separator or a drive is used as it stands.
    bool ResolveFolder(const std::wstring& folder, std::wstring& path);
    int Result(const wchar_t* what, ULONG result);

    CSimLibrary& m_library;
};
