#include "ui/AboutDlg.h"

#include "ui/resource.h"

CAboutDlg::CAboutDlg(HWND hParent) : CDialog(IDD_ABOUTBOX, hParent)
{
}
