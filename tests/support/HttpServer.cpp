// tests/support/HttpServer.cpp
#include "tests/support/HttpServer.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <ws2tcpip.h>

namespace
{
struct CWinsock
{
    CWinsock()
    {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
    }
};

std::string ReasonFor(int nStatus)
{
    switch (nStatus)
    {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}
} // namespace

CHttpServer::CHttpServer()
{
    static CWinsock winsock;
    m_listen = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (m_listen == INVALID_SOCKET)
        return;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    int len = sizeof(addr);
    if (bind(m_listen, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0 ||
        listen(m_listen, SOMAXCONN) != 0 ||
        getsockname(m_listen, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
    {
        closesocket(m_listen);
        m_listen = INVALID_SOCKET;
        return;
    }
    m_nPort = ntohs(addr.sin_port);
    m_listener = std::thread([this] { Listen(); });
}

CHttpServer::~CHttpServer()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
    }
    m_stopped.notify_all();
    if (m_listener.joinable())
        m_listener.join();
    if (m_listen != INVALID_SOCKET)
        closesocket(m_listen);
    for (std::thread &t : m_workers)
        t.join();
}

CString CHttpServer::Url(const char *pszPath) const
{
    CString url;
    url.Format(L"http://127.0.0.1:%u", unsigned(m_nPort));
    return url + Utf8ToString(pszPath, int(strlen(pszPath)));
}

void CHttpServer::Set(const std::string &path, const CHttpResponse &response)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_responses[path] = response;
}

void CHttpServer::Set(const std::string &path, const std::string &body, int nStatus)
{
    CHttpResponse r;
    r.body = body;
    r.nStatus = nStatus;
    Set(path, r);
}

void CHttpServer::Redirect(const std::string &path, const std::string &location, int nStatus)
{
    CHttpResponse r;
    r.nStatus = nStatus;
    r.headers.push_back({"Location", location});
    Set(path, r);
}

std::vector<CHttpRequestRecord> CHttpServer::Requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

int CHttpServer::CountRequests(const std::string &path) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return int(std::count_if(m_requests.begin(), m_requests.end(),
                             [&](const CHttpRequestRecord &r) { return r.path == path; }));
}

bool CHttpServer::Wait(DWORD ms)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return !m_stopped.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_bStop.load(); });
}

void CHttpServer::Listen()
{
    while (!m_bStop)
    {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(m_listen, &set);
        timeval tv{0, 50000};
        if (select(0, &set, nullptr, nullptr, &tv) <= 0)
            continue;
        SOCKET s = accept(m_listen, nullptr, nullptr);
        if (s == INVALID_SOCKET)
            continue;
        // Bounded socket calls let the destructor's joins finish.
        DWORD ms = 1000;
        setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char *>(&ms), sizeof(ms));
        setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char *>(&ms), sizeof(ms));
        std::lock_guard<std::mutex> lock(m_mutex);
        m_workers.emplace_back([this, s] { Serve(s); });
    }
}

bool CHttpServer::SendAll(SOCKET s, const char *p, size_t n)
{
    while (n > 0)
    {
        int sent = send(s, p, int(std::min<size_t>(n, 65536)), 0);
        if (sent <= 0)
            return false;
        p += sent;
        n -= size_t(sent);
    }
    return true;
}

