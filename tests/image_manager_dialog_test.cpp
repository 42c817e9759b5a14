// The image manager window, run for real on a thread of its own against the
// simulated modem and driven from the test's thread through its controls:
// clicks are posted to the list views and buttons, and the test reads back
// what the window shows.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <stdio.h>

#include "modem/ToviApiWrapper.h"
#include "platform/Handles.h"
#include "support/PauseRecorder.h"
#include "support/SimModem.h"
#include "support/TraceCapture.h"
#include "ui/ToviImgMgrDlg.h"
#include "ui/resource.h"

namespace
{
typedef std::vector<std::wstring> Row;
typedef std::vector<Row> Rows;

const wchar_t kRetrieveFailed[] = L"Failed to retrieve modem/host images.  Trying again...";

const wchar_t kModem06[] = L"AMSS-STSUGN-F06-1575";
const wchar_t kPri06[] = L"UQCN-C001-F06-3";
const wchar_t kModem03[] = L"AMSS-STAUSH-F03-1575";
const wchar_t kPri03[] = L"UQCN-C102-F03-3";

// Posted behind the test's own messages: once the window's thread takes it
// from its queue, everything posted before it has been handled. With lParam
// PROBE_TIMER the window's thread also looks whether the retry timer runs.
const UINT WM_TEST_MARKER = WM_APP + 77;
const LPARAM PROBE_TIMER = 1;

// What the window's thread takes from its queue, seen by a message hook.
std::atomic<HWND> g_hDlg{nullptr};
std::atomic<int> g_nRefreshes{0};
std::atomic<int> g_nRefreshTimers{0};
std::atomic<int> g_nMarkerSeen{0};
std::atomic<bool> g_bRetryTimerRuns{false};

// Every text the status line was given, in order, seen on the window's thread.
CCriticalSection g_csStatusTexts;
std::vector<std::wstring> g_statusTexts;

std::vector<std::wstring> StatusTexts()
{
    CLock lock(g_csStatusTexts);
    return g_statusTexts;
}

LRESULT CALLBACK WatchStatusLine(int nCode, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* pCall = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (nCode == HC_ACTION && pCall->message == WM_SETTEXT && ::GetDlgCtrlID(pCall->hwnd) == IDC_EDIT_STATUS &&
        pCall->lParam != 0)
    {
        CLock lock(g_csStatusTexts);
        g_statusTexts.push_back(reinterpret_cast<const wchar_t*>(pCall->lParam));
    }
    return ::CallNextHookEx(nullptr, nCode, wParam, lParam);
}

LRESULT CALLBACK WatchQueue(int nCode, WPARAM wParam, LPARAM lParam)
{
    if (nCode == HC_ACTION && wParam == PM_REMOVE)
    {
        const MSG* pMsg = reinterpret_cast<const MSG*>(lParam);
        if (pMsg->message == WM_NOTIFY_REFRESH)
        {
            g_hDlg = pMsg->hwnd;
            ++g_nRefreshes;
        }
        else if (pMsg->message == WM_TIMER && pMsg->wParam == IDT_REFRESH)
        {
            ++g_nRefreshTimers;
        }
        else if (pMsg->message == WM_TEST_MARKER)
        {
            if (pMsg->lParam == PROBE_TIMER)
            {
                // Only the owning thread can find a window's timer; a timer
                // that was there is started again as it was.
                g_bRetryTimerRuns = ::KillTimer(pMsg->hwnd, IDT_REFRESH) != FALSE;
                if (g_bRetryTimerRuns)
                    ::SetTimer(pMsg->hwnd, IDT_REFRESH, IDT_REFRESH_ELAPSE, nullptr);
            }
            g_nMarkerSeen = static_cast<int>(pMsg->wParam);
        }
    }
    return ::CallNextHookEx(nullptr, nCode, wParam, lParam);
}

bool WaitFor(const std::function<bool()>& condition, DWORD dwTimeoutMs = 10000)
{
    const DWORD dwStart = ::GetTickCount();
    while (!condition())
    {
        if (::GetTickCount() - dwStart > dwTimeoutMs)
            return false;
        ::Sleep(10);
    }
    return true;
}

std::wstring WindowText(HWND hWnd)
{
    wchar_t szText[512] = {};
    ::GetWindowTextW(hWnd, szText, ARRAYSIZE(szText));
    return szText;
}

std::wstring Hex(const BYTE* pb, size_t cb)
{
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring text;
    for (size_t i = 0; i < cb; ++i)
    {
        text += kDigits[pb[i] >> 4];
        text += kDigits[pb[i] & 0x0F];
    }
    return text;
}

std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

// A PNG of 8-bit RGB rows, its deflate stream made of stored blocks.
class CPngFile
{
public:
    static bool Write(const std::wstring& path, int nWidth, int nHeight, const std::vector<BYTE>& bgra)
    {
        std::vector<BYTE> raw;
        for (int y = 0; y < nHeight; ++y)
        {
            raw.push_back(0);  // no filter
            for (int x = 0; x < nWidth; ++x)
            {
                const BYTE* p = &bgra[(static_cast<size_t>(y) * nWidth + x) * 4];
                raw.insert(raw.end(), {p[2], p[1], p[0]});
            }
        }
        std::vector<BYTE> zlib = {0x78, 0x01};
        for (size_t pos = 0; pos == 0 || pos < raw.size(); pos += 65535)
        {
            const size_t n = std::min<size_t>(65535, raw.size() - pos);
            zlib.push_back(pos + n >= raw.size() ? 1 : 0);
            zlib.insert(zlib.end(), {BYTE(n), BYTE(n >> 8), BYTE(~n), BYTE(~n >> 8)});
            zlib.insert(zlib.end(), raw.begin() + pos, raw.begin() + pos + n);
        }
        AppendBigEndian(zlib, Adler32(raw));

        std::vector<BYTE> header;
        AppendBigEndian(header, nWidth);
        AppendBigEndian(header, nHeight);
        header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB

        std::vector<BYTE> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        AppendChunk(file, "IHDR", header);
        AppendChunk(file, "IDAT", zlib);
        AppendChunk(file, "IEND", {});
        FILE* pFile = _wfopen(path.c_str(), L"wb");
        if (pFile == nullptr)
            return false;
        const bool bWritten = fwrite(file.data(), 1, file.size(), pFile) == file.size();
        return fclose(pFile) == 0 && bWritten;
    }

private:
    static void AppendBigEndian(std::vector<BYTE>& bytes, uint32_t value)
    {
        bytes.insert(bytes.end(), {BYTE(value >> 24), BYTE(value >> 16), BYTE(value >> 8), BYTE(value)});
    }

