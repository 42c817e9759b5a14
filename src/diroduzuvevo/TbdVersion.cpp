// Version lines for the running program or another module, and the
// program's own folder.
#include <stdio.h>

#include "diroduzuvevo/TbdInternal.h"
#include "diroduzuvevo/TbdLineLayout.h"
#include "platform/FileVersion.h"
#include "platform/Handles.h"

namespace
{
// The module's full path; false when it can not be had whole.
bool ModulePath(HMODULE hModule, wchar_t* psPath)
{
    psPath[0] = L'\0';
    DWORD nChars = ::GetModuleFileNameW(hModule, psPath, MAX_PATH);
    if (nChars == 0 || nChars >= MAX_PATH)
    {
        psPath[0] = L'\0';
        return false;
    }
    return true;
}

}

bool TbdProgramFolder(std::wstring* pFolder)
{
    wchar_t szPath[MAX_PATH];
    if (!ModulePath(nullptr, szPath))
        return false;
    wchar_t* psSlash = wcsrchr(szPath, L'\\');
    if (!psSlash)
        return false;
    *psSlash = L'\0';
    *pFolder = szPath;
    return true;
}

bool TbdLogModuleVersion(HMODULE hModule)
{
    wchar_t szPath[MAX_PATH];
    WORD parts[4] = {};
    if (ModulePath(hModule, szPath))
        ReadFileVersion(szPath, parts);
    wchar_t szVersion[64];
    _snwprintf(szVersion, 64, L"%u.%u.%u.%u", (unsigned)parts[0], (unsigned)parts[1], (unsigned)parts[2],
               (unsigned)parts[3]);
    szVersion[63] = L'\0';
    TbdPrintMessage(TBDCT_LAST, 1, L"Version: %s", szVersion);
    return true;
}

bool TbdLogLibraryVersion(const wchar_t* pszLibrary)
{
    if (!pszLibrary || !*pszLibrary)
        return false;
    CModule library(::LoadLibraryW(pszLibrary));
    if (!library)
    {
        TbdPrintMessage(TBCT_INFO, 3, L"Failed to load library: %s", pszLibrary);
        return false;
    }
    TbdLogModuleVersion(library.get());
    return true;
}

bool TbdGetExeFolder(wchar_t* pszFolder)
{
    if (!pszFolder)
        return false;
    pszFolder[0] = L'\0';
    wchar_t szPath[MAX_PATH];
    if (!ModulePath(nullptr, szPath))
        return false;
    TbdPrintMessage(TBCT_INFO, 1, L"ProcessId = 0x%08x", ::GetCurrentProcessId());
    // The path is text, not a format: a percent sign in it is printed as it is.
    TbdPrintMessage(TBCT_INFO, 1, L"%s", szPath);

    wchar_t* psSlash = wcsrchr(szPath, L'\\');
    if (!psSlash)
        return false;
    *psSlash = L'\0';
    CTbdLineBuffer(pszFolder, MAX_PATH).Append(szPath);
    return true;
}
