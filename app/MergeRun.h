// app/MergeRun.h: what a run's worker shares with the dialog.
//
// The worker holds its own reference to this object and never the dialog itself, so everything it
// touches outlives a dialog that ends during a run. It reaches the dialog's window only through
// window handles; once the window is gone, sends and posts to them fail harmlessly.
#pragma once

#include "engine/Playlist.h"
#include "framework/String.h"
#include "framework/StringArray.h"

#include <atomic>
#include <memory>
#include <windows.h>

// Worker to dialog: one per job (wParam 1 merged / 0 failed or stopped, lParam a BSTR copy of the
// input, freed by the receiver), then one at the end of the run (0, 0).
constexpr UINT WM_MERGE_ALL_DONE = WM_USER + 100;
constexpr UINT WM_MERGE_ITEM_DONE = WM_USER + 101;

class CMergeRun
{
public:
    // Run flag: set by Start, cleared by Stop, a confirmed close and the end of a run.
    std::atomic<BOOL> m_bRunning{FALSE};
    // Pairs: 2k the input location, 2k+1 the output path. Written by the UI only while no run is active.
    CStringArray m_arrJobs;
    // The playlist of the job being merged; the worker's alone.
    CPlaylist m_playlist;

    // The dialog's windows, set when the dialog has created them.
    HWND m_hDlg = nullptr;
    HWND m_hInfo = nullptr;
    HWND m_hProgress = nullptr;

    // Merges one playlist into one output file; true when merged completely and still running.
    bool MergeOne(CString strInput, CString strOutput);
    // A time-stamped line in the information list.
    void AddLog(LPCTSTR pszText) const;
};

// Worker entry. pParam is a heap-allocated std::shared_ptr<CMergeRun>, which the worker deletes.
UINT MergeThreadProc(LPVOID pParam);

// "<temp>\m3u8_temp\<process id>\": where this program's downloaded segments lie between their download
// and their append.
CString SegmentFolderPath();
// Creates m3u8_temp and then the segment folder, each when missing.
void CreateSegmentFolder(const CString &strSegmentFolder);
// Removes the segment folder and then m3u8_temp, each only when empty.
void RemoveSegmentFolder(const CString &strSegmentFolder);

// "[hh:mm:ss] text" appended to a list box, which is then scrolled to show it.
void AppendLogLine(HWND hList, LPCTSTR pszText);
