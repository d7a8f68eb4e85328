// app/FendralDlgJobs.cpp: the three browse buttons: pickers in single mode, job adds in batch mode.
#include "app/FendralDlg.h"
#include "framework/FileDialog.h"
#include "framework/ShellFolder.h"

#include <shlobj.h>

namespace
{
const wchar_t kAddedPrefix[] = L"已添加：";

// The folder picker of both folder buttons. False on cancel, or when the shell cannot give the
// chosen item a file-system path. A drive root comes back with its own closing backslash.
bool PickFolder(HWND hOwner, CString &strFolder)
{
    BROWSEINFOW bi = {};
    bi.hwndOwner = hOwner;
    bi.lpszTitle = L"选择目录";
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE pidl = AfxBrowseForFolder(&bi);
    if (!pidl)
        return false;

    wchar_t szPath[MAX_PATH] = {};
    BOOL bConverted = ::SHGetPathFromIDListW(pidl, szPath);
    IMalloc *pMalloc = nullptr;
    if (SUCCEEDED(::SHGetMalloc(&pMalloc)))
    {
        pMalloc->Free(pidl);
        pMalloc->Release();
    }
    if (!bConverted)
        return false;
    strFolder = szPath;
    return true;
}

// Inputs sit at even indexes; outputs are never compared. Exact, case-sensitive.
bool IsQueued(const CStringArray &arrJobs, const CString &strInput)
{
    for (int i = 0; i < arrJobs.GetSize(); i += 2)
    {
        if (arrJobs[i] == strInput)
            return true;
    }
    return false;
}

// Appends the pair (input, output still to be named) and its untimed line, unless already queued.
void QueueJob(CStringArray &arrJobs, CListBox &listInfo, const CString &strInput)
{
    if (IsQueued(arrJobs, strInput))
        return;
    arrJobs.Add(strInput);
    arrJobs.Add(CString());
    listInfo.AddString(CString(kAddedPrefix) + strInput);
}

bool IsPlaylistPath(const CString &strPath)
{
    CString strLower = strPath;
    strLower.MakeLower();
    return strLower.GetLength() >= 5 && strLower.Right(5) == L".m3u8";
}

// Queues the first playlist among the files; true when there was one, queued or already queued.
bool QueueFirstPlaylist(CStringArray &arrJobs, CListBox &listInfo, const CStringArray &arrFiles)
{
    for (int i = 0; i < arrFiles.GetSize(); ++i)
    {
        if (IsPlaylistPath(arrFiles[i]))
        {
            QueueJob(arrJobs, listInfo, arrFiles[i]);
            return true;
        }
    }
    return false;
}

// The text between the first chOpen and the first chClose of strDir, with ".ts" behind it, when
// both occur in that order.
bool NameBetween(const CString &strDir, wchar_t chOpen, wchar_t chClose, CString &strName)
{
    int a = strDir.Find(chOpen);
    int b = strDir.Find(chClose);
    if (a < 0 || b < 0 || b <= a)
        return false;
    strName = strDir.Mid(a + 1, b - a - 1) + L".ts";
    return true;
}

// The output name proposed from a playlist's folder part. The angle quotes win outright; among
// the other pairs the later one decides.
CString ProposeOutputName(const CString &strDir)
{
    CString strName = L"output.ts";
    if (NameBetween(strDir, L'《', L'》', strName))
        return strName;
    NameBetween(strDir, L'[', L']', strName);
    NameBetween(strDir, L'(', L')', strName);
    NameBetween(strDir, L'{', L'}', strName);
    return strName;
}
} // namespace

void CFendralDlg::OnBnClickedBrowseInput()
{
    if (m_bBatchMode)
    {
        CString strFolder;
        if (!PickFolder(m_hWnd, strFolder))
            return;
        SetDlgItemText(IDC_EDIT_INPUT, strFolder + L"\\");

        CStringArray arrFiles, arrDirs;
        ListDirectory(strFolder, arrFiles, arrDirs, FALSE);
        if (QueueFirstPlaylist(m_arrJobs, m_listInfo, arrFiles))
            return;
        // Only when the top level has none: one level down, the first playlist of each sub-folder.
        for (int i = 0; i < arrDirs.GetSize(); ++i)
        {
            CStringArray arrSubFiles, arrSubDirs;
            ListDirectory(arrDirs[i], arrSubFiles, arrSubDirs, FALSE);
            QueueFirstPlaylist(m_arrJobs, m_listInfo, arrSubFiles);
        }
        return;
    }

    CFileDialog dlg(TRUE, L"m3u8", L"", OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                    L"m3u8文件 (*.m3u8)|*.m3u8|所有文件 (*.*)|*.*||", nullptr, 0, TRUE);
    if (dlg.DoModal() != IDOK)
        return;
    m_strPath = dlg.GetPathName();
    SetDlgItemText(IDC_EDIT_INPUT, m_strPath);

    int nSlash = m_strPath.ReverseFind(L'\\');
    if (nSlash < 0)
        return;
    CString strDir = m_strPath.Left(nSlash + 1);
    CString strName = ProposeOutputName(strDir);

    // A typed save folder is taken as it is: no backslash is added between it and the name.
    CString strSaveDir;
    GetDlgItemText(IDC_EDIT_SAVEDIR, strSaveDir);
    strSaveDir.TrimRight();
    strSaveDir.TrimLeft();
    if (!strSaveDir.IsEmpty())
        strDir = strSaveDir;
    SetDlgItemText(IDC_EDIT_OUTPUT, strDir + strName);
}

void CFendralDlg::OnBnClickedBrowseOutput()
{
    if (m_bBatchMode)
    {
        // Taken as typed: no trimming, and the case is kept; only the test copy is lower-cased.
        CString strUrl;
        m_editOutput.GetWindowText(strUrl);
        CString strLower = strUrl;
        strLower.MakeLower();
        if (strUrl.IsEmpty() || strLower.Left(4) != L"http")
        {
            MessageBox(L"请输入正确的网址", L"提示", MB_OK);
            return;
        }
        QueueJob(m_arrJobs, m_listInfo, strUrl);
        return;
    }

    CFileDialog dlg(FALSE, L"ts", L"output.ts", OFN_OVERWRITEPROMPT,
                    L"TS文件 (*.ts)|*.ts|所有文件 (*.*)|*.*||", nullptr, 0, TRUE);
    if (dlg.DoModal() != IDOK)
        return;
    m_strPath = dlg.GetPathName();
    SetDlgItemText(IDC_EDIT_OUTPUT, m_strPath);
}

void CFendralDlg::OnBnClickedBrowseSaveDir()
{
    CString strFolder;
    if (!PickFolder(m_hWnd, strFolder))
        return;
    SetDlgItemText(IDC_EDIT_SAVEDIR, strFolder + L"\\");
    if (m_bBatchMode)
        return;

    // The output keeps its file name and moves into the chosen folder.
    CString strOutput;
    GetDlgItemText(IDC_EDIT_OUTPUT, strOutput);
    int k = strOutput.ReverseFind(L'\\');
    if (k <= 0)
        return;
    SetDlgItemText(IDC_EDIT_OUTPUT, strFolder + L"\\" + strOutput.Mid(k + 1));
}
