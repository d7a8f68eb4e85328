// framework/FileDialog.cpp: the system's open and save dialogs.
#include "framework/FileDialog.h"

#include "framework/App.h"

#include <mutex>

namespace
{
// Long enough for paths beyond MAX_PATH that the dialog may still return.
constexpr size_t kFileBufferChars = 4096;

std::mutex g_hookMutex;
CFileDialog::PickHook g_hook;

CFileDialog::PickHook CurrentHook()
{
    std::lock_guard<std::mutex> lock(g_hookMutex);
    return g_hook;
}
} // namespace

CFileDialog::CFileDialog(BOOL bOpenFileDialog, LPCTSTR lpszDefExt, LPCTSTR lpszFileName, DWORD dwFlags,
                         LPCTSTR lpszFilter, CWnd *pParentWnd, DWORD dwSize, BOOL bVistaStyle)
    : m_ofn(), m_bOpenFileDialog(bOpenFileDialog), m_bVistaStyle(bVistaStyle), m_pParentWnd(pParentWnd),
      m_bufFile(kFileBufferChars, L'\0')
{
    m_ofn.lStructSize = (dwSize == 0 || dwSize > sizeof(OPENFILENAMEW)) ? sizeof(OPENFILENAMEW) : dwSize;
    m_ofn.Flags = dwFlags;
    if (lpszDefExt)
    {
        m_strDefExt = lpszDefExt;
        m_ofn.lpstrDefExt = m_strDefExt.c_str();
    }
    if (lpszFileName)
        lstrcpynW(m_bufFile.data(), lpszFileName, static_cast<int>(m_bufFile.size()));
    m_ofn.lpstrFile = m_bufFile.data();
    m_ofn.nMaxFile = static_cast<DWORD>(m_bufFile.size());
    if (lpszFilter)
    {
        // The system wants "text\0pattern\0...\0\0"; the "||" at the end gives the closing pair.
        m_strFilter = lpszFilter;
        for (wchar_t &ch : m_strFilter)
        {
            if (ch == L'|')
                ch = L'\0';
        }
        m_strFilter.push_back(L'\0');
        m_ofn.lpstrFilter = m_strFilter.c_str();
    }
}

INT_PTR CFileDialog::DoModal()
{
    // With no parent the application's main window owns it, as with CDialog::DoModal: the active
    // window is null while the program is in the background, and an unowned picker would leave the
    // main window open to input.
    HWND hOwner = m_pParentWnd ? m_pParentWnd->GetSafeHwnd() : nullptr;
    if (!m_pParentWnd)
    {
        if (CWinApp *pApp = AfxGetApp(); pApp && pApp->m_pMainWnd)
            hOwner = pApp->m_pMainWnd->GetSafeHwnd();
        if (!hOwner)
            hOwner = ::GetActiveWindow();
    }
    m_ofn.hwndOwner = hOwner;
    BOOL bOk;
    if (PickHook hook = CurrentHook())
        bOk = hook(*this, m_ofn);
    else
        bOk = m_bOpenFileDialog ? ::GetOpenFileNameW(&m_ofn) : ::GetSaveFileNameW(&m_ofn);
    return bOk ? IDOK : IDCANCEL;
}

CString CFileDialog::GetPathName() const
{
    return CString(m_bufFile.data());
}

CString CFileDialog::GetFileName() const
{
    CString strPath = GetPathName();
    int nSlash = strPath.ReverseFind(L'\\');
    return nSlash < 0 ? strPath : strPath.Mid(nSlash + 1);
}

CFileDialog::PickHook CFileDialog::SetPickHook(PickHook hook)
{
    std::lock_guard<std::mutex> lock(g_hookMutex);
    PickHook previous = std::move(g_hook);
    g_hook = std::move(hook);
    return previous;
}
