// tests/app/RunWorkerTest.cpp: MergeThreadProc on a run state whose windows belong to the test thread.
#include "app/MergeRun.h"
#include "engine/Fetch.h"
#include "framework/Thread.h"
#include "tests/support/AppTestSupport.h"
#include "tests/support/MergeWindows.h"

#include <functional>
#include <gtest/gtest.h>
#include <oleauto.h>
#include <thread>

namespace
{
struct Post
{
    UINT nMsg;
    WPARAM wParam;
    CString input; // the system string's text
    bool bHadString;
};

// A window of the test thread standing in for the dialog: it records the worker's posts.
class CPostSink
{
public:
    CPostSink()
    {
        static const ATOM s_atom = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = &CPostSink::Proc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"FendralRunWorkerSink";
            return RegisterClassW(&wc);
        }();
        (void)s_atom;
        m_hWnd = CreateWindowExW(0, L"FendralRunWorkerSink", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), this);
    }
    ~CPostSink()
    {
        if (m_hWnd)
            DestroyWindow(m_hWnd);
    }
    CPostSink(const CPostSink &) = delete;
    CPostSink &operator=(const CPostSink &) = delete;

    HWND Window() const { return m_hWnd; }
    void Destroy()
    {
        DestroyWindow(m_hWnd);
        m_hWnd = nullptr;
    }

    // Pumps the test thread's messages (the worker's sent log lines among them) until the end of the
    // run has been posted; false on timeout.
    bool PumpUntilAllDone(DWORD dwTimeoutMs = 20000)
    {
        return PumpUntil([this] { return m_bAllDone; }, dwTimeoutMs);
    }
    // The worker waits for this thread in every log line, so waits on it must keep pumping.
    static bool PumpUntil(const std::function<bool()> &pred, DWORD dwTimeoutMs = 20000)
    {
        const ULONGLONG tEnd = GetTickCount64() + dwTimeoutMs;
        while (!pred())
        {
            if (GetTickCount64() >= tEnd)
                return false;
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
        return true;
    }

    std::vector<Post> m_posts;
    bool m_bAllDone = false;

private:
    static LRESULT CALLBACK Proc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
    {
        if (nMsg == WM_NCCREATE)
            SetWindowLongPtrW(
                hWnd, GWLP_USERDATA,
                reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW *>(lParam)->lpCreateParams));
        auto *pThis = reinterpret_cast<CPostSink *>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
        if (pThis && (nMsg == WM_MERGE_ITEM_DONE || nMsg == WM_MERGE_ALL_DONE))
        {
            BSTR bstr = reinterpret_cast<BSTR>(lParam);
            Post post{nMsg, wParam, bstr ? CString(bstr, int(SysStringLen(bstr))) : CString(),
                      bstr != nullptr};
            SysFreeString(bstr);
            pThis->m_posts.push_back(post);
            if (nMsg == WM_MERGE_ALL_DONE)
                pThis->m_bAllDone = true;
            return 0;
        }
        return DefWindowProcW(hWnd, nMsg, wParam, lParam);
    }

    HWND m_hWnd = nullptr;
};

class RunWorkerTest : public ::testing::Test
{
protected:
    RunWorkerTest() : m_tempPath(m_tmp.MakeFolder(L"t") + L"\\"), m_sink()
    {
        g_dwFetchTimeoutMs = 5000;
        m_pRun->m_hDlg = m_sink.Window();
        m_pRun->m_hInfo = m_windows.List();
        m_pRun->m_hProgress = m_windows.Progress();
        m_pRun->m_bRunning = TRUE;
        m_tmp.Write(L"a\\s.ts", "first job's bytes");
        m_tmp.Write(L"a\\index.m3u8", "#EXTM3U\n#EXTINF:1,\ns.ts\n");
        m_tmp.Write(L"c\\s.ts", "third job's bytes");
        m_tmp.Write(L"c\\index.m3u8", "#EXTM3U\n#EXTINF:1,\ns.ts\n");
    }

    void AddJob(const CString &strInput, const CString &strOutput)
    {
        m_pRun->m_arrJobs.Add(strInput);
        m_pRun->m_arrJobs.Add(strOutput);
    }
    CString OutPath(size_t nJob) const
    {
        CString strOut;
        strOut.Format(L"%sout%d.ts", m_tmp.Path().GetString(), int(nJob));
        return strOut;
    }
    // The server's playlist first, then the local one in folder a.
    void AddWebAndLocalJobs(const CHttpServer &server)
    {
        AddJob(server.Url("/index.m3u8"), OutPath(0));
        AddJob(m_tmp / L"a\\index.m3u8", OutPath(1));
    }
    bool Start()
    {
        return AfxBeginThread(MergeThreadProc, new std::shared_ptr<CMergeRun>(m_pRun)) != nullptr;
    }

    CTempFolder m_tmp;
    CTempPathOverride m_tempPath;
    CMergeWindows m_windows;
    CPostSink m_sink;
    std::shared_ptr<CMergeRun> m_pRun = std::make_shared<CMergeRun>();
};

