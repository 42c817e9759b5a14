#include "ui/ToviImgMgrDlg.h"

#include "diroduzuvevo/DiroDuzUvevo.h"
#include "framework/DataExchange.h"
#include "modem/ToviApiWrapper.h"
#include "platform/Handles.h"
#include "ui/AboutDlg.h"
#include "ui/FindImageByHandle.h"
#include "ui/resource.h"

CToviImgMgrDlg* g_pImgMgrDlg = nullptr;

namespace
{
// Guards g_pImgMgrDlg between the window's thread, which sets and clears it,
// and the library's thread, which posts to the window it names.
CCriticalSection g_csImgMgrDlg;

const wchar_t kRetrieveFailedText[] = L"Failed to retrieve modem/host images.  Trying again...";
}

CToviImgMgrDlg::CToviImgMgrDlg(HWND hParent)
    : CDialog(IDD_TOVIIMGMGR_DIALOG, hParent),
      m_hIcon(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))),
      m_bModemSelected(0),
      m_bPriSelected(0),
      m_lDeviceRemoved(0)
{
}

CToviImgMgrDlg::~CToviImgMgrDlg()
{
    // A window that never got as far as OnDestroy must not stay reachable.
    CLock lock(g_csImgMgrDlg);
    if (g_pImgMgrDlg == this)
        g_pImgMgrDlg = nullptr;
}

void CToviImgMgrDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_LIST_SELECTED, m_lcSelected);
    DDX_Control(pDX, IDC_LIST_MODEM, m_lcModem);
    DDX_Control(pDX, IDC_LIST_PRI, m_lcPri);
    DDX_Text(pDX, IDC_EDIT_STATUS, m_csStatus);
}

bool CToviImgMgrDlg::OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    switch (uMsg)
    {
    case WM_SYSCOMMAND:
        return OnSysCommand(static_cast<UINT>(wParam), lParam);
    case WM_PAINT:
        return OnPaint();
    case WM_QUERYDRAGICON:
        lResult = reinterpret_cast<LRESULT>(OnQueryDragIcon());
        return true;
    case WM_COMMAND:
        return OnCommand(wParam);
    case WM_NOTIFY:
        return OnNotify(reinterpret_cast<NMHDR*>(lParam), lResult);
    case WM_NOTIFY_REFRESH:
        lResult = OnNotifyRefresh(wParam, lParam);
        return true;
    case WM_DESTROY:
        OnDestroy();
        return false;
    case WM_TIMER:
        OnTimer(static_cast<UINT_PTR>(wParam));
        return false;
    default:
        return false;
    }
}

bool CToviImgMgrDlg::OnCommand(WPARAM wParam)
{
    if (HIWORD(wParam) != BN_CLICKED)
        return false;
    switch (LOWORD(wParam))
    {
    case IDC_BTN_SELECT_IMG:
        OnBnClickedBtnSelectImg();
        return true;
    case IDC_BTN_CLEAR:
        OnBnClickedBtnClear();
        return true;
    case IDC_BTN_DELETE:
        OnBnClickedBtnDelete();
        return true;
    default:
        return false;
    }
}

bool CToviImgMgrDlg::OnNotify(NMHDR* pNMHDR, LRESULT& lResult)
{
    if (pNMHDR == nullptr || pNMHDR->code != static_cast<UINT>(NM_CLICK))
        return false;
    switch (pNMHDR->idFrom)
    {
    case IDC_LIST_MODEM:
        OnNMClickListModem(pNMHDR, &lResult);
        return true;
    case IDC_LIST_PRI:
        OnNMClickListPri(pNMHDR, &lResult);
        return true;
    default:
        return false;
    }
}

BOOL CToviImgMgrDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    AddAboutEntry();
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    {
        CLock lock(g_csImgMgrDlg);
        g_pImgMgrDlg = this;
    }

    m_csStatus = L"Initializing API";
    ConnectAndWatchRemoval();

    m_csStatus = L"Initializing UI";
    m_lvSelected.InitColumns(&m_lcSelected);
    m_lvModem.InitColumns(&m_lcModem);
    m_lvPri.InitColumns(&m_lcPri);
    UpdateData(FALSE);

    ::PostMessageW(m_hWnd, WM_NOTIFY_REFRESH, 0, 0);
    return TRUE;
}

