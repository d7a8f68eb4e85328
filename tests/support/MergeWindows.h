// tests/support/MergeWindows.h: an information list and a progress bar for a CMergeRun under test,
// and the test streams made at build time.
#pragma once

#include "framework/String.h"

#include <ostream>
#include <string>
#include <vector>
#include <windows.h>

// A hidden list box and progress bar on the creating thread. The bar records every PBM_SETPOS it
// gets, from any thread (sent messages are handled on the creating thread).
class CMergeWindows
{
public:
    CMergeWindows();
    ~CMergeWindows();
    CMergeWindows(const CMergeWindows &) = delete;
    CMergeWindows &operator=(const CMergeWindows &) = delete;

    HWND List() const { return m_hList; }
    HWND Progress() const { return m_hProgress; }

    // The list's lines with their "[hh:mm:ss] " stamp removed (a line without one stays whole).
    std::vector<CString> Lines() const;
    std::vector<int> Positions() const { return m_positions; }
    void ClearPositions() { m_positions.clear(); }

private:
    static LRESULT CALLBACK ProgressProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);

    HWND m_hList = nullptr;
    HWND m_hProgress = nullptr;
    WNDPROC m_pfnProgress = nullptr;
    std::vector<int> m_positions;
};

// Lines of a list box window with their time stamps removed.
std::vector<CString> UnstampedLines(HWND hList);
// The line without a leading "[hh:mm:ss] ".
CString Unstamped(const CString &strLine);

// The bytes of files one after the other.
std::string Concat(const std::vector<CString> &files);

// Folder of the ffmpeg streams (ending in a backslash), empty when the build made none.
// Each of "seq\" and "iv\" holds keyed\index.m3u8, keyed\key.bin, keyed\seg5.ts... and plain\seg5.ts...
inline CString HlsDataFolder()
{
#ifdef FENDRAL_HLS_DATA
    // The build host's path, seen through Wine's drive for the root.
    CString strPath = CString(L"Z:") + CString(L"" FENDRAL_HLS_DATA) + L"\\";
    strPath.Replace(L'/', L'\\');
    return strPath;
#else
    return CString();
#endif
}

// Test failures show the text, in UTF-8.
inline void PrintTo(const CString &s, std::ostream *os)
{
    *os << '"' << StringToUtf8(s) << '"';
}
