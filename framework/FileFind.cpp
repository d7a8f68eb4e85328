// framework/FileFind.cpp
#include "framework/FileFind.h"

#include <cwchar>
#include <utility>

CFindHandle &CFindHandle::operator=(CFindHandle &&other) noexcept
{
    if (this != &other)
    {
        Close();
        m_h = other.m_h;
        other.m_h = INVALID_HANDLE_VALUE;
    }
    return *this;
}

void CFindHandle::Close()
{
    if (m_h != INVALID_HANDLE_VALUE)
        FindClose(m_h);
    m_h = INVALID_HANDLE_VALUE;
}

BOOL CFileFind::FindFile(LPCTSTR pszName, DWORD /*dwUnused*/)
{
    Close();
    if (!pszName)
        pszName = L"*.*";
    if (wcslen(pszName) >= MAX_PATH)
    {
        SetLastError(ERROR_BAD_ARGUMENTS);
        return FALSE;
    }

    CFindHandle hFind(FindFirstFileW(pszName, &m_next));
    if (!hFind.IsValid())
        return FALSE;

    // The root is the full form of the pattern's folder part; the full form also folds a doubled
    // backslash ("C:\a\\*.*") into one.
    DWORD dwLength = GetFullPathNameW(pszName, 0, nullptr, nullptr);
    if (dwLength == 0)
    {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    CString strFull;
    DWORD dwWritten = GetFullPathNameW(pszName, dwLength, strFull.GetBuffer(int(dwLength)), nullptr);
    if (dwWritten == 0 || dwWritten >= dwLength)
    {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    strFull.ReleaseBuffer(int(dwWritten));
    int nSlash = strFull.ReverseFind(L'\\');
    int nForward = strFull.ReverseFind(L'/');
    if (nForward > nSlash)
        nSlash = nForward;
    m_strRoot = strFull.Left(nSlash + 1);
    m_hFind = std::move(hFind);
    return TRUE;
}

BOOL CFileFind::FindNextFile()
{
    if (!m_hFind.IsValid())
        return FALSE;
    m_found = m_next;
    if (::FindNextFileW(m_hFind.Get(), &m_next))
        return TRUE;
    m_next = WIN32_FIND_DATAW();
    return FALSE;
}

void CFileFind::Close()
{
    m_hFind.Close();
    m_strRoot.Empty();
    m_found = WIN32_FIND_DATAW();
    m_next = WIN32_FIND_DATAW();
}

CString CFileFind::GetFilePath() const
{
    CString strPath = m_strRoot;
    int nLength = strPath.GetLength();
    if (nLength == 0 || (strPath[nLength - 1] != L'\\' && strPath[nLength - 1] != L'/'))
        strPath += L'\\';
    return strPath + m_found.cFileName;
}

BOOL CFileFind::IsDots() const
{
    if (!IsDirectory())
        return FALSE;
    const wchar_t *psz = m_found.cFileName;
    return psz[0] == L'.' && (psz[1] == L'\0' || (psz[1] == L'.' && psz[2] == L'\0'));
}