void CToviImgMgrDlg::AddAboutEntry()
{
    HMENU hSystemMenu = ::GetSystemMenu(m_hWnd, FALSE);
    if (hSystemMenu == nullptr)
        return;
    wchar_t szAboutMenu[128] = {};
    if (::LoadStringW(::GetModuleHandleW(nullptr), IDS_ABOUTBOX, szAboutMenu, ARRAYSIZE(szAboutMenu)) <= 0 ||
        szAboutMenu[0] == L'\0')
        return;
    ::AppendMenuW(hSystemMenu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(hSystemMenu, MF_STRING, IDM_ABOUTBOX, szAboutMenu);
}

// The window's own connection and removal watch go straight to the library;
// without a loaded library neither exists.
void CToviImgMgrDlg::ConnectAndWatchRemoval()
{
    if (!CToviApiWrapper::m_bLoaded)
    {
        TbdPrintMessage(TBCT_INFO, 3, L"Failed to register device removal callback");
        return;
    }
    CToviApiWrapper::m_pfnQCWWANConnect();
    if (CToviApiWrapper::m_pfnSetDeviceRemovalCallback(&DeviceRemovalCallback) != 0)
        TbdPrintMessage(TBCT_INFO, 3, L"Failed to register device removal callback");
}

LRESULT CToviImgMgrDlg::OnNotifyRefresh(WPARAM, LPARAM)
{
    TBD_FUNCTION_TRACE(L"OnNotifyRefresh");
    m_csStatus = L"Ready";
    EnableButton(IDC_BTN_SELECT_IMG, FALSE);
    EnableButton(IDC_BTN_CLEAR, FALSE);
    EnableButton(IDC_BTN_DELETE, FALSE);
    UnmarkRow(m_lcModem);
    UnmarkRow(m_lcPri);

    if (ReloadStore())
    {
        m_FwImageStore.m_bInitialized = 1;
    }
    else
    {
        m_csStatus = kRetrieveFailedText;
        ::SetTimer(m_hWnd, IDT_REFRESH, IDT_REFRESH_ELAPSE, nullptr);
    }

    m_lvSelected.Fill(m_FwImageStore.m_lstSelectedImages);
    m_lvModem.Fill(m_FwImageStore.m_lstModemImages);
    m_lvPri.Fill(m_FwImageStore.m_lstPriImages);
    UpdateData(FALSE);
    return 0;
}

bool CToviImgMgrDlg::ReloadStore()
{
    if (!CToviApiWrapper::m_bLoaded)
        return false;
    // The removal callback disconnected behind the store's back: connect again
    // instead of trusting the store's flag.
    if (::InterlockedExchange(&m_lDeviceRemoved, 0) != 0)
        m_FwImageStore.m_bConnectedToDevice = false;
    return m_FwImageStore.ConnectDevice() == 0 && m_FwImageStore.LoadSelectedImages() &&
           m_FwImageStore.LoadDeviceImages();
}

void CToviImgMgrDlg::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent == IDT_REFRESH)
    {
        ::KillTimer(m_hWnd, IDT_REFRESH);
        ::PostMessageW(m_hWnd, WM_NOTIFY_REFRESH, 0, 0);
    }
}

void CToviImgMgrDlg::OnNMClickListModem(NMHDR*, LRESULT* pResult)
{
    *pResult = 0;
    OnListClicked(m_lcModem, m_bModemSelected);
}

void CToviImgMgrDlg::OnNMClickListPri(NMHDR*, LRESULT* pResult)
{
    *pResult = 0;
    OnListClicked(m_lcPri, m_bPriSelected);
}

void CToviImgMgrDlg::OnListClicked(const CListCtrl& list, BOOL& bSelected)
{
    if (CImageListView::MarkedRow(list) >= 0)
    {
        bSelected = 1;
        EnableButton(IDC_BTN_CLEAR, TRUE);
        EnableButton(IDC_BTN_DELETE, TRUE);
    }
    else
    {
        bSelected = 0;
    }
    if (m_bModemSelected == 1 && m_bPriSelected == 1)
        EnableButton(IDC_BTN_SELECT_IMG, TRUE);
}

