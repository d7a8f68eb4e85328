// engine/Playlist.cpp
#include "engine/Playlist.h"

#include "engine/Fetch.h"
#include "engine/Location.h"
#include "framework/File.h"

#include <cwchar>
#include <cwctype>
#include <exception>
#include <string>

namespace
{
const int kMaxNestedPasses = 4;

bool BeginsWith(const CString &s, const wchar_t *pszPrefix)
{
    return wcsncmp(s, pszPrefix, wcslen(pszPrefix)) == 0;
}

int HexDigit(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

std::wstring TrimCopy(const std::wstring &s)
{
    size_t b = 0, e = s.size();
    while (b < e && iswspace(s[b]))
        ++b;
    while (e > b && iswspace(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

// "0x" + 1 to 32 hex digits, right-aligned in 16 bytes.
bool DecodeIV(const std::wstring &value, unsigned char abIV[16])
{
    if (value.size() < 3 || value.size() > 34 || value[0] != L'0' || (value[1] != L'x' && value[1] != L'X'))
        return false;
    unsigned char out[16] = {};
    int nibble = 0;
    for (size_t k = value.size(); k-- > 2; ++nibble)
    {
        int d = HexDigit(value[k]);
        if (d < 0)
            return false;
        out[15 - nibble / 2] |= (unsigned char)(nibble % 2 ? d << 4 : d);
    }
    for (int k = 0; k < 16; ++k)
        abIV[k] = out[k];
    return true;
}

// Looks for the IV attribute in an attribute list; quoted values may hold commas.
bool FindIV(const std::wstring &attrs, unsigned char abIV[16])
{
    size_t i = 0;
    while (i < attrs.size())
    {
        size_t eq = attrs.find(L'=', i);
        if (eq == std::wstring::npos)
            return false;
        std::wstring name = TrimCopy(attrs.substr(i, eq - i));
        std::wstring value;
        size_t j = eq + 1;
        if (j < attrs.size() && attrs[j] == L'"')
        {
            size_t q = attrs.find(L'"', j + 1);
            if (q == std::wstring::npos)
                return false;
            value = attrs.substr(j + 1, q - j - 1);
            size_t comma = attrs.find(L',', q + 1);
            i = comma == std::wstring::npos ? attrs.size() : comma + 1;
        }
        else
        {
            size_t comma = attrs.find(L',', j);
            value = attrs.substr(j, comma == std::wstring::npos ? std::wstring::npos : comma - j);
            i = comma == std::wstring::npos ? attrs.size() : comma + 1;
        }
        if (name == L"IV")
            return DecodeIV(TrimCopy(value), abIV);
    }
    return false;
}
} // namespace

CPlaylist::CPlaylist() = default;
CPlaylist::~CPlaylist() = default;

void CPlaylist::Clear()
{
    m_strBase.Empty();
    m_strKeyUri.Empty();
    m_strSubPlaylist.Empty();
    m_arrSegments.SetSize(0);
    m_arrPlaylistFiles.SetSize(0);
    m_bHasIV = false;
    for (unsigned char &b : m_abIV)
        b = 0;
    m_nMediaSequence = 0;
}

CString CPlaylist::GetSegment(int i) const
{
    if (i < 0 || i >= m_arrSegments.GetSize())
        return CString();
    return m_arrSegments.GetAt(i);
}

std::vector<unsigned char> CPlaylist::GetSegmentIV(int i) const
{
    std::vector<unsigned char> iv(16, 0);
    if (m_bHasIV)
    {
        iv.assign(m_abIV, m_abIV + 16);
        return iv;
    }
    unsigned long long low = m_nMediaSequence + (unsigned long long)(i < 0 ? 0 : i);
    if (low < m_nMediaSequence)
        iv[7] = 1;
    for (int k = 0; k < 8; ++k)
        iv[15 - k] = (unsigned char)(low >> (8 * k));
    return iv;
}

void CPlaylist::SetBaseFromUrl(LPCTSTR pszUrl)
{
    CString strUrl(pszUrl);
    int slash = strUrl.ReverseFind(L'/');
    m_strBase = slash >= 0 ? strUrl.Left(slash + 1) : CString();
}

void CPlaylist::SetBaseFromPath(LPCTSTR pszPath)
{
    CString strPath(pszPath);
    int slash = strPath.ReverseFind(L'\\');
    m_strBase = slash >= 0 ? strPath.Left(slash + 1) : CString();
}

BOOL CPlaylist::ParseFile(CString strPath)
{
    CStdioFile file;
    if (!file.Open(strPath, CFile::typeText))
        return FALSE;
    // All lines are read first, so that a read error leaves the record as it was.
    CStringArray lines;
    try
    {
        CString line;
        while (file.ReadString(line))
            lines.Add(line);
    }
    catch (const CFileException &)
    {
        return FALSE;
    }
    file.Abort();

    m_arrPlaylistFiles.Add(strPath);
    SetBaseFromPath(strPath);
    int nBefore = m_arrSegments.GetSize();
    unsigned long long nSequence = 0;
    for (int i = 0; i < lines.GetSize(); ++i)
        ParseLine(lines[i], true, nSequence);
    EndParse(nBefore, nSequence);
    return TRUE;
}

void CPlaylist::ParseText(CString strText)
{
    int nBefore = m_arrSegments.GetSize();
    unsigned long long nSequence = 0;
    // One pass from LF to LF; fetching line i by its number rescans the text from its start and takes
    // seconds on a long playlist.
    const wchar_t *p = strText;
    for (;;)
    {
        const wchar_t *pEnd = wcschr(p, L'\n');
        ParseLine(pEnd ? CString(p, int(pEnd - p)) : CString(p), false, nSequence);
        if (!pEnd)
            break;
        p = pEnd + 1;
    }
    EndParse(nBefore, nSequence);
}

void CPlaylist::EndParse(int nSegmentsBefore, unsigned long long nSequence)
{
    // The IVs count from the media sequence of the playlist whose segments these are.
    if (nSegmentsBefore == 0 && m_arrSegments.GetSize() > 0)
        m_nMediaSequence = nSequence;
}

void CPlaylist::ReadKeyLine(const CString &strLine, bool bLocal)
{
    int nOpen = strLine.Find(L"URI=\"");
    if (nOpen < 0)
        return;
    int nStart = nOpen + 5;
    int nClose = strLine.Find(L'"', nStart);
    if (nClose < 0)
        return;
    CString value = strLine.Mid(nStart, nClose - nStart);
    if (IsWebAddress(value, false))
        m_strKeyUri = value;
    else
    {
        m_strKeyUri = m_strBase + value;
        if (bLocal)
            m_strKeyUri.Replace(L'/', L'\\');
    }
    m_bHasIV = FindIV(strLine.Mid(11).Str(), m_abIV);
}

void CPlaylist::ParseLine(CString strLine, bool bLocal, unsigned long long &nSequence)
{
    strLine.Trim();
    if (BeginsWith(strLine, L"#EXT-X-KEY:"))
        ReadKeyLine(strLine, bLocal);
    if (strLine.IsEmpty())
        return;
    if (strLine[0] == L'#')
    {
        const wchar_t kSequenceTag[] = L"#EXT-X-MEDIA-SEQUENCE:";
        if (BeginsWith(strLine, kSequenceTag))
        {
            const wchar_t *p = strLine.GetString() + wcslen(kSequenceTag);
            if (iswdigit(*p))
                nSequence = wcstoull(p, nullptr, 10);
        }
        return;
    }
    if (strLine.Find(L".ts") >= 1)
    {
        m_arrSegments.Add(IsWebAddress(strLine, false) ? strLine : m_strBase + strLine);
        return;
    }
    if (strLine.Find(L".m3u8") >= 1)
    {
        m_strSubPlaylist = IsWebAddress(strLine, false) ? strLine : m_strBase + strLine;
        if (bLocal)
            m_strSubPlaylist.Replace(L'/', L'\\');
    }
}

BOOL CPlaylist::Load(LPCTSTR pszLocation)
{
    // A copy, as the location may be the text of one of our own members.
    CString strLocation(pszLocation);
    Clear();

    try
    {
        if (IsWebAddress(strLocation, false))
        {
            SetBaseFromUrl(strLocation);
            CString strText;
            if (!FetchPlaylistText(strLocation, strText))
                return FALSE;
            ParseText(strText);
            for (int nPass = 0;
                 nPass < kMaxNestedPasses && m_arrSegments.GetSize() == 0 && !m_strSubPlaylist.IsEmpty();
                 ++nPass)
            {
                CString strNested = m_strSubPlaylist;
                CString strNestedText = DownloadText(strNested);
                SetBaseFromUrl(strNested);
                ParseText(strNestedText);
            }
        }
        else
        {
            if (!ParseFile(strLocation))
                return FALSE;
            for (int nPass = 0;
                 nPass < kMaxNestedPasses && m_arrSegments.GetSize() == 0 && !m_strSubPlaylist.IsEmpty();
                 ++nPass)
            {
                if (!ParseFile(m_strSubPlaylist))
                    return FALSE;
            }
        }
    }
    catch (const std::exception &)
    {
        // Out of memory for a file far too large to be a playlist (one picked through "all files", say):
        // it cannot be read, like any other.
        Clear();
        return FALSE;
    }
    return m_arrSegments.GetSize() > 0 ? TRUE : FALSE;
}
