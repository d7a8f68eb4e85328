// app/FendralDlgRun.cpp: Start, Stop and the hand-over of a job to the run state.
#include "app/FendralDlg.h"
#include "framework/PathName.h"

#include <vector>

namespace
{
// name with " (k)" put in front of its ".ts" (or at its end when it has none).
CString NumberedName(const CString &strName, int k)
{
    CString strSuffix;
    strSuffix.Format(L" (%d)", k);
    const int nLength = strName.GetLength();
    if (nLength >= 3 && strName.Right(3).CompareNoCase(L".ts") == 0)
        return strName.Left(nLength - 3) + strSuffix + strName.Right(3);
    return strName + strSuffix;
}

bool IsTaken(const std::vector<CString> &taken, const CString &strName)
{
    for (const CString &s : taken)
        if (IsSameName(s, strName))
            return true;
    return false;
}
} // namespace

bool CFendralDlg::MergeOne(CString strInput, CString strOutput)
{
    return m_pRun->MergeOne(strInput, strOutput);
}

void CFendralDlg::OnBnClickedStart()
{
    m_nSuccess = 0;
    m_nFail = 0;
    m_bDeleteSource = IsDlgButtonChecked(IDC_CHECK_DELETE_SOURCE) == BST_CHECKED;
    if (m_bRunning)
        return;

    if (m_bBatchMode)
    {
        if (m_arrJobs.GetSize() == 0)
        {
            MessageBox(L"请先添加M3U8文件路径", L"提示", MB_OK);
            return;
        }
        CString strDir;
        m_editSaveDir.GetWindowText(strDir);
        if (strDir.IsEmpty())
        {
            MessageBox(L"请输入输出文件路径", L"提示", MB_OK);
            return;
        }
        if (strDir[strDir.GetLength() - 1] != L'\\')
            strDir += L'\\';
        // Two jobs of one run must not write the same file (Windows names ignore the case of every letter).
        std::vector<CString> taken;
        for (int i = 0; i < m_arrJobs.GetSize(); i += 2)
        {
            const CString strBase = MakeOutputName(CString(m_arrJobs[i]), TRUE);
            CString strName = strBase;
            for (int k = 2; IsTaken(taken, strName); ++k)
                strName = NumberedName(strBase, k);
            taken.push_back(strName);
            m_arrJobs.SetAtGrow(i + 1, strDir + strName);
        }
    }
    else
    {
        CString strInput;
        GetDlgItemText(IDC_EDIT_INPUT, strInput);
        if (strInput.IsEmpty())
        {
            MessageBox(L"请输入M3U8文件路径或URL", L"提示", MB_OK);
            return;
        }
        m_editOutput.GetWindowText(m_strPath);
        if (m_strPath.IsEmpty())
        {
            MessageBox(L"请输入输出文件路径", L"提示", MB_OK);
            return;
        }
        m_arrJobs.SetAtGrow(m_arrJobs.GetSize(), strInput);
        m_arrJobs.SetAtGrow(m_arrJobs.GetSize(), m_strPath);
    }

    m_bRunning = TRUE;
    m_listInfo.ResetContent();
    m_listResult.ResetContent();
    GetDlgItem(IDC_BUTTON_START)->EnableWindow(FALSE);
    GetDlgItem(IDC_BUTTON_STOP)->EnableWindow(TRUE);
    GetDlgItem(IDC_BUTTON_BROWSE_INPUT)->EnableWindow(FALSE);
    GetDlgItem(IDC_BUTTON_BROWSE_OUTPUT)->EnableWindow(FALSE);
    GetDlgItem(IDC_BUTTON_BROWSE_SAVEDIR)->EnableWindow(FALSE);
    GetDlgItem(IDC_RADIO_SINGLE)->EnableWindow(FALSE);
    GetDlgItem(IDC_RADIO_BATCH)->EnableWindow(FALSE);
    m_progress.SendMessage(PBM_SETPOS, 0, 0);
    AddLog(L"开始处理...");

    // The worker gets its own reference to the run state, never the dialog (which may end first).
    auto *pRun = new std::shared_ptr<CMergeRun>(m_pRun);
    m_pMergeThread = AfxBeginThread(MergeThreadProc, pRun);
    if (!m_pMergeThread)
    {
        delete pRun;
        AddLog(L"无法启动合并线程");
        // Unlock at once; nothing was merged, so there is nothing to sum up.
        m_bRunning = FALSE;
        EndRun(false);
    }
}

void CFendralDlg::OnBnClickedStop()
{
    if (m_bRunning)
    {
        m_bRunning = FALSE;
        AddLog(L"正在停止...");
    }
}