void CToviImgMgrDlg::OnBnClickedBtnClear()
{
    TBD_FUNCTION_TRACE(L"OnBnClickedBtnClear");
    EnableButton(IDC_BTN_SELECT_IMG, FALSE);
    EnableButton(IDC_BTN_CLEAR, FALSE);
    EnableButton(IDC_BTN_DELETE, FALSE);
    m_bPriSelected = 0;
    m_bModemSelected = 0;
    UnmarkRow(m_lcModem);
    UnmarkRow(m_lcPri);
}

void CToviImgMgrDlg::OnBnClickedBtnSelectImg()
{
    TBD_FUNCTION_TRACE(L"CToviImgMgrDlg::OnBnClickedBtnSelectImg");
    std::int32_t nModemHandle = 0;
    std::int32_t nPriHandle = 0;
    wchar_t szModemBuildId[BUILD_ID_TEXT_SIZE] = {};
    wchar_t szPriBuildId[BUILD_ID_TEXT_SIZE] = {};
    m_lvModem.GetSelectedImage(nModemHandle, szModemBuildId);
    m_lvPri.GetSelectedImage(nPriHandle, szPriBuildId);
    TbdPrintMessage(TBCT_INFO, 1, L"Modem: %s Handle: %d", szModemBuildId, (int)nModemHandle);
    TbdPrintMessage(TBCT_INFO, 1, L"PRI: %s Handle: %d", szPriBuildId, (int)nPriHandle);

    CImageElement modemImage;
    CImageElement priImage;
    if (!FindImageByHandle(m_FwImageStore.m_lstModemImages, nModemHandle, modemImage) ||
        !FindImageByHandle(m_FwImageStore.m_lstPriImages, nPriHandle, priImage))
    {
        TbdPrintMessage(TBCT_INFO, 3, L"Failed to find image element");
        return;
    }
    TbdPrintMessage(TBCT_INFO, 1, L"Modem element found:");
    CFwImageStore::TraceImageElement(modemImage);
    TbdPrintMessage(TBCT_INFO, 1, L"PRI element found:");
    CFwImageStore::TraceImageElement(priImage);

    if (m_FwImageStore.SetImagePref(modemImage, priImage))
    {
        m_csStatus = L"Updating...";
        UpdateData(FALSE);
    }
    ::PostMessageW(m_hWnd, WM_NOTIFY_REFRESH, 0, 0);
}

void CToviImgMgrDlg::OnBnClickedBtnDelete()
{
    TBD_FUNCTION_TRACE(L"CToviImgMgrDlg::OnBnClickedBtnDelete");
    DeleteOutcome modemOutcome = DeleteMarked(m_lvModem, m_FwImageStore.m_lstModemImages,
                                              L"Modem: %s Handle: %d", L"Modem element found:");
    if (modemOutcome == DELETE_STOPPED)
        return;
    DeleteOutcome priOutcome = DeleteMarked(m_lvPri, m_FwImageStore.m_lstPriImages, L"PRI: %s Handle: %d",
                                            L"PRI element found:");
    if (priOutcome == DELETE_STOPPED)
        return;
    // A click with no row marked in either list deleted nothing: say nothing.
    if (modemOutcome == DELETE_NOTHING_MARKED && priOutcome == DELETE_NOTHING_MARKED)
        return;
    m_csStatus = L"Image deleted";
    ::PostMessageW(m_hWnd, WM_NOTIFY_REFRESH, 0, 0);
}

