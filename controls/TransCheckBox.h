// controls/TransCheckBox.h: a check box that paints only its glyph and caption, so the dialog's
// background shows around them.
#pragma once

#include "framework/Controls.h"
#include "framework/Gdi.h"

#include <windows.h>

class CTransCheckBox : public CButton
{
public:
    CTransCheckBox();
    ~CTransCheckBox() override;

    // Glyph in a 15-pixel strip at the left, ticked for any non-zero check state; caption 20 pixels
    // in, in m_font, on one line, vertically centred.
    void OnPaint();

    LOGFONTW m_lf;
    CFont m_font;

    DECLARE_MESSAGE_MAP()
};
