#pragma once
#include "framework/WinApp.h"

// The application: all of its work happens in InitInstance, which always
// returns FALSE so that no message loop runs.
class CToviImgMgrApp : public CWinApp
{
public:
    BOOL InitInstance() override;
    int ExitInstance() override;

private:
    void StartLogging();
    void ShowVersionBox();
};
