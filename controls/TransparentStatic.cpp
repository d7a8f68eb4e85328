// controls/TransparentStatic.cpp: the label that erases with a picture of what lies under it.
#include "controls/TransparentStatic.h"

BEGIN_MESSAGE_MAP(CTransparentStatic, CStatic)
ON_WM_CTLCOLOR()
ON_WM_CTLCOLOR_REFLECT()
ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

CTransparentStatic::CTransparentStatic() = default;

CTransparentStatic::~CTransparentStatic()
{
    m_bmpBack.DeleteObject();
}

HBRUSH CTransparentStatic::OnCtlColor(CDC *pDC, CWnd *pWnd, UINT nCtlColor)
{
    return CStatic::OnCtlColor(pDC, pWnd, nCtlColor);
}

HBRUSH CTransparentStatic::CtlColor(CDC *pDC, UINT)
{
    pDC->SetBkMode(TRANSPARENT);
    pDC->SetTextColor(m_crText);
    return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
}

BOOL CTransparentStatic::OnEraseBkgnd(CDC *pDC)
{
    if (!m_bmpBack.GetSafeHandle())
    {
        // First erase: keep what the parent shows under the label, draw nothing.
        CWnd *pParent = GetParent();
        if (!pParent)
            return TRUE;
        CRect rc;
        GetWindowRect(&rc);
        pParent->ScreenToClient(&rc);

        CClientDC dcParent(pParent);
        CDC dcMem;
        dcMem.CreateCompatibleDC(&dcParent);
        m_bmpBack.CreateCompatibleBitmap(&dcParent, rc.Width(), rc.Height());
        CSelectObject bitmap(dcMem, m_bmpBack);
        dcMem.BitBlt(0, 0, rc.Width(), rc.Height(), &dcParent, rc.left, rc.top, SRCCOPY);
        return TRUE;
    }

    CRect rc;
    GetClientRect(&rc);
    CDC dcMem;
    dcMem.CreateCompatibleDC(pDC);
    CSelectObject bitmap(dcMem, m_bmpBack);
    pDC->BitBlt(0, 0, rc.Width(), rc.Height(), &dcMem, 0, 0, SRCCOPY);
    return TRUE;
}
