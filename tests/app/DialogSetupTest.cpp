// tests/app/DialogSetupTest.cpp: the main dialog as set-up leaves it, its log lines, start-up and the
// about box, driven in-process on a UI thread.
#include "app/FendralApp.h"
#include "app/FendralDlg.h"
#include "app/LogLine.h"
#include "tests/support/AppTestSupport.h"

#include <cwctype>
#include <gtest/gtest.h>

namespace
{
struct CSetupDlg : CFendralDlg
{
    using CFendralDlg::m_bBatchMode;
    using CFendralDlg::m_brBackground;
    using CFendralDlg::m_bRunning;
    using CFendralDlg::m_hIcon;
    using CFendralDlg::m_pRun;
    using CFendralDlg::m_stcLabel;
    using CFendralDlg::m_strPath;
};

class DialogSetup : public CPrivateTempTest
{
};

bool IsUnderlined(HWND hWnd)
{
    auto hFont = reinterpret_cast<HFONT>(::SendMessageW(hWnd, WM_GETFONT, 0, 0));
    LOGFONTW lf{};
    return hFont && ::GetObjectW(hFont, sizeof(lf), &lf) == sizeof(lf) && lf.lfUnderline;
}

// "[hh:mm:ss] " with two digits per field.
bool HasTimeStamp(const CString &strLine)
{
    if (strLine.GetLength() < 11 || strLine[0] != L'[' || strLine[3] != L':' || strLine[6] != L':' ||
        strLine[9] != L']' || strLine[10] != L' ')
        return false;
    for (int i : {1, 2, 4, 5, 7, 8})
        if (!std::iswdigit(strLine[i]))
            return false;
    return true;
}
} // namespace

TEST_F(DialogSetup, OpensInSingleModeWithItsDefaults)
{
    CSetupDlg dlg;
    CMainDialog ui(dlg);
    ASSERT_NE(ui.Window(), nullptr);

    EXPECT_EQ(CMainDialog::WindowText(ui.Window()), L"Fendral");
    ASSERT_NE(dlg.m_hIcon, nullptr);
    EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(ui.Window(), WM_GETICON, ICON_BIG, 0)), dlg.m_hIcon);
    EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(ui.Window(), WM_GETICON, ICON_SMALL, 0)), dlg.m_hIcon);
    // Another program's window may have taken the activation meanwhile; when the dialog is active
    // again the dialog manager gives the focus back to where set-up left it.
    EXPECT_TRUE(CMainDialog::WaitUntil([&] {
        if (ui.Focus() == ui.Item(IDC_EDIT_OUTPUT))
            return true;
        ::SetForegroundWindow(ui.Window());
        return false;
    })) << ui.Focus();

    EXPECT_FALSE(dlg.m_bBatchMode);
    EXPECT_EQ(ui.Check(IDC_RADIO_SINGLE), BST_CHECKED);
    EXPECT_EQ(ui.Check(IDC_RADIO_BATCH), BST_UNCHECKED);
    EXPECT_EQ(ui.Text(IDC_STATIC_INPUT), L"M3U8文件本地文件路径或网址：");
    EXPECT_EQ(ui.Text(IDC_STATIC_OUTPUT), L"输 出 文 件：");
    EXPECT_EQ(ui.Text(IDC_EDIT_INPUT), L"");
    EXPECT_EQ(ui.Text(IDC_EDIT_SAVEDIR), L"");

    EXPECT_EQ(ui.Check(IDC_CHECK_DELETE_SOURCE), BST_UNCHECKED);
    EXPECT_FALSE(ui.IsVisible(IDC_CHECK_DELETE_SOURCE));
    EXPECT_EQ(ui.Check(IDC_CHECK_SHOW_SUCCESS), BST_CHECKED);
    EXPECT_TRUE(ui.IsVisible(IDC_CHECK_SHOW_SUCCESS));
    EXPECT_EQ(ui.Check(IDC_CHECK_SHOW_FAILURE), BST_CHECKED);
    EXPECT_TRUE(ui.IsVisible(IDC_CHECK_SHOW_FAILURE));

    EXPECT_TRUE(ui.ListLines(IDC_LIST_INFO).empty());
    EXPECT_TRUE(ui.ListLines(IDC_LIST_RESULT).empty());
    PBRANGE range{};
    ::SendMessageW(ui.Item(IDC_PROGRESS), PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 100);
    EXPECT_EQ(::SendMessageW(ui.Item(IDC_PROGRESS), PBM_GETPOS, 0, 0), 0);
    EXPECT_TRUE(ui.IsEnabled(IDC_BUTTON_START));
    EXPECT_TRUE(ui.IsEnabled(IDC_BUTTON_STOP));

    // The worker reaches the windows through the run state only.
    EXPECT_EQ(dlg.m_pRun->m_hDlg, ui.Window());
    EXPECT_EQ(dlg.m_pRun->m_hInfo, ui.Item(IDC_LIST_INFO));
    EXPECT_EQ(dlg.m_pRun->m_hProgress, ui.Item(IDC_PROGRESS));
    EXPECT_FALSE(dlg.m_bRunning);
}

