// engine/Fetch.cpp
#include "engine/Fetch.h"

#include "engine/Internet.h"
#include "engine/Location.h"
#include "framework/File.h"

#include <cwchar>
#include <string>

DWORD g_dwFetchTimeoutMs = 30000;

namespace
{
const DWORD kSegmentReadSize = 8192;
const DWORD kTextReadSize = 4095;
const DWORD kKeyReadSize = 8192;
// Enough for any honest chain of moves; a loop fails instead of spinning, since every answer comes at
// once and the time-out never fires.
const int kMaxRedirects = 10;

void SetTimeouts(HINTERNET h)
{
    DWORD ms = g_dwFetchTimeoutMs;
    InternetSetOptionW(h, INTERNET_OPTION_CONNECT_TIMEOUT, &ms, sizeof(ms));
    InternetSetOptionW(h, INTERNET_OPTION_SEND_TIMEOUT, &ms, sizeof(ms));
    InternetSetOptionW(h, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof(ms));
}

// WinINet sends each character outside ASCII as "?", which names another resource; browsers send
// the UTF-8 bytes percent-escaped, and so do we.
std::wstring EscapeNonAscii(const std::wstring &s)
{
    std::string utf8 = StringToUtf8(CString(s));
    std::wstring out;
    for (unsigned char c : utf8)
    {
        if (c < 0x80)
        {
            out += wchar_t(c);
            continue;
        }
        const wchar_t kHex[] = L"0123456789ABCDEF";
        out += L'%';
        out += kHex[c >> 4];
        out += kHex[c & 15];
    }
    return out;
}

bool IsRedirect(DWORD dwStatus)
{
    return dwStatus == 301 || dwStatus == 302 || dwStatus == 303 || dwStatus == 307 || dwStatus == 308;
}

// One GET. It is issued through a connection and a request handle rather than InternetOpenUrlW,
// because Wine ignores receive time-outs set on the root handle and a stalled server would hang us.
// Redirects are followed here: Wine's WinINet follows a loop forever and leaves 308 alone.
class CHttpGet
{
public:
    explicit CHttpGet(HINTERNET hRoot) : m_root(hRoot) {}

    // Sends the request, following up to kMaxRedirects moves; true only for a final status 200-299.
    bool Send(LPCWSTR pszUrl)
    {
        if (!m_root || !pszUrl)
            return false;
        SetTimeouts(m_root.Get());
        std::wstring url = pszUrl;
        DWORD dwStatus = 0;
        for (int nHop = 0;; ++nHop)
        {
            if (!Open(url.c_str(), dwStatus))
                return false;
            if (!IsRedirect(dwStatus))
                break;
            if (nHop == kMaxRedirects || !FollowLocation(url))
                return false;
        }
        if (dwStatus < 200 || dwStatus > 299)
            return false;

        wchar_t szLength[32] = {};
        DWORD cb = sizeof(szLength) - sizeof(wchar_t);
        if (HttpQueryInfoW(m_request.Get(), HTTP_QUERY_CONTENT_LENGTH, szLength, &cb, nullptr))
        {
            wchar_t *pEnd = nullptr;
            unsigned long long n = wcstoull(szLength, &pEnd, 10);
            if (pEnd != szLength)
            {
                m_bHasLength = true;
                m_nLength = n;
            }
        }
        return true;
    }

    // False when the read fails (a broken connection, a time-out).
    bool Read(void *pBuffer, DWORD cb, DWORD &dwRead)
    {
        dwRead = 0;
        if (!InternetReadFile(m_request.Get(), pBuffer, cb, &dwRead))
            return false;
        m_nReceived += dwRead;
        return true;
    }

    // Wine reports a connection closed before the announced length as a clean end.
    bool GotWholeBody() const { return !m_bHasLength || m_nReceived >= m_nLength; }
    bool HasLength() const { return m_bHasLength; }
    unsigned long long Length() const { return m_nLength; }

private:
    // One request on a fresh connection, redirects not followed; dwStatus is its answer.
    bool Open(LPCWSTR pszUrl, DWORD &dwStatus)
    {
        // The request before its connection, so that no handle outlives its parent.
        m_request.Close();
        m_connect.Close();
        URL_COMPONENTSW uc{};
        uc.dwStructSize = sizeof(uc);
        uc.dwSchemeLength = 1;
        uc.dwHostNameLength = 1;
        uc.dwUserNameLength = 1;
        uc.dwPasswordLength = 1;
        uc.dwUrlPathLength = 1;
        uc.dwExtraInfoLength = 1;
        if (!InternetCrackUrlW(pszUrl, 0, 0, &uc))
            return false;
        if (uc.nScheme != INTERNET_SCHEME_HTTP && uc.nScheme != INTERNET_SCHEME_HTTPS)
            return false;
        if (!uc.lpszHostName || uc.dwHostNameLength == 0)
            return false;

        std::wstring host(uc.lpszHostName, uc.dwHostNameLength);
        std::wstring user =
            uc.lpszUserName ? std::wstring(uc.lpszUserName, uc.dwUserNameLength) : std::wstring();
        std::wstring pass =
            uc.lpszPassword ? std::wstring(uc.lpszPassword, uc.dwPasswordLength) : std::wstring();
        std::wstring object =
            uc.lpszUrlPath ? std::wstring(uc.lpszUrlPath, uc.dwUrlPathLength) : std::wstring();
        if (uc.lpszExtraInfo)
            object.append(uc.lpszExtraInfo, uc.dwExtraInfoLength);
        // A fragment is never sent to the server.
        size_t hash = object.find(L'#');
        if (hash != std::wstring::npos)
            object.erase(hash);
        if (object.empty())
            object = L"/";
        object = EscapeNonAscii(object);

        m_connect = CInternetHandle(
            InternetConnectW(m_root.Get(), host.c_str(), uc.nPort, user.empty() ? nullptr : user.c_str(),
                             pass.empty() ? nullptr : pass.c_str(), INTERNET_SERVICE_HTTP, 0, 0));
        if (!m_connect)
            return false;
        SetTimeouts(m_connect.Get());

        // Nothing goes into the WinINet cache either: every segment would be written to disk twice and
        // the cache would grow by the size of every video fetched.
        DWORD dwFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT;
        if (uc.nScheme == INTERNET_SCHEME_HTTPS)
            dwFlags |= INTERNET_FLAG_SECURE;
        m_request = CInternetHandle(
            HttpOpenRequestW(m_connect.Get(), L"GET", object.c_str(), nullptr, nullptr, nullptr, dwFlags, 0));
        if (!m_request)
            return false;
        SetTimeouts(m_request.Get());
        if (!HttpSendRequestW(m_request.Get(), nullptr, 0, nullptr, 0))
            return false;

        DWORD cb = sizeof(dwStatus);
        return HttpQueryInfoW(m_request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &dwStatus,
                              &cb, nullptr) != FALSE;
    }

