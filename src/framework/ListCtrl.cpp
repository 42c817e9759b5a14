#include "framework/ListCtrl.h"

CListCtrl::CListCtrl() : m_hWnd(nullptr)
{
}

int CListCtrl::InsertColumn(int nCol, const wchar_t* pszHeading, int nFormat, int nWidth)
{
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH | LVCF_SUBITEM;
    column.fmt = nFormat;
    column.cx = nWidth;
    column.pszText = const_cast<wchar_t*>(pszHeading);
    column.iSubItem = nCol;
    return (int)::SendMessageW(m_hWnd, LVM_INSERTCOLUMNW, (WPARAM)nCol, (LPARAM)&column);
}

void CListCtrl::SetExtendedListViewStyle(DWORD dwExStyle)
{
    // A mask of 0 means every style: those not given are cleared.
    ::SendMessageW(m_hWnd, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, (LPARAM)dwExStyle);
}

BOOL CListCtrl::DeleteAllItems()
{
    return (BOOL)::SendMessageW(m_hWnd, LVM_DELETEALLITEMS, 0, 0);
}

int CListCtrl::InsertItem(int nItem, const wchar_t* pszText)
{
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = nItem;
    item.pszText = const_cast<wchar_t*>(pszText);
    return (int)::SendMessageW(m_hWnd, LVM_INSERTITEMW, 0, (LPARAM)&item);
}

BOOL CListCtrl::SetItemText(int nItem, int nSubItem, const wchar_t* pszText)
{
    LVITEMW item = {};
    item.iSubItem = nSubItem;
    item.pszText = const_cast<wchar_t*>(pszText);
    return (BOOL)::SendMessageW(m_hWnd, LVM_SETITEMTEXTW, (WPARAM)nItem, (LPARAM)&item);
}

BOOL CListCtrl::SetItemData(int nItem, DWORD_PTR dwData)
{
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = nItem;
    item.lParam = (LPARAM)dwData;
    return (BOOL)::SendMessageW(m_hWnd, LVM_SETITEMW, 0, (LPARAM)&item);
}

DWORD_PTR CListCtrl::GetItemData(int nItem) const
{
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = nItem;
    if (!::SendMessageW(m_hWnd, LVM_GETITEMW, 0, (LPARAM)&item))
        return 0;
    return (DWORD_PTR)item.lParam;
}

int CListCtrl::GetItemText(int nItem, int nSubItem, wchar_t* pszText, int nLen) const
{
    if (pszText == nullptr || nLen <= 0)
        return 0;
    pszText[0] = L'\0';
    LVITEMW item = {};
    item.iSubItem = nSubItem;
    item.pszText = pszText;
    item.cchTextMax = nLen;
    int nCopied = (int)::SendMessageW(m_hWnd, LVM_GETITEMTEXTW, (WPARAM)nItem, (LPARAM)&item);
    // The control truncates to the buffer; the terminator is ours to be sure of.
    pszText[nLen - 1] = L'\0';
    return nCopied;
}

int CListCtrl::GetSelectionMark() const
{
    return (int)::SendMessageW(m_hWnd, LVM_GETSELECTIONMARK, 0, 0);
}

BOOL CListCtrl::SetItemState(int nItem, UINT nState, UINT nMask)
{
    LVITEMW item = {};
    item.state = nState;
    item.stateMask = nMask;
    return (BOOL)::SendMessageW(m_hWnd, LVM_SETITEMSTATE, (WPARAM)nItem, (LPARAM)&item);
}

UINT CListCtrl::GetItemState(int nItem, UINT nMask) const
{
    return (UINT)::SendMessageW(m_hWnd, LVM_GETITEMSTATE, (WPARAM)nItem, (LPARAM)nMask);
}
