// Modal dialogs and their message tables, driven in-process.
#include "framework/Dialog.h"

#include "framework/Controls.h"
#include "tests/support/DialogDriver.h"

#include <atomic>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <stdexcept>

namespace
{
enum : int
{
    kEdit = 100,
    kGo = 101,
    kCheck = 102,
    kLink = 103,
    kList = 104,
    kProgress = 105,
    kBaseButton = 106,
    kThrow = 107,
    kPlainLabel = 108,
    kSecondEdit = 109,
};
constexpr UINT WM_SUM = WM_USER + 100;
constexpr UINT WM_WHO = WM_USER + 101;
constexpr UINT WM_BASE_ONLY = WM_USER + 102;
constexpr UINT WM_NOBODY = WM_USER + 103;
constexpr UINT WM_ASK = WM_USER + 104;
constexpr LRESULT kFromBase = 1;
constexpr LRESULT kFromDerived = 2;

const CDialogTemplate &TestTemplate()
{
    static const CDialogTemplate s_tpl = [] {
        CDialogTemplate t(L"Layer test", 220, 160);
        t.Add(L"EDIT", kEdit, L"", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 5, 5, 100, 12)
            .Add(L"BUTTON", kGo, L"Go", BS_PUSHBUTTON | WS_TABSTOP, 110, 5, 40, 14)
            .Add(L"BUTTON", kCheck, L"Option", BS_AUTOCHECKBOX | WS_TABSTOP, 5, 22, 80, 10)
            .Add(L"STATIC", kLink, L"Link", SS_LEFT | SS_NOTIFY, 5, 36, 60, 10)
            .Add(L"LISTBOX", kList, L"", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER, 5, 50,
                 100, 40)
            .Add(L"msctls_progress32", kProgress, L"", WS_BORDER, 5, 95, 100, 10)
            .Add(L"BUTTON", kBaseButton, L"Base", BS_PUSHBUTTON | WS_TABSTOP, 110, 22, 40, 14)
            .Add(L"BUTTON", kThrow, L"Throw", BS_PUSHBUTTON | WS_TABSTOP, 110, 40, 40, 14)
            .Add(L"STATIC", kPlainLabel, L"Plain", SS_LEFT, 110, 60, 60, 10)
            .Add(L"EDIT", kSecondEdit, L"", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 5, 110, 100, 12);
        return t;
    }();
    return s_tpl;
}

// An edit that records WM_SETTEXT and passes it on with Default().
class CRecordingEdit : public CEdit
{
public:
    LRESULT OnSetText(WPARAM, LPARAM)
    {
        ++m_nSetText;
        return Default();
    }
    LRESULT OnThrow(WPARAM, LPARAM) { throw std::runtime_error("control handler failed"); }
    int m_nSetText = 0;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CRecordingEdit, CEdit)
ON_MESSAGE(WM_SETTEXT, &CRecordingEdit::OnSetText)
ON_MESSAGE(WM_USER + 1, &CRecordingEdit::OnThrow)
END_MESSAGE_MAP()

// A label that answers its parent's colour request itself.
class CColourLabel : public CStatic
{
public:
    HBRUSH CtlColor(CDC *pDC, UINT nCtlColor)
    {
        m_hLastDC = pDC->m_hDC;
        m_nLastKind = nCtlColor;
        pDC->SetTextColor(RGB(1, 2, 3));
        return m_hAnswer;
    }
    HBRUSH m_hAnswer = nullptr;
    HDC m_hLastDC = nullptr; // natural paints of the label also ask, so the DC tells our request apart
    UINT m_nLastKind = 99;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CColourLabel, CStatic)
ON_WM_CTLCOLOR_REFLECT()
END_MESSAGE_MAP()

class CBaseDlg : public CDialogEx
{
public:
    CBaseDlg() : CDialogEx(0) { InitModalIndirect(TestTemplate().Get()); }
    void OnBaseButton() { ++m_nBaseButton; }
    LRESULT OnWho(WPARAM, LPARAM) { return kFromBase; }
    LRESULT OnBaseOnly(WPARAM wParam, LPARAM) { return LRESULT(wParam) * 3; }
    int m_nBaseButton = 0;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CBaseDlg, CDialogEx)
ON_BN_CLICKED(kBaseButton, &CBaseDlg::OnBaseButton)
ON_MESSAGE(WM_WHO, &CBaseDlg::OnWho)
ON_MESSAGE(WM_BASE_ONLY, &CBaseDlg::OnBaseOnly)
END_MESSAGE_MAP()

class CTestDlg : public CBaseDlg
{
public:
    BOOL OnInitDialog() override
    {
        CBaseDlg::OnInitDialog();
        // A second exchange must not bind the controls again.
        UpdateData(FALSE);
        m_list.SubclassDlgItem(kList, this);
        m_progress.SubclassDlgItem(kProgress, this);
        ++m_nInit;
        return TRUE;
    }
    void DoDataExchange(CDataExchange *pDX) override
    {
        CBaseDlg::DoDataExchange(pDX);
        DDX_Control(pDX, kEdit, m_edit);
        DDX_Control(pDX, kCheck, m_check);
        DDX_Control(pDX, kLink, m_link);
        if (pDX->m_bSaveAndValidate)
            ++m_nSaves;
    }
    void OnOK() override
    {
        ++m_nOk;
        CBaseDlg::OnOK();
    }
    void OnCancel() override
    {
        ++m_nCancel;
        CBaseDlg::OnCancel();
    }
    void OnGo() { ++m_nGo; }
    void OnLinkClicked() { ++m_nLink; }
    void OnAnyCommand() { ++m_nAnyCode; }
    void OnThrow() { throw std::runtime_error("handler failed"); }
    LRESULT OnSum(WPARAM wParam, LPARAM lParam) { return LRESULT(wParam) * 10 + lParam; }
    LRESULT OnWho(WPARAM, LPARAM) { return kFromDerived; }
    LRESULT OnAsk(WPARAM, LPARAM)
    {
        m_nAnswer = MessageBox(L"Proceed?", L"Question", MB_YESNO);
        return 0;
    }
    HBRUSH OnCtlColor(CDC *pDC, CWnd *pWnd, UINT nCtlColor)
    {
        HBRUSH hbr = CBaseDlg::OnCtlColor(pDC, pWnd, nCtlColor);
        if (nCtlColor == CTLCOLOR_DLG)
            return m_hDlgBrush;
        return hbr;
    }

