// tests/support/HttpServer.h: a loopback HTTP/1.1 server with canned responses, for fetch tests.
#pragma once

#include "framework/String.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include <winsock2.h>

struct CHttpResponse
{
    int nStatus = 200;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    // Announced length when >= 0; -1 sends the true length; -2 sends none (the close ends the body).
    long long nContentLength = -1;
    bool bChunked = false;
    // Body bytes sent before the connection is dropped; npos sends all.
    size_t nCloseAfter = std::string::npos;
    // Silence before the status line, and before the body byte at nStallAt.
    DWORD dwStallBeforeHeadersMs = 0;
    DWORD dwStallMidBodyMs = 0;
    size_t nStallAt = 0;
    // A trickle: the mid-body silence again after every that many bytes.
    size_t nStallEvery = 0;
};

struct CHttpRequestRecord
{
    std::string method;
    std::string path;
    std::string userAgent;
};

class CHttpServer
{
public:
    // Listens on 127.0.0.1 at a port the system picks.
    CHttpServer();
    // Stops within about a second, also with stalled connections.
    ~CHttpServer();
    CHttpServer(const CHttpServer &) = delete;
    CHttpServer &operator=(const CHttpServer &) = delete;

    bool IsListening() const { return m_listen != INVALID_SOCKET; }
    unsigned short Port() const { return m_nPort; }
    // "http://127.0.0.1:<port>" followed by the path.
    CString Url(const char *pszPath) const;

    void Set(const std::string &path, const CHttpResponse &response);
    void Set(const std::string &path, const std::string &body, int nStatus = 200);
    void Redirect(const std::string &path, const std::string &location, int nStatus = 302);
    // Accepts connections and never answers (nor reads a request): a server stuck in a TLS handshake.
    void HoldConnections() { m_bHold = true; }

    std::vector<CHttpRequestRecord> Requests() const;
    int CountRequests(const std::string &path) const;

private:
    void Listen();
    void Serve(SOCKET s);
    bool SendAll(SOCKET s, const char *p, size_t n);
    // False when the server is stopping.
    bool Wait(DWORD ms);

    SOCKET m_listen = INVALID_SOCKET;
    unsigned short m_nPort = 0;
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bHold{false};
    std::thread m_listener;
    mutable std::mutex m_mutex;
    std::condition_variable m_stopped;
    std::map<std::string, CHttpResponse> m_responses;
    std::vector<CHttpRequestRecord> m_requests;
    std::vector<std::thread> m_workers;
};
