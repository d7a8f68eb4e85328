// tests/support/MainDialog.cpp
#include "tests/support/MainDialog.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <process.h>

namespace
{
constexpr wchar_t kSyncClass[] = L"FendralTestSync";
constexpr UINT WM_TEST_SYNC = WM_APP + 1;

struct FindData
{
    HWND hExclude;
    const wchar_t *pszCaption; // null: any caption
    const wchar_t *pszClass;   // null: any class
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND hWnd, LPARAM lParam)
{
    auto *pData = reinterpret_cast<FindData *>(lParam);
    if (hWnd == pData->hExclude || !::IsWindowVisible(hWnd))
        return TRUE;
    if (pData->pszClass)
    {
        wchar_t szClass[64] = L"";
        ::GetClassNameW(hWnd, szClass, 64);
        if (wcscmp(szClass, pData->pszClass) != 0)
            return TRUE;
    }
    if (pData->pszCaption && CMainDialog::WindowText(hWnd) != pData->pszCaption)
        return TRUE;
    pData->found.push_back(hWnd);
    return TRUE;
}

std::vector<HWND> ThreadWindows(DWORD nThreadId, HWND hExclude, const wchar_t *pszCaption,
                                const wchar_t *pszClass)
{
    FindData data{hExclude, pszCaption, pszClass, {}};
    ::EnumThreadWindows(nThreadId, &CollectWindow, reinterpret_cast<LPARAM>(&data));
    return data.found;
}

bool ReadEnv(const wchar_t *pszName, CString &rValue)
{
    const DWORD n = ::GetEnvironmentVariableW(pszName, nullptr, 0);
    if (n == 0)
        return false;
    const DWORD nGot = ::GetEnvironmentVariableW(pszName, rValue.GetBuffer(int(n)), n);
    rValue.ReleaseBuffer(nGot < n ? int(nGot) : 0);
    return true;
}
} // namespace

CMainDialog::CMainDialog(CDialog &dlg) : m_fnRun([&dlg] { return dlg.DoModal(); }), m_pDlg(&dlg)
{
    Start();
}

CMainDialog::CMainDialog(std::function<INT_PTR()> fnRun) : m_fnRun(std::move(fnRun))
{
    Start();
}

void CMainDialog::Start()
{
    static const ATOM s_atom = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &CMainDialog::SyncWndProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = kSyncClass;
        return ::RegisterClassW(&wc);
    }();
    (void)s_atom;
    m_hReady = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_hSynced = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    m_hThread = reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, &CMainDialog::ThreadEntry, this, 0, &m_nThreadId));
    if (!m_hThread)
        return;
    const HANDLE handles[] = {m_hReady, m_hThread};
    if (::WaitForMultipleObjects(2, handles, FALSE, 10000) != WAIT_OBJECT_0 || !m_hSync)
        return;
    // The sync message is handled by the modal loop, so the dialog has been set up when it returns.
    if (!Sync())
        return;
    if (m_pDlg)
        m_hDlg = m_pDlg->GetSafeHwnd();
    else
        WaitUntil([this] {
            const auto dialogs = ThreadWindows(m_nThreadId, nullptr, nullptr, L"#32770");
            m_hDlg = dialogs.empty() ? nullptr : dialogs.front();
            return m_hDlg != nullptr || HasEnded();
        });
    if (!m_hDlg)
        return;
    // The window manager activates a new window a little later; input sent before that is lost to the
    // focus change that activation brings.
    WaitUntil(
        [this] {
            GUITHREADINFO info{};
            info.cbSize = sizeof(info);
            return HasEnded() || (::GetGUIThreadInfo(m_nThreadId, &info) && info.hwndActive == m_hDlg);
        },
        5000);
    Sync();
}

