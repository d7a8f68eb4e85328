// framework/PathName.h: paths compared as Windows compares the files and folders they name.
#pragma once

#include "framework/String.h"

#include <windows.h>

// Equal as the file system compares names: ordinal, every letter without regard to case (not A-Z only).
bool IsSameName(const CString &strA, const CString &strB);
// strText begins with strStart, compared as IsSameName compares.
bool BeginsWithName(const CString &strText, const CString &strStart);

// The full, long form of a path: relative parts resolved, 8.3 short names turned back, and the "\\?\"
// spellings of drives and shares dropped. Empty when the path has no full form.
CString LongPathName(const CString &strPath);
// The path of an existing file or folder as the system resolves it (links and junctions followed), in the
// plain form of LongPathName; empty when it cannot be opened.
CString FinalPathName(const CString &strPath);
// The same for a file or folder already open.
CString HandlePathName(HANDLE hFile);

// Volume and file index of an existing file: every name of one file (hard links too) has the same.
class CFileIdentity
{
public:
    explicit CFileIdentity(const CString &strPath);

    bool IsValid() const { return m_bValid; }
    // False when either side could not be had.
    bool operator==(const CFileIdentity &other) const;

private:
    bool m_bValid = false;
    DWORD m_dwVolume = 0;
    DWORD m_dwIndexHigh = 0;
    DWORD m_dwIndexLow = 0;
};

// Tells which paths name one given file: any spelling of it, and, where it exists, any other name.
class CFileMatch
{
public:
    explicit CFileMatch(const CString &strPath);

    bool Matches(const CString &strOther) const;

private:
    CString m_strLong;
    CFileIdentity m_identity;
    bool m_bExists = false;
    WIN32_FILE_ATTRIBUTE_DATA m_attributes{};
};