    CRecordingEdit m_edit;
    CButton m_check;
    CColourLabel m_link;
    CListBox m_list;
    CProgressCtrl m_progress;
    HBRUSH m_hDlgBrush = static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH));
    int m_nAnswer = 0;
    int m_nInit = 0, m_nOk = 0, m_nCancel = 0, m_nSaves = 0, m_nGo = 0, m_nLink = 0, m_nAnyCode = 0;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CTestDlg, CBaseDlg)
ON_BN_CLICKED(kGo, &CTestDlg::OnGo)
ON_STN_CLICKED(kLink, &CTestDlg::OnLinkClicked)
ON_COMMAND(kSecondEdit, &CTestDlg::OnAnyCommand)
ON_BN_CLICKED(kThrow, &CTestDlg::OnThrow)
ON_MESSAGE(WM_SUM, &CTestDlg::OnSum)
ON_MESSAGE(WM_WHO, &CTestDlg::OnWho)
ON_MESSAGE(WM_ASK, &CTestDlg::OnAsk)
ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

class DialogTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES};
        ::InitCommonControlsEx(&icc);
    }
};

TEST_F(DialogTest, CommandsReachTheEntryWithTheirIdAndCode)
{
    struct Case
    {
        const char *name;
        int nID;
        WORD wCode;
        int CTestDlg::*pCounter;
        int nExpected;
    };
    const Case cases[] = {
        {"BN_CLICKED of Go", kGo, BN_CLICKED, &CTestDlg::m_nGo, 1},
        {"another code of Go", kGo, BN_SETFOCUS, &CTestDlg::m_nGo, 0},
        {"STN_CLICKED of the link", kLink, STN_CLICKED, &CTestDlg::m_nLink, 1},
        {"STN_DBLCLK of the link", kLink, STN_DBLCLK, &CTestDlg::m_nLink, 0},
        {"any code, ON_COMMAND", kSecondEdit, EN_CHANGE, &CTestDlg::m_nAnyCode, 1},
        {"code 0, ON_COMMAND", kSecondEdit, 0, &CTestDlg::m_nAnyCode, 1},
        {"an entry of the base class", kBaseButton, BN_CLICKED, nullptr, 1},
        {"an id without an entry", 4321, BN_CLICKED, &CTestDlg::m_nGo, 0},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        CTestDlg dlg;
        CDialogDriver::Run(
            dlg, [&](CDialogDriver &d) { d.Send(d.Dialog(), WM_COMMAND, MAKEWPARAM(c.nID, c.wCode), 0); });
        const int nGot = c.pCounter ? dlg.*c.pCounter : dlg.m_nBaseButton;
        EXPECT_EQ(c.nExpected, nGot);
        // Nothing else was called on the way.
        EXPECT_EQ(0, dlg.m_nOk);
        const int nOthers = dlg.m_nGo + dlg.m_nLink + dlg.m_nAnyCode + dlg.m_nBaseButton - nGot;
        EXPECT_EQ(0, nOthers);
    }
}

