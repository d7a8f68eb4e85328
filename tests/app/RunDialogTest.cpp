// tests/app/RunDialogTest.cpp: Start, Stop, the worker and the merge through the real dialog.
#include "app/FendralDlg.h"
#include "engine/Fetch.h"
#include "framework/PathName.h"
#include "tests/support/AppTestSupport.h"
#include "tests/support/MergeWindows.h"

#include <gtest/gtest.h>
#include <memory>

namespace
{
struct CRunDlg : CFendralDlg
{
    using CFendralDlg::m_arrJobs;
    using CFendralDlg::m_bBatchMode;
    using CFendralDlg::m_bDeleteSource;
    using CFendralDlg::m_bRunning;
    using CFendralDlg::m_nFail;
    using CFendralDlg::m_nSuccess;
    using CFendralDlg::m_pRun;
};

const int kLockedWhileRunning[] = {IDC_BUTTON_START,         IDC_BUTTON_BROWSE_INPUT,
                                   IDC_BUTTON_BROWSE_OUTPUT, IDC_BUTTON_BROWSE_SAVEDIR,
                                   IDC_RADIO_SINGLE,         IDC_RADIO_BATCH};
const int kOpenWhileRunning[] = {IDC_EDIT_INPUT,          IDC_EDIT_OUTPUT,        IDC_EDIT_SAVEDIR,
                                 IDC_CHECK_DELETE_SOURCE, IDC_CHECK_SHOW_SUCCESS, IDC_CHECK_SHOW_FAILURE,
                                 IDC_LIST_INFO,           IDC_LIST_RESULT};

// One dialog with its own temporary path, run modally on its own thread.
class CRunFixture : public CDialogSession<CRunDlg>
{
public:
    explicit CRunFixture(const CTempFolder &tmp) : CDialogSession(tmp) { g_dwFetchTimeoutMs = 5000; }

