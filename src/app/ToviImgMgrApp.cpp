#include "app/ToviImgMgrApp.h"

#include <commctrl.h>
#include <stdio.h>

#include <vector>

#include "app/AgentMode.h"
#include "diroduzuvevo/DiroDuzUvevo.h"

CToviImgMgrApp theApp;

namespace
{
// The four parts of a file's fixed version, all 0 when it cannot be read.
void ReadFileVersion(const wchar_t* pszFile, DWORD dwSize, WORD parts[4])
{
    parts[0] = parts[1] = parts[2] = parts[3] = 0;
    std::vector<BYTE> buffer;
    try
    {
        buffer.resize(dwSize);
    }
    catch (...)
    {
        return;
    }
    if (!::GetFileVersionInfoW(pszFile, 0, dwSize, buffer.data()))
        return;
    VS_FIXEDFILEINFO* pInfo = nullptr;
    UINT uLen = 0;
    if (!::VerQueryValueW(buffer.data(), L"\\", reinterpret_cast<void**>(&pInfo), &uLen) || !pInfo ||
        uLen < sizeof(VS_FIXEDFILEINFO))
        return;
    parts[0] = HIWORD(pInfo->dwFileVersionMS);
    parts[1] = LOWORD(pInfo->dwFileVersionMS);
    parts[2] = HIWORD(pInfo->dwFileVersionLS);
    parts[3] = LOWORD(pInfo->dwFileVersionLS);
}
}

BOOL CToviImgMgrApp::InitInstance()
{
    INITCOMMONCONTROLSEX icc = {};
    icc.dwSize = sizeof(icc);
    icc.dwICC = ICC_WIN95_CLASSES;
    ::InitCommonControlsEx(&icc);

    CWinApp::InitInstance();
    EnableControlContainer();
    SetRegistryKey(L"Local AppWizard-Generated Applications");

    StartLogging();
    TbdPrintMessage(TBCT_INFO, 1, L"Command line options: %s", m_lpCmdLine);

    if (m_lpCmdLine[0] != L'\0')
        RunAgentMode(m_lpCmdLine);
    else
        ShowVersionBox();
    return FALSE;
}

int CToviImgMgrApp::ExitInstance()
{
    TbdShutdown();
    return CWinApp::ExitInstance();
}

void CToviImgMgrApp::StartLogging()
{
    TbdConfig config = {};
    config.nDefaultLevel = 1;
    config.bTraceAllFunctions = 1;
    config.bTraceAllMemory = 1;
    config.bTraceInfo = 1;
    config.bTraceRead = 0;
    config.nLogSizeLimit = 1000000;
    config.hRootKey = HKEY_CURRENT_USER;
    config.bLogOwnVersion = 1;
    wcscpy_s(config.szModuleName, L"ToviImgMgr");
    // A log that cannot be started leaves every trace call a no-op; the run goes on.
    TbdStartLogging(&config);
}

void CToviImgMgrApp::ShowVersionBox()
{
    TbdPrintMessage(TBCT_INFO, 1, L"No command line options specified, application won't do anything");

    const wchar_t* pszFile = L"ToviImgMgr.exe";
    DWORD dwHandle = 0;
    DWORD dwSize = ::GetFileVersionInfoSizeW(pszFile, &dwHandle);
    if (dwSize == 0)
        return;

    WORD parts[4];
    ReadFileVersion(pszFile, dwSize, parts);
    wchar_t szText[MAX_PATH] = {};
    _snwprintf(szText, MAX_PATH - 1, L"ToviImgMgr %u.%u.%u.%u", (unsigned)parts[0], (unsigned)parts[1],
               (unsigned)parts[2], (unsigned)parts[3]);
    ::MessageBoxW(nullptr, szText, L"ToviImageManager", MB_OK);
}
