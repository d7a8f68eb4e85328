// app/FendralDlgCommands.cpp: system menu, close, modes, colours, links and the option guards.
#include "app/AboutDlg.h"
#include "app/FendralDlg.h"
#include "framework/FileFind.h"

#include <shellapi.h>

namespace
{
struct ModeCaptions
{
    const wchar_t *pszInputLabel;
    const wchar_t *pszOutputLabel;
    const wchar_t *pszBrowseInput;
    const wchar_t *pszBrowseOutput;
    const wchar_t *pszBrowseSaveDir;
};

constexpr ModeCaptions kSingleMode{L"M3U8文件本地文件路径或网址：", L"输 出 文 件：", L"浏览", L"浏览",
                                   L"浏览"};
constexpr ModeCaptions kBatchMode{L"选择包含M3U8视频或多个M3U8视频的目录：", L"M3U8文件网址：",
                                  L"添加本地目录", L"添加远程网址", L"浏览"};

// The label is erased as a whole so that its kept background hides the old caption.
void SetLabelCaption(CTransparentStatic &label, const wchar_t *pszCaption)
{
    label.SetWindowText(pszCaption);
    label.InvalidateRect(nullptr, TRUE);
}

// What both radios do after setting the mode, in the same order for either mode; the option box is
// batch mode's only.
void ShowMode(const ModeCaptions &mode, int nShowDeleteSource, CWnd &deleteSource, CWnd &input, CWnd &output,
              CTransparentStatic *pLabels, CWnd &browseInput, CWnd &browseOutput, CWnd &browseSaveDir)
{
    deleteSource.ShowWindow(nShowDeleteSource);
    input.SetWindowText(L"");
    output.SetWindowText(L"");
    SetLabelCaption(pLabels[0], mode.pszInputLabel);
    SetLabelCaption(pLabels[1], mode.pszOutputLabel);
    browseInput.SetWindowText(mode.pszBrowseInput);
    browseOutput.SetWindowText(mode.pszBrowseOutput);
    browseSaveDir.SetWindowText(mode.pszBrowseSaveDir);
}

// The box has already moved when its click arrives; during a run it is moved back.
void GuardOption(CWnd &dlg, CButton &box, BOOL bRunning)
{
    if (!bRunning)
        return;
    box.SetCheck(box.GetCheck() == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
    dlg.MessageBox(L"合并进行中，请稍后！", L"提示", MB_OK);
}

// The radios and push buttons that show the dialog's picture behind their own drawing.
bool ShowsBackdrop(int nID)
{
    switch (nID)
    {
    case IDC_RADIO_SINGLE:
    case IDC_RADIO_BATCH:
    case IDC_BUTTON_BROWSE_OUTPUT:
    case IDC_BUTTON_BROWSE_INPUT:
    case IDC_BUTTON_START:
    case IDC_BUTTON_STOP:
    case IDC_BUTTON_BROWSE_SAVEDIR:
        return true;
    default:
        return false;
    }
}
} // namespace

void CFendralDlg::OnSysCommand(UINT nID, LPARAM lParam)
{
    if ((nID & 0xFFF0) == IDM_ABOUTBOX)
    {
        CAboutDlg dlgAbout;
        dlgAbout.DoModal();
    }
    else
    {
        CDialogEx::OnSysCommand(nID, lParam);
    }
}

void CFendralDlg::OnCancel()
{
    if (m_bRunning)
    {
        if (MessageBox(L"下载正在进行中，确定要退出吗？", L"提示", MB_YESNO) == IDNO)
            return;
        // The worker holds the run state itself; it sees the flag and stops on its own.
        m_bRunning = FALSE;
    }
    CleanupTempFolder();
    CDialogEx::OnCancel();
}

void CleanupTempFolder()
{
    // Only this program's own files: another running copy may be using its own.
    const CString strFolder = SegmentFolderPath();
    CFileFind finder;
    BOOL bWorking = finder.FindFile(strFolder + L"*.ts");
    while (bWorking)
    {
        bWorking = finder.FindNextFile();
        ::DeleteFileW(finder.GetFilePath());
    }
    finder.Close();
    RemoveSegmentFolder(strFolder);
}

void CFendralDlg::OnBnClickedRadioSingle()
{
    m_bBatchMode = false;
    ShowMode(kSingleMode, SW_HIDE, m_chkDeleteSource, m_editInput, m_editOutput, m_stcLabel, m_btnBrowseInput,
             m_btnBrowseOutput, m_btnBrowseSaveDir);
}

void CFendralDlg::OnBnClickedRadioBatch()
{
    m_bBatchMode = true;
    ShowMode(kBatchMode, SW_SHOWNORMAL, m_chkDeleteSource, m_editInput, m_editOutput, m_stcLabel,
             m_btnBrowseInput, m_btnBrowseOutput, m_btnBrowseSaveDir);
}

HBRUSH CFendralDlg::OnCtlColor(CDC *pDC, CWnd *pWnd, UINT nCtlColor)
{
    // Always asked first: it lets a transparent label answer its own colour request.
    const HBRUSH hbrBase = CDialogEx::OnCtlColor(pDC, pWnd, nCtlColor);

    if (pWnd && pWnd->m_hWnd != m_hWnd && ShowsBackdrop(pWnd->GetDlgCtrlID()))
    {
        pDC->SetBkMode(TRANSPARENT);
        CRect rc;
        pWnd->GetWindowRect(&rc);
        ScreenToClient(&rc);
        CClientDC dcDialog(this);
        pDC->BitBlt(0, 0, rc.Width(), rc.Height(), &dcDialog, rc.left, rc.top, SRCCOPY);
        return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
    }
    if (nCtlColor == CTLCOLOR_STATIC || nCtlColor == CTLCOLOR_EDIT || nCtlColor == CTLCOLOR_LISTBOX)
        return hbrBase;
    // The dialog itself: the picture as a pattern from the client area's top left corner.
    return m_brBackground.GetSafeHandle();
}

void CFendralDlg::OnStnClickedLink()
{
    // Nothing is shown when no program can open the address.
    ::ShellExecuteW(nullptr, L"open", g_pszHomeUrl, nullptr, nullptr, SW_SHOW);
}

void CFendralDlg::OnBnClickedDeleteSource()
{
    GuardOption(*this, m_chkDeleteSource, m_bRunning);
}

void CFendralDlg::OnBnClickedShowSuccess()
{
    GuardOption(*this, m_chkShowSuccess, m_bRunning);
}

void CFendralDlg::OnBnClickedShowFailure()
{
    GuardOption(*this, m_chkShowFailure, m_bRunning);
}
