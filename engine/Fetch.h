// engine/Fetch.h: the HTTP and file fetchers behind the playlist loader and the merge.
#pragma once

#include "framework/String.h"

#include <vector>
#include <windows.h>

// How long a fetch waits for the server (connect, send, each receive) before it fails.
// Tests shorten it.
extern DWORD g_dwFetchTimeoutMs;

// Saves the body of pszUrl into pszPath. FALSE when the request or the status fails (pszPath is then
// not touched), when the file cannot be written, or when the body ends early.
BOOL DownloadToFile(LPCWSTR pszUrl, LPCWSTR pszPath);

// The body of pszUrl decoded from UTF-8 and trimmed; empty on any failure.
CString DownloadText(LPCTSTR pszUrl);

// The key bytes from a web address ("http://" or "https://" in any case) or from a local file.
bool LoadKeyData(CString strUri, std::vector<unsigned char> &key, DWORD *pcbKey);

// The top playlist's text for CPlaylist::Load; false when the fetch fails.
bool FetchPlaylistText(LPCTSTR pszUrl, CString &strText);
