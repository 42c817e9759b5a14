#pragma once
// The About box of the image manager window; the dialog manager does all its work.
#include <windows.h>

#include "framework/Dialog.h"

class CAboutDlg : public CDialog
{
public:
    explicit CAboutDlg(HWND hParent = nullptr);
};