TEST_F(DialogSetup, LinkLabelsAreBlueAndOnlyTheAddressIsUnderlined)
{
    CSetupDlg dlg;
    CMainDialog ui(dlg);
    ASSERT_NE(ui.Window(), nullptr);

    EXPECT_EQ(ui.Text(IDC_LINK_URL), g_pszHomeUrl);
    for (int nID = IDC_STATIC_INPUT; nID <= IDC_LINK_TEXT; ++nID)
    {
        const bool bLink = nID == IDC_LINK_URL || nID == IDC_LINK_TEXT;
        SCOPED_TRACE(nID);
        EXPECT_EQ(dlg.m_stcLabel[nID - IDC_STATIC_INPUT].m_crText, bLink ? RGB(24, 8, 235) : RGB(0, 0, 0));
        EXPECT_EQ(IsUnderlined(ui.Item(nID)), nID == IDC_LINK_URL);
    }
}

TEST_F(DialogSetup, DefaultOutputPathIsTheCurrentFolderPlusOneBackslash)
{
    const CString strWork = m_temp.MakeFolder(L"work");
    const struct
    {
        CString strCurrent;
        CString strExpected;
    } cases[] = {
        {strWork, strWork + L"\\output.ts"},
        // A drive root already ends in a backslash; the second one is added all the same.
        {L"C:\\", L"C:\\\\output.ts"},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.strCurrent.GetString());
        CCurrentFolderOverride current(c.strCurrent);
        CSetupDlg dlg;
        CMainDialog ui(dlg);
        ASSERT_NE(ui.Window(), nullptr);
        EXPECT_EQ(ui.Text(IDC_EDIT_OUTPUT), c.strExpected);
        EXPECT_EQ(dlg.m_strPath, c.strExpected);
    }
}