CMainDialog::~CMainDialog()
{
    if (m_hThread)
    {
        for (int nTry = 0; nTry < 50 && !HasEnded(); ++nTry)
        {
            // Message boxes and nested dialogs first: the main dialog is disabled while they are up.
            for (HWND hWnd : OtherWindows())
                ::PostMessageW(hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            if (m_hDlg && ::IsWindow(m_hDlg) && ::IsWindowEnabled(m_hDlg))
                ::PostMessageW(m_hDlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            ::WaitForSingleObject(m_hThread, 200);
        }
        if (::WaitForSingleObject(m_hThread, 30000) != WAIT_OBJECT_0)
        {
            // The dialog object is about to go away under a running dialog: nothing sane is left to do.
            std::fputs("CMainDialog: the dialog did not end\n", stderr);
            std::abort();
        }
        ::CloseHandle(m_hThread);
    }
    if (m_hReady)
        ::CloseHandle(m_hReady);
    if (m_hSynced)
        ::CloseHandle(m_hSynced);
}

unsigned __stdcall CMainDialog::ThreadEntry(void *pThis)
{
    auto *p = static_cast<CMainDialog *>(pThis);
    p->m_hSync = ::CreateWindowExW(0, kSyncClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   ::GetModuleHandleW(nullptr), nullptr);
    if (p->m_hSync)
        ::SetWindowLongPtrW(p->m_hSync, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(p->m_hSynced));
    ::SetEvent(p->m_hReady);
    if (!p->m_hSync)
        return 1;
    try
    {
        p->m_nResult = p->m_fnRun();
    }
    catch (const std::exception &e)
    {
        std::fprintf(stderr, "CMainDialog: exception on the UI thread: %s\n", e.what());
        p->m_nResult = -1;
    }
    catch (...)
    {
        std::fputs("CMainDialog: exception on the UI thread\n", stderr);
        p->m_nResult = -1;
    }
    ::DestroyWindow(p->m_hSync);
    return 0;
}

LRESULT CALLBACK CMainDialog::SyncWndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    if (nMsg == WM_TEST_SYNC)
    {
        ::SetEvent(reinterpret_cast<HANDLE>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA)));
        return 0;
    }
    return ::DefWindowProcW(hWnd, nMsg, wParam, lParam);
}

bool CMainDialog::Sync(DWORD dwTimeoutMs) const
{
    if (!m_hThread || HasEnded() || !::PostMessageW(m_hSync, WM_TEST_SYNC, 0, 0))
        return false;
    const HANDLE handles[] = {m_hSynced, m_hThread};
    return ::WaitForMultipleObjects(2, handles, FALSE, dwTimeoutMs) == WAIT_OBJECT_0;
}

void CMainDialog::SetText(int nID, const wchar_t *pszText) const
{
    ::SendMessageW(Item(nID), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(pszText));
}

int CMainDialog::Check(int nID) const
{
    return static_cast<int>(::SendMessageW(Item(nID), BM_GETCHECK, 0, 0));
}

