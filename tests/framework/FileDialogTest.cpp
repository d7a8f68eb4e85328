// CFileDialog: the structure it prepares for the system, its answer through the test hook, and the
// real system dialogs answered through their own controls.
#include "framework/FileDialog.h"

#include "framework/App.h"
#include "framework/ShellFolder.h"
#include "tests/support/TempFolder.h"

#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace
{
// Removes any hook a test installed, also when the test fails.
struct CHookReset
{
    ~CHookReset()
    {
        CFileDialog::SetPickHook(nullptr);
        AfxSetBrowseForFolderHook(nullptr);
    }
};

// The filter the system sees, up to and including its closing pair of NULs.
std::wstring FilterBlock(const OPENFILENAMEW &ofn)
{
    if (!ofn.lpstrFilter)
        return std::wstring(L"<none>");
    const wchar_t *p = ofn.lpstrFilter;
    std::wstring block;
    while (p[0] != L'\0' || p[1] != L'\0')
        block.push_back(*p++);
    block.append(2, L'\0');
    return block;
}

// A literal with embedded NULs, without the terminator the compiler adds.
template <size_t N> std::wstring Block(const wchar_t (&psz)[N])
{
    return std::wstring(psz, N - 1);
}

struct Seen
{
    bool bCalled = false;
    BOOL bOpen = FALSE;
    BOOL bVista = FALSE;
    DWORD dwFlags = 0;
    DWORD dwStructSize = 0;
    HWND hOwner = nullptr;
    std::wstring strDefExt, strFile, strFilter;
};

// Records what the dialog would hand to the system and answers with strAnswer (empty: cancel).
CFileDialog::PickHook Recorder(Seen &seen, const std::wstring &strAnswer)
{
    return [&seen, strAnswer](const CFileDialog &dlg, OPENFILENAMEW &ofn) -> BOOL {
        seen.bCalled = true;
        seen.bOpen = dlg.IsOpenFileDialog();
        seen.bVista = dlg.IsVistaStyle();
        seen.dwFlags = ofn.Flags;
        seen.dwStructSize = ofn.lStructSize;
        seen.hOwner = ofn.hwndOwner;
        seen.strDefExt = ofn.lpstrDefExt ? ofn.lpstrDefExt : L"<none>";
        seen.strFile = ofn.lpstrFile;
        seen.strFilter = FilterBlock(ofn);
        if (strAnswer.empty())
            return FALSE;
        lstrcpynW(ofn.lpstrFile, strAnswer.c_str(), static_cast<int>(ofn.nMaxFile));
        return TRUE;
    };
}

BOOL CALLBACK FindShownDialog(HWND hWnd, LPARAM lParam)
{
    wchar_t szClass[16] = {};
    GetClassNameW(hWnd, szClass, 16);
    if (lstrcmpW(szClass, L"#32770") == 0 && IsWindowVisible(hWnd))
    {
        *reinterpret_cast<HWND *>(lParam) = hWnd;
        return FALSE;
    }
    return TRUE;
}

// Finds a shown dialog (#32770) of the given thread.
HWND WaitForThreadDialog(DWORD dwThreadId, DWORD dwTimeoutMs = 15000)
{
    DWORD dwStart = GetTickCount();
    while (GetTickCount() - dwStart < dwTimeoutMs)
    {
        HWND hFound = nullptr;
        EnumThreadWindows(dwThreadId, FindShownDialog, reinterpret_cast<LPARAM>(&hFound));
        if (hFound)
            return hFound;
        Sleep(20);
    }
    return nullptr;
}

// The file-name box of the system dialog: edt1, or the combo box cmb13 of newer templates.
HWND FileNameBox(HWND hDlg)
{
    if (HWND hEdit = GetDlgItem(hDlg, 0x480))
        return hEdit;
    return GetDlgItem(hDlg, 0x47c);
}

std::vector<std::wstring> ComboItems(HWND hCombo)
{
    std::vector<std::wstring> items;
    LRESULT n = SendMessageW(hCombo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i)
    {
        std::wstring item(static_cast<size_t>(SendMessageW(hCombo, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
        SendMessageW(hCombo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&item[0]));
        item.resize(lstrlenW(item.c_str()));
        items.push_back(item);
    }
    return items;
}

std::wstring WindowText(HWND hWnd)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hWnd)) + 1, L'\0');
    GetWindowTextW(hWnd, &text[0], static_cast<int>(text.size()));
    text.resize(lstrlenW(text.c_str()));
    return text;
}

