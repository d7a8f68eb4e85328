// tests/support/AppTestSupport.h: what the main dialog's tests share: a dialog with its own temporary
// path, answers for the system pickers, folder listings and test playlists.
#pragma once

#include "framework/FileDialog.h"
#include "framework/ShellFolder.h"
#include "tests/support/HttpServer.h"
#include "tests/support/MainDialog.h"
#include "tests/support/TempFolder.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <mutex>
#include <shlobj.h>
#include <string>
#include <vector>
#include <windows.h>

// A fixture whose temporary path is its own temporary folder, so that a dialog's close never touches
// another process's files.
class CPrivateTempTest : public ::testing::Test
{
protected:
    CTempFolder m_temp;
    CTempPathOverride m_tempPath{m_temp.Path()};
};

// The program registers the common control classes at start-up; the dialog template needs them.
struct CCommonControls
{
    CCommonControls()
    {
        INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
        ::InitCommonControlsEx(&icc);
    }
};

// One dialog run modally on its own thread, with the temporary path in "tmp" below the test's folder.
template <class TDlg> class CDialogSession
{
public:
    explicit CDialogSession(const CTempFolder &temp) : m_tempPath(temp.MakeFolder(L"tmp")), m_ui(m_dlg) {}

    // A job pair queued directly (the dialog's UI thread must be idle).
    void AddJob(const CString &strInput, const CString &strOutput = CString())
    {
        m_dlg.m_arrJobs.Add(strInput);
        m_dlg.m_arrJobs.Add(strOutput);
    }
    // A button's click as a posted command, also to a disabled button.
    void Command(int nID) const
    {
        m_ui.Post(WM_COMMAND, MAKEWPARAM(nID, BN_CLICKED), reinterpret_cast<LPARAM>(m_ui.Item(nID)));
    }

    CTempPathOverride m_tempPath;
    CCommonControls m_controls;
    TDlg m_dlg;
    CMainDialog m_ui;
};

// The folder as the shell gives it back: no closing backslash.
CString NoSlash(CString strFolder);

// What the next folder picker returns.
enum class FolderAnswer
{
    Path,          // the item list of the folder given
    Cancel,        // no item list
    NotFileSystem, // an item with no file-system path (the computer's own folder)
};

struct CFolderRequest
{
    HWND hOwner;
    bool bRoot, bDisplayName, bCallback;
    std::wstring strTitle;
    UINT uFlags;
};

struct CFileRequest
{
    BOOL bOpen, bVista;
    DWORD dwFlags;
    std::wstring strDefExt, strFile, strFilter;
};

// Installs both picker hooks for one test and records what the handlers asked for.
class CPickers
{
public:
    CPickers();
    ~CPickers();
    CPickers(const CPickers &) = delete;
    CPickers &operator=(const CPickers &) = delete;

    void AnswerFolder(FolderAnswer answer, const CString &strFolder = CString());
    void AnswerFolder(const CString &strFolder) { AnswerFolder(FolderAnswer::Path, NoSlash(strFolder)); }
    // An empty path cancels.
    void AnswerFile(const CString &strPath);
    std::vector<CFolderRequest> FolderRequests() const;
    std::vector<CFileRequest> FileRequests() const;

private:
    PIDLIST_ABSOLUTE BrowseForFolder(const BROWSEINFOW &bi);
    BOOL PickFile(const CFileDialog &dlg, OPENFILENAMEW &ofn);

    mutable std::mutex m_mutex;
    FolderAnswer m_folderAnswer = FolderAnswer::Cancel;
    CString m_strFolder, m_strFile;
    std::vector<CFolderRequest> m_folderRequests;
    std::vector<CFileRequest> m_fileRequests;
};

// Names in one folder in the order the file system returns them: its files, or its sub-folders.
std::vector<std::wstring> FileNames(const CString &strFolder);
std::vector<std::wstring> FolderNames(const CString &strFolder);

// The lines of one of the dialog's list boxes.
std::vector<std::wstring> ListTexts(const CMainDialog &ui, int nID);

// A playlist with these segment lines; head goes before the first segment.
std::string Playlist(const std::vector<std::string> &segments, const std::string &head = "");

// A body that stalls for dwStallMs before its byte at nStallAt.
CHttpResponse StalledResponse(const std::string &body, DWORD dwStallMs, size_t nStallAt);
