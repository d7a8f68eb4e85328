// controls/TransCheckBox.cpp: the self-painting check box.
#include "controls/TransCheckBox.h"

BEGIN_MESSAGE_MAP(CTransCheckBox, CButton)
ON_WM_PAINT()
END_MESSAGE_MAP()

CTransCheckBox::CTransCheckBox() : m_lf{}
{
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(LOGFONTW), &m_lf);
    m_font.Attach(::CreateFontIndirectW(&m_lf));
}

CTransCheckBox::~CTransCheckBox()
{
    m_font.DeleteObject();
}

void CTransCheckBox::OnPaint()
{
    CPaintDC dc(this);
    CRect rc;
    GetClientRect(&rc);

    CRect rcBox = rc;
    rcBox.right = rc.left + 15;
    UINT nState = DFCS_BUTTONCHECK;
    if (SendMessage(BM_GETCHECK) != 0)
        nState |= DFCS_CHECKED;
    dc.DrawFrameControl(&rcBox, DFC_BUTTON, nState);

    CSelectObject font(dc, m_font);
    dc.SetBkMode(TRANSPARENT);

    const LONG lExStyle = ::GetWindowLongW(m_hWnd, GWL_EXSTYLE);
    ::SetWindowLongW(m_hWnd, GWL_EXSTYLE, lExStyle | WS_EX_LAYERED | WS_EX_TRANSPARENT);

    CString strText;
    GetWindowText(strText);
    rc.OffsetRect(20, 0);
    dc.DrawText(strText, &rc, DT_SINGLELINE | DT_VCENTER);
}