    std::vector<CString> Info() const { return UnstampedLines(m_ui.Item(IDC_LIST_INFO)); }
    std::vector<CString> Results() const { return m_ui.ListLines(IDC_LIST_RESULT); }
    int Progress() const { return int(::SendMessageW(m_ui.Item(IDC_PROGRESS), PBM_GETPOS, 0, 0)); }
    bool WaitForRunEnd(DWORD dwTimeoutMs = 20000) const
    {
        return CMainDialog::WaitUntil([this] { return m_ui.IsEnabled(IDC_BUTTON_START); }, dwTimeoutMs) &&
               m_ui.Sync();
    }
    void SingleJob(const CString &strInput, const CString &strOutput) const
    {
        m_ui.SetText(IDC_EDIT_INPUT, strInput);
        m_ui.SetText(IDC_EDIT_OUTPUT, strOutput);
    }
};

// Each check answers with its message and leaves the run unstarted: nothing appended, nothing locked.
TEST(RunStart, EachCheckShowsItsMessageAndStartsNothing)
{
    struct Case
    {
        const char *name;
        bool bBatch;
        int nJobs;
        const wchar_t *input, *output, *saveDir;
        const wchar_t *message;
    };
    const Case cases[] = {
        {"batch without jobs", true, 0, L"", L"", L"D:\\out", L"请先添加M3U8文件路径"},
        {"batch without a save folder", true, 1, L"", L"", L"", L"请输入输出文件路径"},
        {"single without input", false, 0, L"", L"D:\\out.ts", L"", L"请输入M3U8文件路径或URL"},
        {"single without output", false, 0, L"C:\\a.m3u8", L"", L"", L"请输入输出文件路径"},
    };
    for (const Case &k : cases)
    {
        SCOPED_TRACE(k.name);
        CTempFolder tmp;
        CRunFixture run(tmp);
        ASSERT_NE(run.m_ui.Window(), nullptr);
        run.m_ui.Click(k.bBatch ? IDC_RADIO_BATCH : IDC_RADIO_SINGLE);
        for (int i = 0; i < k.nJobs; ++i)
            run.AddJob(L"C:\\job.m3u8");
        run.m_ui.SetText(IDC_EDIT_INPUT, k.input);
        run.m_ui.SetText(IDC_EDIT_OUTPUT, k.output);
        run.m_ui.SetText(IDC_EDIT_SAVEDIR, k.saveDir);
        ::SendMessageW(run.m_ui.Item(IDC_CHECK_DELETE_SOURCE), BM_SETCHECK, BST_CHECKED, 0);
        run.m_dlg.m_nSuccess = 4;
        run.m_dlg.m_nFail = 5;

        run.Command(IDC_BUTTON_START);
        CString strText;
        ASSERT_TRUE(run.m_ui.AnswerMessageBox(L"提示", IDOK, &strText));
        EXPECT_EQ(strText, k.message);
        ASSERT_TRUE(run.m_ui.Sync());

        EXPECT_FALSE(run.m_dlg.m_bRunning);
        EXPECT_EQ(run.m_dlg.m_nSuccess, 0);
        EXPECT_EQ(run.m_dlg.m_nFail, 0);
        EXPECT_TRUE(run.m_dlg.m_bDeleteSource);
        ASSERT_EQ(run.m_dlg.m_arrJobs.GetSize(), 2 * k.nJobs);
        for (int i = 1; i < 2 * k.nJobs; i += 2)
            EXPECT_TRUE(run.m_dlg.m_arrJobs[i].IsEmpty());
        EXPECT_TRUE(run.m_ui.IsEnabled(IDC_BUTTON_START));
        EXPECT_TRUE(run.Info().empty());
    }
}

// A Start that arrives during a run (a click queued before the button was disabled) only resets the
// counters and takes the deletion option again, ticked or not; nothing else changes.
TEST(RunStart, DuringARunOnlyCountersAndTheOptionAreTaken)
{
    CTempFolder tmp;
    CRunFixture run(tmp);
    ASSERT_NE(run.m_ui.Window(), nullptr);
    run.m_ui.Click(IDC_RADIO_BATCH);
    run.m_ui.SetText(IDC_EDIT_SAVEDIR, tmp.Path());
    run.AddJob(L"C:\\job.m3u8");
    run.m_dlg.m_bRunning = TRUE;
    for (const bool bTicked : {true, false})
    {
        SCOPED_TRACE(bTicked ? "option ticked" : "option cleared");
        ::SendMessageW(run.m_ui.Item(IDC_CHECK_DELETE_SOURCE), BM_SETCHECK,
                       bTicked ? BST_CHECKED : BST_UNCHECKED, 0);
        run.m_dlg.m_bDeleteSource = !bTicked;
        run.m_dlg.m_nSuccess = 4;
        run.m_dlg.m_nFail = 5;
        run.Command(IDC_BUTTON_START);
        ASSERT_TRUE(run.m_ui.Sync());

        EXPECT_EQ(run.m_dlg.m_nSuccess, 0);
        EXPECT_EQ(run.m_dlg.m_nFail, 0);
        EXPECT_EQ(run.m_dlg.m_bDeleteSource, bTicked);
        EXPECT_TRUE(run.m_dlg.m_bRunning);
        ASSERT_EQ(run.m_dlg.m_arrJobs.GetSize(), 2);
        EXPECT_TRUE(run.m_dlg.m_arrJobs[1].IsEmpty());
        EXPECT_TRUE(run.m_ui.IsEnabled(IDC_BUTTON_START));
        EXPECT_TRUE(run.m_ui.IsEnabled(IDC_RADIO_SINGLE));
        EXPECT_TRUE(run.Info().empty());
    }
    run.m_dlg.m_bRunning = FALSE;
}

// Single mode from the Start click to the restored dialog: the file, the log, the result, the bar.
TEST(RunSingle, MergesLocalKeyedAndWebNestedPlaylists)
{
    CTempFolder tmp;
    CHttpServer server;
    server.Set("/tv/master.m3u8", "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=9\nhd/index.m3u8\n");
    server.Set("/tv/hd/index.m3u8", Playlist({"a.ts", "b.ts"}));
    server.Set("/tv/hd/a.ts", std::string(7000, 'a'));
    server.Set("/tv/hd/b.ts", std::string(9000, 'b'));

    struct Case
    {
        const char *name;
        CString input;
        std::string expected;
        std::vector<CString> segmentLines;
    };
    std::vector<Case> cases = {{"web nested",
                                server.Url("/tv/master.m3u8"),
                                std::string(7000, 'a') + std::string(9000, 'b'),
                                {L"找到 2 个视频片段", L"下载并合并片段 1/2", L"下载并合并片段 2/2"}}};
    const CString strData = HlsDataFolder();
    if (!strData.IsEmpty())
    {
        std::vector<CString> plain;
        for (int i = 5; i <= 7; ++i)
        {
            CString s;
            s.Format(L"%sseq\\plain\\seg%d.ts", strData.GetString(), i);
            plain.push_back(s);
        }
        cases.push_back({"local keyed (ffmpeg)",
                         strData + L"seq\\keyed\\index.m3u8",
                         Concat(plain),
                         {L"找到 3 个视频片段", L"合并片段 1/3", L"合并片段 2/3", L"合并片段 3/3"}});
    }

    for (const Case &k : cases)
    {
        SCOPED_TRACE(k.name);
        CRunFixture run(tmp);
        ASSERT_NE(run.m_ui.Window(), nullptr);
        const CString strOut = tmp / L"single out.ts";
        DeleteFileW(strOut);
        run.SingleJob(k.input, strOut);
        run.m_ui.Click(IDC_BUTTON_START);
        ASSERT_TRUE(run.WaitForRunEnd());

        EXPECT_TRUE(ReadAll(strOut) == k.expected) << "merged bytes differ";
        std::vector<CString> expected = {L"开始处理..."};
        expected.insert(expected.end(), k.segmentLines.begin(), k.segmentLines.end());
        expected.push_back(L"视频合并完成！");
        EXPECT_EQ(run.Info(), expected);
        const std::vector<CString> results = run.Results();
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(results[0].Left(3), CString(L"成功："));
        EXPECT_EQ(results[0].Right(k.input.GetLength()), k.input);
        EXPECT_EQ(run.Progress(), 100);
        EXPECT_EQ(run.m_dlg.m_nSuccess, 1);
        EXPECT_TRUE(run.m_dlg.m_arrJobs.IsEmpty());
        for (int nID : kLockedWhileRunning)
            EXPECT_TRUE(run.m_ui.IsEnabled(nID)) << nID;
        EXPECT_FALSE(run.m_ui.IsEnabled(IDC_BUTTON_STOP));
    }
}

// An output that is one of the job's own inputs, however it is spelled, fails the job before anything
// is written; another file of the same folder merges.
TEST(RunSingle, AnOutputThatIsAnInputFailsAndLeavesEveryInput)
{
    CTempFolder tmp;
    const std::string strList = Playlist({"s0.ts", "s1.ts", "s2.ts"});
    const CString strInput = tmp.Write(L"Été\\index.m3u8", strList);
    for (const char *name : {"s0", "s1", "s2"})
        tmp.Write(L"Été\\" + Utf8ToString(name, 2) + L".ts", name);
    CRunFixture run(tmp);
    for (const wchar_t *pszOutput : {L"Été\\index.m3u8", L"Été\\s1.ts", L"éTÉ\\.\\S1.TS", L"Été\\out.ts"})
    {
        run.SingleJob(strInput, tmp.Path() + pszOutput);
        run.m_ui.Click(IDC_BUTTON_START);
        ASSERT_TRUE(run.WaitForRunEnd());
        EXPECT_EQ(ReadAll(strInput), strList);
        EXPECT_EQ(ReadAll(tmp / L"Été\\s0.ts") + ReadAll(tmp / L"Été\\s1.ts") + ReadAll(tmp / L"Été\\s2.ts"),
                  "s0s1s2");
        const bool bMerged = wcscmp(pszOutput, L"Été\\out.ts") == 0;
        EXPECT_EQ(run.Info().back(), bMerged ? L"视频合并完成！" : L"输出文件不能与输入文件相同");
    }
    EXPECT_EQ(ReadAll(tmp / L"Été\\out.ts"), "s0s1s2");
}

// Names beginning with "http" are files beside their playlist, whatever the current folder.
TEST(RunSingle, HttpNamesAreFilesBesideThePlaylist)
{
    CTempFolder tmp, other;
    const CString strMaster = tmp.Write(L"m.m3u8", "http_sub.m3u8\n");
    tmp.Write(L"http_sub.m3u8", Playlist({"s1.ts", "http_seg.ts"}));
    tmp.Write(L"s1.ts", "one");
    tmp.Write(L"http_seg.ts", "two");
    other.Write(L"http_sub.m3u8", Playlist({"x.ts"}));
    other.Write(L"x.ts", "other");
    const CCurrentFolderOverride cwd(other.Path());
    CRunFixture run(tmp);
    for (const wchar_t *pszOutput : {L"http_seg.ts", L"out.ts"})
    {
        run.SingleJob(strMaster, tmp / pszOutput);
        run.m_ui.Click(IDC_BUTTON_START);
        ASSERT_TRUE(run.WaitForRunEnd());
        EXPECT_EQ(run.Info().back(), *pszOutput == L'h' ? L"输出文件不能与输入文件相同" : L"视频合并完成！");
    }
    EXPECT_EQ(ReadAll(tmp / L"http_seg.ts") + ReadAll(tmp / L"out.ts"), "twoonetwo");
}

// While a slow download runs the dialog is locked; Stop ends the download in flight, and the dialog
// comes back with the stopped job counted as failed.
TEST(RunSingle, LockedWhileRunningAndStopEndsTheJob)
{
    CTempFolder tmp;
    CHttpServer server;
    const CHttpResponse slow = StalledResponse(std::string(30000, 's'), 1500, 1000);
    server.Set("/a.ts", std::string(500, 'a'));
    server.Set("/slow.ts", slow);
    server.Set("/c.ts", std::string(500, 'c'));
    server.Set("/v.m3u8", Playlist({"a.ts", "slow.ts", "c.ts"}));

    CRunFixture run(tmp);
    ASSERT_NE(run.m_ui.Window(), nullptr);
    ::SendMessageW(run.m_ui.Item(IDC_PROGRESS), PBM_SETPOS, 77, 0);
    ::SendMessageW(run.m_ui.Item(IDC_LIST_RESULT), LB_ADDSTRING, 0,
                   reinterpret_cast<LPARAM>(L"an old result"));
    const CString strOut = tmp / L"out.ts";
    run.SingleJob(server.Url("/v.m3u8"), strOut);
    run.m_ui.Click(IDC_BUTTON_START);
    ASSERT_TRUE(CMainDialog::WaitUntil([&] { return server.CountRequests("/slow.ts") > 0; }));
    ASSERT_TRUE(run.m_ui.Sync());

    EXPECT_TRUE(run.m_dlg.m_bRunning);
    for (int nID : kLockedWhileRunning)
        EXPECT_FALSE(run.m_ui.IsEnabled(nID)) << nID;
    for (int nID : kOpenWhileRunning)
        EXPECT_TRUE(run.m_ui.IsEnabled(nID)) << nID;
    EXPECT_TRUE(run.m_ui.IsEnabled(IDC_BUTTON_STOP));
    EXPECT_TRUE(run.Results().empty());
    EXPECT_EQ(run.Progress(), 33);
    EXPECT_EQ(run.Info(), (std::vector<CString>{L"开始处理...", L"找到 3 个视频片段", L"下载并合并片段 1/3",
                                                L"下载并合并片段 2/3"}));

    run.m_ui.Click(IDC_BUTTON_STOP);
    EXPECT_FALSE(run.m_dlg.m_bRunning);
    // Stop changes no control; the end of the run does.
    EXPECT_FALSE(run.m_ui.IsEnabled(IDC_BUTTON_START));
    ASSERT_TRUE(run.WaitForRunEnd());

    EXPECT_EQ(ReadAll(strOut), std::string(500, 'a'));
    EXPECT_EQ(run.Info(), (std::vector<CString>{L"开始处理...", L"找到 3 个视频片段", L"下载并合并片段 1/3",
                                                L"下载并合并片段 2/3", L"正在停止...", L"用户中止操作"}));
    const std::vector<CString> results = run.Results();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].Left(3), CString(L"失败："));
    EXPECT_EQ(server.CountRequests("/c.ts"), 0);

    // A Stop with no run logs nothing.
    run.Command(IDC_BUTTON_STOP);
    ASSERT_TRUE(run.m_ui.Sync());
    EXPECT_EQ(run.Info().size(), 6u);
}

