// tests/support/MainDialog.h: runs a modal dialog on its own UI thread while the test thread drives it.
//
// The test thread talks to the dialog's windows with sent messages (synchronous, handled by the UI
// thread's modal loop) for reading and setting state, and with posted messages for anything that may
// open a modal window of its own (clicks, keys, commands), so that the test can answer it. Sync()
// returns once everything posted before it has been handled, or a handler has entered a modal loop.
#pragma once

#include "framework/Dialog.h"
#include "framework/String.h"

#include <functional>
#include <vector>
#include <windows.h>

class CMainDialog
{
public:
    // Runs dlg.DoModal() on a new thread and returns once the dialog has been set up and its modal
    // loop runs. Window() is null when the dialog could not be created.
    explicit CMainDialog(CDialog &dlg);
    // Runs fnRun on a new thread (it is expected to open a dialog modally) and returns once a dialog of
    // that thread is shown.
    explicit CMainDialog(std::function<INT_PTR()> fnRun);
    // Ends a dialog that is still open (closing its message boxes and modal children first) and waits
    // for the thread.
    ~CMainDialog();
    CMainDialog(const CMainDialog &) = delete;
    CMainDialog &operator=(const CMainDialog &) = delete;

    HWND Window() const { return m_hDlg; }
    HWND Item(int nID) const { return ::GetDlgItem(m_hDlg, nID); }
    DWORD ThreadId() const { return m_nThreadId; }

    // State of the dialog's controls (sent messages).
    CString Text(int nID) const { return WindowText(Item(nID)); }
    void SetText(int nID, const wchar_t *pszText) const;
    int Check(int nID) const;
    bool IsEnabled(int nID) const { return ::IsWindowEnabled(Item(nID)) != FALSE; }
    bool IsVisible(int nID) const { return ::IsWindowVisible(Item(nID)) != FALSE; }
    std::vector<CString> ListLines(int nID) const;
    // The control that has the keyboard focus on the UI thread.
    HWND Focus() const;

    // Input (posted, then Sync).
    // A click on an enabled button: moves an auto check box or radio, then BN_CLICKED to the dialog.
    void Click(int nID) const;
    // A key pressed and released in a window of the dialog (the focus window when hWnd is null).
    void PressKey(UINT nVirtualKey, HWND hWnd = nullptr) const;
    // A message posted to the dialog.
    void Post(UINT nMsg, WPARAM wParam = 0, LPARAM lParam = 0) const;
    // Waits until what was posted to the UI thread before has been handled. False when the thread
    // has ended or did not answer in time.
    bool Sync(DWORD dwTimeoutMs = 10000) const;

    // Waits for a shown top-level window of the UI thread, other than the dialog, with this caption.
    HWND WaitForWindow(const wchar_t *pszCaption, DWORD dwTimeoutMs = 10000) const;
    // Waits for a message box with this caption, reads its text into *pstrText (when given) and
    // presses its button nButton (IDOK, IDYES, IDNO, ...). False when no such box came.
    bool AnswerMessageBox(const wchar_t *pszCaption, int nButton, CString *pstrText = nullptr,
                          DWORD dwTimeoutMs = 10000) const;
    // Top-level windows of the UI thread that are shown, the dialog excluded.
    std::vector<HWND> OtherWindows() const;

    // Whether the modal run has ended; *pnResult gets DoModal's (or fnRun's) result.
    bool HasEnded() const;
    bool WaitForEnd(DWORD dwTimeoutMs = 10000, INT_PTR *pnResult = nullptr) const;

    // Polls pred every 10 ms until it holds; false on timeout.
    static bool WaitUntil(const std::function<bool()> &pred, DWORD dwTimeoutMs = 10000);
    static CString WindowText(HWND hWnd);

private:
    void Start();
    static unsigned __stdcall ThreadEntry(void *pThis);
    static LRESULT CALLBACK SyncWndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);

    std::function<INT_PTR()> m_fnRun;
    CDialog *m_pDlg = nullptr;
    HANDLE m_hThread = nullptr;
    unsigned m_nThreadId = 0;
    HANDLE m_hReady = nullptr; // set by the UI thread when its sync window exists (or creation failed)
    HANDLE m_hSynced = nullptr;
    HWND m_hSync = nullptr;
    HWND m_hDlg = nullptr;
    INT_PTR m_nResult = -1;
};

// Points TMP and TEMP at a folder for the lifetime of the object (the temporary path of this process),
// and puts the previous values back.
class CTempPathOverride
{
public:
    explicit CTempPathOverride(const CString &strFolder);
    ~CTempPathOverride();
    CTempPathOverride(const CTempPathOverride &) = delete;
    CTempPathOverride &operator=(const CTempPathOverride &) = delete;

private:
    CString m_strOldTmp, m_strOldTemp;
    bool m_bHadTmp = false, m_bHadTemp = false;
};

// Sets the process's current folder for the lifetime of the object.
class CCurrentFolderOverride
{
public:
    explicit CCurrentFolderOverride(const CString &strFolder);
    ~CCurrentFolderOverride();
    CCurrentFolderOverride(const CCurrentFolderOverride &) = delete;
    CCurrentFolderOverride &operator=(const CCurrentFolderOverride &) = delete;

private:
    CString m_strOld;
};
