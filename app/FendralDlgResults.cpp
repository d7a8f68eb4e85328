// app/FendralDlgResults.cpp: each job's result, the end of a run, and the deletion of batch sources.
#include "app/FendralDlg.h"
#include "framework/FolderTree.h"
#include "framework/PathName.h"
#include "framework/Time.h"

#include <oleauto.h>
#include <vector>

namespace
{
bool EndsWith(const CString &strLower, const wchar_t *pszEnd)
{
    int nEnd = static_cast<int>(wcslen(pszEnd));
    return strLower.GetLength() >= nEnd && strLower.Right(nEnd) == pszEnd;
}

// The folder (or file) as the file system sees it, with one closing backslash: its final path where it
// exists (links, junctions and short names resolved), else its long form; empty when it has none.
CString FolderKey(const CString &strPath)
{
    CString strKey = FinalPathName(strPath);
    if (strKey.IsEmpty())
        strKey = LongPathName(strPath);
    if (strKey.IsEmpty())
        return CString();
    if (strKey[strKey.GetLength() - 1] != L'\\')
        strKey += L'\\';
    return strKey;
}

// "X:\" or "\\server\share\", given as a key of FolderKey (where the "\\?\" spellings are gone).
bool IsVolumeRoot(const CString &strKey)
{
    if (strKey.GetLength() == 3 && strKey[1] == L':')
        return true;
    if (strKey.Left(2) != L"\\\\")
        return false;
    int nSeparators = 0;
    for (int i = 2; i < strKey.GetLength(); ++i)
        nSeparators += strKey[i] == L'\\' ? 1 : 0;
    return nSeparators <= 2;
}

// What a run wrote and where: source deletion must not take any of it.
class COutputGuard
{
public:
    COutputGuard(const CStringArray &arrJobs, const CString &strSaveDir)
    {
        AddFolder(strSaveDir);
        for (int i = 1; i < arrJobs.GetSize(); i += 2)
        {
            const CString &strOutput = arrJobs[i];
            CString strFile = FolderKey(strOutput);
            if (strFile.IsEmpty())
                continue;
            m_files.push_back(strFile);
            int nSlash = strOutput.ReverseFind(L'\\');
            if (nSlash >= 0)
                AddFolder(strOutput.Left(nSlash + 1));
        }
    }

    // A folder that is, or lies above, a folder the run wrote into.
    bool ProtectsFolder(const CString &strDir) const
    {
        // A path without a full form is not deleted either: nothing can be said about what it holds.
        CString strKey = FolderKey(strDir);
        if (strKey.IsEmpty())
            return true;
        // A playlist at the top of a drive would otherwise take the whole drive with it.
        if (IsVolumeRoot(strKey))
            return true;
        for (const CString &strFolder : m_folders)
        {
            if (BeginsWithName(strFolder, strKey))
                return true;
        }
        return false;
    }

    bool ProtectsFile(const CString &strPath) const
    {
        CString strKey = FolderKey(strPath);
        for (const CString &strFile : m_files)
        {
            if (IsSameName(strKey, strFile))
                return true;
        }
        return false;
    }

private:
    void AddFolder(const CString &strFolder)
    {
        CString strKey = FolderKey(strFolder);
        if (!strKey.IsEmpty())
            m_folders.push_back(strKey);
    }

    std::vector<CString> m_folders;
    std::vector<CString> m_files;
};

// Adds to the plans what a merged local playlist's folder gives up at the run's end.
void PlanSourceDeletion(CFendralDlg &dlg, const CString &strInput, CStringArray &arrDelFiles,
                        CStringArray &arrDelDirs)
{
    CString strLower = strInput;
    strLower.MakeLower();
    if (strLower.Left(4) == L"http")
        return;
    int nSlash = strInput.ReverseFind(L'\\');
    if (nSlash < 1)
        return;

    const CString strFolder = strInput.Left(nSlash + 1);
    CStringArray arrFiles, arrDirs;
    dlg.ListDirectory(strFolder, arrFiles, arrDirs, FALSE);

    bool bVideo = false;
    CString strPlaylist;
    for (int i = 0; i < arrFiles.GetSize(); ++i)
    {
        CString strPath = arrFiles[i];
        strPath.MakeLower();
        if (EndsWith(strPath, L".mkv") || EndsWith(strPath, L".avi") || EndsWith(strPath, L".mp4") ||
            EndsWith(strPath, L".ts"))
            bVideo = true;
        else if (EndsWith(strPath, L".m3u8"))
            strPlaylist = arrFiles[i];
    }

    if (bVideo && !strPlaylist.IsEmpty())
        arrDelFiles.Add(strPlaylist);

    if (arrDirs.GetSize() >= 2)
    {
        for (int i = 0; i < arrDirs.GetSize(); ++i)
        {
            CStringArray arrSubFiles, arrSubDirs;
            dlg.ListDirectory(arrDirs[i], arrSubFiles, arrSubDirs, FALSE);
            for (int k = 0; k < arrSubFiles.GetSize(); ++k)
            {
                CString strPath = arrSubFiles[k];
                strPath.MakeLower();
                if (EndsWith(strPath, L".m3u8"))
                    arrDelDirs.Add(arrSubFiles[k].Left(arrSubFiles[k].ReverseFind(L'\\') + 1));
            }
        }
        if (!strPlaylist.IsEmpty())
        {
            bool bPlanned = false;
            for (int i = 0; i < arrDelFiles.GetSize() && !bPlanned; ++i)
                bPlanned = arrDelFiles[i] == strPlaylist;
            if (!bPlanned)
                arrDelFiles.Add(strPlaylist);
        }
    }
    else if (bVideo)
    {
        for (int i = 0; i < arrDirs.GetSize(); ++i)
            arrDelDirs.Add(arrDirs[i]);
    }
    else
    {
        arrDelDirs.Add(strFolder);
    }
}

void EnableItem(CWnd &dlg, int nID, BOOL bEnable)
{
    if (CWnd *pItem = dlg.GetDlgItem(nID))
        pItem->EnableWindow(bEnable);
}
} // namespace

