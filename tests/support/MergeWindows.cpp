// tests/support/MergeWindows.cpp
#include "tests/support/MergeWindows.h"

#include "tests/support/TempFolder.h"

#include <commctrl.h>

CMergeWindows::CMergeWindows()
{
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    HINSTANCE hInst = GetModuleHandleW(nullptr);
    m_hList = CreateWindowExW(0, L"LISTBOX", L"", WS_POPUP | WS_VSCROLL, 0, 0, 300, 200, nullptr, nullptr,
                              hInst, nullptr);
    m_hProgress =
        CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_POPUP, 0, 0, 300, 20, nullptr, nullptr, hInst, nullptr);
    SendMessageW(m_hProgress, PBM_SETRANGE32, 0, 100);
    SetWindowLongPtrW(m_hProgress, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_pfnProgress = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        m_hProgress, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CMergeWindows::ProgressProc)));
}

CMergeWindows::~CMergeWindows()
{
    if (m_hProgress)
        DestroyWindow(m_hProgress);
    if (m_hList)
        DestroyWindow(m_hList);
}

LRESULT CALLBACK CMergeWindows::ProgressProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    auto *pThis = reinterpret_cast<CMergeWindows *>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (nMsg == PBM_SETPOS)
        pThis->m_positions.push_back(static_cast<int>(wParam));
    return CallWindowProcW(pThis->m_pfnProgress, hWnd, nMsg, wParam, lParam);
}

std::vector<CString> CMergeWindows::Lines() const
{
    return UnstampedLines(m_hList);
}

CString Unstamped(const CString &strLine)
{
    // "[hh:mm:ss] " is 11 characters.
    if (strLine.GetLength() >= 11 && strLine[0] == L'[' && strLine[9] == L']' && strLine[10] == L' ')
        return strLine.Mid(11);
    return strLine;
}

std::vector<CString> UnstampedLines(HWND hList)
{
    std::vector<CString> lines;
    const int n = static_cast<int>(SendMessageW(hList, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i)
    {
        const int nLength = static_cast<int>(SendMessageW(hList, LB_GETTEXTLEN, WPARAM(i), 0));
        CString strLine;
        if (nLength > 0)
        {
            SendMessageW(hList, LB_GETTEXT, WPARAM(i),
                         reinterpret_cast<LPARAM>(strLine.GetBuffer(nLength + 1)));
            strLine.ReleaseBuffer(nLength);
        }
        lines.push_back(Unstamped(strLine));
    }
    return lines;
}

std::string Concat(const std::vector<CString> &files)
{
    std::string all;
    for (const CString &f : files)
        all += ReadAll(f);
    return all;
}
