// tests/app/DialogCommandsTest.cpp: the mode radios, the option guards during a run, the close
// command with the clean-up of the temporary folder, Enter, and the dialog's colour answers.
#include "app/FendralDlg.h"
#include "tests/support/AppTestSupport.h"

#include <gtest/gtest.h>

namespace
{
struct CCommandsDlg : CFendralDlg
{
    using CFendralDlg::m_arrJobs;
    using CFendralDlg::m_bBatchMode;
    using CFendralDlg::m_brBackground;
    using CFendralDlg::m_bRunning;
    using CFendralDlg::m_stcLabel;
    using CFendralDlg::m_strPath;
};

// The dialog's temporary folder lands inside m_temp.
class DialogCommands : public CPrivateTempTest
{
protected:
    // A file in this program's own segment folder, as a path below m_temp.
    static CString Own(const wchar_t *pszName)
    {
        return L"m3u8_temp\\" + CString(std::to_wstring(GetCurrentProcessId()).c_str()) + L"\\" + pszName;
    }
    CString TempFolder() const { return m_temp.Path() + Own(L""); }
};

struct ModeTexts
{
    const wchar_t *pszInputLabel;
    const wchar_t *pszOutputLabel;
    const wchar_t *pszBrowseInput;
    const wchar_t *pszBrowseOutput;
};
const ModeTexts kSingle{L"M3U8文件本地文件路径或网址：", L"输 出 文 件：", L"浏览", L"浏览"};
const ModeTexts kBatch{L"选择包含M3U8视频或多个M3U8视频的目录：", L"M3U8文件网址：", L"添加本地目录",
                       L"添加远程网址"};
} // namespace

TEST_F(DialogCommands, ModeRadiosSwitchCaptionsAndEmptyTheBoxesButKeepJobsAndTicks)
{
    CCommandsDlg dlg;
    dlg.m_arrJobs.Add(L"C:\\in\\a.m3u8");
    dlg.m_arrJobs.Add(L"");
    CMainDialog ui(dlg);
    ASSERT_NE(ui.Window(), nullptr);
    const CString strDefaultPath = dlg.m_strPath;
    ::SendMessageW(ui.Item(IDC_CHECK_DELETE_SOURCE), BM_SETCHECK, BST_CHECKED, 0);
    ::SendMessageW(ui.Item(IDC_CHECK_SHOW_SUCCESS), BM_SETCHECK, BST_UNCHECKED, 0);
    ui.SetText(IDC_EDIT_SAVEDIR, L"D:\\out");
    dlg.AddLog(L"kept");

    // Clicking the radio of the mode already chosen repeats its steps too.
    const struct
    {
        int nRadio;
        bool bBatch;
    } steps[] = {{IDC_RADIO_SINGLE, false},
                 {IDC_RADIO_BATCH, true},
                 {IDC_RADIO_BATCH, true},
                 {IDC_RADIO_SINGLE, false}};
    for (const auto &s : steps)
    {
        SCOPED_TRACE(s.bBatch ? "batch" : "single");
        ui.SetText(IDC_EDIT_INPUT, L"typed input");
        ui.SetText(IDC_EDIT_OUTPUT, L"typed output");
        ui.Click(s.nRadio);

        const ModeTexts &t = s.bBatch ? kBatch : kSingle;
        EXPECT_EQ(dlg.m_bBatchMode, s.bBatch);
        EXPECT_EQ(ui.Check(IDC_RADIO_SINGLE), s.bBatch ? BST_UNCHECKED : BST_CHECKED);
        EXPECT_EQ(ui.Check(IDC_RADIO_BATCH), s.bBatch ? BST_CHECKED : BST_UNCHECKED);
        EXPECT_EQ(ui.Text(IDC_STATIC_INPUT), t.pszInputLabel);
        EXPECT_EQ(ui.Text(IDC_STATIC_OUTPUT), t.pszOutputLabel);
        EXPECT_EQ(ui.Text(IDC_BUTTON_BROWSE_INPUT), t.pszBrowseInput);
        EXPECT_EQ(ui.Text(IDC_BUTTON_BROWSE_OUTPUT), t.pszBrowseOutput);
        EXPECT_EQ(ui.Text(IDC_BUTTON_BROWSE_SAVEDIR), L"浏览");
        EXPECT_EQ(ui.Text(IDC_EDIT_INPUT), L"");
        EXPECT_EQ(ui.Text(IDC_EDIT_OUTPUT), L"");
        EXPECT_EQ(ui.IsVisible(IDC_CHECK_DELETE_SOURCE), s.bBatch);

        // Untouched by either radio.
        EXPECT_EQ(ui.Check(IDC_CHECK_DELETE_SOURCE), BST_CHECKED);
        EXPECT_EQ(ui.Check(IDC_CHECK_SHOW_SUCCESS), BST_UNCHECKED);
        EXPECT_EQ(ui.Check(IDC_CHECK_SHOW_FAILURE), BST_CHECKED);
        EXPECT_EQ(ui.Text(IDC_EDIT_SAVEDIR), L"D:\\out");
        EXPECT_EQ(ui.ListLines(IDC_LIST_INFO).size(), 1u);
        EXPECT_EQ(dlg.m_strPath, strDefaultPath);
        ASSERT_EQ(dlg.m_arrJobs.GetSize(), 2);
        EXPECT_EQ(dlg.m_arrJobs[0], L"C:\\in\\a.m3u8");
        EXPECT_EQ(dlg.m_arrJobs[1], L"");
    }
}

