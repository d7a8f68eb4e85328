// framework/ShellFolder.h: the shell's folder picker behind a seam that tests can answer.
#pragma once

#include <functional>
#include <shlobj.h>
#include <windows.h>

// SHBrowseForFolderW, or the installed hook: the chosen folder's item list (allocated with the
// shell's allocator, which the caller frees), or null on cancel.
PIDLIST_ABSOLUTE AfxBrowseForFolder(LPBROWSEINFOW lpbi);

using BrowseForFolderHook = std::function<PIDLIST_ABSOLUTE(const BROWSEINFOW &bi)>;
// Replaces SHBrowseForFolderW until reset with an empty hook; returns the previous one.
BrowseForFolderHook AfxSetBrowseForFolderHook(BrowseForFolderHook hook);
