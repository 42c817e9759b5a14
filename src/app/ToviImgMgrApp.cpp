#include "app/ToviImgMgrApp.h"

#include <commctrl.h>
#include <stdio.h>

#include "app/AgentMode.h"
#include "diroduzuvevo/DiroDuzUvevo.h"
#include "platform/FileVersion.h"

CToviImgMgrApp theApp;

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
        RunAgentMode();
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

    // Found by the system's module search, which starts in the program's folder.
    WORD parts[4];
    if (!ReadFileVersion(L"ToviImgMgr.exe", parts))
        return;
    wchar_t szText[MAX_PATH] = {};
    _snwprintf(szText, MAX_PATH - 1, L"ToviImgMgr %u.%u.%u.%u", (unsigned)parts[0], (unsigned)parts[1],
               (unsigned)parts[2], (unsigned)parts[3]);
    ::MessageBoxW(nullptr, szText, L"ToviImageManager", MB_OK);
}