// A segment that redirects to itself fails the job after ten hops instead of looping forever.
TEST(RunSingle, SelfRedirectingSegmentFailsTheJob)
{
    CTempFolder tmp;
    CHttpServer server;
    server.Set("/a.ts", std::string(500, 'a'));
    server.Redirect("/loop.ts", "/loop.ts");
    server.Set("/v.m3u8", Playlist({"a.ts", "loop.ts"}));

    CRunFixture run(tmp);
    run.SingleJob(server.Url("/v.m3u8"), tmp / L"out.ts");
    run.m_ui.Click(IDC_BUTTON_START);
    ASSERT_TRUE(run.WaitForRunEnd());

    EXPECT_EQ(ReadAll(tmp / L"out.ts"), std::string(500, 'a'));
    EXPECT_EQ(run.Info(), (std::vector<CString>{L"开始处理...", L"找到 2 个视频片段", L"下载并合并片段 1/2",
                                                L"下载并合并片段 2/2", L"下载片段失败", L"视频合并失败"}));
    EXPECT_EQ(server.CountRequests("/loop.ts"), 11);
}

// No request waits out the silence limit (5 s here), a TLS handshake that never ends included, and Stop
// ends any request in flight within a second, one that trickles past the limit too.
TEST(RunSingle, TheSilenceLimitAndStopEndEveryRequest)
{
    CTempFolder tmp;
    CHttpServer server, held;
    held.HoldConnections();
    CHttpResponse trickle = StalledResponse(std::string(20000, 't'), 1000, 100);
    trickle.nStallEvery = 100;
    server.Set("/a.ts", std::string(500, 'a'));
    server.Set("/trickle.ts", trickle);
    server.Set("/held.m3u8", Playlist({"a.ts", "https" + StringToUtf8(held.Url("/s.ts")).substr(4)}));
    server.Set("/trickle.m3u8", Playlist({"a.ts", "trickle.ts"}));
    const struct
    {
        const char *list;
        DWORD dwStopAfterMs;
        const wchar_t *pszLine, *pszLast;
    } cases[] = {{"/held.m3u8", 0, L"下载片段失败", L"视频合并失败"},
                 {"/held.m3u8", 2000, L"正在停止...", L"用户中止操作"},
                 {"/trickle.m3u8", 6500, L"正在停止...", L"用户中止操作"}};
    CRunFixture run(tmp);
    for (const auto &k : cases)
    {
        run.SingleJob(server.Url(k.list), tmp / L"out.ts");
        run.m_ui.Click(IDC_BUTTON_START);
        Sleep(k.dwStopAfterMs);
        const ULONGLONG t0 = GetTickCount64();
        if (k.dwStopAfterMs)
            run.m_ui.Click(IDC_BUTTON_STOP);
        ASSERT_TRUE(run.WaitForRunEnd());
        EXPECT_LT(GetTickCount64() - t0, k.dwStopAfterMs ? 1500u : 6500u) << k.list;
        const std::vector<CString> info = run.Info();
        EXPECT_EQ(std::vector<CString>(info.end() - 2, info.end()),
                  (std::vector<CString>{k.pszLine, k.pszLast}));
        EXPECT_EQ(ReadAll(tmp / L"out.ts"), std::string(500, 'a'));
    }
}