    // Replaces url with the current answer's Location, which may be relative to url.
    bool FollowLocation(std::wstring &url) const
    {
        DWORD cb = 0;
        if (HttpQueryInfoW(m_request.Get(), HTTP_QUERY_LOCATION, nullptr, &cb, nullptr) ||
            GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return false;
        std::wstring location(cb / sizeof(wchar_t) + 1, L'\0');
        if (!HttpQueryInfoW(m_request.Get(), HTTP_QUERY_LOCATION, &location[0], &cb, nullptr))
            return false;
        location.resize(cb / sizeof(wchar_t));
        // Kept as the server wrote it (never longer than both parts together); characters outside ASCII
        // are escaped when the request is made.
        std::wstring combined(url.size() + location.size() + 2, L'\0');
        DWORD cch = DWORD(combined.size());
        if (!InternetCombineUrlW(url.c_str(), location.c_str(), &combined[0], &cch, ICU_NO_ENCODE))
            return false;
        combined.resize(cch);
        url = combined;
        return true;
    }

    // Declared in this order so that the request closes first and the root last.
    CInternetHandle m_root;
    CInternetHandle m_connect;
    CInternetHandle m_request;
    bool m_bHasLength = false;
    unsigned long long m_nLength = 0;
    unsigned long long m_nReceived = 0;
};

HINTERNET OpenRoot(LPCWSTR pszAgent)
{
    return InternetOpenW(pszAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
}

bool ReadText(LPCWSTR pszAgent, LPCWSTR pszUrl, CString &strText)
{
    strText.Empty();
    CHttpGet get(OpenRoot(pszAgent));
    if (!get.Send(pszUrl))
        return false;
    // Decoded once at the end, so that a character split between two reads stays whole.
    std::string bytes;
    char buffer[kTextReadSize];
    for (;;)
    {
        DWORD n = 0;
        if (!get.Read(buffer, kTextReadSize, n))
            return false;
        if (n == 0)
            break;
        bytes.append(buffer, n);
    }
    if (!get.GotWholeBody())
        return false;
    strText = Utf8ToString(bytes.data(), int(bytes.size()));
    return true;
}
} // namespace

BOOL DownloadToFile(LPCWSTR pszUrl, LPCWSTR pszPath)
{
    CHttpGet get(OpenRoot(L"Tavisk"));
    if (!get.Send(pszUrl))
        return FALSE;
    CFile file;
    if (!file.Open(pszPath, CFile::modeCreate | CFile::modeWrite))
        return FALSE;
    char buffer[kSegmentReadSize];
    try
    {
        for (;;)
        {
            DWORD n = 0;
            if (!get.Read(buffer, kSegmentReadSize, n))
                return FALSE;
            if (n == 0)
                break;
            file.Write(buffer, n);
        }
        file.Close();
    }
    catch (const CFileException &)
    {
        return FALSE;
    }
    return get.GotWholeBody() ? TRUE : FALSE;
}

CString DownloadText(LPCTSTR pszUrl)
{
    CString strText;
    if (!ReadText(L"Mornec", pszUrl, strText))
        return CString();
    strText.TrimRight();
    strText.TrimLeft();
    return strText;
}

bool FetchPlaylistText(LPCTSTR pszUrl, CString &strText)
{
    return ReadText(L"M3U8", pszUrl, strText);
}

bool LoadKeyData(CString strUri, std::vector<unsigned char> &key, DWORD *pcbKey)
{
    DWORD dwDummy = 0;
    DWORD &cbKey = pcbKey ? *pcbKey : dwDummy;
    cbKey = 0;

    CString strLower = strUri;
    strLower.MakeLower();
    if (IsWebAddress(strLower, true))
    {
        CHttpGet get(InternetOpenA("Dremlox/1.21", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
        if (!get.Send(strUri))
            return false;
        key.resize(kKeyReadSize);
        DWORD n = 0;
        // One read only: an AES-128 key is 16 bytes, far below the buffer.
        if (!get.Read(key.data(), kKeyReadSize, n) || n == 0)
            return false;
        if (get.HasLength() && n < get.Length() && n < kKeyReadSize)
            return false;
        key.resize(n);
        cbKey = n;
        return true;
    }

    CFile file;
    if (!file.Open(strUri, CFile::modeRead | CFile::typeBinary))
        return false;
    ULONGLONG n = file.GetLength();
    if (n > 0xFFFFFFFFull)
        return false;
    key.resize(size_t(n));
    cbKey = DWORD(n);
    if (n > 0)
        file.Read(key.data(), UINT(n));
    file.Close();
    return true;
}