TEST_F(DialogSetup, SystemMenuEndsWithSeparatorAndAboutItem)
{
    CSetupDlg dlg;
    CMainDialog ui(dlg);
    ASSERT_NE(ui.Window(), nullptr);

    HMENU hMenu = ::GetSystemMenu(ui.Window(), FALSE);
    ASSERT_NE(hMenu, nullptr);
    const int nCount = ::GetMenuItemCount(hMenu);
    ASSERT_GE(nCount, 3);
    EXPECT_TRUE(::GetMenuState(hMenu, UINT(nCount - 2), MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_EQ(::GetMenuItemID(hMenu, nCount - 1), UINT(IDM_ABOUTBOX));
    wchar_t szText[64] = L"";
    ::GetMenuStringW(hMenu, UINT(nCount - 1), szText, 64, MF_BYPOSITION);
    EXPECT_STREQ(szText, L"关于 Fendral(&A)...");
    // The item is added once; the separator before it is the only one that set-up adds.
    int nAbout = 0;
    for (int i = 0; i < nCount; ++i)
        nAbout += ::GetMenuItemID(hMenu, i) == UINT(IDM_ABOUTBOX);
    EXPECT_EQ(nAbout, 1);
}

TEST(LogLine, FormatsLocalTimeAndCopiesTheTextUnchanged)
{
    const struct
    {
        CTime tTime;
        const wchar_t *pszText;
        const wchar_t *pszExpected;
    } cases[] = {
        {CTime(2026, 9, 7, 9, 5, 3), L"开始处理...", L"[09:05:03] 开始处理..."},
        {CTime(2026, 9, 7, 0, 0, 7), L"x", L"[00:00:07] x"},
        {CTime(2026, 9, 7, 23, 59, 59), L"", L"[23:59:59] "},
        // The text is never a format: percent signs stay as they are.
        {CTime(2026, 9, 7, 12, 30, 0), L"100%", L"[12:30:00] 100%"},
        {CTime(2026, 9, 7, 12, 30, 0), L"%s %d %n %%", L"[12:30:00] %s %d %n %%"},
        // A time without a local form gives -1 in every field.
        {CTime(__time64_t(-1)), L"正在停止...", L"[-1:-1:-1] 正在停止..."},
    };
    for (const auto &c : cases)
        EXPECT_EQ(MakeLogLine(c.tTime, c.pszText), c.pszExpected) << c.pszExpected;
}

TEST_F(DialogSetup, AddLogAppendsTimeStampedLinesAndKeepsTheNewestInView)
{
    CSetupDlg dlg;
    CMainDialog ui(dlg);
    ASSERT_NE(ui.Window(), nullptr);
    HWND hList = ui.Item(IDC_LIST_INFO);
    RECT rcClient{};
    ::GetClientRect(hList, &rcClient);
    const int nItemHeight = static_cast<int>(::SendMessageW(hList, LB_GETITEMHEIGHT, 0, 0));
    ASSERT_GT(nItemHeight, 0);
    const int nFit = (rcClient.bottom - rcClient.top) / nItemHeight;
    ASSERT_GT(nFit, 1);

    const int nLines = nFit * 2 + 3;
    bool bScrolled = false;
    for (int i = 0; i < nLines; ++i)
    {
        CString strText;
        strText.Format(L"%d%% 完成 %%s", i);
        dlg.AddLog(strText);

        const auto lines = ui.ListLines(IDC_LIST_INFO);
        ASSERT_EQ(lines.size(), size_t(i + 1));
        EXPECT_TRUE(HasTimeStamp(lines.back())) << lines.back().GetString();
        EXPECT_EQ(lines.back().Mid(11), strText);

        // The newest line is fully visible, and once the list overflows it is the bottom line.
        RECT rcItem{};
        ::SendMessageW(hList, LB_GETITEMRECT, WPARAM(i), reinterpret_cast<LPARAM>(&rcItem));
        EXPECT_GE(rcItem.top, rcClient.top) << i;
        EXPECT_LE(rcItem.bottom, rcClient.bottom) << i;
        if (i + 1 > nFit)
        {
            EXPECT_GT(rcItem.bottom + nItemHeight, rcClient.bottom) << i;
            EXPECT_EQ(::SendMessageW(hList, LB_GETTOPINDEX, 0, 0), i + 1 - nFit) << i;
            bScrolled = true;
        }
        else
        {
            EXPECT_EQ(::SendMessageW(hList, LB_GETTOPINDEX, 0, 0), 0) << i;
        }
    }
    EXPECT_TRUE(bScrolled);
}

TEST_F(DialogSetup, AddLogStampsTheCurrentLocalTime)
{
    CSetupDlg dlg;
    CMainDialog ui(dlg);
    ASSERT_NE(ui.Window(), nullptr);

    // The second may turn while the line is made: either stamp is right.
    const CString strBefore = CTime::GetCurrentTime().Format(L"[%H:%M:%S] ");
    dlg.AddLog(L"开始处理...");
    const CString strAfter = CTime::GetCurrentTime().Format(L"[%H:%M:%S] ");
    const auto lines = ui.ListLines(IDC_LIST_INFO);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0] == strBefore + L"开始处理..." || lines[0] == strAfter + L"开始处理...")
        << lines[0].GetString();
}

