// tests/support/DialogDriver.h: drives a real modal dialog from a script on a second thread.
//
// CDialogDriver::Run calls dlg.DoModal() on the calling (UI) thread and, once the dialog is shown and
// its modal loop is running, runs the script on a helper thread. The script reads and changes the
// dialog through messages, like a user would, and can run code on the UI thread with OnUi. Every
// wait has a timeout that fails the test instead of hanging it; when the script returns (or fails)
// and the dialog is still open, the driver ends it and any boxes it shows with kForcedEnd.
#pragma once

#include "framework/Dialog.h"
#include "framework/String.h"

#include <functional>
#include <vector>
#include <windows.h>

class CDialogDriver
{
public:
    using Script = std::function<void(CDialogDriver &)>;
    static constexpr INT_PTR kForcedEnd = -1000;
    static constexpr DWORD kDefaultTimeout = 10000;

    // DoModal's result: what the dialog ended with, or kForcedEnd.
    static INT_PTR Run(CDialog &dlg, const Script &script);

    HWND Dialog() const { return m_hDlg; }
    // The control, or null (and a test failure) when the dialog has none with that id.
    HWND Item(int nID) const;

    // Runs fn on the UI thread, inside its message loop, and waits for it. FALSE on timeout.
    bool OnUi(const std::function<void()> &fn, DWORD dwTimeout = kDefaultTimeout);
    // Returns once the UI thread has handled everything queued before.
    bool Sync()
    {
        return OnUi([] {});
    }
    // Sends a message and waits for its result (0 and a test failure on timeout).
    LRESULT Send(HWND hWnd, UINT nMsg, WPARAM wParam = 0, LPARAM lParam = 0) const;

    // Control state.
    CString Text(int nID) const { return Text(Item(nID)); }
    CString Text(HWND hWnd) const;
    void SetText(int nID, const wchar_t *pszText) const;
    int Check(int nID) const { return static_cast<int>(Send(Item(nID), BM_GETCHECK)); }
    bool IsEnabled(int nID) const { return ::IsWindowEnabled(Item(nID)) != FALSE; }
    bool IsVisible(int nID) const { return ::IsWindowVisible(Item(nID)) != FALSE; }
    std::vector<CString> ListLines(int nID) const;
    // The control that has the keyboard focus on the UI thread.
    HWND Focus() const;

    // Input.
    // A click whose handler returns before this does.
    void Click(int nID) const { Send(Item(nID), BM_CLICK); }
    // A click that may open a modal box: returns at once.
    void ClickAsync(int nID) const { ::PostMessageW(Item(nID), BM_CLICK, 0, 0); }
    // Moves the keyboard focus the way the dialog manager does (WM_NEXTDLGCTL).
    void SetFocus(int nID) const;
    // A key press delivered to the focused control through the modal loop (IsDialogMessage sees it).
    void PressKey(UINT vk) const;
    void PressEnter() const { PressKey(VK_RETURN); }
    void PressEscape() const { PressKey(VK_ESCAPE); }

    // Message boxes and other dialogs owned by the dialog.
    // Waits for a visible #32770 window owned by the dialog with this caption; null on timeout.
    HWND WaitForOwnedDialog(const wchar_t *pszCaption, DWORD dwTimeout = kDefaultTimeout) const;
    // The message text of a MessageBox.
    CString MessageBoxText(HWND hBox) const;
    // Presses the box's button (IDOK, IDYES, ...); returns at once.
    void Answer(HWND hBox, int nButton) const;

    // Ends the dialog from the UI thread with this result.
    void EndDialog(INT_PTR nResult);
    // Waits until the dialog's window is gone.
    bool WaitForEnd(DWORD dwTimeout = kDefaultTimeout) const;

private:
    CDialogDriver(CDialog &dlg, DWORD dwUiThread) : m_dlg(dlg), m_dwUiThread(dwUiThread) {}
    bool WaitForDialog(DWORD dwTimeout);
    void ForceEnd();
    static DWORD WINAPI ScriptThread(LPVOID pParam);

    CDialog &m_dlg;
    DWORD m_dwUiThread;
    HWND m_hDlg = nullptr;
    const Script *m_pScript = nullptr;
};

// A dialog template built in memory, so tests need no resource script.
class CDialogTemplate
{
public:
    CDialogTemplate(const wchar_t *pszCaption, short cx, short cy,
                    DWORD dwStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT);
    // pszClass: "BUTTON", "EDIT", "STATIC", "LISTBOX", "msctls_progress32", ...
    CDialogTemplate &Add(const wchar_t *pszClass, int nID, const wchar_t *pszText, DWORD dwStyle, short x,
                         short y, short cx, short cy);
    LPCDLGTEMPLATEW Get() const { return reinterpret_cast<LPCDLGTEMPLATEW>(m_words.data()); }

private:
    void AddString(const wchar_t *psz);
    void AlignDword();

    std::vector<WORD> m_words;
};
