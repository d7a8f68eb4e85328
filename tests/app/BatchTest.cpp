// Batch mode from end to end through the window: jobs added with the browse buttons, a save folder
// picked, Start, and what the run leaves behind (outputs, lists, deleted sources).
#include "app/FendralDlg.h"
#include "tests/support/AppTestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{
struct CBatchDlg : CFendralDlg
{
    using CFendralDlg::m_arrJobs;
    using CFendralDlg::m_bRunning;
    using CFendralDlg::m_nFail;
    using CFendralDlg::m_nSuccess;
};

// Segment bytes that differ per segment and include every byte value.
std::string SegmentBytes(int nSeed, size_t nSize)
{
    std::string bytes(nSize, '\0');
    unsigned v = 2166136261u ^ static_cast<unsigned>(nSeed);
    for (char &c : bytes)
    {
        v = v * 16777619u + 0x9e37u;
        c = static_cast<char>(v >> 13);
    }
    return bytes;
}

// The playlists of these tests carry a version tag, which the merge passes over.
std::string VersionedPlaylist(const std::vector<std::string> &segments)
{
    return Playlist(segments, "#EXT-X-VERSION:3\n");
}

// "成功：(hh:mm:ss) input" or "失败：(hh:mm:ss) input": the stamp's shape is checked, then dropped.
std::wstring WithoutStamp(const std::wstring &line)
{
    const size_t nOpen = line.find(L'(');
    if (nOpen == std::wstring::npos || line.size() < nOpen + 11)
        return L"<no stamp> " + line;
    const std::wstring stamp = line.substr(nOpen + 1, 8);
    for (size_t i = 0; i < 8; ++i)
    {
        const bool bColon = i == 2 || i == 5;
        if (bColon ? stamp[i] != L':' : !iswdigit(stamp[i]))
            return L"<bad stamp> " + line;
    }
    if (line.compare(nOpen + 9, 2, L") ") != 0)
        return L"<bad stamp> " + line;
    return line.substr(0, nOpen) + line.substr(nOpen + 11);
}

std::vector<std::wstring> SortedFileNames(const CString &strFolder)
{
    std::vector<std::wstring> names = FileNames(strFolder);
    std::sort(names.begin(), names.end());
    return names;
}

// The result lines without their stamps.
std::vector<std::wstring> Results(const CMainDialog &ui)
{
    std::vector<std::wstring> results;
    for (const std::wstring &line : ListTexts(ui, IDC_LIST_RESULT))
        results.push_back(WithoutStamp(line));
    return results;
}

bool WaitForRunEnd(CMainDialog &ui)
{
    return CMainDialog::WaitUntil(
        [&] { return ui.IsEnabled(IDC_BUTTON_START) && !ui.IsEnabled(IDC_BUTTON_STOP); }, 60000);
}
// Runs a command of the system's shell in a folder (this Wine's CreateSymbolicLinkW makes no link). Wine
// gives no handle for a Unix process: its work, a link made or removed, is awaited on disk.
bool RunShell(const CString &strFolder, const CString &strCommand, const CString &strLink, bool bLinked)
{
    CString strLine = L"sh -c \"" + strCommand + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    return CreateProcessW(L"Z:\\bin\\sh", strLine.GetBuffer(strLine.GetLength()), nullptr, nullptr, FALSE, 0,
                          nullptr, strFolder, &si, &pi) &&
           CMainDialog::WaitUntil([&] { return FolderExists(strLink) == bLinked; });
}
} // namespace

