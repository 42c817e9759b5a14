#pragma once
// The modal dialog base: DoModal runs a dialog template through the system's
// dialog manager; a static procedure finds the object by the window and hands
// each message to a member handler. Derived windows answer the messages they
// care about in OnMessage and leave the rest to the dialog manager.
#include <windows.h>

class CDataExchange;

class CDialog
{
public:
    CDialog(UINT nIDTemplate, HWND hParent = nullptr);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog until EndDialog; its result, or -1 when the window
    // could not be created.
    INT_PTR DoModal();
    void EndDialog(INT_PTR nResult);

    // TRUE: controls into members; FALSE: members into controls.
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    HWND GetSafeHwnd() const { return m_hWnd; }
    HWND GetDlgItem(int nId) const { return ::GetDlgItem(m_hWnd, nId); }

    HWND m_hWnd;

protected:
    // After the controls exist: binds them (UpdateData(FALSE)); TRUE lets the
    // dialog manager set the focus.
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange* pDX);
    // Enter and Esc, the close box and the OK and Cancel buttons end the run.
    virtual void OnOK();
    virtual void OnCancel();
    // Returns true when the message was handled, with its result in lResult;
    // false leaves it to the dialog manager's default handling.
    virtual bool OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult);

    UINT m_nIDTemplate;
    HWND m_hParent;

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT uMsg, WPARAM wParam, LPARAM lParam);
    bool OnCommand(WPARAM wParam);
};