// Runs DoModal on its own thread, so the test can answer the real dialog.
struct CModalRun
{
    CFileDialog &dlg;
    std::atomic<INT_PTR> nResult{-1};
    std::atomic<DWORD> dwThreadId{0};
    std::atomic<DWORD> dwError{0};
    std::thread thread;

    explicit CModalRun(CFileDialog &d) : dlg(d)
    {
        thread = std::thread([this] {
            dwThreadId = GetCurrentThreadId();
            nResult = dlg.DoModal();
            dwError = CommDlgExtendedError();
        });
        while (dwThreadId == 0)
            Sleep(1);
    }
    ~CModalRun()
    {
        if (thread.joinable())
            thread.join();
    }
};
} // namespace

TEST(FileDialog, PreparesWhatTheSystemIsGiven)
{
    CHookReset reset;
    struct Case
    {
        BOOL bOpen;
        const wchar_t *pszDefExt;
        const wchar_t *pszName;
        DWORD dwFlags;
        const wchar_t *pszFilter;
        DWORD dwSize;
        BOOL bVista;
        std::wstring strFilter; // as handed over
        DWORD dwExpectedSize;
    };
    const std::wstring kTwo = Block(L"TS文件 (*.ts)\0*.ts\0所有文件 (*.*)\0*.*\0\0");
    const Case cases[] = {
        {FALSE, L"ts", L"output.ts", OFN_OVERWRITEPROMPT, L"TS文件 (*.ts)|*.ts|所有文件 (*.*)|*.*||", 0, TRUE,
         kTwo, sizeof(OPENFILENAMEW)},
        {TRUE, L"m3u8", L"", OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, L"m3u8|*.m3u8||", 0, FALSE,
         Block(L"m3u8\0*.m3u8\0\0"), sizeof(OPENFILENAMEW)},
        // Without the closing "||" the block is still closed.
        {TRUE, nullptr, nullptr, 0, L"All|*.*", OPENFILENAME_SIZE_VERSION_400W, TRUE, Block(L"All\0*.*\0\0"),
         OPENFILENAME_SIZE_VERSION_400W},
        {FALSE, nullptr, nullptr, OFN_FILEMUSTEXIST, nullptr, 0, TRUE, L"<none>", sizeof(OPENFILENAMEW)},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.pszFilter ? StringToUtf8(c.pszFilter) : std::string("no filter"));
        Seen seen;
        CFileDialog::SetPickHook(Recorder(seen, L""));
        CFileDialog dlg(c.bOpen, c.pszDefExt, c.pszName, c.dwFlags, c.pszFilter, nullptr, c.dwSize, c.bVista);
        EXPECT_EQ(dlg.DoModal(), IDCANCEL);
        ASSERT_TRUE(seen.bCalled);
        EXPECT_EQ(seen.bOpen, c.bOpen);
        EXPECT_EQ(seen.bVista, c.bVista);
        EXPECT_EQ(seen.dwFlags, c.dwFlags);
        EXPECT_EQ(seen.dwStructSize, c.dwExpectedSize);
        EXPECT_EQ(seen.strDefExt, c.pszDefExt ? c.pszDefExt : L"<none>");
        EXPECT_EQ(seen.strFile, c.pszName ? c.pszName : L"");
        EXPECT_EQ(seen.strFilter, c.strFilter);
    }
}

