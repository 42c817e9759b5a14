#include "framework/Dialog.h"

#include "framework/DataExchange.h"

namespace
{
// Messages whose result the dialog procedure returns itself; every other
// handled message hands its result over in DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT uMsg)
{
    switch (uMsg)
    {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG:
        return true;
    default:
        return false;
    }
}
}

CDialog::CDialog(UINT nIDTemplate, HWND hParent) : m_hWnd(nullptr), m_nIDTemplate(nIDTemplate), m_hParent(hParent)
{
}

CDialog::~CDialog()
{
}

INT_PTR CDialog::DoModal()
{
    // The templates live in the program's own image, also when this code is
    // linked into a test program.
    return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nIDTemplate), m_hParent,
                             &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

void CDialog::EndDialog(INT_PTR nResult)
{
    ::EndDialog(m_hWnd, nResult);
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange dx(m_hWnd, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*)
{
}

void CDialog::OnOK()
{
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

bool CDialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT&)
{
    return false;
}

bool CDialog::OnCommand(WPARAM wParam)
{
    if (HIWORD(wParam) != BN_CLICKED)
        return false;
    switch (LOWORD(wParam))
    {
    case IDOK:
        OnOK();
        return true;
    case IDCANCEL:
        OnCancel();
        return true;
    default:
        return false;
    }
}

INT_PTR CDialog::Dispatch(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_INITDIALOG)
        return OnInitDialog();

    LRESULT lResult = 0;
    bool bHandled = OnMessage(uMsg, wParam, lParam, lResult);
    if (!bHandled && uMsg == WM_COMMAND)
        bHandled = OnCommand(wParam);
    if (!bHandled)
        return FALSE;
    if (ReturnsResultDirectly(uMsg))
        return static_cast<INT_PTR>(lResult);
    ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, lResult);
    return TRUE;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    CDialog* pDialog = nullptr;
    if (uMsg == WM_INITDIALOG)
    {
        pDialog = reinterpret_cast<CDialog*>(lParam);
        pDialog->m_hWnd = hWnd;
        ::SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
    }
    else
    {
        pDialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hWnd, DWLP_USER));
    }
    // Messages before WM_INITDIALOG (WM_SETFONT) and after WM_NCDESTROY have no object.
    if (pDialog == nullptr)
        return FALSE;

    INT_PTR nResult = FALSE;
    try
    {
        nResult = pDialog->Dispatch(uMsg, wParam, lParam);
    }
    catch (...)
    {
        // An exception must not unwind through the system's dispatch code;
        // the message counts as not handled.
        nResult = FALSE;
    }
    if (uMsg == WM_NCDESTROY)
    {
        ::SetWindowLongPtrW(hWnd, DWLP_USER, 0);
        pDialog->m_hWnd = nullptr;
    }
    return nResult;
}