TEST_F(DialogTest, RealClicksAreDispatched)
{
    CTestDlg dlg;
    CDialogDriver::Run(dlg, [](CDialogDriver &d) {
        d.Click(kGo);
        d.Click(kGo);
        d.Click(kBaseButton);
        d.Click(kCheck);
        EXPECT_EQ(BST_CHECKED, d.Check(kCheck));
    });
    EXPECT_EQ(2, dlg.m_nGo);
    EXPECT_EQ(1, dlg.m_nBaseButton);
    EXPECT_EQ(1, dlg.m_nInit);
}

TEST_F(DialogTest, MessageResultsComeFromTheNearestTable)
{
    struct Case
    {
        const char *name;
        UINT nMsg;
        WPARAM wParam;
        LPARAM lParam;
        LRESULT expected;
    };
    const Case cases[] = {
        {"own entry, result through DWLP_MSGRESULT", WM_SUM, 4, 2, 42},
        {"own entry shadows the base's", WM_WHO, 0, 0, kFromDerived},
        {"base entry", WM_BASE_ONLY, 5, 0, 15},
        {"no entry: default handling", WM_NOBODY, 5, 5, 0},
    };
    CTestDlg dlg;
    CDialogDriver::Run(dlg, [&](CDialogDriver &d) {
        for (const Case &c : cases)
        {
            SCOPED_TRACE(c.name);
            EXPECT_EQ(c.expected, d.Send(d.Dialog(), c.nMsg, c.wParam, c.lParam));
        }
    });
}

TEST_F(DialogTest, ColourRequestsAreHandedToTheChildFirst)
{
    const HBRUSH hChildBrush = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
    struct Case
    {
        const char *name;
        int nID;
        UINT nMsg;
        HBRUSH hChildAnswer;
        bool bExpectChildBrush;
        bool bChildAsked;
    };
    const Case cases[] = {
        {"child answers", kLink, WM_CTLCOLORSTATIC, hChildBrush, true, true},
        {"child answers a button request too", kLink, WM_CTLCOLORBTN, hChildBrush, true, true},
        {"child gives no brush: default", kLink, WM_CTLCOLORSTATIC, nullptr, false, true},
        {"control without an object: default", kPlainLabel, WM_CTLCOLORSTATIC, hChildBrush, false, false},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        CTestDlg dlg;
        dlg.m_link.m_hAnswer = c.hChildAnswer;
        CDialogDriver::Run(dlg, [&](CDialogDriver &d) {
            HDC hDC = ::CreateCompatibleDC(nullptr);
            ::SetTextColor(hDC, RGB(9, 9, 9));
            HWND hCtl = d.Item(c.nID);
            const auto hbr = reinterpret_cast<HBRUSH>(
                d.Send(d.Dialog(), c.nMsg, reinterpret_cast<WPARAM>(hDC), reinterpret_cast<LPARAM>(hCtl)));
            const COLORREF crText = ::GetTextColor(hDC);
            bool bAsked = false;
            d.OnUi([&] {
                bAsked = dlg.m_link.m_hLastDC == hDC;
                if (bAsked)
                {
                    EXPECT_EQ(UINT(c.nMsg - WM_CTLCOLORMSGBOX), dlg.m_link.m_nLastKind);
                }
            });
            EXPECT_EQ(c.bChildAsked, bAsked);
            const auto hDefault = reinterpret_cast<HBRUSH>(::DefWindowProcW(
                d.Dialog(), c.nMsg, reinterpret_cast<WPARAM>(hDC), reinterpret_cast<LPARAM>(hCtl)));
            if (c.bExpectChildBrush)
            {
                EXPECT_EQ(hChildBrush, hbr);
                EXPECT_EQ(RGB(1, 2, 3), crText);
            }
            else
            {
                EXPECT_EQ(hDefault, hbr);
                EXPECT_NE(nullptr, hbr);
            }
            ::DeleteDC(hDC);
        });
    }
}