TEST(Batch, TwoFoldersAndAnAddressMergedAndSourcesDeleted)
{
    CTempFolder temp;
    // First folder: a playlist at its top level, segments beside it (a video folder: only the
    // playlist file is deleted).
    const std::string a0 = SegmentBytes(1, 1000), a1 = SegmentBytes(2, 777);
    const CString strFirst = temp.MakeFolder(L"src\\first") + L"\\";
    const CString strFirstList =
        temp.Write(L"src\\first\\list.m3u8", VersionedPlaylist({"seg0.ts", "seg1.ts"}));
    temp.Write(L"src\\first\\seg0.ts", a0);
    temp.Write(L"src\\first\\seg1.ts", a1);
    temp.Write(L"src\\first\\notes.txt", "kept");
    // Second folder: the playlist one level down, its segments in a folder of their own (no video
    // beside the playlist and one sub-folder: the playlist's folder goes whole).
    const std::string b0 = SegmentBytes(3, 4096), b1 = SegmentBytes(4, 1), b2 = SegmentBytes(5, 2500);
    const CString strSecond = temp.MakeFolder(L"src\\second") + L"\\";
    const CString strBetaList =
        temp.Write(L"src\\second\\Ep [Beta]\\index.m3u8",
                   VersionedPlaylist({"media\\s0.ts", "media\\s1.ts", "media\\s2.ts"}));
    temp.Write(L"src\\second\\Ep [Beta]\\media\\s0.ts", b0);
    temp.Write(L"src\\second\\Ep [Beta]\\media\\s1.ts", b1);
    temp.Write(L"src\\second\\Ep [Beta]\\media\\s2.ts", b2);
    temp.Write(L"src\\second\\readme.txt", "kept");
    // A web playlist with its segments relative to it.
    const std::string w0 = SegmentBytes(6, 3000), w1 = SegmentBytes(7, 10);
    CHttpServer server;
    ASSERT_TRUE(server.IsListening());
    server.Set("/show/season1/index.m3u8", VersionedPlaylist({"w0.ts", "w1.ts"}));
    server.Set("/show/season1/w0.ts", w0);
    server.Set("/show/season1/w1.ts", w1);
    const CString strUrl = server.Url("/show/season1/index.m3u8");
    const CString strOut = temp.MakeFolder(L"out") + L"\\";

    CPickers pickers;
    CDialogSession<CBatchDlg> session(temp);
    CMainDialog &ui = session.m_ui;
    ASSERT_NE(ui.Window(), nullptr);
    ui.Click(IDC_RADIO_BATCH);
    pickers.AnswerFolder(strFirst);
    ui.Click(IDC_BUTTON_BROWSE_INPUT);
    pickers.AnswerFolder(strSecond);
    ui.Click(IDC_BUTTON_BROWSE_INPUT);
    ui.SetText(IDC_EDIT_OUTPUT, strUrl);
    ui.Click(IDC_BUTTON_BROWSE_OUTPUT);
    pickers.AnswerFolder(strOut);
    ui.Click(IDC_BUTTON_BROWSE_SAVEDIR);
    ui.Click(IDC_CHECK_DELETE_SOURCE);
    ASSERT_EQ(ui.Check(IDC_CHECK_DELETE_SOURCE), BST_CHECKED);
    EXPECT_EQ(ui.Text(IDC_EDIT_SAVEDIR), strOut);

    const std::vector<std::wstring> inputs{strFirstList.Str(), strBetaList.Str(), strUrl.Str()};
    std::vector<std::wstring> added;
    for (const std::wstring &s : inputs)
        added.push_back(L"已添加：" + s);
    EXPECT_EQ(ListTexts(ui, IDC_LIST_INFO), added);

    // The names the run will give: from the folders' names and brackets, and from the address.
    CFendralDlg naming;
    const CString strWebName = naming.MakeOutputName(strUrl, TRUE);

    ui.Click(IDC_BUTTON_START);
    ASSERT_TRUE(WaitForRunEnd(ui));
    ui.Sync();

    EXPECT_EQ(ReadAll(strOut + L"first.ts"), a0 + a1);
    EXPECT_EQ(ReadAll(strOut + L"Beta.ts"), b0 + b1 + b2);
    EXPECT_EQ(ReadAll(strOut + strWebName), w0 + w1);
    std::vector<std::wstring> expectedOut{L"Beta.ts", L"first.ts", strWebName.Str()};
    std::sort(expectedOut.begin(), expectedOut.end());
    EXPECT_EQ(SortedFileNames(strOut), expectedOut) << "nothing else is written to the save folder";

    std::vector<std::wstring> expectedResults;
    for (const std::wstring &s : inputs)
        expectedResults.push_back(L"成功：" + s);
    EXPECT_EQ(Results(ui), expectedResults);

    const std::vector<std::wstring> info = ListTexts(ui, IDC_LIST_INFO);
    ASSERT_FALSE(info.empty());
    EXPECT_EQ(info.back(), L"所有M3U8视频合并完成，共成功合并3个视频！");
    for (const std::wstring &line : info)
        EXPECT_EQ(line.rfind(L"已添加：", 0), std::wstring::npos) << "Start empties the added lines";
    EXPECT_EQ(session.m_dlg.m_nSuccess, 3);
    EXPECT_EQ(session.m_dlg.m_nFail, 0);
    EXPECT_EQ(session.m_dlg.m_arrJobs.GetSize(), 0);

    // Sources: the video folder loses its playlist only; the other playlist's folder goes whole.
    EXPECT_FALSE(FileExists(strFirstList));
    EXPECT_TRUE(FileExists(strFirst + L"seg0.ts"));
    EXPECT_TRUE(FileExists(strFirst + L"seg1.ts"));
    EXPECT_TRUE(FileExists(strFirst + L"notes.txt"));
    EXPECT_FALSE(FolderExists(strSecond + L"Ep [Beta]"));
    EXPECT_TRUE(FileExists(strSecond + L"readme.txt"));
    EXPECT_EQ(server.CountRequests("/show/season1/w0.ts"), 1);
}