void CHttpServer::Serve(SOCKET s)
{
    std::string request;
    char buf[4096];
    while (m_bHold && Wait(1000))
    {
    }
    while (request.find("\r\n\r\n") == std::string::npos && !m_bStop)
    {
        int n = recv(s, buf, sizeof(buf), 0);
        if (n <= 0)
            break;
        request.append(buf, size_t(n));
    }
    size_t headEnd = request.find("\r\n\r\n");
    if (headEnd == std::string::npos)
    {
        closesocket(s);
        return;
    }

    CHttpRequestRecord record;
    size_t lineEnd = request.find("\r\n");
    std::string first = request.substr(0, lineEnd);
    size_t sp1 = first.find(' '), sp2 = first.rfind(' ');
    record.method = first.substr(0, sp1);
    record.path =
        sp1 != std::string::npos && sp2 > sp1 ? first.substr(sp1 + 1, sp2 - sp1 - 1) : std::string();
    for (size_t pos = lineEnd + 2; pos < headEnd;)
    {
        size_t next = request.find("\r\n", pos);
        std::string line = request.substr(pos, next - pos);
        size_t colon = line.find(':');
        if (colon != std::string::npos && Lower(line.substr(0, colon)) == "user-agent")
        {
            size_t v = line.find_first_not_of(' ', colon + 1);
            record.userAgent = v == std::string::npos ? std::string() : line.substr(v);
        }
        pos = next + 2;
    }

    CHttpResponse r;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back(record);
        auto it = m_responses.find(record.path);
        if (it != m_responses.end())
            r = it->second;
        else
        {
            r.nStatus = 404;
            r.body = "<html><body>not found</body></html>";
        }
    }

    if (r.dwStallBeforeHeadersMs && !Wait(r.dwStallBeforeHeadersMs))
    {
        closesocket(s);
        return;
    }

    std::string head = "HTTP/1.1 " + std::to_string(r.nStatus) + " " + ReasonFor(r.nStatus) + "\r\n";
    for (const auto &h : r.headers)
        head += h.first + ": " + h.second + "\r\n";
    if (r.bChunked)
        head += "Transfer-Encoding: chunked\r\n";
    else if (r.nContentLength >= 0)
        head += "Content-Length: " + std::to_string(r.nContentLength) + "\r\n";
    else if (r.nContentLength == -1)
        head += "Content-Length: " + std::to_string(r.body.size()) + "\r\n";
    head += "Connection: close\r\n\r\n";

    // The body as it goes on the wire, and how much of it is the payload before the cut or the stall.
    std::string wire;
    size_t stallWire = std::string::npos, cutWire = std::string::npos;
    if (r.bChunked)
    {
        const size_t kChunk = 1000;
        for (size_t pos = 0; pos < r.body.size(); pos += kChunk)
        {
            size_t n = std::min(kChunk, r.body.size() - pos);
            char size[32];
            snprintf(size, sizeof(size), "%zx\r\n", n);
            if (r.dwStallMidBodyMs && stallWire == std::string::npos && r.nStallAt < pos + n)
                stallWire = wire.size() + strlen(size) + (r.nStallAt - pos);
            if (cutWire == std::string::npos && r.nCloseAfter < pos + n)
                cutWire = wire.size() + strlen(size) + (r.nCloseAfter - pos);
            wire += size;
            wire.append(r.body, pos, n);
            wire += "\r\n";
        }
        wire += "0\r\n\r\n";
    }
    else
    {
        wire = r.body;
        if (r.dwStallMidBodyMs)
            stallWire = std::min(r.nStallAt, wire.size());
        if (r.nCloseAfter < wire.size())
            cutWire = r.nCloseAfter;
    }
    if (cutWire != std::string::npos)
        wire.resize(cutWire);

    bool ok = SendAll(s, head.data(), head.size());
    size_t sent = 0;
    if (ok && stallWire != std::string::npos && stallWire <= wire.size())
    {
        ok = SendAll(s, wire.data(), stallWire) && Wait(r.dwStallMidBodyMs);
        sent = stallWire;
        for (; ok && r.nStallEvery > 0 && sent + r.nStallEvery < wire.size(); sent += r.nStallEvery)
            ok = SendAll(s, wire.data() + sent, r.nStallEvery) && Wait(r.dwStallMidBodyMs);
    }
    if (ok)
        SendAll(s, wire.data() + sent, wire.size() - sent);
    shutdown(s, SD_SEND);
    // Let the client read what was sent before the socket goes away.
    while (recv(s, buf, sizeof(buf), 0) > 0)
    {
    }
    closesocket(s);
}