// Without a parent the dialog belongs to the application's main window, even while another window of
// the thread is active or none is; only without a main window does the active window own it.
TEST(FileDialog, OwnerIsTheParentElseTheMainWindow)
{
    CHookReset reset;
    auto makeWindow = [] {
        return CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    };
    HWND hMain = makeWindow();
    HWND hParent = makeWindow();
    HWND hActive = makeWindow();
    ASSERT_TRUE(hMain && hParent && hActive);
    ShowWindow(hActive, SW_SHOW);
    SetActiveWindow(hActive);
    ASSERT_EQ(GetActiveWindow(), hActive);

    CWnd main, parent;
    ASSERT_TRUE(main.Attach(hMain));
    ASSERT_TRUE(parent.Attach(hParent));
    struct Case
    {
        const char *pszName;
        bool bApp, bMainWnd, bParent;
        HWND hExpected;
    } cases[] = {
        {"parent given", true, true, true, hParent},
        {"main window", true, true, false, hMain},
        {"application without main window", true, false, false, hActive},
        {"no application", false, false, false, hActive},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.pszName);
        std::unique_ptr<CWinApp> pApp(c.bApp ? new CWinApp(L"Owner") : nullptr);
        if (pApp && c.bMainWnd)
            pApp->m_pMainWnd = &main;
        Seen seen;
        CFileDialog::SetPickHook(Recorder(seen, L""));
        CFileDialog dlg(TRUE, nullptr, nullptr, OFN_HIDEREADONLY, nullptr, c.bParent ? &parent : nullptr);
        dlg.DoModal();
        ASSERT_TRUE(seen.bCalled);
        EXPECT_EQ(seen.hOwner, c.hExpected);
    }
    main.Detach();
    parent.Detach();
    for (HWND h : {hMain, hParent, hActive})
        DestroyWindow(h);
}

TEST(FileDialog, AnswerGivesResultAndPath)
{
    CHookReset reset;
    struct Case
    {
        std::wstring strAnswer;
        INT_PTR nResult;
        const wchar_t *pszPath;
        const wchar_t *pszName;
    };
    const Case cases[] = {
        {L"C:\\Video\\《A》\\movie.ts", IDOK, L"C:\\Video\\《A》\\movie.ts", L"movie.ts"},
        {L"movie.ts", IDOK, L"movie.ts", L"movie.ts"},
        // A cancel leaves the initial name where the path would be, as the system does.
        {L"", IDCANCEL, L"output.ts", L"output.ts"},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(StringToUtf8(c.strAnswer.c_str()));
        Seen seen;
        CFileDialog::SetPickHook(Recorder(seen, c.strAnswer));
        CFileDialog dlg(FALSE, L"ts", L"output.ts", OFN_OVERWRITEPROMPT, L"TS|*.ts||");
        EXPECT_EQ(dlg.DoModal(), c.nResult);
        EXPECT_EQ(dlg.GetPathName(), c.pszPath);
        EXPECT_EQ(dlg.GetFileName(), c.pszName);
    }
    // Once reset, the hook is no longer asked (the previous one comes back from the setter).
    Seen seen;
    CFileDialog::SetPickHook(Recorder(seen, L"x"));
    CFileDialog::PickHook previous = CFileDialog::SetPickHook(nullptr);
    EXPECT_TRUE(static_cast<bool>(previous));
    EXPECT_FALSE(static_cast<bool>(CFileDialog::SetPickHook(nullptr)));
    EXPECT_FALSE(seen.bCalled);
}

