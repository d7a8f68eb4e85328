// framework/File.cpp
#include "framework/File.h"

#include <limits>
#include <utility>
#include <vector>

int CFileException::OsErrorToException(LONG lOsError)
{
    switch (lOsError)
    {
    case NO_ERROR:
        return none;
    case ERROR_FILE_NOT_FOUND:
        return fileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
        return badPath;
    case ERROR_TOO_MANY_OPEN_FILES:
        return tooManyOpenFiles;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return accessDenied;
    case ERROR_INVALID_HANDLE:
        return invalidFile;
    case ERROR_CURRENT_DIRECTORY:
        return removeCurrentDir;
    case ERROR_CANNOT_MAKE:
        return directoryFull;
    case ERROR_SEEK:
    case ERROR_NEGATIVE_SEEK:
        return badSeek;
    case ERROR_SHARING_VIOLATION:
        return sharingViolation;
    case ERROR_LOCK_VIOLATION:
        return lockViolation;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return diskFull;
    case ERROR_HANDLE_EOF:
        return endOfFile;
    default:
        return genericException;
    }
}

void CFileException::ThrowOsError(LONG lOsError, LPCTSTR pszFileName)
{
    throw CFileException(OsErrorToException(lOsError), lOsError, pszFileName);
}

CFile::~CFile()
{
    Abort();
}

CFile::CFile(CFile &&other) noexcept
    : m_hFile(std::exchange(other.m_hFile, INVALID_HANDLE_VALUE)),
      m_strFileName(std::move(other.m_strFileName))
{
}

CFile &CFile::operator=(CFile &&other) noexcept
{
    if (this != &other)
    {
        Abort();
        m_hFile = std::exchange(other.m_hFile, INVALID_HANDLE_VALUE);
        m_strFileName = std::move(other.m_strFileName);
    }
    return *this;
}

BOOL CFile::Open(LPCTSTR pszFileName, UINT nOpenFlags, CFileException *pError)
{
    Abort();

    DWORD dwAccess = 0;
    switch (nOpenFlags & 3)
    {
    case modeRead:
        dwAccess = GENERIC_READ;
        break;
    case modeWrite:
        dwAccess = GENERIC_WRITE;
        break;
    default:
        dwAccess = GENERIC_READ | GENERIC_WRITE;
        break;
    }

    // Compatibility mode shares nothing, like exclusive mode.
    DWORD dwShare = 0;
    switch (nOpenFlags & 0x70)
    {
    case shareDenyWrite:
        dwShare = FILE_SHARE_READ;
        break;
    case shareDenyRead:
        dwShare = FILE_SHARE_WRITE;
        break;
    case shareDenyNone:
        dwShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
        break;
    default:
        break;
    }

    DWORD dwCreate = OPEN_EXISTING;
    if (nOpenFlags & modeCreate)
        dwCreate = (nOpenFlags & modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;

    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, (nOpenFlags & modeNoInherit) ? FALSE : TRUE};
    HANDLE h = pszFileName ? CreateFileW(pszFileName, dwAccess, dwShare, &sa, dwCreate, FILE_ATTRIBUTE_NORMAL,
                                         nullptr)
                           : INVALID_HANDLE_VALUE;
    if (h == INVALID_HANDLE_VALUE)
    {
        if (pError)
        {
            LONG lError = pszFileName ? LONG(GetLastError()) : LONG(ERROR_INVALID_NAME);
            *pError = CFileException(CFileException::OsErrorToException(lError), lError, pszFileName);
        }
        return FALSE;
    }
    m_hFile = h;
    m_strFileName = pszFileName;
    return TRUE;
}

UINT CFile::Read(void *pBuffer, UINT nCount)
{
    if (nCount == 0)
        return 0;
    DWORD dwRead = 0;
    if (!ReadFile(m_hFile, pBuffer, nCount, &dwRead, nullptr))
        CFileException::ThrowOsError(LONG(GetLastError()), m_strFileName);
    return dwRead;
}

