// framework/Wnd.cpp: window objects, subclassing and message dispatch.
#include "framework/Wnd.h"

#include "framework/App.h"

#include <exception>
#include <memory>
#include <unordered_map>

namespace
{
// The window property that points from a window to its permanent object.
constexpr wchar_t kObjectProp[] = L"Fendral.CWnd";

struct TempWnds
{
    int nDepth = 0;
    std::unordered_map<HWND, std::unique_ptr<CWnd>> map;
};

TempWnds &ThreadTemps()
{
    thread_local TempWnds temps;
    return temps;
}

void LogException(const char *pszWhat)
{
    ::OutputDebugStringA("Exception in a message handler: ");
    ::OutputDebugStringA(pszWhat);
    ::OutputDebugStringA("\n");
}

CString ReadWindowText(HWND hWnd)
{
    CString str;
    const int n = ::GetWindowTextLengthW(hWnd);
    if (n > 0)
    {
        const int nGot = ::GetWindowTextW(hWnd, str.GetBuffer(n + 1), n + 1);
        str.ReleaseBuffer(nGot > 0 ? nGot : 0);
    }
    return str;
}
} // namespace

CTempWndScope::CTempWndScope()
{
    ++ThreadTemps().nDepth;
}

CTempWndScope::~CTempWndScope()
{
    TempWnds &temps = ThreadTemps();
    if (--temps.nDepth == 0)
        temps.map.clear();
}

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

CWnd::~CWnd()
{
    if (!m_hWnd)
        return;
    if (m_pfnSuper)
        UnsubclassWindow();
    else
        Detach();
}

CWnd *CWnd::FromHandlePermanent(HWND hWnd)
{
    return hWnd ? static_cast<CWnd *>(::GetPropW(hWnd, kObjectProp)) : nullptr;
}

CWnd *CWnd::FromHandle(HWND hWnd)
{
    if (!hWnd)
        return nullptr;
    if (CWnd *pWnd = FromHandlePermanent(hWnd))
        return pWnd;
    auto &slot = ThreadTemps().map[hWnd];
    if (!slot)
    {
        slot = std::make_unique<CWnd>();
        slot->m_hWnd = hWnd;
    }
    return slot.get();
}

BOOL CWnd::Attach(HWND hWnd)
{
    if (!hWnd || m_hWnd || FromHandlePermanent(hWnd))
        return FALSE;
    if (!::SetPropW(hWnd, kObjectProp, this))
        return FALSE;
    m_hWnd = hWnd;
    return TRUE;
}

HWND CWnd::Detach()
{
    HWND hWnd = m_hWnd;
    if (hWnd && FromHandlePermanent(hWnd) == this)
        ::RemovePropW(hWnd, kObjectProp);
    m_hWnd = nullptr;
    m_pfnSuper = nullptr;
    return hWnd;
}

BOOL CWnd::SubclassWindow(HWND hWnd)
{
    if (!Attach(hWnd))
        return FALSE;
    auto pfnOld = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::AfxWndProc)));
    if (!pfnOld)
    {
        Detach();
        return FALSE;
    }
    m_pfnSuper = pfnOld;
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT nID, CWnd *pParent)
{
    if (!pParent || !pParent->m_hWnd)
        return FALSE;
    return SubclassWindow(::GetDlgItem(pParent->m_hWnd, static_cast<int>(nID)));
}

HWND CWnd::UnsubclassWindow()
{
    if (m_hWnd && m_pfnSuper &&
        ::GetWindowLongPtrW(m_hWnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&CWnd::AfxWndProc))
        ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    return Detach();
}

void CWnd::ForgetWindow()
{
    if (CWinApp *pApp = AfxGetApp(); pApp && pApp->m_pMainWnd == this)
        pApp->m_pMainWnd = nullptr;
    if (m_pfnSuper)
        UnsubclassWindow();
    else
        Detach();
}

void CWnd::GetWindowText(CString &rString) const
{
    rString = ReadWindowText(m_hWnd);
}

CWnd *CWnd::SetFocus()
{
    return FromHandle(::SetFocus(m_hWnd));
}

BOOL CWnd::DestroyWindow()
{
    return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE;
}

CWnd *CWnd::GetDlgItem(int nID) const
{
    return FromHandle(::GetDlgItem(m_hWnd, nID));
}

int CWnd::GetDlgItemText(int nID, CString &rString) const
{
    rString = ReadWindowText(::GetDlgItem(m_hWnd, nID));
    return rString.GetLength();
}

int CWnd::MessageBox(LPCWSTR lpszText, LPCWSTR lpszCaption, UINT nType)
{
    return ::MessageBoxW(m_hWnd, lpszText, lpszCaption ? lpszCaption : AfxGetAppName(), nType);
}

