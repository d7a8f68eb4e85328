// tests/support/TempFolder.h: a fresh folder under the temporary path, removed with everything in it.
#pragma once

#include "framework/String.h"

#include <string>

class CTempFolder
{
public:
    CTempFolder();
    ~CTempFolder();
    CTempFolder(const CTempFolder &) = delete;
    CTempFolder &operator=(const CTempFolder &) = delete;

    // The folder, ending in a backslash.
    const CString &Path() const { return m_strPath; }
    CString operator/(const wchar_t *pszName) const { return m_strPath + pszName; }

    // Writes bytes to a file below the folder (sub-folders are created) and returns its full path.
    CString Write(const CString &strRelative, const std::string &bytes) const;
    CString MakeFolder(const CString &strRelative) const;

private:
    CString m_strPath;
};

// File helpers for checking what a test left behind.
bool FileExists(const CString &strPath);
bool FolderExists(const CString &strPath);
std::string ReadAll(const CString &strPath);
void RemoveTree(const CString &strPath);