TEST_F(DialogCommands, OptionBoxesKeepTheirStateDuringARunAndSayWhy)
{
    CCommandsDlg dlg;
    CMainDialog ui(dlg);
    ASSERT_NE(ui.Window(), nullptr);
    ui.Click(IDC_RADIO_BATCH); // shows the deletion option
    ASSERT_TRUE(ui.IsVisible(IDC_CHECK_DELETE_SOURCE));

    enum class Input
    {
        Click,
        SpaceBar
    };
    for (int nID : {IDC_CHECK_DELETE_SOURCE, IDC_CHECK_SHOW_SUCCESS, IDC_CHECK_SHOW_FAILURE})
    {
        for (Input input : {Input::Click, Input::SpaceBar})
        {
            SCOPED_TRACE(testing::Message() << nID << (input == Input::Click ? " click" : " space"));
            auto press = [&] {
                if (input == Input::Click)
                    ui.Click(nID);
                else
                    ui.PressKey(VK_SPACE, ui.Item(nID));
            };
            const int nBefore = ui.Check(nID);

            dlg.m_bRunning = TRUE;
            press();
            CString strText;
            ASSERT_TRUE(ui.AnswerMessageBox(L"提示", IDOK, &strText));
            EXPECT_EQ(strText, L"合并进行中，请稍后！");
            EXPECT_EQ(ui.Check(nID), nBefore);
            EXPECT_TRUE(dlg.m_bRunning);

            // After the run the same input is taken, without a word.
            dlg.m_bRunning = FALSE;
            press();
            EXPECT_EQ(ui.Check(nID), nBefore == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
            EXPECT_TRUE(ui.OtherWindows().empty());
        }
    }
}

TEST_F(DialogCommands, CloseAsksDuringARunAndCleansTheTemporaryFolder)
{
    enum class Trigger
    {
        Escape,
        CloseBox,
        CancelCommand
    };
    enum class Folder
    {
        OnlySegments,
        SegmentsAndOtherFile,
        Missing
    };
    const struct
    {
        const char *pszName;
        Trigger trigger;
        Folder folder;
        bool bRunning;
        int nAnswer; // 0: no question expected
        bool bEnds;
    } cases[] = {
        {"idle, segments only", Trigger::Escape, Folder::OnlySegments, false, 0, true},
        {"idle, another file", Trigger::CloseBox, Folder::SegmentsAndOtherFile, false, 0, true},
        {"idle, no folder", Trigger::CancelCommand, Folder::Missing, false, 0, true},
        {"running, answer no", Trigger::CloseBox, Folder::OnlySegments, true, IDNO, false},
        {"running, answer yes", Trigger::Escape, Folder::SegmentsAndOtherFile, true, IDYES, true},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.pszName);
        RemoveTree(TempFolder());
        if (c.folder != Folder::Missing)
        {
            m_temp.Write(Own(L"seg_0.ts"), "segment 0");
            m_temp.Write(Own(L"seg_1.ts"), "segment 1");
            m_temp.Write(Own(L"seg_2.ts"), "");
        }
        if (c.folder == Folder::SegmentsAndOtherFile)
            m_temp.Write(Own(L"notes.txt"), "keep me");

        CCommandsDlg dlg;
        CMainDialog ui(dlg);
        ASSERT_NE(ui.Window(), nullptr);
        dlg.m_bRunning = c.bRunning ? TRUE : FALSE;

        switch (c.trigger)
        {
        case Trigger::Escape:
            ::PostMessageW(ui.Item(IDC_EDIT_OUTPUT), WM_KEYDOWN, VK_ESCAPE, 1);
            break;
        case Trigger::CloseBox:
            ::PostMessageW(ui.Window(), WM_SYSCOMMAND, SC_CLOSE, 0);
            break;
        case Trigger::CancelCommand:
            ::PostMessageW(ui.Window(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            break;
        }
        if (c.nAnswer)
        {
            CString strText;
            ASSERT_TRUE(ui.AnswerMessageBox(L"提示", c.nAnswer, &strText));
            EXPECT_EQ(strText, L"下载正在进行中，确定要退出吗？");
        }

        INT_PTR nResult = 0;
        if (c.bEnds)
        {
            ASSERT_TRUE(ui.WaitForEnd(10000, &nResult));
            EXPECT_EQ(nResult, IDCANCEL);
            EXPECT_FALSE(dlg.m_bRunning);
            const bool bOther = c.folder == Folder::SegmentsAndOtherFile;
            EXPECT_FALSE(FileExists(TempFolder() + L"seg_0.ts"));
            EXPECT_FALSE(FileExists(TempFolder() + L"seg_1.ts"));
            EXPECT_FALSE(FileExists(TempFolder() + L"seg_2.ts"));
            EXPECT_EQ(FileExists(TempFolder() + L"notes.txt"), bOther);
            EXPECT_EQ(FolderExists(TempFolder()), bOther);
        }
        else
        {
            ASSERT_TRUE(ui.Sync());
            EXPECT_FALSE(ui.HasEnded());
            EXPECT_TRUE(dlg.m_bRunning);
            EXPECT_TRUE(FileExists(TempFolder() + L"seg_0.ts"));
            EXPECT_TRUE(FileExists(TempFolder() + L"seg_2.ts"));
            dlg.m_bRunning = FALSE;
        }
        // No question was asked where none belongs, and none is left open.
        EXPECT_TRUE(ui.HasEnded() || ui.OtherWindows().empty());
    }
}

TEST_F(DialogCommands, EnterEndsTheDialogAtOnceWithoutQuestionOrCleanUp)
{
    for (bool bRunning : {false, true})
    {
        SCOPED_TRACE(bRunning ? "running" : "idle");
        RemoveTree(TempFolder());
        m_temp.Write(Own(L"seg_0.ts"), "segment 0");

        CCommandsDlg dlg;
        CMainDialog ui(dlg);
        ASSERT_NE(ui.Window(), nullptr);
        dlg.m_bRunning = bRunning ? TRUE : FALSE;
        ASSERT_TRUE(CMainDialog::WaitUntil([&] {
            if (ui.Focus() == ui.Item(IDC_EDIT_OUTPUT))
                return true;
            ::SetForegroundWindow(ui.Window());
            return false;
        }));

        ::PostMessageW(ui.Item(IDC_EDIT_OUTPUT), WM_KEYDOWN, VK_RETURN, 1);
        INT_PTR nResult = 0;
        ASSERT_TRUE(ui.WaitForEnd(10000, &nResult));
        EXPECT_EQ(nResult, IDOK);
        EXPECT_EQ(dlg.m_bRunning != FALSE, bRunning);
        EXPECT_TRUE(FileExists(TempFolder() + L"seg_0.ts"));
    }
}

TEST_F(DialogCommands, CleanupTempFolderLeavesSubFoldersAndOtherFiles)
{
    m_temp.Write(Own(L"seg_0.ts"), "a");
    m_temp.Write(Own(L"clip.TS"), "b");
    m_temp.Write(Own(L"seg_0.ts.part"), "c");
    m_temp.Write(Own(L"inner\\seg_5.ts"), "d");

    CleanupTempFolder();

    EXPECT_FALSE(FileExists(TempFolder() + L"seg_0.ts"));
    EXPECT_FALSE(FileExists(TempFolder() + L"clip.TS"));
    EXPECT_TRUE(FileExists(TempFolder() + L"seg_0.ts.part"));
    EXPECT_TRUE(FileExists(TempFolder() + L"inner\\seg_5.ts"));
    EXPECT_TRUE(FolderExists(TempFolder()));

    RemoveTree(TempFolder() + L"inner");
    ::DeleteFileW(TempFolder() + L"seg_0.ts.part");
    CleanupTempFolder();
    EXPECT_FALSE(FolderExists(m_temp.Path() + L"m3u8_temp"));
}

TEST_F(DialogCommands, ColourAnswersGiveTheBackgroundToTheDialogAndNoBrushToButtonsAndLabels)
{
    CCommandsDlg dlg;
    CMainDialog ui(dlg);
    ASSERT_NE(ui.Window(), nullptr);
    ASSERT_NE(dlg.m_brBackground.GetSafeHandle(), nullptr);
    const auto hNullBrush = reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
    const auto hBackground = reinterpret_cast<LRESULT>(dlg.m_brBackground.GetSafeHandle());

    const struct
    {
        UINT nMsg;
        int nID; // 0: the dialog itself
        bool bNullBrush;
        bool bBackground;
        COLORREF crText; // CLR_INVALID: not checked
    } cases[] = {
        {WM_CTLCOLORDLG, 0, false, true, CLR_INVALID},
        {WM_CTLCOLORBTN, IDC_BUTTON_START, true, false, CLR_INVALID},
        {WM_CTLCOLORBTN, IDC_BUTTON_BROWSE_SAVEDIR, true, false, CLR_INVALID},
        {WM_CTLCOLORSTATIC, IDC_RADIO_BATCH, true, false, CLR_INVALID},
        {WM_CTLCOLORSTATIC, IDC_LINK_URL, true, false, RGB(24, 8, 235)},
        {WM_CTLCOLORSTATIC, IDC_STATIC_INFO, true, false, RGB(0, 0, 0)},
        {WM_CTLCOLOREDIT, IDC_EDIT_OUTPUT, false, false, CLR_INVALID},
        {WM_CTLCOLORLISTBOX, IDC_LIST_INFO, false, false, CLR_INVALID},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.nID);
        HDC hdc = ::CreateCompatibleDC(nullptr);
        ASSERT_NE(hdc, nullptr);
        ::SetTextColor(hdc, RGB(1, 2, 3));
        HWND hWnd = c.nID ? ui.Item(c.nID) : ui.Window();
        const LRESULT hbr = ::SendMessageW(ui.Window(), c.nMsg, reinterpret_cast<WPARAM>(hdc),
                                           reinterpret_cast<LPARAM>(hWnd));
        EXPECT_EQ(hbr == hNullBrush, c.bNullBrush);
        EXPECT_EQ(hbr == hBackground, c.bBackground);
        if (!c.bNullBrush)
        {
            EXPECT_NE(hbr, 0);
        }
        if (c.crText != CLR_INVALID)
        {
            EXPECT_EQ(::GetTextColor(hdc), c.crText);
        }
        if (c.bNullBrush)
        {
            EXPECT_EQ(::GetBkMode(hdc), TRANSPARENT);
        }
        ::DeleteDC(hdc);
    }
}
