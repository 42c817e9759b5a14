#pragma once
// A thin wrapper over a report-view list view control that the window owns;
// the wrapper only remembers the control's handle.
#include <windows.h>

#include <commctrl.h>

class CListCtrl
{
public:
    CListCtrl();

    void Attach(HWND hWnd) { m_hWnd = hWnd; }
    void Detach() { m_hWnd = nullptr; }
    HWND GetSafeHwnd() const { return m_hWnd; }

    int InsertColumn(int nCol, const wchar_t* pszHeading, int nFormat, int nWidth);
    // Sets exactly these extended styles, clearing all others.
    void SetExtendedListViewStyle(DWORD dwExStyle);
    BOOL DeleteAllItems();
    int InsertItem(int nItem, const wchar_t* pszText);
    BOOL SetItemText(int nItem, int nSubItem, const wchar_t* pszText);
    BOOL SetItemData(int nItem, DWORD_PTR dwData);
    DWORD_PTR GetItemData(int nItem) const;
    // Copies at most nLen - 1 characters and a terminator; returns the length.
    int GetItemText(int nItem, int nSubItem, wchar_t* pszText, int nLen) const;
    int GetSelectionMark() const;
    BOOL SetItemState(int nItem, UINT nState, UINT nMask);
    UINT GetItemState(int nItem, UINT nMask) const;

    HWND m_hWnd;
};
