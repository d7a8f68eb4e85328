// tests/app/MergeOneTest.cpp: CMergeRun::MergeOne on real files and a loopback server.
#include "app/MergeRun.h"
#include "engine/Fetch.h"
#include "tests/support/AppTestSupport.h"
#include "tests/support/MergeWindows.h"

#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace
{
std::string Bytes(char c, size_t n, size_t salt)
{
    std::string s(n, c);
    for (size_t i = 0; i < n; ++i)
        s[i] = char(c + (i * 7 + salt) % 13);
    return s;
}

std::vector<CString> Strings(std::initializer_list<const wchar_t *> items)
{
    std::vector<CString> v;
    for (const wchar_t *p : items)
        v.push_back(p);
    return v;
}

class MergeOneTest : public ::testing::Test
{
protected:
    MergeOneTest() : m_tempPath(m_tmp.MakeFolder(L"t") + L"\\")
    {
        g_dwFetchTimeoutMs = 5000;
        m_run.m_hInfo = m_windows.List();
        m_run.m_hProgress = m_windows.Progress();
        m_run.m_bRunning = TRUE;
        m_strMergeTemp.Format(L"%st\\m3u8_temp\\%lu\\", m_tmp.Path().GetString(), GetCurrentProcessId());
    }

    bool Merge(const CString &strInput, const CString &strOutput)
    {
        return m_run.MergeOne(strInput, strOutput);
    }
    // Segments s0.ts, s1.ts... in a folder below the test's folder (its name ends in a backslash).
    void WriteSegments(const CString &strFolder, const std::vector<std::string> &segments) const
    {
        for (size_t i = 0; i < segments.size(); ++i)
        {
            CString strName;
            strName.Format(L"%ss%d.ts", strFolder.GetString(), int(i));
            m_tmp.Write(strName, segments[i]);
        }
    }
    std::vector<CString> SegmentFilesLeft() const
    {
        std::vector<CString> left;
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW(m_strMergeTemp + L"seg_*.ts", &fd);
        if (h != INVALID_HANDLE_VALUE)
        {
            do
                left.push_back(fd.cFileName);
            while (FindNextFileW(h, &fd));
            FindClose(h);
        }
        return left;
    }

    CTempFolder m_tmp;
    CTempPathOverride m_tempPath;
    CMergeWindows m_windows;
    CMergeRun m_run;
    CHttpServer m_server;
    CString m_strMergeTemp;
};

// Three segments a, b, c reached in different ways; the output is always a+b+c in playlist order.
TEST_F(MergeOneTest, MergesLocalWebMixedAndNestedPlaylistsInOrder)
{
    const std::string a = Bytes('a', 3000, 1), b = Bytes('b', 5000, 2), c = Bytes('c', 70000, 3);
    const std::vector<std::string> segments{a, b, c};
    WriteSegments(L"local\\", segments);
    for (size_t i = 0; i < segments.size(); ++i)
        m_server.Set("/w/s" + std::to_string(i) + ".ts", segments[i]);
    const std::string web1 = StringToUtf8(m_server.Url("/w/s1.ts"));

    m_tmp.Write(L"local\\index.m3u8", Playlist({"s0.ts", "s1.ts", "s2.ts"}));
    m_tmp.Write(L"local\\mixed.m3u8", Playlist({"s0.ts", web1, "s2.ts"}));
    m_tmp.Write(L"local\\master.m3u8", "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\nsub/inner.m3u8\n");
    m_tmp.Write(L"local\\sub\\inner.m3u8", Playlist({"../s0.ts", "../s1.ts", "../s2.ts"}));
    m_server.Set("/w/index.m3u8", Playlist({"s0.ts", "s1.ts", "s2.ts"}));
    m_server.Set("/w/master.m3u8", "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\nhi/inner.m3u8\n");
    m_server.Set("/w/hi/inner.m3u8", Playlist({"../s0.ts", "../s1.ts", "../s2.ts"}));

    struct Case
    {
        const char *name;
        CString input;
        std::vector<bool> web;
    };
    const Case cases[] = {
        {"local", m_tmp / L"local\\index.m3u8", {false, false, false}},
        {"web", m_server.Url("/w/index.m3u8"), {true, true, true}},
        {"mixed", m_tmp / L"local\\mixed.m3u8", {false, true, false}},
        {"nested local", m_tmp / L"local\\master.m3u8", {false, false, false}},
        {"nested web", m_server.Url("/w/master.m3u8"), {true, true, true}},
    };
    for (const Case &k : cases)
    {
        SCOPED_TRACE(k.name);
        SendMessageW(m_windows.List(), LB_RESETCONTENT, 0, 0);
        m_windows.ClearPositions();
        const CString strOut = m_tmp / L"out.ts";
        m_tmp.Write(L"out.ts", "an earlier, longer file at the output path that must go away entirely");

        ASSERT_TRUE(Merge(k.input, strOut));
        EXPECT_EQ(ReadAll(strOut), a + b + c);

        std::vector<CString> expected = Strings({L"找到 3 个视频片段"});
        for (int i = 0; i < 3; ++i)
        {
            CString strLine;
            strLine.Format(k.web[size_t(i)] ? L"下载并合并片段 %d/%d" : L"合并片段 %d/%d", i + 1, 3);
            expected.push_back(strLine);
        }
        expected.push_back(L"视频合并完成！");
        EXPECT_EQ(m_windows.Lines(), expected);
        EXPECT_EQ(m_windows.Positions(), (std::vector<int>{33, 66, 100}));
        // Merged: the downloads are gone and the empty temporary folder with them.
        EXPECT_FALSE(FolderExists(m_strMergeTemp));
        EXPECT_TRUE(m_run.m_playlist.m_arrSegments.IsEmpty());
        EXPECT_TRUE(m_run.m_playlist.m_strKeyUri.IsEmpty());
    }
}

TEST_F(MergeOneTest, ProgressMovesAfterEverySegmentByWholePercent)
{
    struct Case
    {
        int n;
        std::vector<int> first;
    };
    const Case cases[] = {{1, {100}}, {3, {33, 66, 100}}, {7, {14, 28, 42, 57, 71}}, {250, {0, 0, 1, 1, 2}}};
    for (const Case &k : cases)
    {
        SCOPED_TRACE(k.n);
        std::vector<std::string> names;
        std::string all;
        for (int i = 0; i < k.n; ++i)
        {
            names.push_back("p" + std::to_string(i) + ".ts");
            const std::string bytes = Bytes(char('a' + i % 26), size_t(1 + i % 5), size_t(i));
            m_tmp.Write(CString(L"p\\") + Utf8ToString(names.back().data(), int(names.back().size())), bytes);
            all += bytes;
        }
        const CString strList = m_tmp.Write(L"p\\list.m3u8", Playlist(names));
        m_windows.ClearPositions();
        ASSERT_TRUE(Merge(strList, m_tmp / L"out.ts"));
        EXPECT_EQ(ReadAll(m_tmp / L"out.ts"), all);

        const std::vector<int> pos = m_windows.Positions();
        ASSERT_EQ(pos.size(), size_t(k.n));
        EXPECT_EQ(std::vector<int>(pos.begin(), pos.begin() + long(k.first.size())), k.first);
        EXPECT_EQ(pos.back(), 100);
        for (size_t i = 1; i < pos.size(); ++i)
            EXPECT_LE(pos[i - 1], pos[i]);
    }
}

// Streams made by ffmpeg with AES-128 from media sequence 5: with one IV attribute, and with the IV
// of each segment taken from its sequence number. The output must be the plain segments exactly.
TEST_F(MergeOneTest, KeyedStreamsDecryptToThePlainSegments)
{
    const CString strData = HlsDataFolder();
    if (strData.IsEmpty())
        GTEST_SKIP() << "the build host had no ffmpeg or openssl";
    for (const wchar_t *pszStream : {L"seq", L"iv"})
    {
        const CString strStream = strData + pszStream + L"\\";
        std::vector<CString> plain, keyed;
        for (int i = 5; i <= 7; ++i)
        {
            CString strName;
            strName.Format(L"seg%d.ts", i);
            plain.push_back(strStream + L"plain\\" + strName);
            keyed.push_back(strStream + L"keyed\\" + strName);
            m_server.Set("/" + StringToUtf8(pszStream) + "/" + StringToUtf8(strName), ReadAll(keyed.back()));
        }
        const std::string expected = Concat(plain);
        ASSERT_FALSE(expected.empty());
        ASSERT_NE(expected, Concat(keyed));
        m_server.Set("/" + StringToUtf8(pszStream) + "/index.m3u8",
                     ReadAll(strStream + L"keyed\\index.m3u8"));
        m_server.Set("/" + StringToUtf8(pszStream) + "/key.bin", ReadAll(strStream + L"keyed\\key.bin"));

        const CString inputs[] = {strStream + L"keyed\\index.m3u8",
                                  m_server.Url(("/" + StringToUtf8(pszStream) + "/index.m3u8").c_str())};
        for (const CString &strInput : inputs)
        {
            SCOPED_TRACE(StringToUtf8(strInput));
            const CString strOut = m_tmp / L"keyed_out.ts";
            EXPECT_TRUE(Merge(strInput, strOut));
            EXPECT_TRUE(ReadAll(strOut) == expected) << "the merged bytes differ from the plain segments";
        }
    }
}

// Each way a job can fail: its lines, its result and what it leaves on disk.
TEST_F(MergeOneTest, FailuresEndTheJobWithTheirLinesAndLeaveWhatTheyShould)
{
    const std::string a = Bytes('a', 2000, 1), b = Bytes('b', 4000, 2), c = Bytes('c', 1000, 3);
    WriteSegments(L"f\\", {a, b, c});
    m_server.Set("/s0.ts", a);
    m_server.Set("/s2.ts", c);
    const std::string web0 = StringToUtf8(m_server.Url("/s0.ts"));
    const std::string web1 = StringToUtf8(m_server.Url("/missing.ts"));
    const std::string web2 = StringToUtf8(m_server.Url("/s2.ts"));
    const std::string old = "an earlier output";

    struct Case
    {
        const char *name;
        CString input;
        CString output;
        std::vector<CString> lines;
        // The output's content afterwards; null: it must not exist.
        const std::string *pOutput;
        bool bTempFolder;
    };
    const std::string empty;
    const std::string justA = a;
    m_tmp.Write(L"f\\ok.m3u8", Playlist({"s0.ts", "s1.ts", "s2.ts"}));
    m_tmp.Write(L"f\\nokey.m3u8", Playlist({"s0.ts"}, "#EXT-X-KEY:METHOD=AES-128,URI=\"nokey.bin\"\n"));
    m_tmp.Write(L"f\\download.m3u8", Playlist({web0, web1, web2}));
    m_tmp.Write(L"f\\local.m3u8", Playlist({"s0.ts", "gone.ts", "s2.ts"}));
    m_tmp.Write(L"f\\caps.m3u8", Playlist({"s0.ts", "HTTP://127.0.0.1/s1.ts"}));
    m_tmp.Write(L"f\\empty.m3u8", "#EXTM3U\n#EXT-X-ENDLIST\n");

    const Case cases[] = {
        {"no playlist", m_tmp / L"f\\none.m3u8", m_tmp / L"o1.ts", Strings({L"解析M3U8文件失败"}), &old,
         false},
        {"no segments", m_tmp / L"f\\empty.m3u8", m_tmp / L"o2.ts", Strings({L"解析M3U8文件失败"}), &old,
         false},
        {"output folder missing", m_tmp / L"f\\ok.m3u8", m_tmp / L"nofolder\\o.ts",
         Strings({L"找到 3 个视频片段", L"创建输出文件失败"}), nullptr, true},
        {"empty output path", m_tmp / L"f\\ok.m3u8", CString(),
         Strings({L"找到 3 个视频片段", L"创建输出文件失败"}), nullptr, true},
        {"key not fetched", m_tmp / L"f\\nokey.m3u8", m_tmp / L"o3.ts",
         Strings({L"找到 1 个视频片段", L"获取加密密钥失败"}), &empty, true},
        {"download fails", m_tmp / L"f\\download.m3u8", m_tmp / L"o4.ts",
         Strings({L"找到 3 个视频片段", L"下载并合并片段 1/3", L"下载并合并片段 2/3", L"下载片段失败",
                  L"视频合并失败"}),
         &justA, true},
        {"local segment missing", m_tmp / L"f\\local.m3u8", m_tmp / L"o5.ts",
         Strings({L"找到 3 个视频片段", L"合并片段 1/3", L"合并片段 2/3", L"合并片段失败", L"视频合并失败"}),
         &justA, true},
        {"HTTP in capitals is a local path", m_tmp / L"f\\caps.m3u8", m_tmp / L"o6.ts",
         Strings({L"找到 2 个视频片段", L"合并片段 1/2", L"合并片段 2/2", L"合并片段失败", L"视频合并失败"}),
         &justA, true},
    };
    for (const Case &k : cases)
    {
        SCOPED_TRACE(k.name);
        RemoveTree(m_strMergeTemp);
        SendMessageW(m_windows.List(), LB_RESETCONTENT, 0, 0);
        if (!k.output.IsEmpty() && FolderExists(k.output.Left(k.output.ReverseFind(L'\\'))))
            m_tmp.Write(k.output.Mid(m_tmp.Path().GetLength()), old);

        EXPECT_FALSE(Merge(k.input, k.output));
        EXPECT_EQ(m_windows.Lines(), k.lines);
        if (k.pOutput)
            EXPECT_EQ(ReadAll(k.output), *k.pOutput);
        else
            EXPECT_FALSE(!k.output.IsEmpty() && FileExists(k.output));
        EXPECT_EQ(FolderExists(m_strMergeTemp), k.bTempFolder);
        EXPECT_TRUE(SegmentFilesLeft().empty());
        EXPECT_TRUE(m_run.m_playlist.m_arrSegments.IsEmpty());
    }
}

TEST_F(MergeOneTest, ASegmentThatDoesNotDecryptIsAppendedAsReadAndFailsTheJob)
{
    const CString strData = HlsDataFolder();
    if (strData.IsEmpty())
        GTEST_SKIP() << "the build host had no ffmpeg or openssl";
    const CString strStream = strData + L"seq\\";
    m_tmp.Write(L"k\\index.m3u8", ReadAll(strStream + L"keyed\\index.m3u8"));
    m_tmp.Write(L"k\\key.bin", ReadAll(strStream + L"keyed\\key.bin"));
    m_tmp.Write(L"k\\seg5.ts", ReadAll(strStream + L"keyed\\seg5.ts"));
    const std::string broken(40, 'x'); // not a whole number of blocks
    m_tmp.Write(L"k\\seg6.ts", broken);
    m_tmp.Write(L"k\\seg7.ts", ReadAll(strStream + L"keyed\\seg7.ts"));

    EXPECT_FALSE(Merge(m_tmp / L"k\\index.m3u8", m_tmp / L"out.ts"));
    EXPECT_EQ(ReadAll(m_tmp / L"out.ts"),
              ReadAll(strStream + L"plain\\seg5.ts") + broken + ReadAll(strStream + L"plain\\seg7.ts"));
    EXPECT_EQ(m_windows.Lines(), Strings({L"找到 3 个视频片段", L"合并片段 1/3", L"合并片段 2/3",
                                          L"合并片段 3/3", L"视频合并失败"}));
    EXPECT_EQ(m_windows.Positions(), (std::vector<int>{33, 66, 100}));
    EXPECT_TRUE(FolderExists(m_strMergeTemp));
}

// A stop ends the download in flight: only the segments before it are in the output.
TEST_F(MergeOneTest, AStopEndsTheDownloadInFlight)
{
    const std::string a = Bytes('a', 2000, 1), b = Bytes('b', 30000, 2), c = Bytes('c', 1000, 3);
    m_server.Set("/s0.ts", a);
    m_server.Set("/s2.ts", c);
    // The stop is given while these are on the wire.
    m_server.Set("/slow1.ts", StalledResponse(b, 800, 100));
    m_server.Set("/slow2.ts", StalledResponse(c, 800, 100));
    m_server.Set("/mid.m3u8", Playlist({"s0.ts", "slow1.ts", "s2.ts"}));
    m_server.Set("/last.m3u8", Playlist({"s0.ts", "s2.ts", "slow2.ts"}));

    struct Case
    {
        const char *name;
        const char *list;
        const char *stopWhile; // null: stopped before the merge begins
        std::string output;
        std::vector<CString> lines;
        std::vector<int> positions;
    };
    const Case cases[] = {
        {"before the playlist is fetched", "/mid.m3u8", nullptr, "", Strings({L"用户中止操作"}), {}},
        {"during the middle segment",
         "/mid.m3u8",
         "/slow1.ts",
         a,
         Strings({L"找到 3 个视频片段", L"下载并合并片段 1/3", L"下载并合并片段 2/3", L"用户中止操作"}),
         {33}},
        {"during the last segment",
         "/last.m3u8",
         "/slow2.ts",
         a + c,
         Strings({L"找到 3 个视频片段", L"下载并合并片段 1/3", L"下载并合并片段 2/3", L"下载并合并片段 3/3",
                  L"用户中止操作"}),
         {33, 66}},
    };
    for (const Case &k : cases)
    {
        SCOPED_TRACE(k.name);
        SendMessageW(m_windows.List(), LB_RESETCONTENT, 0, 0);
        m_windows.ClearPositions();
        const int nBefore = k.stopWhile ? m_server.CountRequests(k.stopWhile) : 0;
        m_run.m_bRunning = k.stopWhile ? TRUE : FALSE;
        std::thread stopper([&] {
            if (k.stopWhile &&
                CMainDialog::WaitUntil([&] { return m_server.CountRequests(k.stopWhile) > nBefore; }))
                m_run.m_bRunning = FALSE;
        });
        const bool bResult = Merge(m_server.Url(k.list), m_tmp / L"out.ts");
        stopper.join();

        EXPECT_FALSE(bResult);
        EXPECT_EQ(ReadAll(m_tmp / L"out.ts"), k.output);
        EXPECT_EQ(FileExists(m_tmp / L"out.ts"), k.stopWhile != nullptr);
        EXPECT_EQ(m_windows.Lines(), k.lines);
        EXPECT_EQ(m_windows.Positions(), k.positions);
        EXPECT_EQ(FolderExists(m_strMergeTemp), k.stopWhile != nullptr);
        EXPECT_TRUE(SegmentFilesLeft().empty());
    }
}

// A segment the merge cannot hold (4 GiB or more) and a write that fails (a full disk) fail the job
// instead of ending the program or passing for merged.
TEST_F(MergeOneTest, FileErrorsAndOversizedSegmentsFailTheJob)
{
    m_tmp.Write(L"e\\s0.ts", Bytes('a', 1000, 1));
    m_tmp.Write(L"e\\s2.ts", Bytes('c', 1000, 3));
    {
        // A sparse file: it takes no room on the disk.
        HANDLE h = CreateFileW(m_tmp / L"e\\huge.ts", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        LARGE_INTEGER size;
        size.QuadPart = 0x100000000LL;
        EXPECT_TRUE(SetFilePointerEx(h, size, nullptr, FILE_BEGIN) && SetEndOfFile(h));
        CloseHandle(h);
    }
    m_tmp.Write(L"e\\huge.m3u8", Playlist({"s0.ts", "huge.ts", "s2.ts"}));
    m_tmp.Write(L"e\\ok.m3u8", Playlist({"s0.ts", "s2.ts"}));

    EXPECT_FALSE(Merge(m_tmp / L"e\\huge.m3u8", m_tmp / L"out.ts"));
    EXPECT_EQ(m_windows.Lines(), Strings({L"找到 3 个视频片段", L"合并片段 1/3", L"合并片段 2/3",
                                          L"合并片段失败", L"视频合并失败"}));
    EXPECT_EQ(ReadAll(m_tmp / L"out.ts"), ReadAll(m_tmp / L"e\\s0.ts"));
    EXPECT_TRUE(m_run.m_playlist.m_arrSegments.IsEmpty());
    DeleteFileW(m_tmp / L"e\\huge.ts");

    // Wine's view of the host's always-full device; a write to it fails with ERROR_DISK_FULL.
    const CString strFull = L"Z:\\dev\\full";
    HANDLE hProbe = CreateFileW(strFull, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (hProbe == INVALID_HANDLE_VALUE)
        GTEST_SKIP() << "no full device to write to";
    CloseHandle(hProbe);
    SendMessageW(m_windows.List(), LB_RESETCONTENT, 0, 0);
    EXPECT_FALSE(Merge(m_tmp / L"e\\ok.m3u8", strFull));
    EXPECT_EQ(m_windows.Lines(),
              Strings({L"找到 2 个视频片段", L"合并片段 1/2", L"合并片段失败", L"视频合并失败"}));
}
} // namespace