// Jobs whose derived names are the same (Windows names ignore case) get " (2)", " (3)" before
// ".ts"; a file an earlier run left under the first name is replaced.
TEST(RunBatch, NamesWithinOneRunNeverCollide)
{
    CTempFolder tmp;
    CHttpServer server;
    const char *paths[] = {"/v/index.m3u8", "/v/other.m3u8",    "/V/index.m3u8",
                           "/w/index.m3u8", "/Élan/index.m3u8", "/élan/index.m3u8"};
    const char *served[] = {
        paths[0], paths[1], paths[2], paths[3], "/%C3%89lan/index.m3u8", "/%C3%A9lan/index.m3u8"};
    for (int i = 0; i < 6; ++i)
    {
        const std::string seg = "/seg" + std::to_string(i) + ".ts";
        server.Set(seg, "job " + std::to_string(i) + " bytes");
        server.Set(served[i], Playlist({StringToUtf8(server.Url(seg.c_str()))}));
    }

    CRunFixture run(tmp);
    ASSERT_NE(run.m_ui.Window(), nullptr);
    run.m_ui.Click(IDC_RADIO_BATCH);
    ASSERT_TRUE(run.m_dlg.m_bBatchMode);
    std::vector<CString> names;
    for (const char *p : paths)
    {
        run.AddJob(server.Url(p));
        names.push_back(run.m_dlg.MakeOutputName(server.Url(p), TRUE));
    }
    // The derived names really collide: the same name twice and once in other capitals.
    ASSERT_EQ(names[0], names[1]);
    ASSERT_EQ(names[0].CompareNoCase(names[2]), 0);
    ASSERT_NE(names[0].CompareNoCase(names[3]), 0);
    ASSERT_EQ(names[0].Right(3), CString(L".ts"));
    const CString strStem = names[0].Left(names[0].GetLength() - 3);
    // Letters beyond A-Z in other case name one file too.
    ASSERT_NE(names[4], names[5]);
    ASSERT_TRUE(IsSameName(names[4], names[5]));
    const CString expected[] = {names[0],
                                strStem + L" (2).ts",
                                names[2].Left(names[2].GetLength() - 3) + L" (3).ts",
                                names[3],
                                names[4],
                                names[5].Left(names[5].GetLength() - 3) + L" (2).ts"};

    const CString strSave = tmp.MakeFolder(L"save");
    tmp.Write(L"save\\" + names[0], "left by an earlier run, and longer than the new file");
    run.m_ui.SetText(IDC_EDIT_SAVEDIR,
                     strSave.Right(1) == L"\\" ? strSave.Left(strSave.GetLength() - 1) : strSave);
    run.m_ui.Click(IDC_BUTTON_START);
    ASSERT_TRUE(run.WaitForRunEnd());

    const CString strDir = strSave.Right(1) == L"\\" ? strSave : strSave + L"\\";
    for (int i = 0; i < 6; ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(ReadAll(strDir + expected[i]), "job " + std::to_string(i) + " bytes");
    }
    EXPECT_EQ(run.m_dlg.m_nSuccess, 6);
    EXPECT_EQ(run.Results().size(), 6u);
}

