// framework/Dialog.cpp: modal dialogs and control binding.
#include "framework/Dialog.h"

#include "framework/App.h"

#include <exception>

namespace
{
void LogDialogException(const char *pszWhat)
{
    ::OutputDebugStringA("Exception in dialog set-up: ");
    ::OutputDebugStringA(pszWhat);
    ::OutputDebugStringA("\n");
}

// Messages whose dialog-procedure result is the answer itself, not TRUE + DWLP_MSGRESULT
// (the DialogProc contract).
bool ReturnsResultDirectly(UINT nMsg)
{
    switch (nMsg)
    {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG:
        return true;
    default:
        return false;
    }
}
} // namespace

void DDX_Control(CDataExchange *pDX, int nIDC, CWnd &rControl)
{
    if (rControl.m_hWnd || !pDX || !pDX->m_pDlgWnd)
        return;
    if (!rControl.SubclassWindow(::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, nIDC)))
        ::OutputDebugStringW(L"DDX_Control: the control could not be bound\n");
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, &CDialog::OnOK)
ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

BEGIN_MESSAGE_MAP(CDialogEx, CDialog)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd *pParentWnd) : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

CDialog::~CDialog() = default;

BOOL CDialog::InitModalIndirect(LPCDLGTEMPLATEW lpDialogTemplate, CWnd *pParentWnd)
{
    m_lpDialogTemplate = lpDialogTemplate;
    m_pParentWnd = pParentWnd;
    return lpDialogTemplate != nullptr;
}

INT_PTR CDialog::DoModal()
{
    if (m_hWnd)
        return -1;
    HWND hOwner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    if (!m_pParentWnd)
    {
        // Like the application's other modal windows, owned by its main window.
        CWinApp *pApp = AfxGetApp();
        if (pApp && pApp->m_pMainWnd && pApp->m_pMainWnd != this)
            hOwner = pApp->m_pMainWnd->m_hWnd;
    }
    const LPARAM lParam = reinterpret_cast<LPARAM>(this);
    if (m_lpDialogTemplate)
        return ::DialogBoxIndirectParamW(AfxGetInstanceHandle(), m_lpDialogTemplate, hOwner,
                                         &CDialog::DialogProc, lParam);
    return ::DialogBoxParamW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(m_nIDTemplate), hOwner,
                             &CDialog::DialogProc, lParam);
}

void CDialog::EndDialog(int nResult)
{
    ::EndDialog(m_hWnd, nResult);
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange *) {}

void CDialog::OnOK()
{
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

LRESULT CDialog::DefWindowProc(UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    // Not DefDlgProc: it would call this dialog procedure again.
    return ::DefWindowProcW(m_hWnd, nMsg, wParam, lParam);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    CDialog *pDlg = nullptr;
    if (nMsg == WM_INITDIALOG)
    {
        pDlg = reinterpret_cast<CDialog *>(lParam);
        if (!pDlg || !pDlg->Attach(hWnd))
            return FALSE;
    }
    else
    {
        // Messages before WM_INITDIALOG (WM_SETFONT, ...) find no object and get the dialog manager's
        // handling.
        pDlg = dynamic_cast<CDialog *>(FromHandlePermanent(hWnd));
        if (!pDlg)
            return FALSE;
    }

    CTempWndScope temps;
    if (nMsg == WM_INITDIALOG)
    {
        CCurrentMessageScope current(pDlg, nMsg, wParam, lParam);
        try
        {
            return pDlg->OnInitDialog();
        }
        catch (const std::exception &e)
        {
            LogDialogException(e.what());
        }
        catch (...)
        {
            LogDialogException("unknown exception");
        }
        return TRUE;
    }
    if (nMsg == WM_NCDESTROY)
    {
        pDlg->ForgetWindow();
        pDlg->PostNcDestroy();
        return FALSE;
    }

    LRESULT lResult = 0;
    if (!pDlg->DispatchGuarded(nMsg, wParam, lParam, &lResult))
        return FALSE;
    if (ReturnsResultDirectly(nMsg))
        return static_cast<INT_PTR>(lResult);
    ::SetWindowLongPtrW(hWnd, DWLP_MSGRESULT, lResult);
    return TRUE;
}
