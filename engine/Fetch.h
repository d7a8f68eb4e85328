// engine/Fetch.h: the HTTP and file fetchers behind the playlist loader and the merge.
#pragma once

#include "framework/String.h"

#include <atomic>
#include <vector>
#include <windows.h>

// How long a request may go without a sign of life from the server, at any stage (connecting, the TLS
// handshake, waiting for the answer, reading the body), before the fetch fails. Tests shorten it.
extern DWORD g_dwFetchTimeoutMs;

// While one lives, the fetches made on its thread give up within about a tenth of a second once the flag
// reads FALSE (a Stop), and fail like any failed fetch.
class CFetchStopScope
{
public:
    explicit CFetchStopScope(const std::atomic<BOOL> &bRunning);
    ~CFetchStopScope();
    CFetchStopScope(const CFetchStopScope &) = delete;
    CFetchStopScope &operator=(const CFetchStopScope &) = delete;

private:
    const std::atomic<BOOL> *m_pbPrevious;
};

// Saves the body of pszUrl into pszPath. FALSE when the request or the status fails (pszPath is then
// not touched), when the file cannot be written, or when the body ends early.
BOOL DownloadToFile(LPCWSTR pszUrl, LPCWSTR pszPath);

// The body of pszUrl decoded from UTF-8 and trimmed; empty on any failure.
CString DownloadText(LPCTSTR pszUrl);

// The key bytes from a web address ("http://" or "https://" in any case) or from a local file.
bool LoadKeyData(CString strUri, std::vector<unsigned char> &key, DWORD *pcbKey);

// The top playlist's text for CPlaylist::Load; false when the fetch fails.
bool FetchPlaylistText(LPCTSTR pszUrl, CString &strText);
