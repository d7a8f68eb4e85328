// framework/PathName.cpp
#include "framework/PathName.h"

#include <vector>

namespace
{
// Opened with no access rights and every sharing mode: it never gets in the way of a file in use.
// Folders open too (backup semantics).
class CQueryHandle
{
public:
    explicit CQueryHandle(const CString &strPath)
        : m_h(CreateFileW(strPath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr))
    {
    }
    ~CQueryHandle()
    {
        if (m_h != INVALID_HANDLE_VALUE)
            CloseHandle(m_h);
    }
    CQueryHandle(const CQueryHandle &) = delete;
    CQueryHandle &operator=(const CQueryHandle &) = delete;

    bool IsValid() const { return m_h != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_h; }

private:
    HANDLE m_h;
};

// Calls a "fill this buffer, or tell the size it needs" function until the text fits.
template <typename Fill> CString FillBuffer(Fill fill)
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (int nTry = 0; nTry < 4; ++nTry)
    {
        DWORD n = fill(buffer.data(), DWORD(buffer.size()));
        if (n == 0)
            return CString();
        if (n < buffer.size())
            return CString(buffer.data(), int(n));
        buffer.resize(size_t(n) + 1);
    }
    return CString();
}

// "\\?\C:\x" and "\\.\C:\x" are C:\x; "\\?\UNC\server\share" is \\server\share.
CString PlainForm(const CString &strPath)
{
    if (strPath.Left(4) != L"\\\\?\\" && strPath.Left(4) != L"\\\\.\\")
        return strPath;
    if (strPath.Mid(4, 4).CompareNoCase(L"UNC\\") == 0)
        return L"\\\\" + strPath.Mid(8);
    if (strPath.GetLength() >= 6 && strPath[5] == L':')
        return strPath.Mid(4);
    return strPath;
}

CString FullPathName(const CString &strPath)
{
    if (strPath.IsEmpty())
        return CString();
    return FillBuffer([&](wchar_t *p, DWORD n) { return GetFullPathNameW(strPath, n, p, nullptr); });
}

CString ExistingLongName(const CString &strPath)
{
    return FillBuffer([&](wchar_t *p, DWORD n) { return GetLongPathNameW(strPath, p, n); });
}
} // namespace

bool IsSameName(const CString &strA, const CString &strB)
{
    return CompareStringOrdinal(strA, strA.GetLength(), strB, strB.GetLength(), TRUE) == CSTR_EQUAL;
}

bool BeginsWithName(const CString &strText, const CString &strStart)
{
    return strText.GetLength() >= strStart.GetLength() &&
           CompareStringOrdinal(strText, strStart.GetLength(), strStart, strStart.GetLength(), TRUE) ==
               CSTR_EQUAL;
}

CString LongPathName(const CString &strPath)
{
    const CString strFull = PlainForm(FullPathName(strPath));
    // Only a name with a '~' can be a short alias: the usual path costs no look-up on disk.
    if (strFull.Find(L'~') < 0)
        return strFull;
    CString strLong = ExistingLongName(strFull);
    if (!strLong.IsEmpty())
        return PlainForm(strLong);
    // A file yet to be made: its folder may still be spelled short.
    const int nSlash = strFull.ReverseFind(L'\\');
    if (nSlash <= 0)
        return strFull;
    strLong = ExistingLongName(strFull.Left(nSlash + 1));
    if (strLong.IsEmpty())
        return strFull;
    if (strLong[strLong.GetLength() - 1] != L'\\')
        strLong += L'\\';
    return PlainForm(strLong) + strFull.Mid(nSlash + 1);
}

CString FinalPathName(const CString &strPath)
{
    if (strPath.IsEmpty())
        return CString();
    CQueryHandle h(strPath);
    if (!h.IsValid())
        return CString();
    return HandlePathName(h.Get());
}

CString HandlePathName(HANDLE hFile)
{
    return PlainForm(FillBuffer([&](wchar_t *p, DWORD n) {
        return GetFinalPathNameByHandleW(hFile, p, n, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }));
}

CFileIdentity::CFileIdentity(const CString &strPath)
{
    if (strPath.IsEmpty())
        return;
    CQueryHandle h(strPath);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!h.IsValid() || !GetFileInformationByHandle(h.Get(), &info))
        return;
    // Some network file systems give every file the index 0: that tells nothing.
    if (info.nFileIndexHigh == 0 && info.nFileIndexLow == 0)
        return;
    m_bValid = true;
    m_dwVolume = info.dwVolumeSerialNumber;
    m_dwIndexHigh = info.nFileIndexHigh;
    m_dwIndexLow = info.nFileIndexLow;
}

bool CFileIdentity::operator==(const CFileIdentity &other) const
{
    return m_bValid && other.m_bValid && m_dwVolume == other.m_dwVolume &&
           m_dwIndexHigh == other.m_dwIndexHigh && m_dwIndexLow == other.m_dwIndexLow;
}

CFileMatch::CFileMatch(const CString &strPath) : m_strLong(LongPathName(strPath)), m_identity(strPath)
{
    m_bExists = m_identity.IsValid() && GetFileAttributesExW(strPath, GetFileExInfoStandard, &m_attributes);
}

bool CFileMatch::Matches(const CString &strOther) const
{
    if (!m_strLong.IsEmpty() && IsSameName(LongPathName(strOther), m_strLong))
        return true;
    // Only a file that exists has other names. One file has one size and one time of its last change, so
    // only a file that shares them needs the costlier open for its identity; a symbolic link tells its own.
    WIN32_FILE_ATTRIBUTE_DATA other;
    if (!m_bExists || !GetFileAttributesExW(strOther, GetFileExInfoStandard, &other))
        return false;
    const bool bLink = (other.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const bool bAlike = other.nFileSizeLow == m_attributes.nFileSizeLow &&
                        other.nFileSizeHigh == m_attributes.nFileSizeHigh &&
                        CompareFileTime(&other.ftLastWriteTime, &m_attributes.ftLastWriteTime) == 0;
    return (bLink || bAlike) && CFileIdentity(strOther) == m_identity;
}
