#include "framework/WinApp.h"

namespace
{
CWinApp* g_pApp = nullptr;
}

CWinApp::CWinApp() : m_hInstance(nullptr), m_lpCmdLine(L""), m_pszRegistryKey(nullptr), m_nExitCode(0)
{
    g_pApp = this;
}

CWinApp::~CWinApp()
{
    if (g_pApp == this)
        g_pApp = nullptr;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::ExitInstance()
{
    return m_nExitCode;
}

int CWinApp::Run()
{
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0)
    {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    m_nExitCode = (int)msg.wParam;
    return ExitInstance();
}

void CWinApp::SetRegistryKey(const wchar_t* pszRegistryKey)
{
    m_pszRegistryKey = pszRegistryKey;
}

CWinApp* AfxGetApp()
{
    return g_pApp;
}

const wchar_t* AfxSkipProgramName(const wchar_t* pszCommandLine)
{
    const wchar_t* p = pszCommandLine ? pszCommandLine : L"";
    // The C runtime's rule: the program's name ends at the first blank or
    // control character outside double quotes; quotes may open anywhere in it.
    bool bInQuotes = false;
    while (*p > L' ' || (*p != L'\0' && bInQuotes))
    {
        if (*p == L'"')
            bInQuotes = !bInQuotes;
        ++p;
    }
    while (*p != L'\0' && *p <= L' ')
        ++p;
    return p;
}

int AfxWinMain(HINSTANCE hInstance, const wchar_t* pszCommandLine)
{
    CWinApp* pApp = AfxGetApp();
    if (!pApp)
        return -1;
    pApp->m_hInstance = hInstance;
    pApp->m_lpCmdLine = AfxSkipProgramName(pszCommandLine);
    if (!pApp->InitInstance())
        return pApp->ExitInstance();
    return pApp->Run();
}