// The second program of the test below: merges "address|output" through its own dialog and closes it.
void RunSecondProgram(const CString &strJob)
{
    CCommonControls controls;
    CRunDlg dlg;
    CMainDialog ui(dlg);
    ui.SetText(IDC_EDIT_INPUT, strJob.Left(strJob.Find(L'|')));
    ui.SetText(IDC_EDIT_OUTPUT, strJob.Mid(strJob.Find(L'|') + 1));
    ui.Click(IDC_BUTTON_START);
    ASSERT_TRUE(CMainDialog::WaitUntil([&] { return ui.IsEnabled(IDC_BUTTON_START); }, 60000) && ui.Sync());
    ui.Post(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_TRUE(ui.WaitForEnd());
}

// Two programs at once, each merging its own web playlist through one temporary path: neither takes
// the other's segment files, and the one closed first leaves the other's alone. The second program is
// this test program started again.
TEST(RunTwoPrograms, SegmentFilesAreKeptApart)
{
    wchar_t szJob[1024] = {}, szExe[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"FENDRAL_SECOND_PROGRAM", szJob, 1024))
        return RunSecondProgram(szJob);
    CTempFolder tmp;
    CHttpServer server;
    std::string expected[2];
    std::vector<std::string> lists[2];
    for (int i = 0; i < 120; ++i)
    {
        const int k = i < 80 ? 0 : 1; // the first program's segments come slowly
        const std::string strName = std::to_string(i) + ".ts",
                          strBytes = strName + std::string(3000, char('a' + i % 26));
        server.Set("/" + std::to_string(k) + "/" + strName, StalledResponse(strBytes, k ? 0 : 100, 10));
        expected[k] += strBytes;
        lists[k].push_back(strName);
    }
    server.Set("/0/index.m3u8", Playlist(lists[0]));
    server.Set("/1/index.m3u8", Playlist(lists[1]));

    CRunFixture run(tmp);
    run.SingleJob(server.Url("/0/index.m3u8"), tmp / L"0.ts");
    run.m_ui.Click(IDC_BUTTON_START);
    GetModuleFileNameW(nullptr, szExe, MAX_PATH);
    CString strCommand = L"\"" + CString(szExe) + L"\" --gtest_filter=RunTwoPrograms.*";
    SetEnvironmentVariableW(L"FENDRAL_SECOND_PROGRAM", server.Url("/1/index.m3u8") + L"|" + (tmp / L"1.ts"));
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, strCommand.GetBuffer(0), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &si, &pi));
    SetEnvironmentVariableW(L"FENDRAL_SECOND_PROGRAM", nullptr);
    DWORD dwExit = 1;
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 60000), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &dwExit) && dwExit == 0);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_FALSE(run.m_ui.IsEnabled(IDC_BUTTON_START)) << "the first program is still merging";

    ASSERT_TRUE(run.WaitForRunEnd(60000));
    EXPECT_EQ(run.Info().back(), L"视频合并完成！");
    EXPECT_TRUE(ReadAll(tmp / L"0.ts") == expected[0] && ReadAll(tmp / L"1.ts") == expected[1]);
}

