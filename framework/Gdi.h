// framework/Gdi.h: GDI objects, menus and device contexts.
//
// CBrush, CBitmap and CFont own their handle (deleted by the destructor or DeleteObject) unless it was
// lent to them with Borrow. CDC borrows its HDC unless it made it (CreateCompatibleDC); CPaintDC and
// CClientDC release theirs when they go out of scope. None of them can be copied.
#pragma once

#include "framework/String.h"

#include <windows.h>

class CWnd;
class CDC;
class CBitmap;

// A RECT with its size; usable wherever a LPRECT/LPCRECT is taken.
class CRect : public RECT
{
public:
    CRect() : RECT{0, 0, 0, 0} {}
    CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
    CRect(const RECT &rc) : RECT(rc) {}
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    void OffsetRect(int x, int y) { ::OffsetRect(this, x, y); }
    operator LPRECT() { return this; }
    operator LPCRECT() const { return this; }
};

class CGdiObject
{
public:
    CGdiObject() = default;
    ~CGdiObject() { DeleteObject(); }
    CGdiObject(const CGdiObject &) = delete;
    CGdiObject &operator=(const CGdiObject &) = delete;
    CGdiObject(CGdiObject &&other) noexcept;
    CGdiObject &operator=(CGdiObject &&other) noexcept;

    HGDIOBJ m_hObject = nullptr;

    HGDIOBJ GetSafeHandle() const { return m_hObject; }
    // Takes ownership of h (an owned handle held before is deleted first).
    BOOL Attach(HGDIOBJ h);
    // Hands the handle back to the caller, who now owns it.
    HGDIOBJ Detach();
    // Refers to h without owning it (a stock object, a font lent by a window).
    void Borrow(HGDIOBJ h);
    // Deletes an owned handle; a borrowed one is only forgotten. TRUE when a handle was held.
    BOOL DeleteObject();
    int GetObject(int nCount, LPVOID pObject) const;
    bool IsOwned() const { return m_bOwned; }

protected:
    bool m_bOwned = false;
};

class CBrush : public CGdiObject
{
public:
    CBrush() = default;
    operator HBRUSH() const { return static_cast<HBRUSH>(m_hObject); }
    HBRUSH GetSafeHandle() const { return static_cast<HBRUSH>(CGdiObject::GetSafeHandle()); }
    // Fails (FALSE, no brush) when the bitmap holds no handle.
    BOOL CreatePatternBrush(CBitmap *pBitmap);
    BOOL CreateSolidBrush(COLORREF cr);
};

class CBitmap : public CGdiObject
{
public:
    CBitmap() = default;
    operator HBITMAP() const { return static_cast<HBITMAP>(m_hObject); }
    HBITMAP GetSafeHandle() const { return static_cast<HBITMAP>(CGdiObject::GetSafeHandle()); }
    // From the program's resources (AfxGetInstanceHandle()).
    BOOL LoadBitmap(UINT nIDResource);
    BOOL CreateCompatibleBitmap(CDC *pDC, int nWidth, int nHeight);
    int GetBitmap(BITMAP *pBitmap) const { return GetObject(sizeof(BITMAP), pBitmap); }
};

class CFont : public CGdiObject
{
public:
    CFont() = default;
    operator HFONT() const { return static_cast<HFONT>(m_hObject); }
    HFONT GetSafeHandle() const { return static_cast<HFONT>(CGdiObject::GetSafeHandle()); }
    BOOL CreateFontIndirect(const LOGFONTW *pLogFont);
    int GetLogFont(LOGFONTW *pLogFont) const { return GetObject(sizeof(LOGFONTW), pLogFont); }
};

// Borrows a menu (the system menu belongs to its window).
class CMenu
{
public:
    HMENU m_hMenu = nullptr;

    HMENU GetSafeHmenu() const { return m_hMenu; }
    operator HMENU() const { return m_hMenu; }
    BOOL AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, LPCWSTR lpszNewItem = nullptr);
    int GetMenuItemCount() const;
    UINT GetMenuItemID(int nPos) const;
    int GetMenuString(UINT nIDItem, CString &rString, UINT nFlags) const;
};

