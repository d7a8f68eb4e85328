// framework/Dialog.h: modal dialogs from a template, and control binding (DDX_Control).
//
// DoModal runs DialogBoxParam with the object in lParam; the object is bound to its window at
// WM_INITDIALOG (messages before it are left to the dialog manager) and let go at WM_NCDESTROY.
// IDOK and IDCANCEL commands reach the virtual OnOK and OnCancel. Exceptions thrown by handlers are
// caught in the dialog procedure and logged with OutputDebugString.
#pragma once

#include "framework/Wnd.h"

#include <windows.h>

class CDataExchange
{
public:
    CDataExchange(CWnd *pDlgWnd, BOOL bSaveAndValidate)
        : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd)
    {
    }

    BOOL m_bSaveAndValidate; // TRUE: controls to members; FALSE: members to controls
    CWnd *m_pDlgWnd;
};

// Binds rControl to the dialog's control nIDC (subclassing it) the first time; does nothing once bound.
void DDX_Control(CDataExchange *pDX, int nIDC, CWnd &rControl);

class CDialog : public CWnd
{
public:
    // The template is taken from the program's module (AfxGetInstanceHandle()).
    explicit CDialog(UINT nIDTemplate, CWnd *pParentWnd = nullptr);
    ~CDialog() override;

    // IDOK, IDCANCEL or the EndDialog value; -1 when the dialog could not be created.
    virtual INT_PTR DoModal();
    void EndDialog(int nResult);
    // FALSE: members to controls, TRUE: controls to members (DoDataExchange).
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    // Base: UpdateData(FALSE); TRUE lets the dialog manager set the focus.
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange *pDX);
    // Base: UpdateData(TRUE), then EndDialog(IDOK).
    virtual void OnOK();
    // Base: EndDialog(IDCANCEL).
    virtual void OnCancel();

    // Runs a template built in memory (tests); the template must outlive DoModal.
    BOOL InitModalIndirect(LPCDLGTEMPLATEW lpDialogTemplate, CWnd *pParentWnd = nullptr);

    UINT m_nIDHelp = 0;

    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

protected:
    LRESULT DefWindowProc(UINT nMsg, WPARAM wParam, LPARAM lParam) override;

    UINT m_nIDTemplate;
    LPCDLGTEMPLATEW m_lpDialogTemplate = nullptr;
    CWnd *m_pParentWnd;
};

class CDialogEx : public CDialog
{
public:
    explicit CDialogEx(UINT nIDTemplate, CWnd *pParent = nullptr) : CDialog(nIDTemplate, pParent) {}

    DECLARE_MESSAGE_MAP()
};
