// tests/support/DialogDriver.cpp: the dialog test driver.
#include "tests/support/DialogDriver.h"

#include <atomic>
#include <exception>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace
{
// A request posted to the UI thread's queue; a WH_GETMESSAGE hook runs it inside whatever modal
// loop is pulling messages there (the dialog's, or a message box's).
struct UiJob
{
    std::function<void()> fn;
    HANDLE hDone = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~UiJob() { ::CloseHandle(hDone); }
};

UINT RunMessage()
{
    static const UINT s_nMsg = ::RegisterWindowMessageW(L"Fendral.DialogDriver.Run");
    return s_nMsg;
}

void RunJob(LPARAM lParam)
{
    std::unique_ptr<std::shared_ptr<UiJob>> holder(reinterpret_cast<std::shared_ptr<UiJob> *>(lParam));
    const std::shared_ptr<UiJob> &job = *holder;
    try
    {
        job->fn();
    }
    catch (const std::exception &e)
    {
        ADD_FAILURE() << "exception on the UI thread: " << e.what();
    }
    catch (...)
    {
        ADD_FAILURE() << "exception on the UI thread";
    }
    ::SetEvent(job->hDone);
}

LRESULT CALLBACK GetMessageHook(int nCode, WPARAM wParam, LPARAM lParam)
{
    if (nCode == HC_ACTION && wParam == PM_REMOVE)
    {
        MSG *pMsg = reinterpret_cast<MSG *>(lParam);
        if (pMsg->hwnd == nullptr && pMsg->message == RunMessage())
        {
            const LPARAM lJob = pMsg->lParam;
            pMsg->message = WM_NULL;
            RunJob(lJob);
        }
    }
    return ::CallNextHookEx(nullptr, nCode, wParam, lParam);
}

class CHook
{
public:
    CHook() : m_hHook(::SetWindowsHookExW(WH_GETMESSAGE, &GetMessageHook, nullptr, ::GetCurrentThreadId())) {}
    ~CHook()
    {
        if (m_hHook)
            ::UnhookWindowsHookEx(m_hHook);
    }
    CHook(const CHook &) = delete;
    CHook &operator=(const CHook &) = delete;
    bool Ok() const { return m_hHook != nullptr; }

private:
    HHOOK m_hHook;
};

std::string Narrow(const wchar_t *psz)
{
    return StringToUtf8(CString(psz));
}

bool IsDialogWindow(HWND hWnd)
{
    wchar_t szClass[16] = L"";
    ::GetClassNameW(hWnd, szClass, 16);
    return wcscmp(szClass, L"#32770") == 0;
}

struct FindOwned
{
    HWND hOwner;
    const wchar_t *pszCaption;
    HWND hFound;
};

BOOL CALLBACK FindOwnedProc(HWND hWnd, LPARAM lParam)
{
    auto *pFind = reinterpret_cast<FindOwned *>(lParam);
    if (!IsDialogWindow(hWnd) || !::IsWindowVisible(hWnd) || ::GetWindow(hWnd, GW_OWNER) != pFind->hOwner)
        return TRUE;
    wchar_t szCaption[256] = L"";
    ::GetWindowTextW(hWnd, szCaption, 256);
    if (pFind->pszCaption && wcscmp(szCaption, pFind->pszCaption) != 0)
        return TRUE;
    pFind->hFound = hWnd;
    return FALSE;
}

struct FindDialog
{
    CWnd *pDlg;
    HWND hFound;
};

BOOL CALLBACK FindDialogProc(HWND hWnd, LPARAM lParam)
{
    auto *pFind = reinterpret_cast<FindDialog *>(lParam);
    if (CWnd::FromHandlePermanent(hWnd) == pFind->pDlg && ::IsWindowVisible(hWnd))
    {
        pFind->hFound = hWnd;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CollectDialogs(HWND hWnd, LPARAM lParam)
{
    if (IsDialogWindow(hWnd))
        reinterpret_cast<std::vector<HWND> *>(lParam)->push_back(hWnd);
    return TRUE;
}

template <class Pred> bool WaitUntil(Pred pred, DWORD dwTimeout)
{
    const ULONGLONG tEnd = ::GetTickCount64() + dwTimeout;
    while (!pred())
    {
        if (::GetTickCount64() >= tEnd)
            return false;
        ::Sleep(10);
    }
    return true;
}
} // namespace

INT_PTR CDialogDriver::Run(CDialog &dlg, const Script &script)
{
    CDialogDriver driver(dlg, ::GetCurrentThreadId());
    driver.m_pScript = &script;
    CHook hook;
    if (!hook.Ok())
    {
        ADD_FAILURE() << "the message hook could not be installed";
        return kForcedEnd;
    }
    // Make sure this thread has a message queue before the script posts to it.
    MSG msg;
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);

    HANDLE hThread = ::CreateThread(nullptr, 0, &CDialogDriver::ScriptThread, &driver, 0, nullptr);
    if (!hThread)
    {
        ADD_FAILURE() << "the script thread could not be started";
        return kForcedEnd;
    }
    const INT_PTR nResult = dlg.DoModal();

    // The script may still be finishing (or waiting on this thread): keep serving it.
    for (;;)
    {
        const DWORD dw = ::MsgWaitForMultipleObjects(1, &hThread, FALSE, 4 * kDefaultTimeout, QS_ALLINPUT);
        if (dw == WAIT_OBJECT_0)
            break;
        if (dw != WAIT_OBJECT_0 + 1)
        {
            ADD_FAILURE() << "the script did not finish";
            ::TerminateThread(hThread, 1);
            break;
        }
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    ::CloseHandle(hThread);
    // Requests that arrived after the last loop ended are run now, so nothing leaks.
    while (::PeekMessageW(&msg, nullptr, RunMessage(), RunMessage(), PM_REMOVE))
    {
    }
    return nResult;
}

DWORD WINAPI CDialogDriver::ScriptThread(LPVOID pParam)
{
    auto *pDriver = static_cast<CDialogDriver *>(pParam);
    try
    {
        if (pDriver->WaitForDialog(kDefaultTimeout))
            (*pDriver->m_pScript)(*pDriver);
        else
            ADD_FAILURE() << "the dialog did not appear";
    }
    catch (const std::exception &e)
    {
        ADD_FAILURE() << "exception in the dialog script: " << e.what();
    }
    catch (...)
    {
        ADD_FAILURE() << "exception in the dialog script";
    }
    pDriver->ForceEnd();
    return 0;
}

bool CDialogDriver::WaitForDialog(DWORD dwTimeout)
{
    FindDialog find{&m_dlg, nullptr};
    const bool bFound = WaitUntil(
        [&] {
            ::EnumThreadWindows(m_dwUiThread, &FindDialogProc, reinterpret_cast<LPARAM>(&find));
            return find.hFound != nullptr;
        },
        dwTimeout);
    if (!bFound)
        return false;
    m_hDlg = find.hFound;
    // The modal loop is running once the UI thread serves a request. Paints wait for an empty queue,
    // so finish them now: the script starts with the dialog as the user first sees it.
    const HWND hDlg = m_hDlg;
    return OnUi([hDlg] { ::RedrawWindow(hDlg, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN); });
}

void CDialogDriver::ForceEnd()
{
    if (!m_hDlg || !::IsWindow(m_hDlg))
        return;
    const HWND hDlg = m_hDlg;
    OnUi([this, hDlg] {
        if (!::IsWindow(hDlg))
            return;
        std::vector<HWND> dialogs;
        ::EnumThreadWindows(m_dwUiThread, &CollectDialogs, reinterpret_cast<LPARAM>(&dialogs));
        for (HWND h : dialogs)
            if (h != hDlg)
                ::EndDialog(h, IDCANCEL);
        ::EndDialog(hDlg, kForcedEnd);
    });
}

HWND CDialogDriver::Item(int nID) const
{
    HWND hItem = ::GetDlgItem(m_hDlg, nID);
    if (!hItem)
        ADD_FAILURE() << "the dialog has no control " << nID;
    return hItem;
}

bool CDialogDriver::OnUi(const std::function<void()> &fn, DWORD dwTimeout)
{
    auto job = std::make_shared<UiJob>();
    job->fn = fn;
    auto holder = std::make_unique<std::shared_ptr<UiJob>>(job);
    if (!::PostThreadMessageW(m_dwUiThread, RunMessage(), 0, reinterpret_cast<LPARAM>(holder.get())))
    {
        ADD_FAILURE() << "could not post to the UI thread";
        return false;
    }
    holder.release(); // the UI thread frees it
    if (::WaitForSingleObject(job->hDone, dwTimeout) != WAIT_OBJECT_0)
    {
        ADD_FAILURE() << "the UI thread did not run the request in time";
        return false;
    }
    return true;
}

LRESULT CDialogDriver::Send(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) const
{
    DWORD_PTR dwResult = 0;
    if (!::SendMessageTimeoutW(hWnd, nMsg, wParam, lParam, SMTO_NORMAL, kDefaultTimeout, &dwResult))
    {
        ADD_FAILURE() << "message " << nMsg << " was not answered";
        return 0;
    }
    return static_cast<LRESULT>(dwResult);
}

CString CDialogDriver::Text(HWND hWnd) const
{
    const int n = static_cast<int>(Send(hWnd, WM_GETTEXTLENGTH));
    std::wstring buf(size_t(n) + 1, L'\0');
    const int nGot =
        static_cast<int>(Send(hWnd, WM_GETTEXT, WPARAM(n + 1), reinterpret_cast<LPARAM>(&buf[0])));
    return CString(buf.c_str(), nGot);
}

void CDialogDriver::SetText(int nID, const wchar_t *pszText) const
{
    Send(Item(nID), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(pszText));
}

std::vector<CString> CDialogDriver::ListLines(int nID) const
{
    HWND hList = Item(nID);
    std::vector<CString> lines;
    const int n = static_cast<int>(Send(hList, LB_GETCOUNT));
    for (int i = 0; i < n; ++i)
    {
        const int nLen = static_cast<int>(Send(hList, LB_GETTEXTLEN, WPARAM(i)));
        std::wstring buf(size_t(nLen > 0 ? nLen : 0) + 1, L'\0');
        const int nGot =
            static_cast<int>(Send(hList, LB_GETTEXT, WPARAM(i), reinterpret_cast<LPARAM>(&buf[0])));
        lines.emplace_back(buf.c_str(), nGot > 0 ? nGot : 0);
    }
    return lines;
}

HWND CDialogDriver::Focus() const
{
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    ::GetGUIThreadInfo(m_dwUiThread, &info);
    return info.hwndFocus;
}

void CDialogDriver::SetFocus(int nID) const
{
    Send(m_hDlg, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(nID)), TRUE);
}

void CDialogDriver::PressKey(UINT vk) const
{
    HWND hTarget = Focus();
    if (!hTarget)
        hTarget = m_hDlg;
    const UINT nScan = ::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    ::PostMessageW(hTarget, WM_KEYDOWN, vk, static_cast<LPARAM>(1 | (nScan << 16)));
    ::PostMessageW(hTarget, WM_KEYUP, vk, static_cast<LPARAM>(1 | (nScan << 16) | (3u << 30)));
}

HWND CDialogDriver::WaitForOwnedDialog(const wchar_t *pszCaption, DWORD dwTimeout) const
{
    FindOwned find{m_hDlg, pszCaption, nullptr};
    WaitUntil(
        [&] {
            ::EnumThreadWindows(m_dwUiThread, &FindOwnedProc, reinterpret_cast<LPARAM>(&find));
            return find.hFound != nullptr;
        },
        dwTimeout);
    if (!find.hFound)
        ADD_FAILURE() << "no dialog captioned \"" << Narrow(pszCaption ? pszCaption : L"(any)")
                      << "\" appeared";
    return find.hFound;
}

CString CDialogDriver::MessageBoxText(HWND hBox) const
{
    // The message text of a MessageBox is its static control 0xFFFF.
    HWND hText = ::GetDlgItem(hBox, 0xFFFF);
    if (!hText)
    {
        ADD_FAILURE() << "the window has no message text";
        return CString();
    }
    return Text(hText);
}

void CDialogDriver::Answer(HWND hBox, int nButton) const
{
    ::PostMessageW(hBox, WM_COMMAND, MAKEWPARAM(nButton, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(hBox, nButton)));
}

void CDialogDriver::EndDialog(INT_PTR nResult)
{
    const HWND hDlg = m_hDlg;
    OnUi([hDlg, nResult] { ::EndDialog(hDlg, nResult); });
}

bool CDialogDriver::WaitForEnd(DWORD dwTimeout) const
{
    const HWND hDlg = m_hDlg;
    return WaitUntil([hDlg] { return !::IsWindow(hDlg); }, dwTimeout);
}

CDialogTemplate::CDialogTemplate(const wchar_t *pszCaption, short cx, short cy, DWORD dwStyle)
{
    m_words = {LOWORD(dwStyle), HIWORD(dwStyle), 0, 0, 0, 10, 10, WORD(cx), WORD(cy), 0, 0};
    AddString(pszCaption);
    if (dwStyle & DS_SETFONT)
    {
        m_words.push_back(8);
        AddString(L"MS Shell Dlg");
    }
}

CDialogTemplate &CDialogTemplate::Add(const wchar_t *pszClass, int nID, const wchar_t *pszText, DWORD dwStyle,
                                      short x, short y, short cx, short cy)
{
    AlignDword();
    dwStyle |= WS_CHILD | WS_VISIBLE;
    m_words.insert(m_words.end(),
                   {LOWORD(dwStyle), HIWORD(dwStyle), 0, 0, WORD(x), WORD(y), WORD(cx), WORD(cy), WORD(nID)});
    AddString(pszClass);
    AddString(pszText ? pszText : L"");
    m_words.push_back(0); // no creation data
    ++m_words[4];         // cdit
    return *this;
}

void CDialogTemplate::AddString(const wchar_t *psz)
{
    for (; *psz; ++psz)
        m_words.push_back(WORD(*psz));
    m_words.push_back(0);
}

void CDialogTemplate::AlignDword()
{
    if (m_words.size() % 2)
        m_words.push_back(0);
}
