// controls/TransparentStatic.h: a label that keeps a picture of the parent's pixels under it and
// erases with it, drawing its text transparently in m_crText.
#pragma once

#include "framework/Controls.h"
#include "framework/Gdi.h"

#include <windows.h>

class CTransparentStatic : public CStatic
{
public:
    CTransparentStatic();
    ~CTransparentStatic() override;

    // A colour request from a child of the label: the base answer, unchanged.
    HBRUSH OnCtlColor(CDC *pDC, CWnd *pWnd, UINT nCtlColor);
    // The parent's colour request for the label: transparent text in m_crText, no background brush.
    HBRUSH CtlColor(CDC *pDC, UINT nCtlColor);
    // First erase: takes the snapshot and draws nothing; later erases: draws the snapshot. Always TRUE.
    BOOL OnEraseBkgnd(CDC *pDC);

    CBitmap m_bmpBack;
    COLORREF m_crText = RGB(0, 0, 0);

    DECLARE_MESSAGE_MAP()
};