// Start-up runs the real dialog as the application's main window and ends without a message loop.
TEST_F(DialogSetup, StartUpRunsTheDialogModallyAndEndsTheProgram)
{
    ASSERT_EQ(AfxGetApp(), &theApp);
    EXPECT_EQ(theApp.m_dwRestartManagerSupportFlags, AFX_RESTART_MANAGER_SUPPORT_RESTART);

    CMainDialog ui([] { return static_cast<INT_PTR>(theApp.InitInstance()); });
    ASSERT_NE(ui.Window(), nullptr);
    EXPECT_EQ(CMainDialog::WindowText(ui.Window()), L"Fendral");
    EXPECT_NE(ui.Item(IDC_EDIT_OUTPUT), nullptr);
    ASSERT_NE(theApp.m_pMainWnd, nullptr);
    EXPECT_EQ(theApp.m_pMainWnd->GetSafeHwnd(), ui.Window());
    EXPECT_STREQ(theApp.m_pszRegistryKey, L"应用程序向导生成的本地应用程序");

    ui.PressKey(VK_ESCAPE, ui.Item(IDC_EDIT_OUTPUT));
    INT_PTR nResult = -1;
    ASSERT_TRUE(ui.WaitForEnd(10000, &nResult));
    EXPECT_EQ(nResult, FALSE);
    EXPECT_EQ(theApp.m_pMainWnd, nullptr);
}

TEST_F(DialogSetup, AboutBoxOpensFromTheSystemMenuShowsItsTextsAndCloses)
{
    enum class Close
    {
        OkButton,
        Escape,
        CloseBox
    };
    const struct
    {
        WPARAM nCommand;
        Close close;
    } cases[] = {
        {IDM_ABOUTBOX, Close::OkButton},
        // The low four bits belong to the system and are ignored.
        {IDM_ABOUTBOX | 0x3, Close::Escape},
        {IDM_ABOUTBOX, Close::CloseBox},
    };
    // Through start-up, so that the about box is owned by the main dialog as in the program.
    CMainDialog ui([] { return static_cast<INT_PTR>(theApp.InitInstance()); });
    ASSERT_NE(ui.Window(), nullptr);
    ui.SetText(IDC_EDIT_INPUT, L"C:\\videos\\a.m3u8");

    for (const auto &c : cases)
    {
        SCOPED_TRACE(static_cast<int>(c.close));
        ui.Post(WM_SYSCOMMAND, c.nCommand, 0);
        HWND hAbout = ui.WaitForWindow(L"关于 Fendral");
        ASSERT_NE(hAbout, nullptr);
        EXPECT_EQ(::GetWindow(hAbout, GW_OWNER), ui.Window());
        EXPECT_FALSE(::IsWindowEnabled(ui.Window()));

        EXPECT_EQ(CMainDialog::WindowText(::GetDlgItem(hAbout, IDOK)), L"确定");
        std::vector<CString> texts;
        bool bIcon = false;
        for (HWND hChild = ::GetWindow(hAbout, GW_CHILD); hChild; hChild = ::GetWindow(hChild, GW_HWNDNEXT))
        {
            if ((::GetWindowLongPtrW(hChild, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
                ::GetDlgCtrlID(hChild) != IDOK)
                bIcon = bIcon || ::SendMessageW(hChild, STM_GETICON, 0, 0) != 0;
            else if (::GetDlgCtrlID(hChild) != IDOK)
                texts.push_back(CMainDialog::WindowText(hChild));
        }
        EXPECT_TRUE(bIcon);
        ASSERT_EQ(texts.size(), 3u);
        EXPECT_FALSE(texts[0].IsEmpty());
        EXPECT_EQ(texts[1], L"更新时间：2026/9/7");
        EXPECT_EQ(texts[2], L"软件版本：1.24");

        switch (c.close)
        {
        case Close::OkButton:
            ::PostMessageW(::GetDlgItem(hAbout, IDOK), BM_CLICK, 0, 0);
            break;
        case Close::Escape:
            ui.PressKey(VK_ESCAPE, ::GetDlgItem(hAbout, IDOK));
            break;
        case Close::CloseBox:
            ::PostMessageW(hAbout, WM_SYSCOMMAND, SC_CLOSE, 0);
            break;
        }
        ASSERT_TRUE(CMainDialog::WaitUntil([hAbout] { return !::IsWindow(hAbout); }));
        ui.Sync();
        // The main dialog is back, unchanged.
        EXPECT_TRUE(::IsWindowEnabled(ui.Window()));
        EXPECT_FALSE(ui.HasEnded());
        EXPECT_EQ(ui.Text(IDC_EDIT_INPUT), L"C:\\videos\\a.m3u8");
    }
}
