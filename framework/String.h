// framework/String.h: CString, the program's UTF-16 string.
#pragma once

#include <string>
#include <windows.h>

class CString
{
public:
    CString() = default;
    CString(const wchar_t *psz) : m_str(psz ? psz : L"") {}
    CString(const wchar_t *pch, int nLength)
        : m_str(pch ? pch : L"", pch && nLength > 0 ? size_t(nLength) : 0)
    {
    }
    CString(wchar_t ch, int nRepeat = 1) : m_str(size_t(nRepeat > 0 ? nRepeat : 0), ch) {}
    CString(const std::wstring &s) : m_str(s) {}
    CString(std::wstring &&s) : m_str(std::move(s)) {}

    int GetLength() const { return static_cast<int>(m_str.size()); }
    bool IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }

    const wchar_t *GetString() const { return m_str.c_str(); }
    operator const wchar_t *() const { return m_str.c_str(); }
    const std::wstring &Str() const { return m_str; }

    wchar_t GetAt(int i) const { return m_str.at(size_t(i)); }
    wchar_t operator[](int i) const { return m_str.at(size_t(i)); }
    void SetAt(int i, wchar_t ch) { m_str.at(size_t(i)) = ch; }

    // printf-style formatting with the Windows meaning of %s in wide formats (a wide string).
    void Format(const wchar_t *pszFormat, ...);
    void FormatV(const wchar_t *pszFormat, va_list args);
    void AppendFormat(const wchar_t *pszFormat, ...);

    // Searches return -1 when nothing is found.
    int Find(wchar_t ch, int nStart = 0) const;
    int Find(const wchar_t *psz, int nStart = 0) const;
    int ReverseFind(wchar_t ch) const;

    CString Left(int nCount) const;
    CString Mid(int nFirst) const;
    CString Mid(int nFirst, int nCount) const;
    CString Right(int nCount) const;

    CString &MakeLower();
    CString &MakeUpper();
    CString &Trim();
    CString &TrimLeft();
    CString &TrimRight();
    CString &TrimRight(wchar_t ch);

    int Replace(wchar_t chOld, wchar_t chNew);
    int Replace(const wchar_t *pszOld, const wchar_t *pszNew);
    int Insert(int nIndex, const wchar_t *psz);
    int Delete(int nIndex, int nCount = 1);

    int Compare(const wchar_t *psz) const { return m_str.compare(psz ? psz : L""); }
    int CompareNoCase(const wchar_t *psz) const;

    // Raw access for Win32 calls that write into a buffer.
    wchar_t *GetBuffer(int nMinLength);
    void ReleaseBuffer(int nNewLength = -1);

    CString &operator=(const wchar_t *psz)
    {
        m_str = psz ? psz : L"";
        return *this;
    }
    CString &operator+=(const CString &s)
    {
        m_str += s.m_str;
        return *this;
    }
    CString &operator+=(const wchar_t *psz)
    {
        if (psz)
            m_str += psz;
        return *this;
    }
    CString &operator+=(wchar_t ch)
    {
        m_str += ch;
        return *this;
    }

    friend CString operator+(const CString &a, const CString &b) { return CString(a.m_str + b.m_str); }
    friend CString operator+(const CString &a, const wchar_t *b) { return CString(a.m_str + (b ? b : L"")); }
    friend CString operator+(const wchar_t *a, const CString &b) { return CString((a ? a : L"") + b.m_str); }
    friend CString operator+(const CString &a, wchar_t ch) { return CString(a.m_str + ch); }
    friend CString operator+(wchar_t ch, const CString &b) { return CString(ch + b.m_str); }

    friend bool operator==(const CString &a, const CString &b) { return a.m_str == b.m_str; }
    friend bool operator==(const CString &a, const wchar_t *b) { return a.m_str == (b ? b : L""); }
    friend bool operator==(const wchar_t *a, const CString &b) { return b == a; }
    friend bool operator!=(const CString &a, const CString &b) { return !(a == b); }
    friend bool operator!=(const CString &a, const wchar_t *b) { return !(a == b); }
    friend bool operator!=(const wchar_t *a, const CString &b) { return !(b == a); }
    friend bool operator<(const CString &a, const CString &b) { return a.m_str < b.m_str; }

private:
    std::wstring m_str;
};

// UTF-8 and code-page conversions at the program's edges (fetched bytes, test output).
CString Utf8ToString(const char *pData, int nBytes);
std::string StringToUtf8(const CString &s);