LRESULT CFendralDlg::OnMergeItemDone(WPARAM wParam, LPARAM lParam)
{
    // The worker's copy is ours to free, whatever the result says.
    BSTR bstrInput = reinterpret_cast<BSTR>(lParam);
    const CString strInput = bstrInput ? CString(bstrInput, int(SysStringLen(bstrInput))) : CString();
    SysFreeString(bstrInput);

    const CString strStamp = CTime::GetCurrentTime().Format(L"%H:%M:%S");
    if (wParam == 0)
    {
        ++m_nFail;
        if (IsDlgButtonChecked(IDC_CHECK_SHOW_FAILURE))
            m_listResult.AddString(L"失败：(" + strStamp + L") " + strInput);
    }
    else if (wParam == 1)
    {
        ++m_nSuccess;
        if (IsDlgButtonChecked(IDC_CHECK_SHOW_SUCCESS))
            m_listResult.AddString(L"成功：(" + strStamp + L") " + strInput);
        if (m_bDeleteSource)
            PlanSourceDeletion(*this, strInput, m_arrDelFiles, m_arrDelDirs);
    }
    return 0;
}

LRESULT CFendralDlg::OnMergeAllDone(WPARAM wParam, LPARAM)
{
    if (wParam == 0)
        EndRun(true);
    return 0;
}

void CFendralDlg::EndRun(bool bSummary)
{
    if (m_bDeleteSource && m_bBatchMode)
    {
        for (int i = 0; i < m_arrDelDirs.GetSize(); ++i)
        {
            const CString &strDir = m_arrDelDirs[i];
            if (strDir.IsEmpty() || strDir[strDir.GetLength() - 1] != L'\\')
                m_arrDelDirs[i] += L'\\';
        }

        // The plans come from the source folders alone; the run's own outputs may lie inside them.
        CString strSaveDir;
        m_editSaveDir.GetWindowText(strSaveDir);
        const COutputGuard guard(m_arrJobs, strSaveDir);
        for (int i = 0; i < m_arrDelFiles.GetSize(); ++i)
        {
            if (!guard.ProtectsFile(m_arrDelFiles[i]))
                DeleteFileW(m_arrDelFiles[i]);
        }
        for (int i = 0; i < m_arrDelDirs.GetSize(); ++i)
        {
            if (!guard.ProtectsFolder(m_arrDelDirs[i]))
                DeleteDirectory(m_arrDelDirs[i]);
        }
    }

    m_bRunning = FALSE;
    m_arrJobs.RemoveAll();
    m_arrDelDirs.RemoveAll();
    m_arrDelFiles.RemoveAll();

    EnableItem(*this, IDC_BUTTON_START, TRUE);
    EnableItem(*this, IDC_BUTTON_STOP, FALSE);
    EnableItem(*this, IDC_RADIO_SINGLE, TRUE);
    EnableItem(*this, IDC_RADIO_BATCH, TRUE);
    m_btnBrowseInput.EnableWindow(TRUE);
    m_btnBrowseOutput.EnableWindow(TRUE);
    m_btnBrowseSaveDir.EnableWindow(TRUE);
    m_progress.SetPos(100);

    if (m_bBatchMode && bSummary)
    {
        CString strSummary;
        if (m_nFail > 0)
            strSummary.Format(L"所有M3U8视频合并完成，共成功合并%d个视频，%d个视频合并失败！", m_nSuccess,
                              m_nFail);
        else
            strSummary.Format(L"所有M3U8视频合并完成，共成功合并%d个视频！", m_nSuccess);
        m_listInfo.AddString(strSummary);
    }
}

BOOL DeleteDirectory(const CString &strDir)
{
    // Not the shell's recursive delete: under Wine it enters a link to a folder and deletes what it names.
    return DeleteFolderTree(strDir);
}