CToviImgMgrDlg::DeleteOutcome CToviImgMgrDlg::DeleteMarked(const CImageListView& view,
                                                           const std::list<CImageElement>& images,
                                                           const wchar_t* pszMarkedFormat,
                                                           const wchar_t* pszFoundText)
{
    std::int32_t nHandle = 0;
    wchar_t szBuildId[BUILD_ID_TEXT_SIZE] = {};
    if (!view.GetSelectedImage(nHandle, szBuildId))
        return DELETE_NOTHING_MARKED;
    TbdPrintMessage(TBCT_INFO, 1, pszMarkedFormat, szBuildId, (int)nHandle);

    CImageElement image;
    if (!FindImageByHandle(images, nHandle, image))
    {
        TbdPrintMessage(TBCT_INFO, 3, L"Failed to find image element");
        UpdateData(FALSE);
        return DELETE_STOPPED;
    }
    TbdPrintMessage(TBCT_INFO, 1, pszFoundText);
    CFwImageStore::TraceImageElement(image);
    if (!m_FwImageStore.DeleteImage(image))
    {
        m_csStatus = L"Failed to delete image";
        UpdateData(FALSE);
        return DELETE_STOPPED;
    }
    return DELETE_DONE;
}

void CToviImgMgrDlg::OnDestroy()
{
    // From here on a removal callback finds no window; one already running
    // has finished its post before the pointer goes.
    {
        CLock lock(g_csImgMgrDlg);
        if (g_pImgMgrDlg == this)
            g_pImgMgrDlg = nullptr;
    }
    ::KillTimer(m_hWnd, IDT_REFRESH);
    // The removal callback stays registered: the library is given no null
    // function, and a later call finds no window and does nothing.
    if (CToviApiWrapper::m_bLoaded)
        CToviApiWrapper::m_pfnQCWWANDisconnect();
}

bool CToviImgMgrDlg::OnSysCommand(UINT nID, LPARAM)
{
    if ((nID & 0xFFF0) != IDM_ABOUTBOX)
        return false;
    CAboutDlg dlgAbout(m_hWnd);
    dlgAbout.DoModal();
    return true;
}

bool CToviImgMgrDlg::OnPaint()
{
    if (!::IsIconic(m_hWnd))
        return false;
    PAINTSTRUCT ps;
    HDC hdc = ::BeginPaint(m_hWnd, &ps);
    ::SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
    int cxIcon = ::GetSystemMetrics(SM_CXICON);
    int cyIcon = ::GetSystemMetrics(SM_CYICON);
    RECT rect;
    ::GetClientRect(m_hWnd, &rect);
    int x = (rect.right - rect.left - cxIcon + 1) / 2;
    int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    ::DrawIcon(hdc, x, y, m_hIcon);
    ::EndPaint(m_hWnd, &ps);
    return true;
}

HCURSOR CToviImgMgrDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hIcon);
}

void CToviImgMgrDlg::EnableButton(int nId, BOOL bEnable)
{
    ::EnableWindow(GetDlgItem(nId), bEnable);
}

void CToviImgMgrDlg::UnmarkRow(CListCtrl& list)
{
    int nRow = list.GetSelectionMark();
    if (nRow >= 0)
        list.SetItemState(nRow, 0, LVIS_SELECTED);
}

void WINAPI DeviceRemovalCallback()
{
    try
    {
        TBD_FUNCTION_TRACE(L"CToviImgMgrDlg::DeviceRemovalCallback");
        // The lock covers only what touches the window; the library is not
        // called under it, so that a library that waits for its callback
        // thread while the window closes cannot deadlock with us.
        {
            CLock lock(g_csImgMgrDlg);
            if (g_pImgMgrDlg == nullptr)
                return;
        }
        if (CToviApiWrapper::m_pfnQCWWANDisconnect != nullptr)
            CToviApiWrapper::m_pfnQCWWANDisconnect();
        // Marked only after the disconnect, so that the reload it asks for
        // connects again after it and not before; the window may have gone
        // meanwhile.
        CLock lock(g_csImgMgrDlg);
        if (g_pImgMgrDlg == nullptr)
            return;
        ::InterlockedExchange(&g_pImgMgrDlg->m_lDeviceRemoved, 1);
        ::PostMessageW(g_pImgMgrDlg->m_hWnd, WM_NOTIFY_REFRESH, 0, 0);
    }
    catch (...)
    {
        // Nothing may unwind into the library's thread.
    }
}