TEST(Batch, SingleStartAfterBatchAddsRunsTheBatchPairsFirst)
{
    CTempFolder temp;
    const std::string s0 = SegmentBytes(11, 1500), s1 = SegmentBytes(12, 600);
    const CString strSingle = temp.Write(L"single [One]\\index.m3u8", VersionedPlaylist({"a.ts", "b.ts"}));
    temp.Write(L"single [One]\\a.ts", s0);
    temp.Write(L"single [One]\\b.ts", s1);
    const CString strQueuedFolder = temp.MakeFolder(L"queued") + L"\\";
    const CString strQueuedList = temp.Write(L"queued\\q.m3u8", VersionedPlaylist({"q.ts"}));
    temp.Write(L"queued\\q.ts", "queued segment");
    CHttpServer server;
    ASSERT_TRUE(server.IsListening());
    server.Set("/q/index.m3u8", VersionedPlaylist({"x.ts"}));
    server.Set("/q/x.ts", "web segment");
    const CString strUrl = server.Url("/q/index.m3u8");
    const CString strOut = temp.MakeFolder(L"out") + L"\\";

    CPickers pickers;
    CDialogSession<CBatchDlg> session(temp);
    CMainDialog &ui = session.m_ui;
    ASSERT_NE(ui.Window(), nullptr);
    ui.Click(IDC_RADIO_BATCH);
    ui.SetText(IDC_EDIT_OUTPUT, strUrl);
    ui.Click(IDC_BUTTON_BROWSE_OUTPUT);
    pickers.AnswerFolder(strQueuedFolder);
    ui.Click(IDC_BUTTON_BROWSE_INPUT);

    // Single mode: the open dialog picks the playlist and proposes the output in the save folder.
    ui.Click(IDC_RADIO_SINGLE);
    ui.SetText(IDC_EDIT_SAVEDIR, strOut);
    pickers.AnswerFile(strSingle);
    ui.Click(IDC_BUTTON_BROWSE_INPUT);
    ASSERT_EQ(ui.Text(IDC_EDIT_OUTPUT), strOut + L"One.ts");

    ui.Click(IDC_BUTTON_START);
    ASSERT_TRUE(WaitForRunEnd(ui));
    ui.Sync();

    EXPECT_EQ(ReadAll(strOut + L"One.ts"), s0 + s1);
    EXPECT_EQ(SortedFileNames(strOut), (std::vector<std::wstring>{L"One.ts"}));
    EXPECT_EQ(Results(ui),
              (std::vector<std::wstring>{L"失败：" + strUrl.Str(), L"失败：" + strQueuedList.Str(),
                                         L"成功：" + strSingle.Str()}));
    EXPECT_EQ(session.m_dlg.m_nSuccess, 1);
    EXPECT_EQ(session.m_dlg.m_nFail, 2);
    EXPECT_EQ(session.m_dlg.m_arrJobs.GetSize(), 0);
    // Single mode writes no summary and deletes nothing.
    for (const std::wstring &line : ListTexts(ui, IDC_LIST_INFO))
        EXPECT_EQ(line.find(L"所有M3U8视频合并完成"), std::wstring::npos);
    EXPECT_TRUE(FileExists(strQueuedList));
    EXPECT_TRUE(FileExists(strSingle));
}

