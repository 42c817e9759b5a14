#pragma once
// The interactive image manager window: shows the images the modem runs and
// the modem and PRI images stored on it, and lets the user make a stored pair
// the preference or delete stored images.
#include <windows.h>

#include <cstdint>
#include <list>
#include <string>

#include "framework/Dialog.h"
#include "framework/ListCtrl.h"
#include "modem/FwImageStore.h"
#include "ui/ImageListView.h"

// Asks the window to reload the store and its lists; no parameters.
#define WM_NOTIFY_REFRESH (WM_USER + 1000)
// Retries a failed reload.
#define IDT_REFRESH 1275
#define IDT_REFRESH_ELAPSE 3000

class CToviImgMgrDlg : public CDialog
{
public:
    // DoModal comes from CDialog; the run ends with IDOK or IDCANCEL.
    explicit CToviImgMgrDlg(HWND hParent = nullptr);
    ~CToviImgMgrDlg() override;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    bool OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

private:
    bool OnSysCommand(UINT nID, LPARAM lParam);
    bool OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnBnClickedBtnSelectImg();
    void OnNMClickListModem(NMHDR* pNMHDR, LRESULT* pResult);
    void OnNMClickListPri(NMHDR* pNMHDR, LRESULT* pResult);
    LRESULT OnNotifyRefresh(WPARAM wParam, LPARAM lParam);
    void OnBnClickedBtnClear();
    void OnDestroy();
    void OnBnClickedBtnDelete();
    void OnTimer(UINT_PTR nIDEvent);

    bool OnCommand(WPARAM wParam);
    bool OnNotify(NMHDR* pNMHDR, LRESULT& lResult);
    void AddAboutEntry();
    void ConnectAndWatchRemoval();
    bool ReloadStore();
    void EnableButton(int nId, BOOL bEnable);
    static void UnmarkRow(CListCtrl& list);
    void OnListClicked(const CListCtrl& list, BOOL& bSelected);
    // What one list's part of a delete came to.
    enum DeleteOutcome
    {
        DELETE_NOTHING_MARKED,
        DELETE_DONE,
        DELETE_STOPPED  // traced and shown; the delete goes no further
    };
    DeleteOutcome DeleteMarked(const CImageListView& view, const std::list<CImageElement>& images,
                               const wchar_t* pszMarkedFormat, const wchar_t* pszFoundText);

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

private:
    friend void WINAPI DeviceRemovalCallback();
    // Set by the removal callback: the next reload connects again.
    volatile LONG m_lDeviceRemoved;
};

// The open image manager window, or null; read by DeviceRemovalCallback.
extern CToviImgMgrDlg* g_pImgMgrDlg;

// Handed to the library's SetDeviceRemovalCallback; runs on the library's thread.
void WINAPI DeviceRemovalCallback();
