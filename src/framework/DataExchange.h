#pragma once
// Moves values between a dialog's members and its controls, in the direction
// UpdateData asks for.
#include <windows.h>

#include <string>

class CListCtrl;

class CDataExchange
{
public:
    CDataExchange(HWND hDlg, BOOL bSaveAndValidate);

    HWND m_hDlg;
    BOOL m_bSaveAndValidate;  // TRUE: controls into members
};

// Attaches the member to the control the first time; the control stays the
// member's for the life of the window.
void DDX_Control(CDataExchange* pDX, int nIDC, CListCtrl& rControl);
// The control's text into the string, or the string into the control.
void DDX_Text(CDataExchange* pDX, int nIDC, std::wstring& value);