void CFile::Write(const void *pBuffer, UINT nCount)
{
    if (nCount == 0)
        return;
    DWORD dwWritten = 0;
    if (!WriteFile(m_hFile, pBuffer, nCount, &dwWritten, nullptr))
        CFileException::ThrowOsError(LONG(GetLastError()), m_strFileName);
    // WriteFile succeeds with a short count when the disk fills.
    if (dwWritten < nCount)
        throw CFileException(CFileException::diskFull, ERROR_DISK_FULL, m_strFileName);
}

ULONGLONG CFile::GetLength() const
{
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(m_hFile, &size))
        CFileException::ThrowOsError(LONG(GetLastError()), m_strFileName);
    return ULONGLONG(size.QuadPart);
}

ULONGLONG CFile::GetPosition() const
{
    LARGE_INTEGER zero{}, pos{};
    if (!SetFilePointerEx(m_hFile, zero, &pos, FILE_CURRENT))
        CFileException::ThrowOsError(LONG(GetLastError()), m_strFileName);
    return ULONGLONG(pos.QuadPart);
}

ULONGLONG CFile::Seek(LONGLONG lOffset, UINT nFrom)
{
    LARGE_INTEGER dist{}, pos{};
    dist.QuadPart = lOffset;
    if (!SetFilePointerEx(m_hFile, dist, &pos, nFrom))
        CFileException::ThrowOsError(LONG(GetLastError()), m_strFileName);
    return ULONGLONG(pos.QuadPart);
}

void CFile::Flush()
{
    if (!FlushFileBuffers(m_hFile))
        CFileException::ThrowOsError(LONG(GetLastError()), m_strFileName);
}

void CFile::Close()
{
    HANDLE h = std::exchange(m_hFile, INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE && !CloseHandle(h))
        CFileException::ThrowOsError(LONG(GetLastError()), m_strFileName);
}

void CFile::Abort()
{
    HANDLE h = std::exchange(m_hFile, INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
}

CString DecodeUtf8OrAnsi(const char *pData, size_t nBytes)
{
    if (nBytes >= 3 && (unsigned char)pData[0] == 0xEF && (unsigned char)pData[1] == 0xBB &&
        (unsigned char)pData[2] == 0xBF)
    {
        pData += 3;
        nBytes -= 3;
    }
    if (nBytes == 0)
        return CString();
    if (nBytes > size_t(std::numeric_limits<int>::max()))
        return CString();
    int cb = int(nBytes);
    UINT cp = CP_UTF8;
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, pData, cb, nullptr, 0);
    if (n <= 0)
    {
        cp = CP_ACP;
        n = MultiByteToWideChar(CP_ACP, 0, pData, cb, nullptr, 0);
        if (n <= 0)
            return CString();
    }
    std::wstring out(size_t(n), L'\0');
    MultiByteToWideChar(cp, cp == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0, pData, cb, &out[0], n);
    return CString(std::move(out));
}

BOOL CStdioFile::Open(LPCTSTR pszFileName, UINT nOpenFlags, CFileException *pError)
{
    m_bLoaded = false;
    m_text.clear();
    m_nPos = 0;
    return CFile::Open(pszFileName, nOpenFlags, pError);
}

void CStdioFile::Close()
{
    m_bLoaded = false;
    m_text.clear();
    m_nPos = 0;
    CFile::Close();
}

void CStdioFile::LoadText()
{
    // The encoding can only be told from all of the bytes, so the rest of the file is read at once.
    std::string bytes;
    std::vector<char> buffer(65536);
    for (;;)
    {
        UINT n = Read(buffer.data(), UINT(buffer.size()));
        if (n == 0)
            break;
        bytes.append(buffer.data(), n);
    }
    m_text = DecodeUtf8OrAnsi(bytes.data(), bytes.size()).Str();
    m_nPos = 0;
    m_bLoaded = true;
}

BOOL CStdioFile::ReadString(CString &rString)
{
    if (!m_bLoaded)
        LoadText();
    if (m_nPos >= m_text.size())
    {
        rString.Empty();
        return FALSE;
    }
    size_t lf = m_text.find(L'\n', m_nPos);
    size_t end = lf == std::wstring::npos ? m_text.size() : lf;
    rString = CString(m_text.substr(m_nPos, end - m_nPos));
    m_nPos = lf == std::wstring::npos ? m_text.size() : lf + 1;
    return TRUE;
}
