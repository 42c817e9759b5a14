#pragma once
// The application object: the one static instance of a CWinApp-derived class
// receives the process's start-up and shutdown.
#include <windows.h>

class CWinApp
{
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Start-up hook; TRUE would run a message loop, FALSE ends the process.
    virtual BOOL InitInstance();
    // Shutdown hook; its result becomes the process's exit status.
    virtual int ExitInstance();
    // Runs the message loop until WM_QUIT; its wParam becomes the exit status.
    virtual int Run();

    // Sets the registry key under which the application's profile would live.
    void SetRegistryKey(const wchar_t* pszRegistryKey);
    // Lets dialogs host the common controls; there are no other containers here.
    void EnableControlContainer() {}
    // The framework's ID_HELP handler; this program has no help file.
    void OnHelp() {}

    HINSTANCE m_hInstance;
    // The command line after the program's name, leading blanks removed.
    const wchar_t* m_lpCmdLine;
    const wchar_t* m_pszRegistryKey;

private:
    int m_nExitCode;
};

// The one application object.
CWinApp* AfxGetApp();

// The framework's entry: runs the application object's hooks.
int AfxWinMain(HINSTANCE hInstance, const wchar_t* pszCommandLine);

// The text after the program's name on a full command line, leading blanks removed.
const wchar_t* AfxSkipProgramName(const wchar_t* pszCommandLine);