class CDC
{
public:
    CDC() = default;
    explicit CDC(HDC hDC) : m_hDC(hDC) {}
    virtual ~CDC();
    CDC(const CDC &) = delete;
    CDC &operator=(const CDC &) = delete;

    HDC m_hDC = nullptr;

    HDC GetSafeHdc() const { return m_hDC; }
    operator HDC() const { return m_hDC; }

    // A memory DC compatible with pDC (null: with the screen), deleted by this object.
    BOOL CreateCompatibleDC(CDC *pDC);
    BOOL DeleteDC();

    int SetBkMode(int nBkMode) { return ::SetBkMode(m_hDC, nBkMode); }
    COLORREF SetTextColor(COLORREF cr) { return ::SetTextColor(m_hDC, cr); }

    // Return the object that was selected before, to be selected back.
    HGDIOBJ SelectObject(HGDIOBJ hObject) { return ::SelectObject(m_hDC, hObject); }
    HFONT SelectObject(CFont *pFont) { return static_cast<HFONT>(::SelectObject(m_hDC, pFont->m_hObject)); }
    HBITMAP SelectObject(CBitmap *pBitmap)
    {
        return static_cast<HBITMAP>(::SelectObject(m_hDC, pBitmap->m_hObject));
    }
    HBRUSH SelectObject(CBrush *pBrush)
    {
        return static_cast<HBRUSH>(::SelectObject(m_hDC, pBrush->m_hObject));
    }

    BOOL BitBlt(int x, int y, int nWidth, int nHeight, CDC *pSrcDC, int xSrc, int ySrc, DWORD dwRop)
    {
        return ::BitBlt(m_hDC, x, y, nWidth, nHeight, pSrcDC ? pSrcDC->m_hDC : nullptr, xSrc, ySrc, dwRop);
    }
    int DrawText(LPCWSTR lpszString, int nCount, LPRECT lpRect, UINT nFormat)
    {
        return ::DrawTextW(m_hDC, lpszString, nCount, lpRect, nFormat);
    }
    int DrawText(const CString &str, LPRECT lpRect, UINT nFormat)
    {
        return ::DrawTextW(m_hDC, str.GetString(), str.GetLength(), lpRect, nFormat);
    }
    BOOL DrawFrameControl(LPRECT lpRect, UINT nType, UINT nState)
    {
        return ::DrawFrameControl(m_hDC, lpRect, nType, nState);
    }
    void FillSolidRect(LPCRECT lpRect, COLORREF cr);
    COLORREF GetPixel(int x, int y) const { return ::GetPixel(m_hDC, x, y); }

protected:
    bool m_bOwned = false; // the DC was made here and is deleted here
};

// BeginPaint/EndPaint for WM_PAINT handlers.
class CPaintDC : public CDC
{
public:
    explicit CPaintDC(CWnd *pWnd);
    ~CPaintDC() override;

    PAINTSTRUCT m_ps{};

private:
    HWND m_hWnd;
};

// GetDC/ReleaseDC of a window's client area.
class CClientDC : public CDC
{
public:
    explicit CClientDC(CWnd *pWnd);
    explicit CClientDC(HWND hWnd);
    ~CClientDC() override;

private:
    HWND m_hWnd;
};

// Selects an object into a DC and selects the previous one back at the end of the scope.
class CSelectObject
{
public:
    CSelectObject(CDC &dc, HGDIOBJ hObject) : m_hDC(dc.m_hDC), m_hOld(::SelectObject(dc.m_hDC, hObject)) {}
    CSelectObject(CDC &dc, CGdiObject &object) : CSelectObject(dc, object.m_hObject) {}
    ~CSelectObject()
    {
        if (m_hOld && m_hOld != HGDI_ERROR)
            ::SelectObject(m_hDC, m_hOld);
    }
    CSelectObject(const CSelectObject &) = delete;
    CSelectObject &operator=(const CSelectObject &) = delete;

    HGDIOBJ Old() const { return m_hOld; }

private:
    HDC m_hDC;
    HGDIOBJ m_hOld;
};