// One post per job in job order, each with the job's input; a failed job does not end the run; the
// information list is emptied after every job but the last; the end of the run comes last.
TEST_F(RunWorkerTest, ReportsEveryJobAndEmptiesTheLogBetweenJobs)
{
    struct Case
    {
        const char *name;
        std::vector<std::pair<CString, bool>> jobs; // input, merged
    };
    const Case cases[] = {
        {"no jobs", {}},
        {"one job", {{m_tmp / L"a\\index.m3u8", true}}},
        {"failure in the middle",
         {{m_tmp / L"a\\index.m3u8", true},
          {m_tmp / L"missing.m3u8", false},
          {m_tmp / L"c\\index.m3u8", true}}},
        {"failure last", {{m_tmp / L"c\\index.m3u8", true}, {m_tmp / L"missing.m3u8", false}}},
    };
    for (const Case &k : cases)
    {
        SCOPED_TRACE(k.name);
        m_pRun->m_arrJobs.RemoveAll();
        m_sink.m_posts.clear();
        m_sink.m_bAllDone = false;
        SendMessageW(m_windows.List(), LB_RESETCONTENT, 0, 0);
        SendMessageW(m_windows.List(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"a line before the run"));
        for (size_t i = 0; i < k.jobs.size(); ++i)
        {
            DeleteFileW(OutPath(i));
            AddJob(k.jobs[i].first, OutPath(i));
        }
        ASSERT_TRUE(Start());
        ASSERT_TRUE(m_sink.PumpUntilAllDone());

        ASSERT_EQ(m_sink.m_posts.size(), k.jobs.size() + 1);
        for (size_t i = 0; i < k.jobs.size(); ++i)
        {
            const Post &p = m_sink.m_posts[i];
            EXPECT_EQ(p.nMsg, WM_MERGE_ITEM_DONE);
            EXPECT_EQ(p.wParam, WPARAM(k.jobs[i].second ? 1 : 0));
            EXPECT_TRUE(p.bHadString);
            EXPECT_EQ(p.input, k.jobs[i].first);
            EXPECT_EQ(FileExists(OutPath(i)), k.jobs[i].second);
        }
        EXPECT_EQ(m_sink.m_posts.back().nMsg, WM_MERGE_ALL_DONE);
        EXPECT_EQ(m_sink.m_posts.back().wParam, WPARAM(0));
        EXPECT_FALSE(m_sink.m_posts.back().bHadString);

        // The worker never empties the list before a job; after each job but the last it does.
        std::vector<CString> expected;
        if (k.jobs.size() <= 1)
            expected.push_back(L"a line before the run");
        if (!k.jobs.empty())
        {
            const std::vector<CString> last =
                k.jobs.back().second
                    ? std::vector<CString>{L"找到 1 个视频片段", L"合并片段 1/1", L"视频合并完成！"}
                    : std::vector<CString>{L"解析M3U8文件失败"};
            expected.insert(expected.end(), last.begin(), last.end());
        }
        EXPECT_EQ(m_windows.Lines(), expected);
    }
}

// A stop during the first of two jobs: that job is reported as stopped, the second never runs.
TEST_F(RunWorkerTest, AStopEndsTheRunAfterTheCurrentJob)
{
    CHttpServer server;
    const CHttpResponse slow = StalledResponse(std::string(20000, 's'), 800, 10);
    server.Set("/slow.ts", slow);
    server.Set("/index.m3u8", "#EXTM3U\n#EXTINF:1,\nslow.ts\n#EXTINF:1,\nslow.ts\n");
    AddWebAndLocalJobs(server);

    ASSERT_TRUE(Start());
    std::thread stopper([&] {
        if (CMainDialog::WaitUntil([&] { return server.CountRequests("/slow.ts") > 0; }))
            m_pRun->m_bRunning = FALSE;
    });
    const bool bDone = m_sink.PumpUntilAllDone();
    stopper.join();
    ASSERT_TRUE(bDone);

    ASSERT_EQ(m_sink.m_posts.size(), 2u);
    EXPECT_EQ(m_sink.m_posts[0].nMsg, WM_MERGE_ITEM_DONE);
    EXPECT_EQ(m_sink.m_posts[0].wParam, WPARAM(0));
    EXPECT_EQ(m_sink.m_posts[0].input, server.Url("/index.m3u8"));
    EXPECT_EQ(m_sink.m_posts[1].nMsg, WM_MERGE_ALL_DONE);
    // The first segment was cut off, the second never asked for; the second job never ran.
    EXPECT_EQ(server.CountRequests("/slow.ts"), 1);
    EXPECT_EQ(ReadAll(OutPath(0)), "");
    EXPECT_FALSE(FileExists(OutPath(1)));
    // Not the last job: its log (with the stop line) was emptied after it.
    EXPECT_TRUE(m_windows.Lines().empty());
}

// The dialog's window is gone while the worker still runs: every send and post fails, the worker
// ends on its own, and it lets go of the run state.
TEST_F(RunWorkerTest, TheWorkerEndsCleanlyWhenTheWindowsAreGone)
{
    CHttpServer server;
    const CHttpResponse slow = StalledResponse(std::string(5000, 'w'), 600, 10);
    server.Set("/slow.ts", slow);
    server.Set("/index.m3u8", "#EXTM3U\n#EXTINF:1,\nslow.ts\n");
    AddWebAndLocalJobs(server);

    std::weak_ptr<CMergeRun> watch = m_pRun;
    ASSERT_TRUE(Start());
    ASSERT_TRUE(CPostSink::PumpUntil([&] { return server.CountRequests("/slow.ts") > 0; }));
    // What the dialog does as it ends: its windows go, and it drops its own reference.
    m_sink.Destroy();
    DestroyWindow(m_windows.List());
    DestroyWindow(m_windows.Progress());
    m_pRun.reset();

    EXPECT_TRUE(CPostSink::PumpUntil([&] { return watch.expired(); }));
    // Both jobs still ran to their end: the worker went on without the windows.
    EXPECT_EQ(ReadAll(OutPath(0)), slow.body);
    EXPECT_EQ(ReadAll(OutPath(1)), "first job's bytes");
    EXPECT_TRUE(m_sink.m_posts.empty());
}
} // namespace