void CWnd::ScreenToClient(LPRECT lpRect) const
{
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<LPPOINT>(lpRect), 2);
}

CDC *CWnd::GetDC()
{
    auto pDC = std::make_unique<CDC>();
    pDC->m_hDC = ::GetDC(m_hWnd);
    if (!pDC->m_hDC)
        return nullptr;
    return pDC.release();
}

int CWnd::ReleaseDC(CDC *pDC)
{
    if (!pDC)
        return 0;
    const int nResult = ::ReleaseDC(m_hWnd, pDC->m_hDC);
    pDC->m_hDC = nullptr;
    delete pDC;
    return nResult;
}

CMenu *CWnd::GetSystemMenu(BOOL bRevert)
{
    HMENU hMenu = ::GetSystemMenu(m_hWnd, bRevert);
    if (!hMenu)
        return nullptr;
    m_menuSystem.m_hMenu = hMenu;
    return &m_menuSystem;
}

CFont *CWnd::GetFont()
{
    auto hFont = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT));
    if (!hFont)
        return nullptr;
    m_fontLent.Borrow(hFont);
    return &m_fontLent;
}

void CWnd::SetFont(CFont *pFont, BOOL bRedraw)
{
    SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(pFont ? pFont->m_hObject : nullptr),
                MAKELPARAM(bRedraw, 0));
}

BOOL CWnd::OnWndMsg(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT *pResult)
{
    return DispatchMessageMap(nMsg, wParam, lParam, pResult);
}

BOOL CWnd::DispatchGuarded(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT *pResult)
{
    CCurrentMessageScope current(this, nMsg, wParam, lParam);
    try
    {
        return OnWndMsg(nMsg, wParam, lParam, pResult);
    }
    catch (const std::exception &e)
    {
        LogException(e.what());
    }
    catch (...)
    {
        LogException("unknown exception");
    }
    return FALSE;
}

LRESULT CWnd::WindowProc(UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    LRESULT lResult = 0;
    if (!DispatchGuarded(nMsg, wParam, lParam, &lResult))
        lResult = DefWindowProc(nMsg, wParam, lParam);
    return lResult;
}

LRESULT CWnd::DefWindowProc(UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper)
        return ::CallWindowProcW(m_pfnSuper, m_hWnd, nMsg, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, nMsg, wParam, lParam);
}

LRESULT CWnd::Default()
{
    // Pseudo messages (a reflected colour request) have no default: "not handled".
    if (!m_msgCur.bValid || m_msgCur.nMsg > 0xFFFF || !m_hWnd)
        return 0;
    return DefWindowProc(m_msgCur.nMsg, m_msgCur.wParam, m_msgCur.lParam);
}

void CWnd::OnPaint()
{
    Default();
}

BOOL CWnd::OnEraseBkgnd(CDC *)
{
    return static_cast<BOOL>(Default());
}

void CWnd::OnSysCommand(UINT, LPARAM)
{
    Default();
}

HBRUSH CWnd::OnCtlColor(CDC *pDC, CWnd *pWnd, UINT nCtlColor)
{
    // The child answers its own colour request first (a label that draws transparently).
    if (pWnd && pDC && pWnd->m_hWnd != m_hWnd)
    {
        if (CWnd *pChild = FromHandlePermanent(pWnd->m_hWnd))
        {
            LRESULT lResult = 0;
            if (pChild->DispatchGuarded(AFX_WM_REFLECT_CTLCOLOR, reinterpret_cast<WPARAM>(pDC->m_hDC),
                                        static_cast<LPARAM>(nCtlColor), &lResult) &&
                lResult)
                return reinterpret_cast<HBRUSH>(lResult);
        }
    }
    return reinterpret_cast<HBRUSH>(Default());
}

LRESULT CALLBACK CWnd::AfxWndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    CWnd *pWnd = FromHandlePermanent(hWnd);
    if (!pWnd)
        return ::DefWindowProcW(hWnd, nMsg, wParam, lParam);
    CTempWndScope temps;
    if (nMsg == WM_NCDESTROY)
    {
        // The window is going: give it its own procedure back and let go of it before it finishes.
        WNDPROC pfnSuper = pWnd->m_pfnSuper;
        pWnd->ForgetWindow();
        const LRESULT lResult = pfnSuper ? ::CallWindowProcW(pfnSuper, hWnd, nMsg, wParam, lParam)
                                         : ::DefWindowProcW(hWnd, nMsg, wParam, lParam);
        pWnd->PostNcDestroy();
        return lResult;
    }
    try
    {
        return pWnd->WindowProc(nMsg, wParam, lParam);
    }
    catch (const std::exception &e)
    {
        LogException(e.what());
    }
    catch (...)
    {
        LogException("unknown exception");
    }
    return pWnd->DefWindowProc(nMsg, wParam, lParam);
}
