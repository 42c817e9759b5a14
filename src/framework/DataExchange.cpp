#include "framework/DataExchange.h"

#include <vector>

#include "framework/ListCtrl.h"

CDataExchange::CDataExchange(HWND hDlg, BOOL bSaveAndValidate) : m_hDlg(hDlg), m_bSaveAndValidate(bSaveAndValidate)
{
}

void DDX_Control(CDataExchange* pDX, int nIDC, CListCtrl& rControl)
{
    if (rControl.GetSafeHwnd() == nullptr)
        rControl.Attach(::GetDlgItem(pDX->m_hDlg, nIDC));
}

void DDX_Text(CDataExchange* pDX, int nIDC, std::wstring& value)
{
    HWND hControl = ::GetDlgItem(pDX->m_hDlg, nIDC);
    if (!pDX->m_bSaveAndValidate)
    {
        ::SetWindowTextW(hControl, value.c_str());
        return;
    }
    int nLength = ::GetWindowTextLengthW(hControl);
    std::vector<wchar_t> text(static_cast<size_t>(nLength) + 1, L'\0');
    int nCopied = ::GetWindowTextW(hControl, text.data(), nLength + 1);
    value.assign(text.data(), nCopied > 0 ? static_cast<size_t>(nCopied) : 0);
}
