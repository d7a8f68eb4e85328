// The self-painting check box and the snapshot label, in a real dialog.
#include "controls/TransCheckBox.h"
#include "controls/TransparentStatic.h"
#include "framework/Dialog.h"
#include "tests/support/DialogDriver.h"

#include <gtest/gtest.h>
#include <vector>

namespace
{
enum : int
{
    kThreeState = 201,
    kTwoState = 202,
    kLabel = 203,
    kSpareLabel = 204,
};
const COLORREF kFirstBack = RGB(0, 128, 255);
const COLORREF kSecondBack = RGB(250, 200, 0);

const CDialogTemplate &ControlsTemplate()
{
    static const CDialogTemplate s_tpl = [] {
        CDialogTemplate t(L"Transparent controls", 200, 120);
        t.Add(L"BUTTON", kThreeState, L"Three states", BS_AUTO3STATE | WS_TABSTOP, 10, 10, 120, 10)
            .Add(L"BUTTON", kTwoState, L"A caption far longer than the box is wide, cut at the edge",
                 BS_AUTOCHECKBOX | WS_TABSTOP, 10, 25, 80, 10)
            .Add(L"STATIC", kLabel, L"Label", SS_LEFT, 10, 45, 120, 12)
            .Add(L"STATIC", kSpareLabel, L"Spare", SS_LEFT, 10, 65, 120, 12);
        return t;
    }();
    return s_tpl;
}

class CControlsDlg : public CDialog
{
public:
    CControlsDlg() : CDialog(0)
    {
        InitModalIndirect(ControlsTemplate().Get());
        m_brBack.CreateSolidBrush(kFirstBack);
    }
    void DoDataExchange(CDataExchange *pDX) override
    {
        DDX_Control(pDX, kThreeState, m_chkThree);
        DDX_Control(pDX, kTwoState, m_chkTwo);
        DDX_Control(pDX, kLabel, m_label);
    }
    HBRUSH OnCtlColor(CDC *pDC, CWnd *pWnd, UINT nCtlColor)
    {
        HBRUSH hbr = CDialog::OnCtlColor(pDC, pWnd, nCtlColor);
        return nCtlColor == CTLCOLOR_DLG ? static_cast<HBRUSH>(m_brBack) : hbr;
    }

