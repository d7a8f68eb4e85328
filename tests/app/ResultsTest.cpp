// Job results, the end of a run and source deletion, driven through the real dialog.
#include "app/FendralDlg.h"
#include "framework/Time.h"
#include "tests/support/AppTestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <oleauto.h>
#include <string>
#include <vector>

namespace
{
struct CResultsDlg : CFendralDlg
{
    using CFendralDlg::m_arrDelDirs;
    using CFendralDlg::m_arrDelFiles;
    using CFendralDlg::m_arrJobs;
    using CFendralDlg::m_bBatchMode;
    using CFendralDlg::m_bDeleteSource;
    using CFendralDlg::m_bRunning;
    using CFendralDlg::m_nFail;
    using CFendralDlg::m_nSuccess;
};

const wchar_t kDone[] = L"所有M3U8视频合并完成，共成功合并%d个视频！";
const wchar_t kDoneWithFailures[] = L"所有M3U8视频合并完成，共成功合并%d个视频，%d个视频合并失败！";

// The dialog of one test, with the state a run would have set up before its first result.
class CRun : public CDialogSession<CResultsDlg>
{
public:
    // The dialog's close cleans the temporary folder: the session gives this process its own.
    using CDialogSession::CDialogSession;

    // Options as Start leaves them; the save folder box names a folder away from the sources.
    void Begin(bool bBatch, bool bDeleteSource, const CString &strSaveDir)
    {
        INT_PTR nResult = 0;
        ASSERT_NE(m_ui.Window(), nullptr) << m_ui.WaitForEnd(0, &nResult) << " " << nResult;
        m_ui.SetText(IDC_EDIT_SAVEDIR, strSaveDir);
        m_ui.Sync();
        m_dlg.m_bBatchMode = bBatch;
        m_dlg.m_bDeleteSource = bDeleteSource;
        m_dlg.m_nSuccess = 0;
        m_dlg.m_nFail = 0;
        m_dlg.m_bRunning = TRUE;
        for (int nID : {IDC_BUTTON_START, IDC_RADIO_SINGLE, IDC_RADIO_BATCH, IDC_BUTTON_BROWSE_INPUT,
                        IDC_BUTTON_BROWSE_OUTPUT, IDC_BUTTON_BROWSE_SAVEDIR})
            ::EnableWindow(m_ui.Item(nID), FALSE);
        ::EnableWindow(m_ui.Item(IDC_BUTTON_STOP), TRUE);
        ::SendMessageW(m_ui.Item(IDC_PROGRESS), PBM_SETPOS, 30, 0);
    }
    void Result(WPARAM wParam, const CString &strInput) const
    {
        m_ui.Post(WM_MERGE_ITEM_DONE, wParam, reinterpret_cast<LPARAM>(SysAllocString(strInput)));
    }
    void End(WPARAM wParam = 0) const
    {
        m_ui.Post(WM_MERGE_ALL_DONE, wParam, 0);
        ASSERT_TRUE(m_ui.Sync());
    }
    void SetCheck(int nID, bool bTicked) const
    {
        ::SendMessageW(m_ui.Item(nID), BM_SETCHECK, bTicked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
};

CString Now()
{
    return CTime::GetCurrentTime().Format(L"%H:%M:%S");
}

// A result line: prefix, a stamp taken between the two times given, then the input.
void ExpectResultLine(const std::wstring &line, const wchar_t *pszPrefix, const CString &strInput,
                      const CString &strBefore, const CString &strAfter)
{
    const std::wstring prefix = pszPrefix;
    ASSERT_EQ(line.substr(0, prefix.size()), prefix) << StringToUtf8(line);
    const std::wstring stamp = line.substr(prefix.size(), 8);
    ASSERT_EQ(stamp.size(), 8u);
    for (size_t i : {0, 1, 3, 4, 6, 7})
        EXPECT_TRUE(iswdigit(stamp[i])) << StringToUtf8(line);
    EXPECT_EQ(stamp[2], L':');
    EXPECT_EQ(stamp[5], L':');
    EXPECT_TRUE(stamp == strBefore.Str() || stamp == strAfter.Str() ||
                (strBefore.Str() <= stamp && stamp <= strAfter.Str()))
        << StringToUtf8(line);
    EXPECT_EQ(line.substr(prefix.size() + 8), L") " + strInput.Str());
}
} // namespace

TEST(MergeResults, LinesFollowTheDisplayOptionsAndEveryResultIsCounted)
{
    struct Case
    {
        bool bShowSuccess, bShowFailure;
    };
    const Case cases[] = {{true, true}, {true, false}, {false, true}, {false, false}};
    const CString inputs[] = {L"http://host/a/one.m3u8", L"http://host/b/two.m3u8", L"D:\\c\\three.m3u8",
                              L"http://host/d/four.m3u8"};
    const WPARAM results[] = {1, 0, 0, 1};

    for (const Case &c : cases)
    {
        SCOPED_TRACE(::testing::Message()
                     << "success shown " << c.bShowSuccess << ", failure shown " << c.bShowFailure);
        CTempFolder temp;
        CRun run(temp);
        run.Begin(true, false, temp.MakeFolder(L"save"));
        run.SetCheck(IDC_CHECK_SHOW_SUCCESS, c.bShowSuccess);
        run.SetCheck(IDC_CHECK_SHOW_FAILURE, c.bShowFailure);

        const CString strBefore = Now();
        for (int i = 0; i < 4; ++i)
            run.Result(results[i], inputs[i]);
        // Neither a value other than 0 and 1 counts nor lists anything.
        run.Result(2, L"http://host/e/five.m3u8");
        ASSERT_TRUE(run.m_ui.Sync());
        const CString strAfter = Now();

        std::vector<std::wstring> lines = ListTexts(run.m_ui, IDC_LIST_RESULT);
        size_t nLine = 0;
        for (int i = 0; i < 4; ++i)
        {
            const bool bMerged = results[i] == 1;
            if (bMerged ? !c.bShowSuccess : !c.bShowFailure)
                continue;
            ASSERT_LT(nLine, lines.size());
            ExpectResultLine(lines[nLine++], bMerged ? L"成功：(" : L"失败：(", inputs[i], strBefore,
                             strAfter);
        }
        EXPECT_EQ(nLine, lines.size());
        EXPECT_EQ(run.m_dlg.m_nSuccess, 2);
        EXPECT_EQ(run.m_dlg.m_nFail, 2);
        // The list is not scrolled to its new lines.
        EXPECT_EQ(::SendMessageW(run.m_ui.Item(IDC_LIST_RESULT), LB_GETTOPINDEX, 0, 0), 0);
    }
}

TEST(MergeResults, EndOfRunRestoresTheDialogAndWritesTheBatchSummary)
{
    struct Case
    {
        bool bBatch;
        int nMerged, nFailed;
        const wchar_t *pszSummary; // null: no summary line
    };
    const Case cases[] = {
        {true, 2, 0, kDone},    {true, 1, 2, kDoneWithFailures}, {true, 0, 1, kDoneWithFailures},
        {true, 0, 0, kDone}, // stopped before any job ran
        {false, 1, 0, nullptr}, {false, 0, 1, nullptr},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(::testing::Message()
                     << (c.bBatch ? "batch " : "single ") << c.nMerged << "/" << c.nFailed);
        CTempFolder temp;
        CRun run(temp);
        run.Begin(c.bBatch, false, temp.MakeFolder(L"save"));
        run.AddJob(L"http://host/a/index.m3u8", temp / L"save\\a.ts");
        const size_t nInfoBefore = ListTexts(run.m_ui, IDC_LIST_INFO).size();
        for (int i = 0; i < c.nMerged; ++i)
            run.Result(1, L"http://host/a/index.m3u8");
        for (int i = 0; i < c.nFailed; ++i)
            run.Result(0, L"http://host/b/index.m3u8");

        // Only the value 0 ends a run.
        run.End(1);
        EXPECT_TRUE(run.m_dlg.m_bRunning);
        EXPECT_FALSE(run.m_ui.IsEnabled(IDC_BUTTON_START));
        EXPECT_EQ(run.m_dlg.m_arrJobs.GetSize(), 2);

        run.End();
        EXPECT_FALSE(run.m_dlg.m_bRunning);
        EXPECT_EQ(run.m_dlg.m_arrJobs.GetSize(), 0);
        EXPECT_EQ(run.m_dlg.m_arrDelFiles.GetSize(), 0);
        EXPECT_EQ(run.m_dlg.m_arrDelDirs.GetSize(), 0);
        for (int nID : {IDC_BUTTON_START, IDC_RADIO_SINGLE, IDC_RADIO_BATCH, IDC_BUTTON_BROWSE_INPUT,
                        IDC_BUTTON_BROWSE_OUTPUT, IDC_BUTTON_BROWSE_SAVEDIR})
            EXPECT_TRUE(run.m_ui.IsEnabled(nID)) << nID;
        EXPECT_FALSE(run.m_ui.IsEnabled(IDC_BUTTON_STOP));
        EXPECT_EQ(::SendMessageW(run.m_ui.Item(IDC_PROGRESS), PBM_GETPOS, 0, 0), 100);
        // The counters keep their values until the next Start.
        EXPECT_EQ(run.m_dlg.m_nSuccess, c.nMerged);
        EXPECT_EQ(run.m_dlg.m_nFail, c.nFailed);

        std::vector<std::wstring> info = ListTexts(run.m_ui, IDC_LIST_INFO);
        if (!c.pszSummary)
        {
            EXPECT_EQ(info.size(), nInfoBefore);
            continue;
        }
        CString strSummary;
        if (c.nFailed > 0)
            strSummary.Format(c.pszSummary, c.nMerged, c.nFailed);
        else
            strSummary.Format(c.pszSummary, c.nMerged);
        ASSERT_EQ(info.size(), nInfoBefore + 1);
        EXPECT_EQ(info.back(), strSummary.Str());
    }
}

namespace
{
using Paths = std::vector<std::wstring>;

// How the run was set up and what it reported.
struct RunOptions
{
    int nResults;   // how often the input is reported
    WPARAM wResult; // 1 merged, 0 failed
    bool bBatch, bDeleteSource, bShowSuccess;
    std::wstring saveDir; // the save folder box
    Paths outputs;        // the jobs' output paths; written when they end in ".ts"
};

struct PlanCase
{
    const char *pszName;
    Paths files;        // written below the test folder
    std::wstring input; // below the test folder
    RunOptions run;
    Paths planFiles, planDirs;
    Paths gone, stay;
};

// A path below the test folder; "^" in front: the same in capitals; "=" in front: taken as it stands.
std::wstring Full(const CTempFolder &temp, const std::wstring &relative)
{
    if (!relative.empty() && relative[0] == L'=')
        return relative.substr(1);
    if (!relative.empty() && relative[0] == L'^')
    {
        CString strUpper = temp.Path() + relative.substr(1).c_str();
        return strUpper.MakeUpper().Str();
    }
    return temp.Path().Str() + relative;
}

Paths Sorted(Paths paths)
{
    std::sort(paths.begin(), paths.end());
    return paths;
}

Paths Planned(const CStringArray &arr)
{
    Paths paths;
    for (int i = 0; i < arr.GetSize(); ++i)
        paths.push_back(arr[i].Str());
    return Sorted(paths);
}

void RunPlanCase(const PlanCase &c)
{
    SCOPED_TRACE(c.pszName);
    CTempFolder temp;
    for (const std::wstring &f : c.files)
        temp.Write(f.c_str(), "x");
    CRun run(temp);
    run.Begin(c.run.bBatch, c.run.bDeleteSource, Full(temp, c.run.saveDir).c_str());
    run.SetCheck(IDC_CHECK_SHOW_SUCCESS, c.run.bShowSuccess);
    const std::wstring input = Full(temp, c.input);
    for (int i = 0; i < c.run.nResults; ++i)
    {
        std::wstring output = Full(temp, c.run.outputs.at(size_t(i) % c.run.outputs.size()));
        if (output.size() > 3 && output.compare(output.size() - 3, 3, L".ts") == 0)
            temp.Write(output.substr(temp.Path().GetLength()).c_str(), "merged");
        run.AddJob(input.c_str(), output.c_str());
    }
    for (int i = 0; i < c.run.nResults; ++i)
        run.Result(c.run.wResult, input.c_str());
    ASSERT_TRUE(run.m_ui.Sync());

    Paths planFiles, planDirs;
    for (const std::wstring &f : c.planFiles)
        planFiles.push_back(Full(temp, f));
    for (const std::wstring &d : c.planDirs)
        planDirs.push_back(Full(temp, d));
    EXPECT_EQ(Planned(run.m_dlg.m_arrDelFiles), Sorted(planFiles));
    EXPECT_EQ(Planned(run.m_dlg.m_arrDelDirs), Sorted(planDirs));

    run.End();
    EXPECT_FALSE(run.m_dlg.m_bRunning);
    EXPECT_EQ(run.m_dlg.m_arrDelFiles.GetSize(), 0);
    EXPECT_EQ(run.m_dlg.m_arrDelDirs.GetSize(), 0);
    for (const std::wstring &g : c.gone)
        EXPECT_EQ(GetFileAttributesW(Full(temp, g).c_str()), INVALID_FILE_ATTRIBUTES)
            << StringToUtf8(g.c_str());
    for (const std::wstring &k : c.stay)
        EXPECT_NE(GetFileAttributesW(Full(temp, k).c_str()), INVALID_FILE_ATTRIBUTES)
            << StringToUtf8(k.c_str());
}
} // namespace

// clang-format off
TEST(SourceDeletion, EachKindOfPlaylistFolder)
{
    const RunOptions batch = {1, 1, true, true, true, L"save\\", {L"save\\P.ts"}};
    const PlanCase cases[] = {
        {"video file, no sub-folder: only the playlist goes",
         {L"P\\index.m3u8", L"P\\a.ts", L"P\\b.MP4"}, L"P\\index.m3u8", batch,
         {L"P\\index.m3u8"}, {},
         {L"P\\index.m3u8"}, {L"P", L"P\\a.ts", L"P\\b.MP4", L"save\\P.ts"}},
        {"video file, one sub-folder: the playlist and the sub-folder go",
         {L"P\\index.m3u8", L"P\\v.avi", L"P\\S\\x.txt", L"P\\S\\T\\y.m3u8"}, L"P\\index.m3u8", batch,
         {L"P\\index.m3u8"}, {L"P\\S"},
         {L"P\\index.m3u8", L"P\\S"}, {L"P", L"P\\v.avi"}},
        {"no video file, one sub-folder: the whole folder goes",
         {L"P\\index.m3u8", L"P\\notes.txt", L"P\\S\\z.ts"}, L"P\\index.m3u8", batch,
         {}, {L"P\\"},
         {L"P"}, {L"save\\P.ts"}},
        {"no video file, no sub-folder: the whole folder goes",
         {L"P\\index.m3u8", L"P\\cover.jpg"}, L"P\\index.m3u8", batch,
         {}, {L"P\\"},
         {L"P"}, {L"save"}},
        {"video file, several sub-folders: sub-folders with playlists go, once per playlist",
         {L"P\\index.m3u8", L"P\\v.mkv", L"P\\S1\\a.m3u8", L"P\\S1\\a0.ts", L"P\\S2\\readme.txt",
          L"P\\S3\\b.m3u8", L"P\\S3\\c.m3u8", L"P\\S3\\deep\\d.ts"}, L"P\\index.m3u8", batch,
         {L"P\\index.m3u8"}, {L"P\\S1\\", L"P\\S3\\", L"P\\S3\\"},
         {L"P\\index.m3u8", L"P\\S1", L"P\\S3"}, {L"P", L"P\\v.mkv", L"P\\S2\\readme.txt"}},
        {"no video file, several sub-folders: the playlist and sub-folders with playlists go",
         {L"P\\index.m3u8", L"P\\info.txt", L"P\\S1\\a.M3U8", L"P\\S2\\b.txt"}, L"P\\index.m3u8", batch,
         {L"P\\index.m3u8"}, {L"P\\S1\\"},
         {L"P\\index.m3u8", L"P\\S1"}, {L"P", L"P\\info.txt", L"P\\S2\\b.txt"}},
        {"no playlist beside the input, several sub-folders: only the sub-folders go",
         {L"P\\info.txt", L"P\\S1\\a.m3u8", L"P\\S2\\b.m3u8", L"P\\S3\\c.txt"}, L"P\\gone.m3u8", batch,
         {}, {L"P\\S1\\", L"P\\S2\\"},
         {L"P\\S1", L"P\\S2"}, {L"P\\info.txt", L"P\\S3\\c.txt"}},
        {"output written beside the playlist counts as a video file",
         {L"P\\index.m3u8"}, L"P\\index.m3u8", {1, 1, true, true, true, L"P\\", {L"P\\P.ts"}},
         {L"P\\index.m3u8"}, {},
         {L"P\\index.m3u8"}, {L"P", L"P\\P.ts"}},
        {"a folder planned by two jobs is deleted once and the run still ends",
         {L"P\\index.m3u8", L"P\\cover.jpg"}, L"P\\index.m3u8",
         {2, 1, true, true, true, L"save\\", {L"save\\P.ts", L"save\\P (2).ts"}},
         {}, {L"P\\", L"P\\"},
         {L"P"}, {L"save\\P.ts", L"save\\P (2).ts"}},
        {"merged with its line hidden is still planned",
         {L"P\\index.m3u8"}, L"P\\index.m3u8", {1, 1, true, true, false, L"save\\", {L"save\\P.ts"}},
         {}, {L"P\\"},
         {L"P"}, {}},
    };
    for (const PlanCase &c : cases)
        RunPlanCase(c);
}

TEST(SourceDeletion, NothingIsPlannedOrDeletedWithoutAMergedLocalInputAndTheOption)
{
    const Paths files = {L"P\\index.m3u8", L"P\\cover.jpg"};
    const Paths kept = {L"P\\index.m3u8", L"P\\cover.jpg"};
    const RunOptions batch = {1, 1, true, true, true, L"save\\", {L"save\\P.ts"}};
    const PlanCase cases[] = {
        {"failed job", files, L"P\\index.m3u8", {1, 0, true, true, true, L"save\\", {L"save\\P.ts"}}, {}, {}, {}, kept},
        {"option off", files, L"P\\index.m3u8", {1, 1, true, false, true, L"save\\", {L"save\\P.ts"}}, {}, {}, {}, kept},
        {"web address", files, L"=http://host/P/index.m3u8", batch, {}, {}, {}, kept},
        {"web address in mixed case", files, L"=HtTp:\\\\host\\P\\index.m3u8", batch, {}, {}, {}, kept},
        {"name without a backslash", files, L"=index.m3u8", batch, {}, {}, {}, kept},
        {"only backslash first", files, L"=\\index.m3u8", batch, {}, {}, {}, kept},
        // A single-mode run plans as usual but drops the plan at its end.
        {"single mode", files, L"P\\index.m3u8", {1, 1, false, true, true, L"save\\", {L"save\\P.ts"}},
         {}, {L"P\\"}, {}, kept},
    };
    for (const PlanCase &c : cases)
        RunPlanCase(c);
}

TEST(SourceDeletion, TheRunsOwnOutputsAreNeverDeleted)
{
    const PlanCase cases[] = {
        {"planned folder holds an output in a sub-folder",
         {L"P\\index.m3u8", L"P\\notes.txt"}, L"P\\index.m3u8",
         {1, 1, true, true, true, L"P\\S\\", {L"P\\S\\P.ts"}},
         {}, {L"P\\"},
         {}, {L"P\\index.m3u8", L"P\\notes.txt", L"P\\S\\P.ts"}},
        {"planned sub-folder lies above the save folder; the playlist still goes",
         {L"P\\index.m3u8", L"P\\v.ts", L"P\\S\\x.txt"}, L"P\\index.m3u8",
         {1, 1, true, true, true, L"P\\S\\out\\", {L"P\\S\\out\\P.ts"}},
         {L"P\\index.m3u8"}, {L"P\\S"},
         {L"P\\index.m3u8"}, {L"P\\S\\x.txt", L"P\\S\\out\\P.ts", L"P\\v.ts"}},
        {"planned folder is the save folder though no output is in it",
         {L"P\\index.m3u8"}, L"P\\index.m3u8",
         {1, 1, true, true, true, L"P", {L"save\\P.ts"}},
         {}, {L"P\\"},
         {}, {L"P\\index.m3u8"}},
        {"an output path in other letters still protects its folders",
         {L"P\\index.m3u8", L"P\\S\\keep.txt"}, L"P\\index.m3u8",
         {1, 1, true, true, true, L"save\\", {L"^P\\S\\OUT.TS"}},
         {}, {L"P\\"},
         {}, {L"P\\index.m3u8", L"P\\S\\keep.txt"}},
        {"a save folder in other letters and without a closing backslash still protects",
         {L"P\\index.m3u8", L"P\\S\\keep.txt"}, L"P\\index.m3u8",
         {1, 1, true, true, true, L"^P\\S", {L"elsewhere\\P.ts"}},
         {}, {L"P\\"},
         {}, {L"P\\index.m3u8", L"P\\S\\keep.txt"}},
        {"a planned playlist file that is an output stays",
         {L"P\\index.m3u8", L"P\\v.ts"}, L"P\\index.m3u8",
         {1, 1, true, true, true, L"save\\", {L"^P\\INDEX.M3U8"}},
         {L"P\\index.m3u8"}, {},
         {}, {L"P\\index.m3u8", L"P\\v.ts"}},
        {"a folder whose name only starts like the save folder's is deleted",
         {L"P\\index.m3u8", L"P2\\keep.txt"}, L"P\\index.m3u8",
         {1, 1, true, true, true, L"P2\\", {L"P2\\P.ts"}},
         {}, {L"P\\"},
         {L"P"}, {L"P2\\keep.txt", L"P2\\P.ts"}},
    };
    for (const PlanCase &c : cases)
        RunPlanCase(c);
}
// clang-format on

TEST(SourceDeletion, TheChosenPlaylistIsTheLastInListingOrder)
{
    CTempFolder temp;
    for (const wchar_t *pszName : {L"P\\a.m3u8", L"P\\B.M3U8", L"P\\c.m3u8", L"P\\d.m3u8", L"P\\v.ts"})
        temp.Write(pszName, "x");
    std::vector<std::wstring> playlists;
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(temp / L"P\\*", &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    do
    {
        std::wstring name = data.cFileName;
        if (name.size() > 5 && CString(name.substr(name.size() - 5).c_str()).CompareNoCase(L".m3u8") == 0)
            playlists.push_back((temp / L"P\\").Str() + name);
    } while (FindNextFileW(h, &data));
    FindClose(h);
    ASSERT_EQ(playlists.size(), 4u);

    CRun run(temp);
    run.Begin(true, true, temp.MakeFolder(L"save"));
    // The merged playlist need not be the one chosen.
    const CString strInput = CString(playlists.front().c_str());
    run.AddJob(strInput, temp / L"save\\P.ts");
    run.Result(1, strInput);
    ASSERT_TRUE(run.m_ui.Sync());
    ASSERT_EQ(run.m_dlg.m_arrDelFiles.GetSize(), 1);
    EXPECT_EQ(run.m_dlg.m_arrDelFiles[0].Str(), playlists.back());
    run.End();
    for (size_t i = 0; i < playlists.size(); ++i)
        EXPECT_EQ(FileExists(playlists[i].c_str()), i + 1 < playlists.size())
            << StringToUtf8(playlists[i].c_str());
    EXPECT_TRUE(FileExists(temp / L"P\\v.ts"));
}

TEST(SourceDeletion, DeleteDirectoryRemovesAFolderWithEverythingInIt)
{
    CTempFolder temp;
    temp.Write(L"A\\x.ts", "x");
    temp.Write(L"A\\B\\C\\y.m3u8", "y");
    temp.Write(L"Keep\\z.txt", "z");
    struct Case
    {
        CString strPath;
        BOOL bResult;
    };
    const Case cases[] = {
        {temp / L"A\\", TRUE},
        {temp / L"A\\", FALSE}, // already gone
        {temp / L"missing\\", FALSE},
    };
    for (const Case &c : cases)
    {
        CString strCaller = c.strPath;
        EXPECT_EQ(DeleteDirectory(strCaller), c.bResult) << StringToUtf8(c.strPath);
        EXPECT_EQ(strCaller.Str(), c.strPath.Str());
        EXPECT_FALSE(FolderExists(c.strPath));
    }
    EXPECT_TRUE(FileExists(temp / L"Keep\\z.txt"));
}