// The real system dialogs, answered through their own controls.
TEST(FileDialog, SystemDialogsAcceptTypedNamesAndCancel)
{
    CTempFolder temp;
    struct Case
    {
        BOOL bOpen;
        const wchar_t *pszTyped; // relative to the temp folder; null presses Cancel
        INT_PTR nResult;
        const wchar_t *pszExpected; // relative to the temp folder
    };
    temp.Write(L"have.m3u8", "#EXTM3U\n");
    const Case cases[] = {
        {FALSE, L"movie", IDOK, L"movie.ts"}, // the default extension is added
        {FALSE, L"clip.ts", IDOK, L"clip.ts"}, {TRUE, L"have.m3u8", IDOK, L"have.m3u8"},
        {FALSE, nullptr, IDCANCEL, nullptr},   {TRUE, nullptr, IDCANCEL, nullptr},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.pszTyped ? StringToUtf8(c.pszTyped)
                                : std::string(c.bOpen ? "open cancel" : "save cancel"));
        const wchar_t *pszFilter = c.bOpen ? L"m3u8文件 (*.m3u8)|*.m3u8|所有文件 (*.*)|*.*||"
                                           : L"TS文件 (*.ts)|*.ts|所有文件 (*.*)|*.*||";
        CFileDialog dlg(c.bOpen, c.bOpen ? L"m3u8" : L"ts", c.bOpen ? L"" : L"output.ts", OFN_OVERWRITEPROMPT,
                        pszFilter);
        CModalRun run(dlg);
        HWND hDlg = WaitForThreadDialog(run.dwThreadId);
        ASSERT_NE(hDlg, nullptr) << run.nResult.load() << " " << run.dwError.load();
        std::vector<std::wstring> types = ComboItems(GetDlgItem(hDlg, 0x470));
        if (c.bOpen)
            EXPECT_EQ(types, (std::vector<std::wstring>{L"m3u8文件 (*.m3u8)", L"所有文件 (*.*)"}));
        else
            EXPECT_EQ(types, (std::vector<std::wstring>{L"TS文件 (*.ts)", L"所有文件 (*.*)"}));
        if (c.pszTyped)
        {
            HWND hName = FileNameBox(hDlg);
            ASSERT_NE(hName, nullptr);
            if (!c.bOpen)
            {
                EXPECT_EQ(WindowText(hName), L"output.ts");
            }
            SendMessageW(hName, WM_SETTEXT, 0,
                         reinterpret_cast<LPARAM>((temp.Path() + c.pszTyped).Str().c_str()));
            PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(hDlg, IDOK)));
        }
        else
        {
            PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(hDlg, IDCANCEL)));
        }
        run.thread.join();
        EXPECT_EQ(run.nResult.load(), c.nResult);
        if (c.pszExpected)
        {
            EXPECT_EQ(dlg.GetPathName().Str(), (temp.Path() + c.pszExpected).Str());
        }
    }
}

TEST(BrowseForFolder, HookSeesTheRequestAndItsAnswerIsReturned)
{
    CHookReset reset;
    CTempFolder temp;
    std::wstring strTitle;
    UINT uFlags = 0;
    int nCalls = 0;
    AfxSetBrowseForFolderHook([&](const BROWSEINFOW &bi) -> PIDLIST_ABSOLUTE {
        ++nCalls;
        strTitle = bi.lpszTitle ? bi.lpszTitle : L"";
        uFlags = bi.ulFlags;
        return ILCreateFromPathW(temp.Path());
    });
    BROWSEINFOW bi = {};
    bi.lpszTitle = L"选择目录";
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE pidl = AfxBrowseForFolder(&bi);
    ASSERT_NE(pidl, nullptr);
    wchar_t szPath[MAX_PATH] = {};
    EXPECT_TRUE(SHGetPathFromIDListW(pidl, szPath));
    CoTaskMemFree(pidl);
    CString strExpected = temp.Path();
    strExpected.TrimRight(L'\\');
    EXPECT_EQ(CString(szPath), strExpected);
    EXPECT_EQ(nCalls, 1);
    EXPECT_EQ(strTitle, L"选择目录");
    EXPECT_EQ(uFlags, 0x41u);
}

// Without a hook the shell's own picker comes up; cancelling it gives no item list.
TEST(BrowseForFolder, SystemPickerCancelGivesNothing)
{
    std::atomic<DWORD> dwThreadId{0};
    std::atomic<bool> bNull{false};
    std::thread ui([&] {
        dwThreadId = GetCurrentThreadId();
        BROWSEINFOW bi = {};
        bi.lpszTitle = L"选择目录";
        bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
        PIDLIST_ABSOLUTE pidl = AfxBrowseForFolder(&bi);
        bNull = pidl == nullptr;
        CoTaskMemFree(pidl);
    });
    while (dwThreadId == 0)
        Sleep(1);
    HWND hDlg = WaitForThreadDialog(dwThreadId);
    EXPECT_NE(hDlg, nullptr);
    if (hDlg)
        PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(hDlg, IDCANCEL)));
    ui.join();
    EXPECT_TRUE(bNull.load());
}