    static uint32_t Adler32(const std::vector<BYTE>& bytes)
    {
        uint32_t a = 1, b = 0;
        for (BYTE byte : bytes)
        {
            a = (a + byte) % 65521;
            b = (b + a) % 65521;
        }
        return (b << 16) | a;
    }

    static uint32_t Crc32(const BYTE* p, size_t n, uint32_t crc = 0xFFFFFFFFu)
    {
        for (size_t i = 0; i < n; ++i)
        {
            crc ^= p[i];
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
        }
        return crc;
    }

    static void AppendChunk(std::vector<BYTE>& file, const char* pszType, const std::vector<BYTE>& data)
    {
        AppendBigEndian(file, static_cast<uint32_t>(data.size()));
        std::vector<BYTE> typed(pszType, pszType + 4);
        typed.insert(typed.end(), data.begin(), data.end());
        file.insert(file.end(), typed.begin(), typed.end());
        AppendBigEndian(file, Crc32(typed.data(), typed.size()) ^ 0xFFFFFFFFu);
    }
};

// Saves the window's client area as a PNG beside the test program, or at
// the full path given.
bool SaveScreenshot(HWND hWnd, const std::wstring& name)
{
    RECT rect = {};
    ::GetClientRect(hWnd, &rect);
    const int nWidth = rect.right - rect.left;
    const int nHeight = rect.bottom - rect.top;
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
    bmi.bmiHeader.biWidth = nWidth;
    bmi.bmiHeader.biHeight = -nHeight;  // top-down
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    void* pBits = nullptr;
    HDC hScreen = ::GetDC(nullptr);
    HDC hdc = ::CreateCompatibleDC(hScreen);
    HBITMAP hBitmap = ::CreateDIBSection(hScreen, &bmi, DIB_RGB_COLORS, &pBits, nullptr, 0);
    ::ReleaseDC(nullptr, hScreen);
    if (hdc == nullptr || hBitmap == nullptr)
        return false;
    HGDIOBJ hOld = ::SelectObject(hdc, hBitmap);
    // The client area from the window's own surface, whatever covers it on the
    // display; the frame is the window manager's to draw.
    ::RedrawWindow(hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    HDC hWindowDC = ::GetDC(hWnd);
    const bool bPrinted = ::BitBlt(hdc, 0, 0, nWidth, nHeight, hWindowDC, 0, 0, SRCCOPY) != FALSE;
    ::ReleaseDC(hWnd, hWindowDC);
    ::GdiFlush();
    std::vector<BYTE> bgra(static_cast<const BYTE*>(pBits), static_cast<const BYTE*>(pBits) + nWidth * nHeight * 4);
    ::SelectObject(hdc, hOld);
    ::DeleteObject(hBitmap);
    ::DeleteDC(hdc);

    wchar_t szPath[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, szPath, MAX_PATH);
    std::wstring path = szPath;
    path = name.find(L'\\') != std::wstring::npos ? name : path.substr(0, path.find_last_of(L'\\') + 1) + name;
    return bPrinted && CPngFile::Write(path, nWidth, nHeight, bgra);
}

// One control of a dialog template, in dialog units.
struct ExpectedControl
{
    int nId;
    const wchar_t* pszClass;
    const wchar_t* pszText;  // nullptr: not compared
    RECT rcDialogUnits;      // left, top, width, height
    DWORD dwStyles;          // all of these set
    bool bDisabled;
    bool bTabStop;
};

// The dialog's child windows in template order match the table.
void ExpectControls(HWND hDlg, const std::vector<ExpectedControl>& expected)
{
    HWND hChild = ::GetWindow(hDlg, GW_CHILD);
    for (const ExpectedControl& control : expected)
    {
        ASSERT_NE(nullptr, hChild) << "control " << control.nId;
        SCOPED_TRACE(testing::Message() << "control " << control.nId << " " << WindowText(hChild).c_str());
        wchar_t szClass[64] = {};
        ::GetClassNameW(hChild, szClass, ARRAYSIZE(szClass));
        EXPECT_EQ(control.nId, (int)(short)::GetDlgCtrlID(hChild));
        EXPECT_EQ(0, _wcsicmp(control.pszClass, szClass)) << szClass;
        if (control.pszText != nullptr)
        {
            EXPECT_EQ(control.pszText, WindowText(hChild));
        }
        // Position and size are converted each on its own, as the dialog manager does.
        RECT rcExpected = control.rcDialogUnits;
        ::MapDialogRect(hDlg, &rcExpected);
        rcExpected.right += rcExpected.left;
        rcExpected.bottom += rcExpected.top;
        RECT rcActual = {};
        ::GetWindowRect(hChild, &rcActual);
        ::MapWindowPoints(nullptr, hDlg, reinterpret_cast<POINT*>(&rcActual), 2);
        if (control.rcDialogUnits.right == 0)  // an icon takes its own size
        {
            rcExpected.right = rcActual.right;
            rcExpected.bottom = rcActual.bottom;
        }
        EXPECT_TRUE(::EqualRect(&rcExpected, &rcActual))
            << rcActual.left << "," << rcActual.top << "," << rcActual.right << "," << rcActual.bottom << " != "
            << rcExpected.left << "," << rcExpected.top << "," << rcExpected.right << "," << rcExpected.bottom;
        DWORD dwStyle = static_cast<DWORD>(::GetWindowLongPtrW(hChild, GWL_STYLE));
        // The dialog manager draws a template's plain border as a sunken edge.
        if ((::GetWindowLongPtrW(hChild, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0)
            dwStyle |= WS_BORDER;
        EXPECT_EQ(control.dwStyles, dwStyle & control.dwStyles) << std::hex << dwStyle;
        EXPECT_TRUE((dwStyle & WS_VISIBLE) != 0);
        EXPECT_EQ(control.bDisabled, (dwStyle & WS_DISABLED) != 0);
        EXPECT_EQ(control.bTabStop, (dwStyle & WS_TABSTOP) != 0);
        hChild = ::GetWindow(hChild, GW_HWNDNEXT);
    }
    EXPECT_EQ(nullptr, hChild) << "no further controls";
}

// The client area is the template's size in dialog units.
void ExpectClientSize(HWND hDlg, int nWidthDlu, int nHeightDlu)
{
    RECT rcExpected = {0, 0, nWidthDlu, nHeightDlu};
    ::MapDialogRect(hDlg, &rcExpected);
    RECT rcClient = {};
    ::GetClientRect(hDlg, &rcClient);
    EXPECT_EQ(rcExpected.right, rcClient.right);
    EXPECT_EQ(rcExpected.bottom, rcClient.bottom);
}

struct FindContext
{
    const wchar_t* pszCaption;
    HWND hFound;
};

BOOL CALLBACK FindByCaption(HWND hWnd, LPARAM lParam)
{
    FindContext* pContext = reinterpret_cast<FindContext*>(lParam);
    if (WindowText(hWnd) != pContext->pszCaption)
        return TRUE;
    pContext->hFound = hWnd;
    return FALSE;
}

HWND FindThreadWindow(DWORD dwThreadId, const wchar_t* pszCaption)
{
    FindContext context = {pszCaption, nullptr};
    WaitFor([&] {
        ::EnumThreadWindows(dwThreadId, FindByCaption, reinterpret_cast<LPARAM>(&context));
        return context.hFound != nullptr;
    });
    return context.hFound;
}

// Runs CToviImgMgrDlg::DoModal on a thread of its own, as the program's main
// thread would, with the queue watch installed on that thread.
class CDialogThread
{
public:
    CDialogThread()
    {
        g_hDlg = nullptr;
        g_nRefreshes = 0;
        g_nRefreshTimers = 0;
        g_nMarkerSeen = 0;
        {
            CLock lock(g_csStatusTexts);
            g_statusTexts.clear();
        }
        m_thread = std::thread([this] {
            m_dwThreadId = ::GetCurrentThreadId();
            HHOOK hHook = ::SetWindowsHookExW(WH_GETMESSAGE, WatchQueue, nullptr, ::GetCurrentThreadId());
            HHOOK hStatusHook = ::SetWindowsHookExW(WH_CALLWNDPROC, WatchStatusLine, nullptr, ::GetCurrentThreadId());
            {
                CToviImgMgrDlg dlg;
                m_nResult = dlg.DoModal();
            }
            if (hStatusHook != nullptr)
                ::UnhookWindowsHookEx(hStatusHook);
            if (hHook != nullptr)
                ::UnhookWindowsHookEx(hHook);
        });
    }

    ~CDialogThread() { Close(); }

    // The window, once its first reload has been taken from the queue.
    HWND Wait()
    {
        WaitFor([] { return g_hDlg.load() != nullptr; });
        return g_hDlg;
    }

    HWND Item(int nId) { return ::GetDlgItem(g_hDlg, nId); }

    // Everything posted to the window so far has been handled.
    bool Settle(LPARAM lProbe = 0)
    {
        const int nSeq = ++m_nMarker;
        ::PostMessageW(g_hDlg, WM_TEST_MARKER, nSeq, lProbe);
        return WaitFor([nSeq] { return g_nMarkerSeen.load() >= nSeq; });
    }

    bool RetryTimerRuns()
    {
        g_bRetryTimerRuns = false;
        return Settle(PROBE_TIMER) && g_bRetryTimerRuns;
    }

    // Closes the window with its close box and waits for DoModal to return.
    INT_PTR Close()
    {
        if (!m_thread.joinable())
            return m_nResult;
        if (g_hDlg.load() != nullptr || WaitFor([] { return g_hDlg.load() != nullptr; }))
            ::PostMessageW(g_hDlg, WM_CLOSE, 0, 0);
        m_thread.join();
        g_hDlg = nullptr;
        return m_nResult;
    }

    DWORD ThreadId() const { return m_dwThreadId; }

private:
    std::thread m_thread;
    std::atomic<DWORD> m_dwThreadId{0};
    INT_PTR m_nResult = -2;
    int m_nMarker = 0;
};

class ImageManagerDialogTest : public ::testing::Test
{
protected:
    static SampleStoreOptions StoreOptions()
    {
        SampleStoreOptions options;
        options.folders = {3, 6};
        return options;
    }

    ImageManagerDialogTest() : m_sim(StoreOptions()) {}

    void SetUp() override
    {
        INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_LISTVIEW_CLASSES};
        ::InitCommonControlsEx(&icc);
        ASSERT_TRUE(m_sim.Loaded());
        ASSERT_TRUE(CToviApiWrapper::Initialize());
    }

    // A modem running folder 6's images that also stores folder 3's.
    void CreateModemWithTwoPairs()
    {
        ASSERT_EQ(0u, m_sim.Create(L"6"));
        ASSERT_EQ(0u, m_sim.StoreFolder(L"3"));
        m_sim.ClearJournal();
    }

    void Open()
    {
        m_pDialog.reset(new CDialogThread);
        ASSERT_NE(nullptr, m_pDialog->Wait());
        ASSERT_TRUE(m_pDialog->Settle());
    }

    HWND Item(int nId) { return m_pDialog->Item(nId); }
    std::wstring Status() { return WindowText(Item(IDC_EDIT_STATUS)); }
    bool Enabled(int nId) { return ::IsWindowEnabled(Item(nId)) != FALSE; }

    Rows ListRows(int nListId)
    {
        HWND hList = Item(nListId);
        Rows rows;
        const int nCount = (int)::SendMessageW(hList, LVM_GETITEMCOUNT, 0, 0);
        for (int nRow = 0; nRow < nCount; ++nRow)
        {
            Row row;
            for (int nColumn = 0; nColumn < 3; ++nColumn)
            {
                wchar_t szText[128] = {};
                LVITEMW item = {};
                item.iSubItem = nColumn;
                item.pszText = szText;
                item.cchTextMax = ARRAYSIZE(szText);
                ::SendMessageW(hList, LVM_GETITEMTEXTW, nRow, (LPARAM)&item);
                row.push_back(szText);
            }
            rows.push_back(row);
        }
        return rows;
    }

    bool Marked(int nListId, int nRow)
    {
        return (::SendMessageW(Item(nListId), LVM_GETITEMSTATE, nRow, LVIS_SELECTED) & LVIS_SELECTED) != 0;
    }

    // A left click in the middle of a row, as the mouse gives it.
    void ClickRow(int nListId, int nRow)
    {
        HWND hList = Item(nListId);
        RECT rect = {};
        rect.left = LVIR_BOUNDS;
        ASSERT_TRUE(::SendMessageW(hList, LVM_GETITEMRECT, nRow, (LPARAM)&rect)) << "row " << nRow;
        const LPARAM lPoint = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
        ::PostMessageW(hList, WM_LBUTTONDOWN, MK_LBUTTON, lPoint);
        ::PostMessageW(hList, WM_LBUTTONUP, 0, lPoint);
        ASSERT_TRUE(m_pDialog->Settle());
    }

    void ClickButton(int nId)
    {
        ASSERT_TRUE(Enabled(nId)) << "button " << nId;
        ::SendMessageW(Item(nId), BM_CLICK, 0, 0);
        ASSERT_TRUE(m_pDialog->Settle());
    }

    // The row the window shows for a stored image.
    static Row StoredRow(const SimStoredImage& image)
    {
        return {image.type == 0 ? L"Modem" : L"Pri", Wide(image.buildId), Hex(image.imageId, 16)};
    }

    Rows StoredRows(BYTE type) const
    {
        Rows rows;
        for (const SimStoredImage& image : m_sim.StoredImages(type))
            rows.push_back(StoredRow(image));
        return rows;
    }

    Row StoredRowOf(BYTE type, const std::wstring& buildId) const
    {
        for (const SimStoredImage& image : m_sim.StoredImages(type))
            if (Wide(image.buildId) == buildId)
                return StoredRow(image);
        return {};
    }

    int JournalIndex(const std::wstring& prefix, int from = 0) const
    {
        const std::vector<std::wstring> journal = m_sim.Journal();
        for (int i = from; i < (int)journal.size(); ++i)
            if (journal[i].compare(0, prefix.size(), prefix) == 0)
                return i;
        return -1;
    }

    CSimModem m_sim;
    CTraceCapture m_trace;
    CPauseRecorder m_pauses;
    std::unique_ptr<CDialogThread> m_pDialog;
};

TEST_F(ImageManagerDialogTest, WindowAndAboutBoxFollowTheirTemplates)
{
    CreateModemWithTwoPairs();
    Open();
    HWND hDlg = g_hDlg;

    EXPECT_EQ(L"Tovi Image Manager", WindowText(hDlg));
    const DWORD dwStyle = static_cast<DWORD>(::GetWindowLongPtrW(hDlg, GWL_STYLE));
    const DWORD dwFrame = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    EXPECT_EQ(dwFrame, dwStyle & dwFrame) << std::hex << dwStyle;
    EXPECT_EQ(0u, dwStyle & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CHILD));
    EXPECT_TRUE((::GetWindowLongPtrW(hDlg, GWL_EXSTYLE) & WS_EX_APPWINDOW) != 0);
    EXPECT_EQ(nullptr, ::GetWindow(hDlg, GW_OWNER));
    ExpectClientSize(hDlg, 320, 302);
    const DWORD dwList = LVS_REPORT | LVS_ALIGNLEFT | WS_BORDER;
    const DWORD dwMarkableList = dwList | LVS_SINGLESEL | LVS_SHOWSELALWAYS;
    ExpectControls(hDlg, {
        {IDC_BTN_SELECT_IMG, L"Button", L"Set Preference", {7, 281, 83, 14}, 0, true, true},
        {IDC_EDIT_STATUS, L"Edit", nullptr, {7, 7, 306, 14}, ES_READONLY | ES_AUTOHSCROLL | WS_BORDER, false, true},
        {IDC_LIST_SELECTED, L"SysListView32", L"", {7, 34, 306, 40}, dwList, true, true},
        {IDC_STATIC, L"Static", L"Selected Images:", {7, 22, 56, 8}, 0, false, false},
        {IDC_LIST_MODEM, L"SysListView32", L"", {7, 89, 306, 84}, dwMarkableList, false, true},
        {IDC_LIST_PRI, L"SysListView32", L"", {7, 174, 306, 107}, dwMarkableList, false, true},
        {IDC_STATIC, L"Static", L"Available Images:", {7, 78, 58, 8}, 0, false, false},
        {IDC_BTN_CLEAR, L"Button", L"Clear Selection(s)", {117, 281, 83, 14}, 0, true, true},
        {IDC_BTN_DELETE, L"Button", L"Delete Selection(s)", {230, 281, 83, 14}, 0, true, true},
    });

    // The same three columns and full-row selection alone in every list.
    for (int nListId : {IDC_LIST_SELECTED, IDC_LIST_MODEM, IDC_LIST_PRI})
    {
        SCOPED_TRACE(nListId);
        HWND hList = Item(nListId);
        EXPECT_EQ((LRESULT)LVS_EX_FULLROWSELECT, ::SendMessageW(hList, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
        const struct
        {
            const wchar_t* pszHeading;
            int nFormat;
            int nWidth;
        } columns[] = {{L"Type", LVCFMT_CENTER, 50}, {L"Build ID", LVCFMT_LEFT, 125}, {L"Image ID", LVCFMT_LEFT, 280}};
        for (int nColumn = 0; nColumn < 4; ++nColumn)
        {
            wchar_t szHeading[64] = {};
            LVCOLUMNW column = {};
            column.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH;
            column.pszText = szHeading;
            column.cchTextMax = ARRAYSIZE(szHeading);
            const BOOL bExists = (BOOL)::SendMessageW(hList, LVM_GETCOLUMNW, nColumn, (LPARAM)&column);
            if (nColumn == 3)
            {
                EXPECT_FALSE(bExists);
                break;
            }
            ASSERT_TRUE(bExists) << nColumn;
            EXPECT_EQ(std::wstring(columns[nColumn].pszHeading), szHeading);
            EXPECT_EQ(columns[nColumn].nFormat, column.fmt & LVCFMT_JUSTIFYMASK);
            EXPECT_EQ(columns[nColumn].nWidth, column.cx);
        }
    }

    // The program's icon, for the window and for dragging it minimised.
    HICON hIcon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
    ASSERT_NE(nullptr, hIcon);
    EXPECT_EQ((LRESULT)hIcon, ::SendMessageW(hDlg, WM_GETICON, ICON_BIG, 0));
    EXPECT_EQ((LRESULT)hIcon, ::SendMessageW(hDlg, WM_GETICON, ICON_SMALL, 0));
    EXPECT_EQ((LRESULT)hIcon, ::SendMessageW(hDlg, WM_QUERYDRAGICON, 0, 0));

    EXPECT_TRUE(SaveScreenshot(hDlg, L"image_manager_dialog.png"));
#ifdef TOVI_DOCS_FOLDER
    // The README shows the window as it looks today.
    const std::wstring docs = TOVI_DOCS_FOLDER;
    if (::GetFileAttributesW(docs.c_str()) != INVALID_FILE_ATTRIBUTES)
    {
        EXPECT_TRUE(SaveScreenshot(hDlg, docs + L"\\image_manager_window.png"));
    }
#endif

    // The system menu ends with a separator and the About entry.
    HMENU hSystemMenu = ::GetSystemMenu(hDlg, FALSE);
    const int nItems = ::GetMenuItemCount(hSystemMenu);
    ASSERT_GE(nItems, 2);
    EXPECT_EQ((UINT)MF_SEPARATOR, ::GetMenuState(hSystemMenu, nItems - 2, MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_EQ((UINT)IDM_ABOUTBOX, ::GetMenuItemID(hSystemMenu, nItems - 1));
    wchar_t szEntry[64] = {};
    ::GetMenuStringW(hSystemMenu, nItems - 1, szEntry, ARRAYSIZE(szEntry), MF_BYPOSITION);
    EXPECT_EQ(std::wstring(L"&About ToviImgMgr..."), szEntry);

    // Choosing it opens the About box over the window.
    ::PostMessageW(hDlg, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    HWND hAbout = FindThreadWindow(m_pDialog->ThreadId(), L"About ToviImgMgr");
    ASSERT_NE(nullptr, hAbout);
    EXPECT_EQ(hDlg, ::GetWindow(hAbout, GW_OWNER));
    EXPECT_FALSE(::IsWindowEnabled(hDlg));
    ExpectClientSize(hAbout, 235, 55);
    ExpectControls(hAbout, {
        {IDC_STATIC, L"Static", nullptr, {11, 17, 0, 0}, SS_ICON, false, false},
        {IDC_STATIC, L"Static", L"ToviImgMgr Version 1.0", {40, 10, 119, 8}, SS_NOPREFIX, false, false},
        {IDC_STATIC, L"Static", L"Copyright (C) 2026 Velmora Inc.", {40, 25, 119, 8}, 0, false, false},
        {IDOK, L"Button", L"OK", {178, 7, 50, 16}, BS_DEFPUSHBUTTON, false, true},
    });
    EXPECT_TRUE(SaveScreenshot(hAbout, L"image_manager_about.png"));
    ::SendMessageW(::GetDlgItem(hAbout, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindow(hAbout); }));
    EXPECT_TRUE(::IsWindowEnabled(hDlg));
    EXPECT_EQ(L"Ready", Status());
}

TEST_F(ImageManagerDialogTest, OpensWithTheModemsListsAndClosesCleanly)
{
    CreateModemWithTwoPairs();
    Open();

    EXPECT_EQ(L"Ready", Status());
    EXPECT_EQ((Rows{StoredRowOf(0, kModem06), StoredRowOf(1, kPri06)}), ListRows(IDC_LIST_SELECTED));
    const Rows modemRows = ListRows(IDC_LIST_MODEM);
    ASSERT_EQ(2u, modemRows.size());
    EXPECT_EQ(StoredRows(0), modemRows);
    EXPECT_EQ(kModem06, modemRows[0][1]);
    EXPECT_EQ(kModem03, modemRows[1][1]);
    EXPECT_EQ(StoredRows(1), ListRows(IDC_LIST_PRI));
    for (int nId : {IDC_BTN_SELECT_IMG, IDC_BTN_CLEAR, IDC_BTN_DELETE})
        EXPECT_FALSE(Enabled(nId)) << nId;

    // Connected straight through the library, then watched for removal,
    // then the store's own load.
    const std::vector<std::wstring> journal = m_sim.Journal();
    ASSERT_GE(journal.size(), 4u);
    EXPECT_EQ(L"QCWWANConnect() = 0", journal[0]);
    EXPECT_EQ(L"SetDeviceRemovalCallback(set) = 0", journal[1]);
    EXPECT_LT(JournalIndex(L"GetImagesPreference("), JournalIndex(L"GetStoredImages("));
    EXPECT_TRUE(m_trace.Contains(L"+ OnNotifyRefresh"));
    EXPECT_FALSE(m_trace.Contains(L"Failed to register device removal callback"));
    EXPECT_EQ(1, g_nRefreshes.load());

    EXPECT_EQ(IDCANCEL, m_pDialog->Close());
    EXPECT_EQ(nullptr, g_pImgMgrDlg);
    // Closing disconnects, and hands the library no null removal callback:
    // the one registered stays, and finds no window when it comes.
    EXPECT_GE(JournalIndex(L"QCWWANDisconnect() = 0"), 0);
    for (const std::wstring& call : m_sim.JournalCalls(L"SetDeviceRemovalCallback("))
        EXPECT_EQ(L"SetDeviceRemovalCallback(set) = 0", call);
}

TEST_F(ImageManagerDialogTest, WithoutModemShowsFailureAndRetriesEveryThreeSecondsUntilFound)
{
    Open();

    EXPECT_EQ(kRetrieveFailed, Status());
    for (int nId : {IDC_LIST_SELECTED, IDC_LIST_MODEM, IDC_LIST_PRI})
        EXPECT_TRUE(ListRows(nId).empty()) << nId;
    // The store's ten connection retries, 500 ms apart.
    EXPECT_EQ(std::vector<DWORD>(10, 500), m_pauses.Pauses());
    EXPECT_TRUE(m_trace.Contains(L"QCWWANConnect error: 6"));

    // The modem turns up; the retry timer finds it without help.
    ASSERT_EQ(0u, m_sim.Create(L"6"));
    const DWORD dwStart = ::GetTickCount();
    ASSERT_TRUE(WaitFor([this] { return Status() == L"Ready"; }, 8000)) << "status: " << Status();
    EXPECT_GE(::GetTickCount() - dwStart, 2000u) << "the retry waits for its timer";
    EXPECT_EQ(1, g_nRefreshTimers.load());
    EXPECT_EQ(2, g_nRefreshes.load());
    EXPECT_EQ((Rows{StoredRowOf(0, kModem06)}), ListRows(IDC_LIST_MODEM));
    EXPECT_EQ((Rows{StoredRowOf(1, kPri06)}), ListRows(IDC_LIST_PRI));
    EXPECT_EQ(2u, ListRows(IDC_LIST_SELECTED).size());
}

TEST_F(ImageManagerDialogTest, FailedListReadRetriesFromItsTimerOnce)
{
    CreateModemWithTwoPairs();
    ASSERT_EQ(0u, m_sim.SetFault("GetStoredImages", 31, 1));
    Open();
    EXPECT_EQ(kRetrieveFailed, Status());
    EXPECT_TRUE(m_trace.Contains(L"GetStoredImages returned error: 31"));
    EXPECT_EQ(2u, ListRows(IDC_LIST_SELECTED).size()) << "lists refilled from what the store holds";
    EXPECT_TRUE(ListRows(IDC_LIST_MODEM).empty());
    EXPECT_TRUE(m_pDialog->RetryTimerRuns());

    // The timer's tick, delivered at once: the timer stops and a reload follows.
    ::PostMessageW(g_hDlg, WM_TIMER, IDT_REFRESH, 0);
    ASSERT_TRUE(m_pDialog->Settle());
    ASSERT_TRUE(m_pDialog->Settle());
    EXPECT_EQ(2, g_nRefreshes.load());
    EXPECT_EQ(L"Ready", Status());
    EXPECT_EQ(StoredRows(0), ListRows(IDC_LIST_MODEM));
    EXPECT_FALSE(m_pDialog->RetryTimerRuns());
}

TEST_F(ImageManagerDialogTest, MarkingRowsEnablesButtonsAndClearUnmarksThem)
{
    CreateModemWithTwoPairs();
    Open();

    ClickRow(IDC_LIST_MODEM, 1);
    EXPECT_TRUE(Marked(IDC_LIST_MODEM, 1));
    EXPECT_TRUE(Enabled(IDC_BTN_CLEAR));
    EXPECT_TRUE(Enabled(IDC_BTN_DELETE));
    EXPECT_FALSE(Enabled(IDC_BTN_SELECT_IMG)) << "a PRI row is needed too";

    ClickRow(IDC_LIST_PRI, 0);
    EXPECT_TRUE(Marked(IDC_LIST_PRI, 0));
    EXPECT_TRUE(Enabled(IDC_BTN_SELECT_IMG));

    ClickButton(IDC_BTN_CLEAR);
    EXPECT_FALSE(Marked(IDC_LIST_MODEM, 1));
    EXPECT_FALSE(Marked(IDC_LIST_PRI, 0));
    for (int nId : {IDC_BTN_SELECT_IMG, IDC_BTN_CLEAR, IDC_BTN_DELETE})
        EXPECT_FALSE(Enabled(nId)) << nId;
    EXPECT_TRUE(m_trace.Contains(L"+ OnBnClickedBtnClear"));

    // A PRI row alone does not bring Set Preference back.
    ClickRow(IDC_LIST_PRI, 1);
    EXPECT_TRUE(Enabled(IDC_BTN_DELETE));
    EXPECT_FALSE(Enabled(IDC_BTN_SELECT_IMG));
}

TEST_F(ImageManagerDialogTest, DeleteWithOnlyAPriRowMarkedDeletesThatImageAndReloads)
{
    CreateModemWithTwoPairs();
    Open();

    // A modem row marked and cleared keeps its list's selection mark; it is
    // not deleted with the PRI row marked afterwards.
    ClickRow(IDC_LIST_MODEM, 1);
    ClickButton(IDC_BTN_CLEAR);
    ClickRow(IDC_LIST_PRI, 1);
    ASSERT_EQ(kPri03, ListRows(IDC_LIST_PRI)[1][1]);
    ClickButton(IDC_BTN_DELETE);
    ASSERT_TRUE(m_pDialog->Settle());

    EXPECT_EQ((std::vector<std::wstring>{L"DeleteStoredImage(33, 1:UQCN-C102-F03-3) = 0"}),
              m_sim.JournalCalls(L"DeleteStoredImage("));
    EXPECT_EQ(2, g_nRefreshes.load());
    EXPECT_EQ(L"Ready", Status());
    EXPECT_EQ((Rows{StoredRowOf(1, kPri06)}), ListRows(IDC_LIST_PRI));
    EXPECT_EQ(StoredRows(0), ListRows(IDC_LIST_MODEM));
    EXPECT_EQ(2u, ListRows(IDC_LIST_MODEM).size());
    EXPECT_TRUE(m_trace.Contains(L"+ CToviImgMgrDlg::OnBnClickedBtnDelete"));
    EXPECT_TRUE(m_trace.Contains(L"PRI element found:"));
    EXPECT_FALSE(m_trace.Contains(L"Modem element found:"));
}

TEST_F(ImageManagerDialogTest, DeleteWithBothRowsMarkedDeletesTheModemImageFirstAndReloadsOnce)
{
    CreateModemWithTwoPairs();
    Open();

    ClickRow(IDC_LIST_MODEM, 1);
    ClickRow(IDC_LIST_PRI, 1);
    ASSERT_EQ(kModem03, ListRows(IDC_LIST_MODEM)[1][1]);
    ASSERT_EQ(kPri03, ListRows(IDC_LIST_PRI)[1][1]);
    ClickButton(IDC_BTN_DELETE);
    ASSERT_TRUE(m_pDialog->Settle());

    EXPECT_EQ((std::vector<std::wstring>{L"DeleteStoredImage(38, 0:AMSS-STAUSH-F03-1575) = 0",
                                         L"DeleteStoredImage(33, 1:UQCN-C102-F03-3) = 0"}),
              m_sim.JournalCalls(L"DeleteStoredImage("));
    EXPECT_EQ(2, g_nRefreshes.load()) << "one reload for the click";
    EXPECT_EQ(L"Ready", Status());
    EXPECT_EQ((Rows{StoredRowOf(0, kModem06)}), ListRows(IDC_LIST_MODEM));
    EXPECT_EQ((Rows{StoredRowOf(1, kPri06)}), ListRows(IDC_LIST_PRI));
}

TEST_F(ImageManagerDialogTest, RefusedPreferenceLeavesTheStatusAndStillReloads)
{
    CreateModemWithTwoPairs();
    Open();
    ASSERT_EQ(0u, m_sim.SetFault("SetImagesPreference", 5, 1));
    const size_t nTextsBefore = StatusTexts().size();
    ASSERT_EQ(L"Ready", StatusTexts().back()) << "the status line is watched";

    ClickRow(IDC_LIST_MODEM, 1);
    ClickRow(IDC_LIST_PRI, 1);
    ClickButton(IDC_BTN_SELECT_IMG);
    ASSERT_TRUE(m_pDialog->Settle());

    EXPECT_EQ(2, g_nRefreshes.load());
    const std::vector<std::wstring> texts = StatusTexts();
    EXPECT_EQ(std::vector<std::wstring>(texts.begin() + nTextsBefore, texts.end()), std::vector<std::wstring>{L"Ready"})
        << "only the reload's own status, no \"Updating...\"";
    EXPECT_EQ("AMSS-STSUGN-F06-1575", m_sim.PreferredBuildId(0));
    EXPECT_TRUE(m_sim.JournalCalls(L"ResetDevice(").empty());
}

TEST_F(ImageManagerDialogTest, RefusedDeleteShowsFailureWithoutReloadAndSkipsThePriImage)
{
    CreateModemWithTwoPairs();
    Open();

    // The running modem image cannot go; the marked PRI image is not tried.
    ClickRow(IDC_LIST_MODEM, 0);
    ClickRow(IDC_LIST_PRI, 1);
    ClickButton(IDC_BTN_DELETE);
    ASSERT_TRUE(m_pDialog->Settle());

    EXPECT_EQ(L"Failed to delete image", Status());
    EXPECT_EQ(1, g_nRefreshes.load());
    EXPECT_EQ((std::vector<std::wstring>{L"DeleteStoredImage(38, 0:AMSS-STSUGN-F06-1575) = 170"}),
              m_sim.JournalCalls(L"DeleteStoredImage("));
    EXPECT_TRUE(m_trace.Contains(L"Modem element found:"));
    EXPECT_TRUE(Marked(IDC_LIST_PRI, 1)) << "nothing reloaded";
    EXPECT_EQ(2u, m_sim.StoredImages(1).size());
}

TEST_F(ImageManagerDialogTest, SetPreferenceMakesTheModemRunTheMarkedPairAndReloads)
{
    CreateModemWithTwoPairs();
    Open();

    ClickRow(IDC_LIST_MODEM, 1);
    ClickRow(IDC_LIST_PRI, 1);
    ClickButton(IDC_BTN_SELECT_IMG);

    EXPECT_EQ("AMSS-STAUSH-F03-1575", m_sim.PreferredBuildId(0));
    EXPECT_EQ("UQCN-C102-F03-3", m_sim.PreferredBuildId(1));
    EXPECT_EQ("AMSS-STAUSH-F03-1575", m_sim.RunningBuildId(0));
    // The handler's reload and the one the removal callback asks for.
    ASSERT_TRUE(WaitFor([] { return g_nRefreshes.load() >= 3; }));
    ASSERT_TRUE(m_pDialog->Settle());
    EXPECT_EQ(3, g_nRefreshes.load());
    EXPECT_EQ(L"Ready", Status());
    EXPECT_EQ((Rows{StoredRowOf(0, kModem03), StoredRowOf(1, kPri03)}), ListRows(IDC_LIST_SELECTED));

    const int nReset = JournalIndex(L"ResetDevice(");
    ASSERT_GT(nReset, JournalIndex(L"SetImagesPreference("));
    // The callback disconnected, and the window's store connected again.
    const int nDisconnect = JournalIndex(L"QCWWANDisconnect() = 0", nReset);
    ASSERT_GT(nDisconnect, nReset);
    EXPECT_GT(JournalIndex(L"QCWWANConnect() = 0", nDisconnect), nDisconnect);

    const std::vector<std::wstring> texts = m_trace.Texts();
    const int nModemLine = m_trace.IndexOf(L"Modem element found:");
    ASSERT_GE(nModemLine, 0);
    EXPECT_EQ(1, m_trace.Count(L"+ CToviImgMgrDlg::OnBnClickedBtnSelectImg"));
    EXPECT_EQ(1, m_trace.Count(L"+ CToviImgMgrDlg::DeviceRemovalCallback"));
    int nHandle = 0;
    bool bModemTraced = false;
    for (const std::wstring& text : texts)
        if (swscanf(text.c_str(), L"Modem: AMSS-STAUSH-F03-1575 Handle: %d", &nHandle) == 1)
            bModemTraced = true;
    EXPECT_TRUE(bModemTraced);
    EXPECT_GT(nHandle, 0);
    EXPECT_GT(m_trace.IndexOf(L"PRI element found:", nModemLine), nModemLine);
}

// As a modem does, the simulated one is away for a while after the reset: the
// reloads fail until the retry timer's reload finds it back.
TEST_F(ImageManagerDialogTest, SetPreferenceWhileTheModemResetsShowsTheRetryThenReadyWithTheNewPair)
{
    CreateModemWithTwoPairs();
    ASSERT_EQ(0u, m_sim.SetResetDelay(2500));
    Open();

    ClickRow(IDC_LIST_MODEM, 1);
    ClickRow(IDC_LIST_PRI, 1);
    const DWORD dwClick = ::GetTickCount();
    ClickButton(IDC_BTN_SELECT_IMG);
    ASSERT_TRUE(WaitFor([this] { return Status() == kRetrieveFailed; }, 8000)) << "status: " << Status();
    EXPECT_EQ(0, g_nRefreshTimers.load());
    EXPECT_TRUE(SaveScreenshot(g_hDlg, L"image_manager_modem_away.png"));
    ASSERT_TRUE(WaitFor([this] { return Status() == L"Ready"; }, 15000)) << "status: " << Status();
    ASSERT_TRUE(m_pDialog->Settle());

    EXPECT_GE(::GetTickCount() - dwClick, 2500u) << "not before the modem is back";
    EXPECT_GE(g_nRefreshTimers.load(), 1) << "the retry timer brought the reload that worked";
    EXPECT_EQ(1, m_trace.Count(L"+ CToviImgMgrDlg::DeviceRemovalCallback"));
    EXPECT_EQ((Rows{StoredRowOf(0, kModem03), StoredRowOf(1, kPri03)}), ListRows(IDC_LIST_SELECTED));
    // The callback's disconnect made a reload connect again: refused while
    // the modem was away, accepted once it was back.
    const int nReset = JournalIndex(L"ResetDevice() = 0");
    ASSERT_GE(nReset, 0);
    const int nDisconnect = JournalIndex(L"QCWWANDisconnect() = 0", nReset);
    ASSERT_GT(nDisconnect, nReset);
    const int nRefused = JournalIndex(L"QCWWANConnect() = 6", nDisconnect);
    ASSERT_GT(nRefused, nDisconnect);
    EXPECT_GT(JournalIndex(L"QCWWANConnect() = 0", nRefused), nRefused);
    EXPECT_TRUE(m_trace.Contains(L"QCWWANConnect error: 6"));
}

TEST_F(ImageManagerDialogTest, PreferenceWithUnknownImageTypeStopsItsListAtThatRow)
{
    CreateModemWithTwoPairs();
    // Modem "M", an image of type 2 "X", PRI "P".
    std::vector<BYTE> list = {3};
    for (BYTE type : {0, 2, 1})
    {
        list.push_back(type);
        for (int i = 0; i < 16; ++i)
            list.push_back(static_cast<BYTE>(type * 16 + i));
        list.push_back(1);
        list.push_back(type == 0 ? 'M' : type == 1 ? 'P' : 'X');
    }
    ASSERT_EQ(0u, m_sim.SetRawList("GetImagesPreference", list, 1));
    Open();

    EXPECT_EQ(L"Ready", Status());
    EXPECT_EQ((Rows{{L"Modem", L"M", L"000102030405060708090A0B0C0D0E0F"}, {L"Unknown image type", L"", L""}}),
              ListRows(IDC_LIST_SELECTED));
    EXPECT_EQ(2u, ListRows(IDC_LIST_MODEM).size());
}

TEST_F(ImageManagerDialogTest, BuildIdOfFullLengthIsShownAndUsedWhole)
{
    ASSERT_EQ(0u, m_sim.Create(L"6"));
    const std::string buildId(32, 'B');
    // One stored list per type; the modem image's build ID fills all 32 bytes.
    std::vector<BYTE> list = {2, 0, 4, 0, 1, 0, 0};
    for (int i = 0; i < 16; ++i)
        list.push_back(0xA0 + i);
    list.push_back(32);
    list.insert(list.end(), buildId.begin(), buildId.end());
    list.insert(list.end(), {1, 4, 0xFF, 0});
    ASSERT_EQ(0u, m_sim.SetRawList("GetStoredImages", list, 1));
    Open();

    const Rows modemRows = ListRows(IDC_LIST_MODEM);
    ASSERT_EQ(1u, modemRows.size());
    EXPECT_EQ(Wide(buildId), modemRows[0][1]);

    // The simulated modem does not store it, so the delete is refused.
    ClickRow(IDC_LIST_MODEM, 0);
    ClickButton(IDC_BTN_DELETE);
    bool bTracedWhole = false;
    for (const std::wstring& text : m_trace.Texts())
        if (text.compare(0, 7 + 32 + 9, L"Modem: " + Wide(buildId) + L" Handle: ") == 0)
            bTracedWhole = true;
    EXPECT_TRUE(bTracedWhole);
    EXPECT_EQ((std::vector<std::wstring>{L"DeleteStoredImage(50, 0:" + Wide(buildId) + L") = 1168"}),
              m_sim.JournalCalls(L"DeleteStoredImage("));
    EXPECT_EQ(L"Failed to delete image", Status());
}

TEST_F(ImageManagerDialogTest, ButtonsWithoutMarkedRowsChangeNothing)
{
    CreateModemWithTwoPairs();
    Open();

    // The commands as a stale enabled button would send them.
    ::SendMessageW(g_hDlg, WM_COMMAND, MAKEWPARAM(IDC_BTN_SELECT_IMG, BN_CLICKED), (LPARAM)Item(IDC_BTN_SELECT_IMG));
    ::SendMessageW(g_hDlg, WM_COMMAND, MAKEWPARAM(IDC_BTN_DELETE, BN_CLICKED), (LPARAM)Item(IDC_BTN_DELETE));
    ASSERT_TRUE(m_pDialog->Settle());

    EXPECT_EQ(1, m_trace.Count(L"Failed to find image element"));
    EXPECT_EQ(1, m_trace.Count(L"Modem:  Handle: 0"));
    EXPECT_EQ(1, m_trace.Count(L"PRI:  Handle: 0"));
    EXPECT_EQ(L"Ready", Status());
    EXPECT_EQ(1, g_nRefreshes.load());
    EXPECT_TRUE(m_sim.JournalCalls(L"SetImagesPreference(").empty());
    EXPECT_TRUE(m_sim.JournalCalls(L"DeleteStoredImage(").empty());
}

TEST_F(ImageManagerDialogTest, RemovalDisconnectsAndReconnectsWhileOpenAndIsIgnoredAfterClosing)
{
    CreateModemWithTwoPairs();
    Open();

    ASSERT_EQ(0u, m_sim.SimulateRemoval());
    ASSERT_TRUE(WaitFor([] { return g_nRefreshes.load() >= 2; }));
    ASSERT_TRUE(m_pDialog->Settle());
    EXPECT_EQ(L"Ready", Status());
    const int nDisconnect = JournalIndex(L"QCWWANDisconnect() = 0");
    ASSERT_GE(nDisconnect, 0);
    EXPECT_GT(JournalIndex(L"QCWWANConnect() = 0", nDisconnect), nDisconnect);

    EXPECT_EQ(IDCANCEL, m_pDialog->Close());
    ASSERT_EQ(nullptr, g_pImgMgrDlg);
    m_sim.ClearJournal();
    // A callback that comes anyway (the library's thread was already on its way).
    DeviceRemovalCallback();
    ASSERT_EQ(0u, m_sim.SimulateRemoval());
    ::Sleep(200);
    EXPECT_TRUE(m_sim.JournalCalls(L"QCWWANDisconnect(").empty());
}

TEST_F(ImageManagerDialogTest, RefusedRemovalRegistrationIsTracedAndTheWindowWorks)
{
    CreateModemWithTwoPairs();
    ASSERT_EQ(0u, m_sim.SetFault("SetDeviceRemovalCallback", 5, 1));
    Open();

    const std::vector<std::wstring> errors = m_trace.TextsAtLevel(3);
    EXPECT_EQ(1, std::count(errors.begin(), errors.end(), L"Failed to register device removal callback"));
    EXPECT_EQ(L"Ready", Status());
    EXPECT_EQ(2u, ListRows(IDC_LIST_MODEM).size());
}

TEST_F(ImageManagerDialogTest, WithoutTheLibraryTheWindowOpensCallsNothingAndShowsFailure)
{
    CreateModemWithTwoPairs();
    CToviApiWrapper::DeInit();
    Open();

    EXPECT_EQ(kRetrieveFailed, Status());
    EXPECT_EQ(1, m_trace.Count(L"Failed to register device removal callback"));
    EXPECT_TRUE(ListRows(IDC_LIST_MODEM).empty());
    EXPECT_TRUE(m_pDialog->RetryTimerRuns());
    EXPECT_EQ(IDCANCEL, m_pDialog->Close());
    EXPECT_TRUE(m_sim.Journal().empty());
    EXPECT_TRUE(CToviApiWrapper::Initialize());
}
}  // namespace