// The save folder typed in other letters (beyond A-Z) inside a source folder: the source folder is
// kept, with the video merged into it.
TEST(Batch, ASaveFolderInsideASourceIsKeptHoweverItIsSpelled)
{
    CTempFolder temp;
    const std::string s0 = SegmentBytes(21, 900), s1 = SegmentBytes(22, 300);
    const CString strList =
        temp.Write(L"src\\Été\\index.m3u8", VersionedPlaylist({"segs\\s0.ts", "segs\\s1.ts"}));
    temp.Write(L"src\\Été\\segs\\s0.ts", s0);
    temp.Write(L"src\\Été\\segs\\s1.ts", s1);

    CDialogSession<CBatchDlg> session(temp);
    session.m_ui.Click(IDC_RADIO_BATCH);
    session.AddJob(strList);
    session.m_ui.SetText(IDC_EDIT_SAVEDIR, temp / L"src\\été\\segs");
    session.m_ui.Click(IDC_CHECK_DELETE_SOURCE);
    session.m_ui.Click(IDC_BUTTON_START);
    ASSERT_TRUE(WaitForRunEnd(session.m_ui) && session.m_ui.Sync());
    EXPECT_EQ(ReadAll(temp / L"src\\Été\\segs\\Été.ts"), s0 + s1);
}

TEST(Batch, SourceDeletionLeavesWhatLinksInTheSourcesName)
{
    CTempFolder temp;
    const CString strOut = temp / L"out\\", strShow = temp / L"src\\Show\\", strTalk = temp / L"src\\Talk\\";
    temp.Write(L"out\\old.ts", "older video");
    temp.Write(L"mine\\keep.txt", "mine");
    temp.Write(L"src\\Show\\list.m3u8", VersionedPlaylist({"seg0.ts", "seg1.ts"}));
    temp.Write(L"src\\Show\\seg0.ts", "show 0,");
    temp.Write(L"src\\Show\\seg1.ts", "show 1");
    temp.Write(L"src\\Show\\extras\\note.txt", "note");
    temp.Write(L"src\\Talk\\index.m3u8", VersionedPlaylist({"..\\TalkMedia\\t0.ts"}));
    temp.Write(L"src\\TalkMedia\\t0.ts", "talk");
    const wchar_t *pszLinks = L"ln -s ../../../out src/Show/extras/saved && ln -s ../../mine src/Talk/docs";
    ASSERT_TRUE(RunShell(temp.Path(), pszLinks, strTalk + L"docs", true));
    CPickers pickers;
    CDialogSession<CBatchDlg> session(temp);
    session.m_ui.Click(IDC_RADIO_BATCH);
    pickers.AnswerFolder(strShow);
    session.m_ui.Click(IDC_BUTTON_BROWSE_INPUT);
    pickers.AnswerFolder(strTalk);
    session.m_ui.Click(IDC_BUTTON_BROWSE_INPUT);
    session.m_ui.SetText(IDC_EDIT_SAVEDIR, strOut);
    session.m_ui.Click(IDC_CHECK_DELETE_SOURCE);
    session.m_ui.Click(IDC_BUTTON_START);
    ASSERT_TRUE(WaitForRunEnd(session.m_ui) && session.m_ui.Sync());
    const std::vector<std::wstring> info = ListTexts(session.m_ui, IDC_LIST_INFO);
    EXPECT_EQ(info.empty() ? L"" : info.back(), L"所有M3U8视频合并完成，共成功合并2个视频！");
    EXPECT_EQ((std::vector<std::string>{ReadAll(strOut + L"Show.ts"), ReadAll(strOut + L"Talk.ts"),
                                        ReadAll(strOut + L"old.ts"), ReadAll(temp / L"mine\\keep.txt")}),
              (std::vector<std::string>{"show 0,show 1", "talk", "older video", "mine"}));
    EXPECT_FALSE(FileExists(strShow + L"list.m3u8") || FileExists(strShow + L"extras\\note.txt") ||
                 FileExists(strTalk + L"index.m3u8"));
    EXPECT_TRUE(RunShell(temp.Path(), L"rm src/Show/extras/saved src/Talk/docs", strTalk + L"docs", false));
}