// A confirmed close while a download trickles: the dialog ends at once, the dialog object is
// destroyed, and the worker ends the download and finishes on its own without touching it.
TEST(RunClose, ClosingDuringARunIsSafe)
{
    CTempFolder tmp;
    CHttpServer server;
    // The stall outlasts the close and its confirmation box, which takes seconds under Wine.
    server.Set("/slow.ts", StalledResponse(std::string(20000, 't'), 12000, 100));
    server.Set("/v.m3u8", Playlist({"slow.ts", "slow.ts"}));

    std::weak_ptr<CMergeRun> watch;
    {
        auto pRun = std::make_unique<CRunFixture>(tmp);
        ASSERT_NE(pRun->m_ui.Window(), nullptr);
        g_dwFetchTimeoutMs = 30000;
        watch = pRun->m_dlg.m_pRun;
        pRun->SingleJob(server.Url("/v.m3u8"), tmp / L"out.ts");
        pRun->m_ui.Click(IDC_BUTTON_START);
        ASSERT_TRUE(CMainDialog::WaitUntil([&] { return server.CountRequests("/slow.ts") > 0; }));

        pRun->m_ui.Post(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        ASSERT_TRUE(pRun->m_ui.AnswerMessageBox(L"提示", IDYES));
        INT_PTR nResult = 0;
        ASSERT_TRUE(pRun->m_ui.WaitForEnd(5000, &nResult));
        EXPECT_EQ(nResult, IDCANCEL);
    }
    EXPECT_TRUE(CMainDialog::WaitUntil([&] { return watch.expired(); }, 30000));
    // Stopped by the close: the second segment was never asked for.
    Sleep(500);
    EXPECT_EQ(server.CountRequests("/slow.ts"), 1);
}
} // namespace
