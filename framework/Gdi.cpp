// framework/Gdi.cpp: GDI owners, menus and device contexts.
#include "framework/Gdi.h"

#include "framework/App.h"
#include "framework/Wnd.h"

#include <utility>

CGdiObject::CGdiObject(CGdiObject &&other) noexcept
    : m_hObject(std::exchange(other.m_hObject, nullptr)), m_bOwned(std::exchange(other.m_bOwned, false))
{
}

CGdiObject &CGdiObject::operator=(CGdiObject &&other) noexcept
{
    if (this != &other)
    {
        DeleteObject();
        m_hObject = std::exchange(other.m_hObject, nullptr);
        m_bOwned = std::exchange(other.m_bOwned, false);
    }
    return *this;
}

BOOL CGdiObject::Attach(HGDIOBJ h)
{
    DeleteObject();
    if (!h)
        return FALSE;
    m_hObject = h;
    m_bOwned = true;
    return TRUE;
}

HGDIOBJ CGdiObject::Detach()
{
    m_bOwned = false;
    return std::exchange(m_hObject, nullptr);
}

void CGdiObject::Borrow(HGDIOBJ h)
{
    DeleteObject();
    m_hObject = h;
    m_bOwned = false;
}

BOOL CGdiObject::DeleteObject()
{
    if (!m_hObject)
        return FALSE;
    if (m_bOwned)
        ::DeleteObject(m_hObject);
    m_hObject = nullptr;
    m_bOwned = false;
    return TRUE;
}

int CGdiObject::GetObject(int nCount, LPVOID pObject) const
{
    return m_hObject ? ::GetObjectW(m_hObject, nCount, pObject) : 0;
}

BOOL CBrush::CreatePatternBrush(CBitmap *pBitmap)
{
    if (!pBitmap || !pBitmap->m_hObject)
        return FALSE;
    return Attach(::CreatePatternBrush(static_cast<HBITMAP>(pBitmap->m_hObject)));
}

BOOL CBrush::CreateSolidBrush(COLORREF cr)
{
    return Attach(::CreateSolidBrush(cr));
}

BOOL CBitmap::LoadBitmap(UINT nIDResource)
{
    return Attach(::LoadBitmapW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(nIDResource)));
}

BOOL CBitmap::CreateCompatibleBitmap(CDC *pDC, int nWidth, int nHeight)
{
    return Attach(::CreateCompatibleBitmap(pDC ? pDC->m_hDC : nullptr, nWidth, nHeight));
}

BOOL CFont::CreateFontIndirect(const LOGFONTW *pLogFont)
{
    return pLogFont ? Attach(::CreateFontIndirectW(pLogFont)) : FALSE;
}

BOOL CMenu::AppendMenu(UINT nFlags, UINT_PTR nIDNewItem, LPCWSTR lpszNewItem)
{
    return ::AppendMenuW(m_hMenu, nFlags, nIDNewItem, lpszNewItem);
}

int CMenu::GetMenuItemCount() const
{
    return ::GetMenuItemCount(m_hMenu);
}

UINT CMenu::GetMenuItemID(int nPos) const
{
    return ::GetMenuItemID(m_hMenu, nPos);
}

int CMenu::GetMenuString(UINT nIDItem, CString &rString, UINT nFlags) const
{
    wchar_t sz[256] = L"";
    const int n = ::GetMenuStringW(m_hMenu, nIDItem, sz, 256, nFlags);
    rString = CString(sz, n > 0 ? n : 0);
    return n;
}

CDC::~CDC()
{
    DeleteDC();
}

BOOL CDC::CreateCompatibleDC(CDC *pDC)
{
    DeleteDC();
    HDC h = ::CreateCompatibleDC(pDC ? pDC->m_hDC : nullptr);
    if (!h)
        return FALSE;
    m_hDC = h;
    m_bOwned = true;
    return TRUE;
}

BOOL CDC::DeleteDC()
{
    if (!m_hDC || !m_bOwned)
        return FALSE;
    ::DeleteDC(m_hDC);
    m_hDC = nullptr;
    m_bOwned = false;
    return TRUE;
}

void CDC::FillSolidRect(LPCRECT lpRect, COLORREF cr)
{
    const COLORREF crOld = ::SetBkColor(m_hDC, cr);
    ::ExtTextOutW(m_hDC, 0, 0, ETO_OPAQUE, lpRect, nullptr, 0, nullptr);
    ::SetBkColor(m_hDC, crOld);
}

CPaintDC::CPaintDC(CWnd *pWnd) : m_hWnd(pWnd->m_hWnd)
{
    m_hDC = ::BeginPaint(m_hWnd, &m_ps);
}

CPaintDC::~CPaintDC()
{
    // EndPaint releases the DC that BeginPaint gave.
    ::EndPaint(m_hWnd, &m_ps);
    m_hDC = nullptr;
}

CClientDC::CClientDC(CWnd *pWnd) : CClientDC(pWnd ? pWnd->m_hWnd : nullptr) {}

CClientDC::CClientDC(HWND hWnd) : m_hWnd(hWnd)
{
    m_hDC = ::GetDC(hWnd);
}

CClientDC::~CClientDC()
{
    if (m_hDC)
        ::ReleaseDC(m_hWnd, m_hDC);
    m_hDC = nullptr;
}
