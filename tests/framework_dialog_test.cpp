// The dialog base and its data exchange, run on the image manager's template
// by small dialogs that script themselves through posted messages.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "framework/DataExchange.h"
#include "framework/Dialog.h"
#include "framework/ListCtrl.h"
#include "ui/resource.h"

namespace
{
const UINT WM_STEP_THROW = WM_APP + 1;
const UINT WM_STEP_AFTER_THROW = WM_APP + 2;

std::wstring ItemText(HWND hDlg, int nId)
{
    wchar_t szText[256] = {};
    ::GetDlgItemTextW(hDlg, nId, szText, ARRAYSIZE(szText));
    return szText;
}

// Binds the status edit and a list view the way the image manager does.
class CScriptedDialog : public CDialog
{
public:
    CScriptedDialog() : CDialog(IDD_TOVIIMGMGR_DIALOG) {}

    // The message that, once the window is up, drives the run.
    UINT m_uFirstStep = WM_STEP_THROW;
    std::wstring m_text = L"from the member";
    CListCtrl m_list;

    std::wstring m_shownAtInit;
    HWND m_hListAtInit = nullptr;
    bool m_bReachedAfterThrow = false;

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Control(pDX, IDC_LIST_MODEM, m_list);
        DDX_Text(pDX, IDC_EDIT_STATUS, m_text);
    }

    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        m_shownAtInit = ItemText(m_hWnd, IDC_EDIT_STATUS);
        m_hListAtInit = m_list.GetSafeHwnd();
        ::PostMessageW(m_hWnd, m_uFirstStep, 0, 0);
        return TRUE;
    }

    bool OnMessage(UINT uMsg, WPARAM, LPARAM, LRESULT&) override
    {
        switch (uMsg)
        {
        case WM_STEP_THROW:
            // The user types, then a handler fails.
            ::SetDlgItemTextW(m_hWnd, IDC_EDIT_STATUS, L"typed by the user");
            ::PostMessageW(m_hWnd, WM_STEP_AFTER_THROW, 0, 0);
            throw std::runtime_error("handler failed");
        case WM_STEP_AFTER_THROW:
            m_bReachedAfterThrow = true;
            ::PostMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            return true;
        default:
            return false;
        }
    }
};

TEST(DialogFrameworkTest, ExchangesDataSurvivesAThrowingHandlerAndEndsWithOk)
{
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&icc);
    CScriptedDialog dlg;

    EXPECT_EQ(IDOK, dlg.DoModal());

    EXPECT_EQ(L"from the member", dlg.m_shownAtInit);
    EXPECT_NE(nullptr, dlg.m_hListAtInit);
    EXPECT_TRUE(dlg.m_bReachedAfterThrow);
    // OK read the edit back into the member.
    EXPECT_EQ(L"typed by the user", dlg.m_text);
    EXPECT_EQ(nullptr, dlg.m_hWnd);
}

TEST(DialogFrameworkTest, EscapeEndsWithCancelWithoutReadingTheControls)
{
    // Esc as the keyboard gives it: the dialog manager turns it into Cancel.
    class CEscapeDialog : public CScriptedDialog
    {
    protected:
        bool OnMessage(UINT uMsg, WPARAM, LPARAM, LRESULT&) override
        {
            if (uMsg != WM_APP)
                return false;
            ::SetDlgItemTextW(m_hWnd, IDC_EDIT_STATUS, L"typed by the user");
            ::PostMessageW(m_hWnd, WM_KEYDOWN, VK_ESCAPE, 0);
            return true;
        }
    } dlg;
    dlg.m_uFirstStep = WM_APP;

    EXPECT_EQ(IDCANCEL, dlg.DoModal());
    EXPECT_EQ(L"from the member", dlg.m_text);
}

TEST(DialogFrameworkTest, MissingTemplateGivesMinusOne)
{
    class CMissingDialog : public CDialog
    {
    public:
        CMissingDialog() : CDialog(9999) {}
    } dlg;
    EXPECT_EQ(-1, dlg.DoModal());
}
}  // namespace