TEST_F(DialogTest, DialogBackgroundComesFromItsColourHandler)
{
    CTestDlg dlg;
    dlg.m_hDlgBrush = static_cast<HBRUSH>(::GetStockObject(DKGRAY_BRUSH));
    CDialogDriver::Run(dlg, [&](CDialogDriver &d) {
        HDC hDC = ::CreateCompatibleDC(nullptr);
        const auto hbr = reinterpret_cast<HBRUSH>(d.Send(
            d.Dialog(), WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(hDC), reinterpret_cast<LPARAM>(d.Dialog())));
        EXPECT_EQ(::GetStockObject(DKGRAY_BRUSH), hbr);
        ::DeleteDC(hDC);
    });
}

TEST_F(DialogTest, ControlsAreBoundOnceAndReleasedWithTheWindow)
{
    CTestDlg dlg;
    HWND hEdit = nullptr;
    CDialogDriver::Run(dlg, [&](CDialogDriver &d) {
        d.OnUi([&] {
            hEdit = ::GetDlgItem(dlg.m_hWnd, kEdit);
            EXPECT_EQ(hEdit, dlg.m_edit.m_hWnd);
            EXPECT_EQ(::GetDlgItem(dlg.m_hWnd, kList), dlg.m_list.m_hWnd);
            EXPECT_EQ(&dlg.m_edit, CWnd::FromHandlePermanent(hEdit));
            EXPECT_EQ(&dlg, CWnd::FromHandlePermanent(dlg.m_hWnd));
            EXPECT_EQ(reinterpret_cast<LONG_PTR>(&CWnd::AfxWndProc),
                      ::GetWindowLongPtrW(hEdit, GWLP_WNDPROC));
            // Binding again is refused and changes nothing.
            CDataExchange dx(&dlg, FALSE);
            DDX_Control(&dx, kEdit, dlg.m_edit);
            EXPECT_EQ(hEdit, dlg.m_edit.m_hWnd);
            CEdit other;
            EXPECT_FALSE(other.SubclassWindow(hEdit));
            EXPECT_EQ(nullptr, other.m_hWnd);
        });
        // Messages reach the object once and still reach the edit itself.
        d.SetText(kEdit, L"abc");
        EXPECT_EQ(CString(L"abc"), d.Text(kEdit));
    });
    EXPECT_EQ(1, dlg.m_edit.m_nSetText);
    EXPECT_EQ(nullptr, dlg.m_hWnd);
    EXPECT_EQ(nullptr, dlg.m_edit.m_hWnd);
    EXPECT_EQ(nullptr, dlg.m_check.m_hWnd);
    EXPECT_EQ(nullptr, dlg.m_list.m_hWnd);
    EXPECT_EQ(nullptr, dlg.m_progress.m_hWnd);
    EXPECT_FALSE(::IsWindow(hEdit));
}

TEST_F(DialogTest, EnterAndEscapeEndTheDialogThroughOkAndCancel)
{
    struct Case
    {
        const char *name;
        int nFocus;
        UINT vk;
        INT_PTR expected;
        int nOk, nCancel, nGo;
    };
    const Case cases[] = {
        {"Enter in an edit", kEdit, VK_RETURN, IDOK, 1, 0, 0},
        {"Escape in an edit", kEdit, VK_ESCAPE, IDCANCEL, 0, 1, 0},
        {"Enter on a push button presses it", kGo, VK_RETURN, CDialogDriver::kForcedEnd, 0, 0, 1},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        CTestDlg dlg;
        const INT_PTR nResult = CDialogDriver::Run(dlg, [&](CDialogDriver &d) {
            d.SetFocus(c.nFocus);
            EXPECT_EQ(d.Item(c.nFocus), d.Focus());
            d.PressKey(c.vk);
            if (c.expected != CDialogDriver::kForcedEnd)
                EXPECT_TRUE(d.WaitForEnd());
            else
                d.Sync();
        });
        EXPECT_EQ(c.expected, nResult);
        EXPECT_EQ(c.nOk, dlg.m_nOk);
        EXPECT_EQ(c.nCancel, dlg.m_nCancel);
        EXPECT_EQ(c.nGo, dlg.m_nGo);
        // OnOK exchanges in the saving direction before it ends the dialog.
        EXPECT_EQ(c.nOk, dlg.m_nSaves);
    }
}

TEST_F(DialogTest, ExceptionsInHandlersDoNotEndTheDialog)
{
    CTestDlg dlg;
    const INT_PTR nResult = CDialogDriver::Run(dlg, [](CDialogDriver &d) {
        d.Click(kThrow);
        EXPECT_EQ(0, d.Send(d.Item(kEdit), WM_USER + 1));
        // Both windows still work afterwards.
        d.Click(kGo);
        d.SetText(kEdit, L"still here");
        EXPECT_EQ(CString(L"still here"), d.Text(kEdit));
        d.EndDialog(IDOK);
    });
    EXPECT_EQ(IDOK, nResult);
    EXPECT_EQ(1, dlg.m_nGo);
}

