// framework/FileFind.h: CFileFind, a search of one folder for a name pattern.
#pragma once

#include "framework/String.h"

#include <windows.h>

// Owns a FindFirstFileW handle.
class CFindHandle
{
public:
    CFindHandle() = default;
    explicit CFindHandle(HANDLE h) : m_h(h) {}
    ~CFindHandle() { Close(); }
    CFindHandle(const CFindHandle &) = delete;
    CFindHandle &operator=(const CFindHandle &) = delete;
    CFindHandle(CFindHandle &&other) noexcept : m_h(other.m_h) { other.m_h = INVALID_HANDLE_VALUE; }
    CFindHandle &operator=(CFindHandle &&other) noexcept;

    bool IsValid() const { return m_h != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_h; }
    void Close();

private:
    HANDLE m_h = INVALID_HANDLE_VALUE;
};

// The search is always one entry ahead: FindNextFile moves to the entry read last time and reports
// whether another one follows, so the caller loops
//   BOOL bWorking = ff.FindFile(pattern);
//   while (bWorking) { bWorking = ff.FindNextFile(); ...use the entry... }
class CFileFind
{
public:
    CFileFind() = default;
    CFileFind(const CFileFind &) = delete;
    CFileFind &operator=(const CFileFind &) = delete;

    // FALSE when nothing matches, the folder cannot be searched or the pattern has 260 or more characters.
    BOOL FindFile(LPCTSTR pszName = L"*.*", DWORD dwUnused = 0);
    BOOL FindNextFile();
    void Close();

    // Valid after a FindNextFile; before that the entry is empty.
    CString GetFileName() const { return CString(m_found.cFileName); }
    // The searched folder in its full form, a backslash, then the entry's name.
    CString GetFilePath() const;
    CString GetRoot() const { return m_strRoot; }
    ULONGLONG GetLength() const { return (ULONGLONG(m_found.nFileSizeHigh) << 32) | m_found.nFileSizeLow; }
    BOOL MatchesMask(DWORD dwMask) const { return (m_found.dwFileAttributes & dwMask) != 0; }
    BOOL IsDirectory() const { return MatchesMask(FILE_ATTRIBUTE_DIRECTORY); }
    BOOL IsDots() const;

private:
    CFindHandle m_hFind;
    CString m_strRoot;
    WIN32_FIND_DATAW m_found = {};
    WIN32_FIND_DATAW m_next = {};
};
