// app/FendralDlg.h: CFendralDlg, the program's one window.
#pragma once

#include "app/MergeRun.h"
#include "controls/TransCheckBox.h"
#include "controls/TransparentStatic.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/Gdi.h"
#include "framework/Thread.h"
#include "res/resource.h"

#include <memory>

class CFendralDlg : public CDialogEx
{
public:
    explicit CFendralDlg(CWnd *pParent = nullptr);
    ~CFendralDlg() override;

    enum
    {
        IDD = IDD_FENDRAL_DIALOG
    };

    // A time-stamped line in the information list; from either thread while the window exists.
    void AddLog(LPCTSTR pszText);
    // Merges one job (on the worker, through the shared run state).
    bool MergeOne(CString strInput, CString strOutput);
    // The batch output file name derived from a job's input.
    CString MakeOutputName(CString strInput, BOOL bExt);
    // Appends the full paths of a folder's files and sub-folders (recursing when asked).
    void ListDirectory(const CString &strDir, CStringArray &arrFiles, CStringArray &arrDirs, BOOL bRecursive);

protected:
    void DoDataExchange(CDataExchange *pDX) override;
    BOOL OnInitDialog() override;
    void OnCancel() override;

    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnBnClickedBrowseOutput();
    void OnBnClickedStart();
    void OnBnClickedStop();
    LRESULT OnMergeAllDone(WPARAM wParam, LPARAM lParam);
    LRESULT OnMergeItemDone(WPARAM wParam, LPARAM lParam);
    void OnBnClickedBrowseInput();
    void OnBnClickedBrowseSaveDir();
    void OnBnClickedRadioSingle();
    void OnBnClickedRadioBatch();
    HBRUSH OnCtlColor(CDC *pDC, CWnd *pWnd, UINT nCtlColor);
    void OnStnClickedLink();
    void OnBnClickedDeleteSource();
    void OnBnClickedShowSuccess();
    void OnBnClickedShowFailure();

    DECLARE_MESSAGE_MAP()

    // Deletes the planned sources, unlocks the dialog and, when asked, writes the batch summary.
    void EndRun(bool bSummary);

    // Shared with the worker of a run; m_bRunning, m_playlist and m_arrJobs below are its members.
    std::shared_ptr<CMergeRun> m_pRun;

    HICON m_hIcon;
    CString m_strPath;
    CProgressCtrl m_progress;
    CListBox m_listInfo;
    CListBox m_listResult;
    std::atomic<BOOL> &m_bRunning;
    CWinThread *m_pMergeThread;
    CPlaylist &m_playlist;
    CStringArray &m_arrJobs;
    CStringArray m_arrDelDirs;
    CStringArray m_arrDelFiles;
    bool m_bDeleteSource;
    bool m_bBatchMode;
    int m_nSuccess;
    int m_nFail;
    CTransCheckBox m_chkDeleteSource;
    CTransCheckBox m_chkShowSuccess;
    CTransCheckBox m_chkShowFailure;
    CEdit m_editInput;
    CEdit m_editOutput;
    CEdit m_editSaveDir;
    CButton m_btnBrowseInput;
    CButton m_btnBrowseOutput;
    CButton m_btnBrowseSaveDir;
    int m_nOutputIndex;
    CTransparentStatic m_stcLabel[7];
    CBrush m_brBackground;
    CBitmap *m_pBkBitmap;
    // The underlined font of the address label, held until the dialog is destroyed.
    CFont m_fontLink;

    // Tests reach the state above through a derived class.
};

// Deletes the temporary folder's .ts files and then the folder, if empty.
void CleanupTempFolder();
// Deletes a folder and everything in it, permanently and silently, without passing through links; TRUE
// when it is gone.
BOOL DeleteDirectory(const CString &strDir);

// The publisher's page that both link labels open.
extern const wchar_t *const g_pszHomeUrl;
