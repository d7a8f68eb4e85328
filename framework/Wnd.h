// framework/Wnd.h: CWnd, a window handle with a message table.
//
// A CWnd is either permanent (Attach/SubclassWindow made it the window's object, found again with
// FromHandlePermanent) or temporary (FromHandle/GetDlgItem wrapped a window that has no object; such
// wrappers live until the outermost message that this thread is handling returns). A subclassed
// window's messages go to the object's message table first and to the original window procedure
// otherwise; when the window is destroyed the object lets go of it (m_hWnd becomes null).
#pragma once

#include "framework/Gdi.h"
#include "framework/MessageMap.h"
#include "framework/String.h"

#include <windows.h>

class CWnd : public CCmdTarget
{
public:
    CWnd() = default;
    ~CWnd() override;

    HWND m_hWnd = nullptr;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // The object attached to hWnd, or null.
    static CWnd *FromHandlePermanent(HWND hWnd);
    // The attached object, or a temporary wrapper (null for a null handle).
    static CWnd *FromHandle(HWND hWnd);

    // Makes this the window's object without routing its messages here.
    BOOL Attach(HWND hWnd);
    HWND Detach();
    // Routes the window's messages through this object's message table; FALSE when hWnd is null
    // or already has an object.
    BOOL SubclassWindow(HWND hWnd);
    BOOL SubclassDlgItem(UINT nID, CWnd *pParent);
    // Gives the window its original procedure back and detaches.
    HWND UnsubclassWindow();

    // Window messages.
    LRESULT SendMessage(UINT nMsg, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageW(m_hWnd, nMsg, wParam, lParam);
    }
    BOOL PostMessage(UINT nMsg, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::PostMessageW(m_hWnd, nMsg, wParam, lParam);
    }

    // State and text.
    BOOL EnableWindow(BOOL bEnable = TRUE) { return ::EnableWindow(m_hWnd, bEnable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    void SetWindowText(LPCWSTR lpszString) { ::SetWindowTextW(m_hWnd, lpszString); }
    void GetWindowText(CString &rString) const;
    int GetWindowTextLength() const { return ::GetWindowTextLengthW(m_hWnd); }
    CWnd *SetFocus();
    BOOL DestroyWindow();

    // Dialog items.
    CWnd *GetDlgItem(int nID) const;
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    void SetDlgItemText(int nID, LPCWSTR lpszString) { ::SetDlgItemTextW(m_hWnd, nID, lpszString); }
    int GetDlgItemText(int nID, CString &rString) const;
    UINT IsDlgButtonChecked(int nIDButton) const { return ::IsDlgButtonChecked(m_hWnd, nIDButton); }
    void CheckDlgButton(int nIDButton, UINT nCheck) { ::CheckDlgButton(m_hWnd, nIDButton, nCheck); }

    // A message box owned by this window; a null caption gives the application's name.
    int MessageBox(LPCWSTR lpszText, LPCWSTR lpszCaption = nullptr, UINT nType = MB_OK);

    // Painting and geometry.
    void InvalidateRect(LPCRECT lpRect, BOOL bErase = TRUE) { ::InvalidateRect(m_hWnd, lpRect, bErase); }
    void GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
    void GetWindowRect(LPRECT lpRect) const { ::GetWindowRect(m_hWnd, lpRect); }
    void ScreenToClient(LPPOINT lpPoint) const { ::ScreenToClient(m_hWnd, lpPoint); }
    void ScreenToClient(LPRECT lpRect) const;
    CWnd *GetParent() const { return FromHandle(::GetParent(m_hWnd)); }
    // A DC of the client area; give it back with ReleaseDC, which also frees the object.
    // CClientDC does both by itself and is preferred.
    CDC *GetDC();
    int ReleaseDC(CDC *pDC);

    // The window's system menu, borrowed; valid while this object lives. Null when it has none.
    CMenu *GetSystemMenu(BOOL bRevert);
    HICON SetIcon(HICON hIcon, BOOL bBigIcon)
    {
        return reinterpret_cast<HICON>(
            SendMessage(WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(hIcon)));
    }
    // The window's font, borrowed (the window does not own it either). Null when it uses the system font.
    CFont *GetFont();
    void SetFont(CFont *pFont, BOOL bRedraw = TRUE);

    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE)); }
    DWORD GetExStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE)); }

    // Message handling.
    // Entry point of every message that reaches this object: the message table, else DefWindowProc.
    virtual LRESULT WindowProc(UINT nMsg, WPARAM wParam, LPARAM lParam);
    // The message table only; FALSE when no entry takes the message.
    virtual BOOL OnWndMsg(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT *pResult);
    // The original window procedure (subclassed windows) or the system's default.
    virtual LRESULT DefWindowProc(UINT nMsg, WPARAM wParam, LPARAM lParam);
    // Default processing of the message being handled right now.
    LRESULT Default();

    // Base handlers: default processing, and for colour requests the child's reflected handler first.
    void OnPaint();
    BOOL OnEraseBkgnd(CDC *pDC);
    void OnSysCommand(UINT nID, LPARAM lParam);
    HBRUSH OnCtlColor(CDC *pDC, CWnd *pWnd, UINT nCtlColor);

    // The window procedure installed by SubclassWindow.
    static LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