std::vector<CString> CMainDialog::ListLines(int nID) const
{
    std::vector<CString> lines;
    HWND hList = Item(nID);
    const int nCount = static_cast<int>(::SendMessageW(hList, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < nCount; ++i)
    {
        const int nLen = static_cast<int>(::SendMessageW(hList, LB_GETTEXTLEN, WPARAM(i), 0));
        CString strLine;
        if (nLen > 0)
        {
            const int nGot = static_cast<int>(::SendMessageW(
                hList, LB_GETTEXT, WPARAM(i), reinterpret_cast<LPARAM>(strLine.GetBuffer(nLen + 1))));
            strLine.ReleaseBuffer(nGot > 0 ? nGot : 0);
        }
        lines.push_back(strLine);
    }
    return lines;
}

HWND CMainDialog::Focus() const
{
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    return ::GetGUIThreadInfo(m_nThreadId, &info) ? info.hwndFocus : nullptr;
}

void CMainDialog::Click(int nID) const
{
    // What a click does, without the mouse: under Wine a real BM_CLICK takes the focus and the mouse
    // capture, and another test process activating its own window at that moment swallows the click.
    HWND hButton = Item(nID);
    if (!::IsWindowEnabled(hButton))
        return;
    const LONG_PTR nType = ::GetWindowLongPtrW(hButton, GWL_STYLE) & BS_TYPEMASK;
    if (nType == BS_AUTOCHECKBOX)
    {
        const LRESULT nCheck = ::SendMessageW(hButton, BM_GETCHECK, 0, 0);
        ::SendMessageW(hButton, BM_SETCHECK, nCheck == BST_UNCHECKED ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    else if (nType == BS_AUTORADIOBUTTON)
    {
        // The dialog's radios form one group: the clicked one is ticked, every other one cleared.
        for (HWND hChild = ::GetWindow(m_hDlg, GW_CHILD); hChild; hChild = ::GetWindow(hChild, GW_HWNDNEXT))
        {
            wchar_t szClass[16] = L"";
            ::GetClassNameW(hChild, szClass, 16);
            if (_wcsicmp(szClass, L"Button") == 0 &&
                (::GetWindowLongPtrW(hChild, GWL_STYLE) & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
                ::SendMessageW(hChild, BM_SETCHECK, hChild == hButton ? BST_CHECKED : BST_UNCHECKED, 0);
        }
    }
    ::PostMessageW(m_hDlg, WM_COMMAND, MAKEWPARAM(nID, BN_CLICKED), reinterpret_cast<LPARAM>(hButton));
    Sync();
}

void CMainDialog::PressKey(UINT nVirtualKey, HWND hWnd) const
{
    if (!hWnd)
        hWnd = Focus();
    ::PostMessageW(hWnd, WM_KEYDOWN, nVirtualKey, 1);
    ::PostMessageW(hWnd, WM_KEYUP, nVirtualKey, static_cast<LPARAM>(0xC0000001u));
    Sync();
}

void CMainDialog::Post(UINT nMsg, WPARAM wParam, LPARAM lParam) const
{
    ::PostMessageW(m_hDlg, nMsg, wParam, lParam);
    Sync();
}

std::vector<HWND> CMainDialog::OtherWindows() const
{
    return ThreadWindows(m_nThreadId, m_hDlg, nullptr, nullptr);
}

HWND CMainDialog::WaitForWindow(const wchar_t *pszCaption, DWORD dwTimeoutMs) const
{
    HWND hFound = nullptr;
    WaitUntil(
        [&] {
            const auto windows = ThreadWindows(m_nThreadId, m_hDlg, pszCaption, nullptr);
            hFound = windows.empty() ? nullptr : windows.front();
            return hFound != nullptr;
        },
        dwTimeoutMs);
    return hFound;
}

bool CMainDialog::AnswerMessageBox(const wchar_t *pszCaption, int nButton, CString *pstrText,
                                   DWORD dwTimeoutMs) const
{
    HWND hBox = WaitForWindow(pszCaption, dwTimeoutMs);
    if (!hBox)
        return false;
    // A message box shows its text in the static control 0xFFFF.
    if (pstrText)
        *pstrText = WindowText(::GetDlgItem(hBox, 0xFFFF));
    ::PostMessageW(hBox, WM_COMMAND, MAKEWPARAM(nButton, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(hBox, nButton)));
    WaitUntil([hBox] { return !::IsWindow(hBox); }, dwTimeoutMs);
    Sync();
    return true;
}

bool CMainDialog::HasEnded() const
{
    return !m_hThread || ::WaitForSingleObject(m_hThread, 0) == WAIT_OBJECT_0;
}

bool CMainDialog::WaitForEnd(DWORD dwTimeoutMs, INT_PTR *pnResult) const
{
    if (!m_hThread || ::WaitForSingleObject(m_hThread, dwTimeoutMs) != WAIT_OBJECT_0)
        return false;
    if (pnResult)
        *pnResult = m_nResult;
    return true;
}

bool CMainDialog::WaitUntil(const std::function<bool()> &pred, DWORD dwTimeoutMs)
{
    const ULONGLONG nEnd = ::GetTickCount64() + dwTimeoutMs;
    for (;;)
    {
        if (pred())
            return true;
        if (::GetTickCount64() >= nEnd)
            return false;
        ::Sleep(10);
    }
}

CString CMainDialog::WindowText(HWND hWnd)
{
    CString str;
    if (!hWnd)
        return str;
    const int n = ::GetWindowTextLengthW(hWnd);
    if (n > 0)
    {
        const int nGot = ::GetWindowTextW(hWnd, str.GetBuffer(n + 1), n + 1);
        str.ReleaseBuffer(nGot > 0 ? nGot : 0);
    }
    return str;
}

CTempPathOverride::CTempPathOverride(const CString &strFolder)
{
    m_bHadTmp = ReadEnv(L"TMP", m_strOldTmp);
    m_bHadTemp = ReadEnv(L"TEMP", m_strOldTemp);
    ::SetEnvironmentVariableW(L"TMP", strFolder);
    ::SetEnvironmentVariableW(L"TEMP", strFolder);
}

CTempPathOverride::~CTempPathOverride()
{
    ::SetEnvironmentVariableW(L"TMP", m_bHadTmp ? m_strOldTmp.GetString() : nullptr);
    ::SetEnvironmentVariableW(L"TEMP", m_bHadTemp ? m_strOldTemp.GetString() : nullptr);
}

CCurrentFolderOverride::CCurrentFolderOverride(const CString &strFolder)
{
    const DWORD n = ::GetCurrentDirectoryW(0, nullptr);
    if (n > 0)
    {
        const DWORD nGot = ::GetCurrentDirectoryW(n, m_strOld.GetBuffer(int(n)));
        m_strOld.ReleaseBuffer(nGot < n ? int(nGot) : 0);
    }
    ::SetCurrentDirectoryW(strFolder);
}

CCurrentFolderOverride::~CCurrentFolderOverride()
{
    if (!m_strOld.IsEmpty())
        ::SetCurrentDirectoryW(m_strOld);
}
