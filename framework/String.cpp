// framework/String.cpp
#include "framework/String.h"

#include <cstdarg>
#include <cwchar>
#include <cwctype>
#include <vector>

namespace
{
size_t Clamp(int n, size_t max)
{
    if (n < 0)
        return 0;
    return size_t(n) > max ? max : size_t(n);
}
} // namespace

void CString::FormatV(const wchar_t *pszFormat, va_list args)
{
    std::vector<wchar_t> buf(256);
    for (;;)
    {
        va_list copy;
        va_copy(copy, args);
        // _vsnwprintf is the CRT's own: "%s" in a wide format takes a wide string, as Windows code expects.
        int n = _vsnwprintf(buf.data(), buf.size() - 1, pszFormat, copy);
        va_end(copy);
        if (n >= 0 && size_t(n) < buf.size() - 1)
        {
            m_str.assign(buf.data(), size_t(n));
            return;
        }
        // The CRT also answers -1 for a format it cannot convert; growing without end would not help.
        if (buf.size() >= (size_t(1) << 24))
        {
            m_str.assign(buf.data(), wcsnlen(buf.data(), buf.size() - 1));
            return;
        }
        buf.resize(buf.size() * 2);
    }
}

void CString::Format(const wchar_t *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    FormatV(pszFormat, args);
    va_end(args);
}

void CString::AppendFormat(const wchar_t *pszFormat, ...)
{
    CString more;
    va_list args;
    va_start(args, pszFormat);
    more.FormatV(pszFormat, args);
    va_end(args);
    m_str += more.m_str;
}

int CString::Find(wchar_t ch, int nStart) const
{
    if (nStart < 0 || size_t(nStart) > m_str.size())
        return -1;
    size_t pos = m_str.find(ch, size_t(nStart));
    return pos == std::wstring::npos ? -1 : int(pos);
}

int CString::Find(const wchar_t *psz, int nStart) const
{
    if (nStart < 0 || size_t(nStart) > m_str.size())
        return -1;
    size_t pos = m_str.find(psz ? psz : L"", size_t(nStart));
    return pos == std::wstring::npos ? -1 : int(pos);
}

int CString::ReverseFind(wchar_t ch) const
{
    size_t pos = m_str.rfind(ch);
    return pos == std::wstring::npos ? -1 : int(pos);
}

CString CString::Left(int nCount) const
{
    return CString(m_str.substr(0, Clamp(nCount, m_str.size())));
}

CString CString::Mid(int nFirst) const
{
    size_t first = Clamp(nFirst, m_str.size());
    return CString(m_str.substr(first));
}

CString CString::Mid(int nFirst, int nCount) const
{
    size_t first = Clamp(nFirst, m_str.size());
    return CString(m_str.substr(first, Clamp(nCount, m_str.size() - first)));
}

CString CString::Right(int nCount) const
{
    size_t n = Clamp(nCount, m_str.size());
    return CString(m_str.substr(m_str.size() - n));
}

CString &CString::MakeLower()
{
    if (!m_str.empty())
        CharLowerBuffW(&m_str[0], DWORD(m_str.size()));
    return *this;
}

CString &CString::MakeUpper()
{
    if (!m_str.empty())
        CharUpperBuffW(&m_str[0], DWORD(m_str.size()));
    return *this;
}

CString &CString::TrimLeft()
{
    size_t i = 0;
    while (i < m_str.size() && iswspace(m_str[i]))
        ++i;
    m_str.erase(0, i);
    return *this;
}

CString &CString::TrimRight()
{
    size_t n = m_str.size();
    while (n > 0 && iswspace(m_str[n - 1]))
        --n;
    m_str.resize(n);
    return *this;
}

CString &CString::TrimRight(wchar_t ch)
{
    size_t n = m_str.size();
    while (n > 0 && m_str[n - 1] == ch)
        --n;
    m_str.resize(n);
    return *this;
}

CString &CString::Trim()
{
    TrimRight();
    return TrimLeft();
}

int CString::Replace(wchar_t chOld, wchar_t chNew)
{
    int count = 0;
    for (wchar_t &c : m_str)
    {
        if (c == chOld)
        {
            c = chNew;
            ++count;
        }
    }
    return count;
}

int CString::Replace(const wchar_t *pszOld, const wchar_t *pszNew)
{
    std::wstring from = pszOld ? pszOld : L"";
    std::wstring to = pszNew ? pszNew : L"";
    if (from.empty())
        return 0;
    int count = 0;
    size_t pos = 0;
    while ((pos = m_str.find(from, pos)) != std::wstring::npos)
    {
        m_str.replace(pos, from.size(), to);
        pos += to.size();
        ++count;
    }
    return count;
}

int CString::Insert(int nIndex, const wchar_t *psz)
{
    m_str.insert(Clamp(nIndex, m_str.size()), psz ? psz : L"");
    return GetLength();
}

int CString::Delete(int nIndex, int nCount)
{
    size_t first = Clamp(nIndex, m_str.size());
    m_str.erase(first, Clamp(nCount, m_str.size() - first));
    return GetLength();
}

int CString::CompareNoCase(const wchar_t *psz) const
{
    return _wcsicmp(m_str.c_str(), psz ? psz : L"");
}

wchar_t *CString::GetBuffer(int nMinLength)
{
    if (nMinLength > 0 && size_t(nMinLength) > m_str.size())
        m_str.resize(size_t(nMinLength));
    return &m_str[0];
}

void CString::ReleaseBuffer(int nNewLength)
{
    if (nNewLength < 0)
        nNewLength = int(wcsnlen(m_str.c_str(), m_str.size()));
    m_str.resize(Clamp(nNewLength, m_str.size()));
}

CString Utf8ToString(const char *pData, int nBytes)
{
    if (!pData || nBytes <= 0)
        return CString();
    int n = MultiByteToWideChar(CP_UTF8, 0, pData, nBytes, nullptr, 0);
    std::wstring out(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, pData, nBytes, &out[0], n);
    return CString(std::move(out));
}

std::string StringToUtf8(const CString &s)
{
    if (s.IsEmpty())
        return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, s.GetString(), s.GetLength(), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, s.GetString(), s.GetLength(), &out[0], n, nullptr, nullptr);
    return out;
}