TEST_F(DialogTest, ControlWrappersSendTheirMessages)
{
    CTestDlg dlg;
    CDialogDriver::Run(dlg, [&](CDialogDriver &d) {
        d.OnUi([&] {
            dlg.m_list.AddString(L"one");
            dlg.m_list.AddString(L"two");
            dlg.m_list.AddString(L"three");
            EXPECT_EQ(3, dlg.m_list.GetCount());
            CString s;
            dlg.m_list.GetText(1, s);
            EXPECT_EQ(CString(L"two"), s);
            dlg.m_list.GetText(7, s);
            EXPECT_TRUE(s.IsEmpty());

            dlg.m_progress.SetRange(0, 100);
            int nLo = -1, nHi = -1;
            dlg.m_progress.GetRange(nLo, nHi);
            EXPECT_EQ(0, nLo);
            EXPECT_EQ(100, nHi);
            dlg.m_progress.SetPos(40);
            EXPECT_EQ(40, dlg.m_progress.SetPos(65));
            EXPECT_EQ(65, dlg.m_progress.GetPos());

            dlg.m_check.SetCheck(BST_CHECKED);
            EXPECT_EQ(BST_CHECKED, dlg.m_check.GetCheck());
            EXPECT_EQ(1u, dlg.IsDlgButtonChecked(kCheck));
            dlg.CheckDlgButton(kCheck, BST_UNCHECKED);
            EXPECT_EQ(0u, dlg.IsDlgButtonChecked(kCheck));

            dlg.SetDlgItemText(kSecondEdit, L"Ünïcode ✓");
            CString strText;
            EXPECT_EQ(9, dlg.GetDlgItemText(kSecondEdit, strText));
            EXPECT_EQ(CString(L"Ünïcode ✓"), strText);
            dlg.GetDlgItem(kGo)->EnableWindow(FALSE);
            dlg.GetDlgItem(kPlainLabel)->ShowWindow(SW_HIDE);
        });
        EXPECT_EQ((std::vector<CString>{L"one", L"two", L"three"}), d.ListLines(kList));
        EXPECT_FALSE(d.IsEnabled(kGo));
        EXPECT_FALSE(d.IsVisible(kPlainLabel));
        EXPECT_TRUE(d.IsVisible(kLink));
        d.OnUi([&] {
            dlg.m_list.SetTopIndex(2);
            dlg.m_list.ResetContent();
            EXPECT_EQ(0, dlg.m_list.GetCount());
        });
        EXPECT_TRUE(d.ListLines(kList).empty());
    });
}

TEST_F(DialogTest, TemporaryWrappersStandInForControlsWithoutObjects)
{
    CTestDlg dlg;
    CDialogDriver::Run(dlg, [&](CDialogDriver &d) {
        d.OnUi([&] {
            CWnd *pPlain = dlg.GetDlgItem(kPlainLabel);
            ASSERT_NE(nullptr, pPlain);
            EXPECT_EQ(::GetDlgItem(dlg.m_hWnd, kPlainLabel), pPlain->m_hWnd);
            EXPECT_EQ(pPlain, dlg.GetDlgItem(kPlainLabel));
            EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(pPlain->m_hWnd));
            EXPECT_EQ(kPlainLabel, pPlain->GetDlgCtrlID());
            EXPECT_EQ(&dlg.m_edit, dlg.GetDlgItem(kEdit));
            EXPECT_EQ(nullptr, dlg.GetDlgItem(9999));
            EXPECT_EQ(&dlg, dlg.m_edit.GetParent());
        });
    });
}

TEST_F(DialogTest, MessageBoxIsOwnedByTheWindowAndAnswered)
{
    for (int nButton : {IDYES, IDNO})
    {
        SCOPED_TRACE(nButton);
        CTestDlg dlg;
        CDialogDriver::Run(dlg, [&](CDialogDriver &d) {
            ::PostMessageW(d.Dialog(), WM_ASK, 0, 0);
            HWND hBox = d.WaitForOwnedDialog(L"Question");
            ASSERT_NE(nullptr, hBox);
            EXPECT_EQ(CString(L"Proceed?"), d.MessageBoxText(hBox));
            d.Answer(hBox, nButton);
            d.Sync();
        });
        EXPECT_EQ(nButton, dlg.m_nAnswer);
    }
}
} // namespace
