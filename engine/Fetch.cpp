// engine/Fetch.cpp
#include "engine/Fetch.h"

#include "engine/Internet.h"
#include "engine/Location.h"
#include "framework/File.h"

#include <algorithm>
#include <cwchar>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

DWORD g_dwFetchTimeoutMs = 30000;

namespace
{
const DWORD kSegmentReadSize = 8192;
const DWORD kTextReadSize = 4095;
const DWORD kKeyReadSize = 8192;
// Enough for any honest chain of moves; a loop fails instead of spinning, since every answer comes at
// once and the time-out never fires.
const int kMaxRedirects = 10;
// How often a waiting fetch looks at the run flag: a Stop ends a request within this.
const DWORD kPollMs = 100;
// A request hands its reads over in chunks of this many, and runs at most kMaxChunksAhead chunks ahead of
// the fetch waiting for them.
const DWORD kReadsPerChunk = 8;
const size_t kMaxChunksAhead = 4;

thread_local const std::atomic<BOOL> *t_pbRunning = nullptr;

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
    // bAnswered is asked after every answer whether to go on.
    bool Send(LPCWSTR pszUrl, const std::function<bool()> &bAnswered)
    {
        if (!m_root || !pszUrl)
            return false;
        SetTimeouts(m_root.Get());
        std::wstring url = pszUrl;
        DWORD dwStatus = 0;
        for (int nHop = 0;; ++nHop)
        {
            if (!Open(url.c_str(), dwStatus) || !bAnswered())
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

    // Waits for the next bytes and takes at most cb of them; 0 at the end of the body. A read never waits
    // for a full buffer, so that each byte of a slow answer counts as a sign of life. False when the read
    // fails (a broken connection, a time-out).
    bool Read(void *pBuffer, DWORD cb, DWORD &dwRead)
    {
        dwRead = 0;
        DWORD dwAvailable = 0;
        if (!InternetQueryDataAvailable(m_request.Get(), &dwAvailable, 0, 0))
            return false;
        if (dwAvailable > 0 && dwAvailable < cb)
            cb = dwAvailable;
        if (!InternetReadFile(m_request.Get(), pBuffer, cb, &dwRead))
            return false;
        m_nReceived += dwRead;
        return true;
    }

    // Wine reports a connection closed before the announced length as a clean end.
    bool GotWholeBody() const { return !m_bHasLength || m_nReceived >= m_nLength; }

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
        std::wstring location;
        if (!LocationUtf8(location) && !LocationAsRead(location))
            return false;
        // Resolved by RFC 3986 here: WinINet takes a query alone for a sibling of the file and drops its
        // name. A fragment alone names the same address.
        if (!location.empty() && (location[0] == L'?' || location[0] == L'#'))
        {
            const size_t nEnd = url.find_first_of(location[0] == L'?' ? L"?#" : L"#");
            url = url.substr(0, nEnd) + (location[0] == L'?' ? location : std::wstring());
            return true;
        }
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

    // The Location's bytes, where they are valid UTF-8 (as servers send names outside ASCII): WinINet
    // reads each byte as a character of its own.
    bool LocationUtf8(std::wstring &location) const
    {
        DWORD cb = 0;
        if (HttpQueryInfoA(m_request.Get(), HTTP_QUERY_LOCATION, nullptr, &cb, nullptr) ||
            GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return false;
        std::string bytes(cb + 1, '\0');
        if (!HttpQueryInfoA(m_request.Get(), HTTP_QUERY_LOCATION, &bytes[0], &cb, nullptr))
            return false;
        bytes.resize(cb);
        const int n =
            MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()), nullptr, 0);
        if (n <= 0)
            return false;
        location.assign(size_t(n), L'\0');
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()), &location[0], n);
        return true;
    }

    bool LocationAsRead(std::wstring &location) const
    {
        DWORD cb = 0;
        if (HttpQueryInfoW(m_request.Get(), HTTP_QUERY_LOCATION, nullptr, &cb, nullptr) ||
            GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return false;
        location.assign(cb / sizeof(wchar_t) + 1, L'\0');
        if (!HttpQueryInfoW(m_request.Get(), HTTP_QUERY_LOCATION, &location[0], &cb, nullptr))
            return false;
        location.resize(cb / sizeof(wchar_t));
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

class CSrwLock
{
public:
    explicit CSrwLock(SRWLOCK &lock) : m_lock(lock) { AcquireSRWLockExclusive(&m_lock); }
    ~CSrwLock() { ReleaseSRWLockExclusive(&m_lock); }
    CSrwLock(const CSrwLock &) = delete;
    CSrwLock &operator=(const CSrwLock &) = delete;

private:
    SRWLOCK &m_lock;
};

// What a request's own thread and the fetch waiting for it share. A blocking WinINet call cannot be
// ended from outside under Wine (neither its time-outs nor a handle closed from another thread cover
// every stage, the TLS handshake among them), so each request runs on a thread of its own that the
// fetch can stop waiting for. The request then ends on its own whenever WinINet lets it; it touches
// nothing but this and its own handles, which no other thread closes.
class CExchange
{
public:
    // The request's side. Each call returns false once the fetch has left: the request then ends.

    // A sign of life: an answer (a redirect or the final one), or bytes of the body.
    bool Alive()
    {
        CSrwLock lock(m_lock);
        m_tickAlive = GetTickCount64();
        return !m_bAbandoned;
    }
    bool Answered(bool bOk)
    {
        CSrwLock lock(m_lock);
        m_state = bOk ? kReceiving : kFailed;
        m_bSucceeded = bOk;
        WakeAllConditionVariable(&m_changed);
        return bOk && !m_bAbandoned;
    }
    // A buffer for the next read, once the fetch has taken enough of those before it.
    bool NextBuffer(std::vector<char> &buffer, DWORD cb)
    {
        CSrwLock lock(m_lock);
        if (m_full.size() >= kMaxChunksAhead)
        {
            while (m_full.size() >= kMaxChunksAhead && !m_bAbandoned)
                SleepConditionVariableSRW(&m_changed, &m_lock, INFINITE, 0);
            // The silence was ours, not the server's.
            m_tickAlive = GetTickCount64();
        }
        if (m_spare.empty())
            buffer.clear();
        else
        {
            buffer.swap(m_spare.back());
            m_spare.pop_back();
        }
        buffer.resize(cb);
        return !m_bAbandoned;
    }
    // A chunk of n bytes, and whether the body ended with it: in full, or cut short (a failure).
    bool Received(std::vector<char> &buffer, DWORD n, bool bEnded, bool bFailed)
    {
        CSrwLock lock(m_lock);
        if (n > 0)
        {
            buffer.resize(n);
            m_full.push_back(std::move(buffer));
            m_tickAlive = GetTickCount64();
        }
        if (bFailed)
            m_state = kFailed;
        else if (bEnded)
            m_state = kEnded;
        WakeAllConditionVariable(&m_changed);
        return m_state == kReceiving && !m_bAbandoned;
    }
    // The request's thread is done: a fetch still waiting learns that nothing more comes.
    void Finished()
    {
        CSrwLock lock(m_lock);
        if (m_state == kSending || m_state == kReceiving)
            m_state = kFailed;
        WakeAllConditionVariable(&m_changed);
    }

    // The fetch's side.

    // True once a final answer of 200-299 has come.
    bool WaitForAnswer()
    {
        CSrwLock lock(m_lock);
        // Asked of the answer alone: the body may have failed already.
        return WaitFor([this] { return m_state != kSending; }) && m_bSucceeded;
    }
    // The next bytes into chunk (empty at the end of the body); false on a failure.
    bool Take(std::vector<char> &chunk)
    {
        CSrwLock lock(m_lock);
        if (!chunk.empty())
            m_spare.push_back(std::move(chunk));
        chunk.clear();
        if (!WaitFor([this] { return !m_full.empty() || m_state != kReceiving; }))
            return false;
        if (m_full.empty())
            return m_state == kEnded;
        chunk.swap(m_full.front());
        m_full.pop_front();
        WakeAllConditionVariable(&m_changed);
        return true;
    }
    void Abandon()
    {
        CSrwLock lock(m_lock);
        m_bAbandoned = true;
        m_full.clear();
        m_spare.clear();
        WakeAllConditionVariable(&m_changed);
    }

private:
    enum EState
    {
        kSending,
        kReceiving,
        kEnded,
        kFailed
    };

    // Called with the lock held. Gives up on a Stop, and when the request has gone without a sign of
    // life for the fetch time-out, whatever stage it is in.
    template <typename Ready> bool WaitFor(Ready ready)
    {
        while (!ready())
        {
            const bool bStopped = t_pbRunning && !*t_pbRunning;
            if (bStopped || GetTickCount64() - m_tickAlive >= m_dwLimitMs)
            {
                m_bAbandoned = true;
                WakeAllConditionVariable(&m_changed);
                return false;
            }
            SleepConditionVariableSRW(&m_changed, &m_lock, kPollMs, 0);
        }
        return true;
    }

    SRWLOCK m_lock = SRWLOCK_INIT;
    CONDITION_VARIABLE m_changed = CONDITION_VARIABLE_INIT;
    EState m_state = kSending;
    bool m_bSucceeded = false;
    bool m_bAbandoned = false;
    ULONGLONG m_tickAlive = GetTickCount64();
    const DWORD m_dwLimitMs = g_dwFetchTimeoutMs;
    std::deque<std::vector<char>> m_full;
    std::vector<std::vector<char>> m_spare;
};

void RunRequest(CExchange &exchange, HINTERNET hRoot, const std::wstring &url, DWORD cbRead)
{
    CHttpGet get(hRoot);
    if (!exchange.Answered(get.Send(url.c_str(), [&] { return exchange.Alive(); })))
        return;
    // Each hand-over wakes the other thread: one for every read cost a tenth of the throughput over loopback.
    const DWORD cbChunk = cbRead * kReadsPerChunk;
    std::vector<char> buffer;
    for (;;)
    {
        if (!exchange.NextBuffer(buffer, cbChunk))
            return;
        DWORD nFilled = 0, n = 0;
        bool bRead = true;
        do
        {
            bRead = get.Read(buffer.data() + nFilled, cbRead, n);
            nFilled += n;
        } while (bRead && n > 0 && nFilled + cbRead <= cbChunk && exchange.Alive());
        const bool bEnded = !bRead || n == 0;
        if (!exchange.Received(buffer, nFilled, bEnded, !bRead || (bEnded && !get.GotWholeBody())))
            return;
    }
}

// One GET on its own thread, waited for by the calling thread.
class CHttpFetch
{
public:
    // openRoot runs on the request's thread and gives its root handle (the user agent is set there).
    CHttpFetch(std::function<HINTERNET()> openRoot, DWORD cbRead)
        : m_openRoot(std::move(openRoot)), m_cbRead(cbRead)
    {
    }
    ~CHttpFetch() { m_exchange->Abandon(); }
    CHttpFetch(const CHttpFetch &) = delete;
    CHttpFetch &operator=(const CHttpFetch &) = delete;

    // True once the final answer is a success.
    bool Send(LPCWSTR pszUrl)
    {
        if (!pszUrl)
            return false;
        try
        {
            std::thread([exchange = m_exchange, openRoot = m_openRoot, url = std::wstring(pszUrl),
                         cbRead = m_cbRead] {
                try
                {
                    RunRequest(*exchange, openRoot(), url, cbRead);
                }
                catch (...)
                {
                }
                exchange->Finished();
            }).detach();
        }
        catch (const std::exception &)
        {
            return false;
        }
        return m_exchange->WaitForAnswer();
    }
    // Hands the body to take(p, n) piece by piece, until its end or until take returns false (it has all
    // it wants). False on a failure, a Stop or a stall.
    template <typename Take> bool ReadBody(Take take)
    {
        for (;;)
        {
            if (!m_exchange->Take(m_chunk))
                return false;
            if (m_chunk.empty() || !take(m_chunk.data(), DWORD(m_chunk.size())))
                return true;
        }
    }

private:
    std::shared_ptr<CExchange> m_exchange = std::make_shared<CExchange>();
    std::function<HINTERNET()> m_openRoot;
    DWORD m_cbRead;
    std::vector<char> m_chunk;
};

std::function<HINTERNET()> RootWithAgent(LPCWSTR pszAgent)
{
    return [pszAgent] { return InternetOpenW(pszAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0); };
}

bool ReadText(LPCWSTR pszAgent, LPCWSTR pszUrl, CString &strText)
{
    strText.Empty();
    CHttpFetch fetch(RootWithAgent(pszAgent), kTextReadSize);
    if (!fetch.Send(pszUrl))
        return false;
    // Decoded once at the end, so that a character split between two reads stays whole.
    std::string bytes;
    if (!fetch.ReadBody([&](const char *p, DWORD n) {
            bytes.append(p, n);
            return true;
        }))
        return false;
    strText = Utf8ToString(bytes.data(), int(bytes.size()));
    return true;
}
} // namespace

CFetchStopScope::CFetchStopScope(const std::atomic<BOOL> &bRunning) : m_pbPrevious(t_pbRunning)
{
    t_pbRunning = &bRunning;
}

CFetchStopScope::~CFetchStopScope()
{
    t_pbRunning = m_pbPrevious;
}

BOOL DownloadToFile(LPCWSTR pszUrl, LPCWSTR pszPath)
{
    CHttpFetch fetch(RootWithAgent(L"Tavisk"), kSegmentReadSize);
    if (!fetch.Send(pszUrl))
        return FALSE;
    CFile file;
    if (!file.Open(pszPath, CFile::modeCreate | CFile::modeWrite))
        return FALSE;
    try
    {
        if (!fetch.ReadBody([&](const char *p, DWORD n) {
                file.Write(p, n);
                return true;
            }))
            return FALSE;
        file.Close();
    }
    catch (const CFileException &)
    {
        return FALSE;
    }
    return TRUE;
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

    if (IsWebAddress(strUri, true))
    {
        CHttpFetch fetch(
            [] { return InternetOpenA("Dremlox/1.21", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0); },
            kKeyReadSize);
        if (!fetch.Send(strUri))
            return false;
        // One buffer's worth at most: an AES-128 key is 16 bytes, far below it.
        key.clear();
        if (!fetch.ReadBody([&](const char *p, DWORD n) {
                key.insert(key.end(), p, p + std::min<size_t>(n, kKeyReadSize - key.size()));
                return key.size() < kKeyReadSize;
            }))
            return false;
        if (key.empty())
            return false;
        cbKey = DWORD(key.size());
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
