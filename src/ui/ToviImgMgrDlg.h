#pragma once
// The interactive image manager window: shows the images the modem runs and
// the modem and PRI images stored on it, and lets the user make a stored pair
// the preference or delete stored images.
#include <windows.h>

#include <string>

#include "framework/Dialog.h"
#include "framework/ListCtrl.h"
#include "modem/FwImageStore.h"
#include "ui/ImageListView.h"

// Asks the window to reload the store and its lists; no parameters.
#define WM_NOTIFY_REFRESH (WM_USER + 1000)

class CToviImgMgrDlg : public CDialog
{
public:
    explicit CToviImgMgrDlg(HWND hParent = nullptr);
    ~CToviImgMgrDlg() override;

    // DoModal comes from CDialog; its result is IDOK or IDCANCEL.

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    bool OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

private:
    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnBnClickedBtnSelectImg();
    void OnNMClickListModem(NMHDR* pNMHDR, LRESULT* pResult);
    void OnNMClickListPri(NMHDR* pNMHDR, LRESULT* pResult);
    LRESULT OnNotifyRefresh(WPARAM wParam, LPARAM lParam);
    void OnBnClickedBtnClear();
    void OnDestroy();
    void OnBnClickedBtnDelete();
    void OnTimer(UINT_PTR nIDEvent);

    void EnableButton(int nId, BOOL bEnable);
    void UnmarkSelection(CListCtrl& list);
    bool DeleteMarkedImage(CImageListView& view, const std::list<CImageElement>& images,
                           const wchar_t* pszRowFormat, const wchar_t* pszFoundText);

public:
    HICON m_hIcon;
    BOOL m_bModemSelected;
    BOOL m_bPriSelected;
    CFwImageStore m_FwImageStore;
    CImageListView m_lvSelected;
    CImageListView m_lvModem;
    CImageListView m_lvPri;
    CListCtrl m_lcSelected;
    CListCtrl m_lcModem;
    CListCtrl m_lcPri;
    std::wstring m_csStatus;
};

// The open image manager window, or null; read by DeviceRemovalCallback.
extern CToviImgMgrDlg* g_pImgMgrDlg;

// Handed to the library's SetDeviceRemovalCallback; runs on the library's thread.
void DeviceRemovalCallback();
