// framework/FileDialog.h: the system's open and save dialogs.
//
// A test can answer the dialog in place of the user: SetPickHook installs a function that receives
// the prepared OPENFILENAMEW (filter already in its NUL-separated form) and fills lpstrFile as the
// system would; its result stands for the system call's.
#pragma once

#include "framework/String.h"
#include "framework/Wnd.h"

#include <commdlg.h>
#include <functional>
#include <string>
#include <vector>
#include <windows.h>

class CFileDialog
{
public:
    // lpszFilter: "text|pattern|text|pattern||". dwSize 0 means sizeof(OPENFILENAMEW).
    explicit CFileDialog(BOOL bOpenFileDialog, LPCTSTR lpszDefExt = nullptr, LPCTSTR lpszFileName = nullptr,
                         DWORD dwFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCTSTR lpszFilter = nullptr,
                         CWnd *pParentWnd = nullptr, DWORD dwSize = 0, BOOL bVistaStyle = TRUE);
    virtual ~CFileDialog() = default;
    CFileDialog(const CFileDialog &) = delete;
    CFileDialog &operator=(const CFileDialog &) = delete;

    // IDOK when the user accepted a file, IDCANCEL otherwise.
    virtual INT_PTR DoModal();
    // The accepted file's full path.
    CString GetPathName() const;
    // The accepted file's name without its folder.
    CString GetFileName() const;

    BOOL IsOpenFileDialog() const { return m_bOpenFileDialog; }
    BOOL IsVistaStyle() const { return m_bVistaStyle; }

    // The structure handed to the system. Its pointers refer to this object's own buffers.
    OPENFILENAMEW m_ofn;

    using PickHook = std::function<BOOL(const CFileDialog &dlg, OPENFILENAMEW &ofn)>;
    // Replaces the system dialogs for every CFileDialog until reset with an empty hook; returns the
    // previous one.
    static PickHook SetPickHook(PickHook hook);

private:
    BOOL m_bOpenFileDialog;
    BOOL m_bVistaStyle;
    CWnd *m_pParentWnd;
    std::wstring m_strDefExt;
    std::wstring m_strFilter; // NUL-separated, double-NUL terminated
    std::vector<wchar_t> m_bufFile;
};