protected:
    // Called once the window is gone (WM_NCDESTROY): forgets the handle.
    virtual void PostNcDestroy() {}
    void ForgetWindow();
    // Runs a message through OnWndMsg as the current message, behind an exception barrier.
    // FALSE when nothing in the table took it (or a handler threw).
    BOOL DispatchGuarded(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT *pResult);

    struct CurrentMessage
    {
        UINT nMsg = 0;
        WPARAM wParam = 0;
        LPARAM lParam = 0;
        bool bValid = false;
    };
    // Makes a message the current one (for Default) and puts the previous one back at scope end.
    class CCurrentMessageScope
    {
    public:
        CCurrentMessageScope(CWnd *pWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
            : m_pWnd(pWnd), m_saved(pWnd->m_msgCur)
        {
            pWnd->m_msgCur = {nMsg, wParam, lParam, true};
        }
        ~CCurrentMessageScope() { m_pWnd->m_msgCur = m_saved; }
        CCurrentMessageScope(const CCurrentMessageScope &) = delete;
        CCurrentMessageScope &operator=(const CCurrentMessageScope &) = delete;

    private:
        CWnd *m_pWnd;
        CurrentMessage m_saved;
    };

    WNDPROC m_pfnSuper = nullptr;
    CurrentMessage m_msgCur;

private:
    CMenu m_menuSystem;
    CFont m_fontLent;

    friend class CTempWndScope;
};

// Marks the handling of one message on this thread; temporary wrappers are freed when the outermost
// one ends.
class CTempWndScope
{
public:
    CTempWndScope();
    ~CTempWndScope();
    CTempWndScope(const CTempWndScope &) = delete;
    CTempWndScope &operator=(const CTempWndScope &) = delete;
};

namespace afx
{
// void OnPaint()
template <class T, auto pfn> LRESULT PaintThunk(CCmdTarget *p, UINT, WPARAM, LPARAM)
{
    (static_cast<T *>(p)->*pfn)();
    return 0;
}

// BOOL OnEraseBkgnd(CDC*)
template <class T, auto pfn> LRESULT EraseBkgndThunk(CCmdTarget *p, UINT, WPARAM wParam, LPARAM)
{
    CDC dc(reinterpret_cast<HDC>(wParam));
    return (static_cast<T *>(p)->*pfn)(&dc) ? TRUE : FALSE;
}

// void OnSysCommand(UINT nID, LPARAM lParam)
template <class T, auto pfn> LRESULT SysCommandThunk(CCmdTarget *p, UINT, WPARAM wParam, LPARAM lParam)
{
    (static_cast<T *>(p)->*pfn)(static_cast<UINT>(wParam), lParam);
    return 0;
}

// HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor), nCtlColor a CTLCOLOR_* value.
template <class T, auto pfn> LRESULT CtlColorThunk(CCmdTarget *p, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    CDC dc(reinterpret_cast<HDC>(wParam));
    HBRUSH hbr = (static_cast<T *>(p)->*pfn)(&dc, CWnd::FromHandle(reinterpret_cast<HWND>(lParam)),
                                             nMsg - WM_CTLCOLORMSGBOX);
    return reinterpret_cast<LRESULT>(hbr);
}

// HBRUSH CtlColor(CDC* pDC, UINT nCtlColor): the parent's colour request, handed to the child.
// wParam is the HDC, lParam the CTLCOLOR_* value.
template <class T, auto pfn> LRESULT CtlColorReflectThunk(CCmdTarget *p, UINT, WPARAM wParam, LPARAM lParam)
{
    CDC dc(reinterpret_cast<HDC>(wParam));
    HBRUSH hbr = (static_cast<T *>(p)->*pfn)(&dc, static_cast<UINT>(lParam));
    return reinterpret_cast<LRESULT>(hbr);
}
} // namespace afx

#define ON_WM_PAINT() {WM_PAINT, 0, 0, 0, &afx::PaintThunk<ThisClass, &ThisClass::OnPaint>},
#define ON_WM_ERASEBKGND()                                                                                   \
    {WM_ERASEBKGND, 0, 0, 0, &afx::EraseBkgndThunk<ThisClass, &ThisClass::OnEraseBkgnd>},
#define ON_WM_SYSCOMMAND()                                                                                   \
    {WM_SYSCOMMAND, 0, 0, 0, &afx::SysCommandThunk<ThisClass, &ThisClass::OnSysCommand>},
#define ON_WM_CTLCOLOR() {AFX_WM_CTLCOLOR, 0, 0, 0, &afx::CtlColorThunk<ThisClass, &ThisClass::OnCtlColor>},
#define ON_WM_CTLCOLOR_REFLECT()                                                                             \
    {AFX_WM_REFLECT_CTLCOLOR, 0, 0, 0, &afx::CtlColorReflectThunk<ThisClass, &ThisClass::CtlColor>},