    CTransCheckBox m_chkThree;
    CTransCheckBox m_chkTwo;
    CTransparentStatic m_label;
    CBrush m_brBack;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CControlsDlg, CDialog)
ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

// The pixels of a window's client rectangle rc, row by row.
std::vector<COLORREF> Capture(HWND hWnd, const RECT &rc)
{
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    CClientDC dcWnd(hWnd);
    CBitmap bitmap;
    bitmap.CreateCompatibleBitmap(&dcWnd, w, h);
    CDC dcMem;
    dcMem.CreateCompatibleDC(&dcWnd);
    std::vector<COLORREF> pixels;
    CSelectObject select(dcMem, bitmap);
    dcMem.BitBlt(0, 0, w, h, &dcWnd, rc.left, rc.top, SRCCOPY);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            pixels.push_back(dcMem.GetPixel(x, y));
    return pixels;
}

void Repaint(HWND hWnd)
{
    ::RedrawWindow(hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

TEST(TransCheckBoxTest, CopiesTheDefaultGuiFontAtConstruction)
{
    LOGFONTW lfStock{};
    ASSERT_NE(0, ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(lfStock), &lfStock));
    CTransCheckBox box;
    EXPECT_EQ(lfStock.lfHeight, box.m_lf.lfHeight);
    EXPECT_EQ(lfStock.lfWeight, box.m_lf.lfWeight);
    EXPECT_STREQ(lfStock.lfFaceName, box.m_lf.lfFaceName);
    ASSERT_NE(nullptr, box.m_font.GetSafeHandle());
    LOGFONTW lfMade{};
    box.m_font.GetLogFont(&lfMade);
    EXPECT_STREQ(lfStock.lfFaceName, lfMade.lfFaceName);
    EXPECT_EQ(nullptr, box.m_hWnd);
}

TEST(TransCheckBoxTest, GlyphShowsATickForEveryNonZeroState)
{
    CControlsDlg dlg;
    CDialogDriver::Run(dlg, [&](CDialogDriver &d) {
        d.OnUi([&] {
            HWND hBox = dlg.m_chkThree.m_hWnd;
            RECT rcClient;
            ::GetClientRect(hBox, &rcClient);
            // The middle of the glyph: the button's own drawing (on enable, on check) can leave
            // other pixels of the strip that this class never paints.
            const int yMid = rcClient.bottom / 2;
            const RECT rcStrip{3, yMid - 4, 12, yMid + 5};
            auto glyphFor = [&](int nState, BOOL bEnabled) {
                dlg.m_chkThree.SetCheck(nState);
                dlg.m_chkThree.EnableWindow(bEnabled);
                Repaint(hBox);
                return Capture(hBox, rcStrip);
            };
            const auto unticked = glyphFor(BST_UNCHECKED, TRUE);
            const auto ticked = glyphFor(BST_CHECKED, TRUE);
            const auto indeterminate = glyphFor(BST_INDETERMINATE, TRUE);
            EXPECT_EQ(BST_INDETERMINATE, dlg.m_chkThree.GetCheck());
            const auto tickedDisabled = glyphFor(BST_CHECKED, FALSE);
            EXPECT_NE(unticked, ticked);
            EXPECT_EQ(ticked, indeterminate);
            EXPECT_EQ(ticked, tickedDisabled);
            // Every paint marks the box layered and transparent.
            const DWORD dwEx = dlg.m_chkThree.GetExStyle();
            EXPECT_EQ(DWORD(WS_EX_LAYERED | WS_EX_TRANSPARENT), dwEx & (WS_EX_LAYERED | WS_EX_TRANSPARENT));
        });
    });
}

TEST(TransparentStaticTest, ColourRequestGivesTransparentTextAndNoBrush)
{
    CDC dc;
    ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
    dc.SetBkMode(OPAQUE);
    dc.SetTextColor(RGB(1, 1, 1));
    CTransparentStatic label;
    EXPECT_EQ(RGB(0, 0, 0), label.m_crText);
    EXPECT_EQ(nullptr, label.m_bmpBack.GetSafeHandle());
    for (COLORREF cr : {RGB(0, 0, 0), RGB(24, 8, 235)})
    {
        label.m_crText = cr;
        EXPECT_EQ(::GetStockObject(NULL_BRUSH), label.CtlColor(&dc, CTLCOLOR_STATIC));
        EXPECT_EQ(TRANSPARENT, ::GetBkMode(dc));
        EXPECT_EQ(cr, ::GetTextColor(dc));
    }
}

TEST(TransparentStaticTest, SnapshotIsTakenOnTheFirstEraseAndKept)
{
    CControlsDlg dlg;
    CDialogDriver::Run(dlg, [&](CDialogDriver &d) {
        d.OnUi([&] {
            // The label bound at start-up has erased once: its snapshot is the dialog's background.
            ASSERT_NE(nullptr, dlg.m_label.m_bmpBack.GetSafeHandle());
            BITMAP bm{};
            dlg.m_label.m_bmpBack.GetBitmap(&bm);
            RECT rcLabel;
            dlg.m_label.GetWindowRect(&rcLabel);
            EXPECT_EQ(rcLabel.right - rcLabel.left, bm.bmWidth);
            EXPECT_EQ(rcLabel.bottom - rcLabel.top, bm.bmHeight);

            // A new background for the dialog: the label keeps erasing with the old picture.
            dlg.m_brBack.DeleteObject();
            dlg.m_brBack.CreateSolidBrush(kSecondBack);
            ::RedrawWindow(dlg.m_hWnd, nullptr, nullptr,
                           RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            RECT rcClient;
            dlg.m_label.GetClientRect(&rcClient);
            const RECT rcCorner{rcClient.right - 2, rcClient.bottom - 2, rcClient.right, rcClient.bottom};
            for (COLORREF cr : Capture(dlg.m_label.m_hWnd, rcCorner))
                EXPECT_EQ(kFirstBack, cr);
            RECT rcDlgCorner{1, 1, 3, 3};
            for (COLORREF cr : Capture(dlg.m_hWnd, rcDlgCorner))
                EXPECT_EQ(kSecondBack, cr);
        });
    });
}

TEST(TransparentStaticTest, FirstEraseDrawsNothingAndLaterOnesDrawTheSnapshot)
{
    CControlsDlg dlg;
    CDialogDriver::Run(dlg, [&](CDialogDriver &d) {
        d.OnUi([&] {
            CTransparentStatic spare;
            ASSERT_TRUE(spare.SubclassDlgItem(kSpareLabel, &dlg));
            spare.m_bmpBack.DeleteObject(); // whatever a paint did meanwhile: start without a snapshot
            CClientDC dcScreen(HWND(nullptr));
            CBitmap target;
            target.CreateCompatibleBitmap(&dcScreen, 8, 8);
            CDC dc;
            dc.CreateCompatibleDC(&dcScreen);
            CSelectObject select(dc, target);
            const RECT rcAll{0, 0, 8, 8};
            dc.FillSolidRect(&rcAll, RGB(0, 255, 0));

            // What the parent shows under the label now (its own plain paint included).
            RECT rcUnder;
            spare.GetWindowRect(&rcUnder);
            dlg.ScreenToClient(&rcUnder);
            const RECT rcProbe{rcUnder.left + 4, rcUnder.top + 4, rcUnder.left + 5, rcUnder.top + 5};
            const COLORREF crUnder = Capture(dlg.m_hWnd, rcProbe).at(0);
            ASSERT_NE(RGB(0, 255, 0), crUnder);

            EXPECT_TRUE(spare.OnEraseBkgnd(&dc));
            EXPECT_NE(nullptr, spare.m_bmpBack.GetSafeHandle());
            EXPECT_EQ(RGB(0, 255, 0), dc.GetPixel(4, 4));

            const HGDIOBJ hSnapshot = spare.m_bmpBack.GetSafeHandle();
            EXPECT_TRUE(spare.OnEraseBkgnd(&dc));
            EXPECT_EQ(hSnapshot, spare.m_bmpBack.GetSafeHandle());
            EXPECT_EQ(crUnder, dc.GetPixel(4, 4));
            spare.UnsubclassWindow();
        });
    });
}
} // namespace
