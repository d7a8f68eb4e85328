// The three browse buttons through the real dialog: typed addresses and folder adds in batch mode,
// the open and save dialogs and the proposed output path in single mode, the save-folder picker.
// The system pickers are answered through their framework hooks; everything after them runs for real.
#include "app/FendralDlg.h"
#include "tests/support/AppTestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{
struct CJobsDlg : CFendralDlg
{
    using CFendralDlg::m_arrJobs;
    using CFendralDlg::m_bBatchMode;
    using CFendralDlg::m_strPath;
};

const wchar_t kAdded[] = L"已添加：";

// One dialog, with a private temporary path so that nothing it does reaches other test processes.
class CJobsSession : public CDialogSession<CJobsDlg>
{
public:
    using CDialogSession::CDialogSession;

    CMainDialog &Ui() { return m_ui; }
    CJobsDlg &Dlg() { return m_dlg; }

    // The job list, read while the UI thread is idle (after a Sync).
    std::vector<std::wstring> Jobs()
    {
        m_ui.Sync();
        std::vector<std::wstring> jobs;
        for (int i = 0; i < m_dlg.m_arrJobs.GetSize(); ++i)
            jobs.push_back(m_dlg.m_arrJobs[i].Str());
        return jobs;
    }
    std::vector<std::wstring> InfoLines() const { return ListTexts(m_ui, IDC_LIST_INFO); }
    void Batch() { m_ui.Click(IDC_RADIO_BATCH); }
    void Single() { m_ui.Click(IDC_RADIO_SINGLE); }
};

std::vector<std::wstring> AddedLines(const std::vector<std::wstring> &inputs)
{
    std::vector<std::wstring> lines;
    for (const std::wstring &s : inputs)
        lines.push_back(kAdded + s);
    return lines;
}

std::vector<std::wstring> Pairs(const std::vector<std::wstring> &inputs)
{
    std::vector<std::wstring> jobs;
    for (const std::wstring &s : inputs)
    {
        jobs.push_back(s);
        jobs.push_back(L"");
    }
    return jobs;
}
} // namespace

TEST(Jobs, TypedAddressesInBatchMode)
{
    CTempFolder temp;
    CPickers pickers;
    CJobsSession s(temp);
    s.Batch();
    // A queued pair whose output equals an address typed later: outputs are never compared.
    s.AddJob(L"C:\\queued.m3u8", L"http://host/odd.m3u8");

    enum Outcome
    {
        Added,
        Refused,
        Dropped
    };
    struct Case
    {
        const wchar_t *pszTyped;
        Outcome outcome;
    };
    const Case cases[] = {
        {L"http://host/show/index.m3u8", Added},
        {L"HTTPS://host/show/index.m3u8", Added},  // capitals kept
        {L"http://host/show/index.m3u8", Dropped}, // duplicate, silently
        {L"HTTP://host/show/index.m3u8", Added},   // the duplicate test distinguishes case
        {L"", Refused},
        {L"ftp://host/show/index.m3u8", Refused},
        {L" http://host/show/index.m3u8", Refused}, // the blank is not trimmed
        {L"http", Added},                           // only the first four characters are looked at
        {L"htt", Refused},
        {L"Https://host/a.m3u8", Added},
        {L"http://host/show/index.m3u8 ", Added}, // a trailing blank stays part of the input
        {L"http://host/odd.m3u8", Added},
        {L"HTTPS://host/show/index.m3u8", Dropped},
    };
    std::vector<std::wstring> expected{L"C:\\queued.m3u8", L"http://host/odd.m3u8"};
    std::vector<std::wstring> lines;
    for (const Case &c : cases)
    {
        SCOPED_TRACE(StringToUtf8(c.pszTyped));
        s.Ui().SetText(IDC_EDIT_OUTPUT, c.pszTyped);
        s.Ui().Click(IDC_BUTTON_BROWSE_OUTPUT);
        if (c.outcome == Refused)
        {
            CString strText;
            EXPECT_TRUE(s.Ui().AnswerMessageBox(L"提示", IDOK, &strText));
            EXPECT_EQ(strText, L"请输入正确的网址");
            s.Ui().Sync();
        }
        else
        {
            EXPECT_TRUE(s.Ui().OtherWindows().empty()) << "no message expected";
        }
        if (c.outcome == Added)
        {
            expected.push_back(c.pszTyped);
            expected.push_back(L"");
            lines.push_back(kAdded + std::wstring(c.pszTyped));
        }
        EXPECT_EQ(s.Jobs(), expected);
        EXPECT_EQ(s.InfoLines(), lines);
        EXPECT_EQ(s.Ui().Text(IDC_EDIT_OUTPUT), c.pszTyped) << "the typed text stays";
    }
    EXPECT_TRUE(pickers.FileRequests().empty()) << "no save dialog in batch mode";
}

TEST(Jobs, FolderAddsInBatchMode)
{
    // What to pick: a folder below the case's tree, or a special answer.
    struct Step
    {
        const wchar_t *pszPick; // relative; "" is the tree itself
        FolderAnswer answer;
        // Per folder (relative) the playlists it may contribute: the first of them in listing order.
        std::vector<std::pair<const wchar_t *, std::vector<const wchar_t *>>> adds;
    };
    struct Case
    {
        const char *pszName;
        std::vector<const wchar_t *> files; // relative, created in this order
        std::vector<const wchar_t *> folders;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"the first top-level playlist, nothing else",
         {L"notes.txt", L"Ep1.M3U8", L"ep2.m3u8", L"S1\\s1.m3u8"},
         {},
         {{L"", FolderAnswer::Path, {{L"", {L"Ep1.M3U8", L"ep2.m3u8"}}}}}},
        {"the first playlist of each direct sub-folder",
         {L"cover.jpg", L"A\\a1.m3u8", L"A\\a2.m3u8", L"B\\readme.txt", L"B\\Extra\\x.m3u8", L"D\\d.M3U8"},
         {},
         {{L"", FolderAnswer::Path, {{L"A", {L"a1.m3u8", L"a2.m3u8"}}, {L"D", {L"d.M3U8"}}}},
          // The same folder again: duplicates only, nothing said.
          {L"", FolderAnswer::Path, {}}}},
        {"a folder named like a playlist is a folder",
         {L"note.txt", L"pl.m3u8\\inner.m3u8"},
         {},
         {{L"", FolderAnswer::Path, {{L"pl.m3u8", {L"inner.m3u8"}}}}}},
        {"playlists two levels down are not found",
         {L"L1\\L2\\z.m3u8", L"L1\\a.ts"},
         {},
         {{L"", FolderAnswer::Path, {}}}},
        {"an empty folder", {}, {L"Empty"}, {{L"Empty", FolderAnswer::Path, {}}}},
        {"a sub-folder already queued through its parent",
         {L"S\\s.m3u8", L"S\\t.m3u8"},
         {},
         {{L"", FolderAnswer::Path, {{L"S", {L"s.m3u8", L"t.m3u8"}}}}, {L"S", FolderAnswer::Path, {}}}},
        {"a playlist found both ways is queued once",
         {L"P\\one.m3u8"},
         {},
         {{L"P", FolderAnswer::Path, {{L"P", {L"one.m3u8"}}}}, {L"", FolderAnswer::Path, {}}}},
        {"cancel and a folder without a file-system path change nothing",
         {L"x.m3u8"},
         {},
         {{L"", FolderAnswer::Cancel, {}}, {L"", FolderAnswer::NotFileSystem, {}}}},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.pszName);
        CTempFolder temp;
        CString strTree = temp.MakeFolder(L"tree");
        for (const wchar_t *pszFile : c.files)
            temp.Write(CString(L"tree\\") + pszFile, "#EXTM3U\n");
        for (const wchar_t *pszFolder : c.folders)
            temp.MakeFolder(CString(L"tree\\") + pszFolder);

        CPickers pickers;
        CJobsSession s(temp);
        s.Batch();
        std::vector<std::wstring> expected;
        for (const Step &step : c.steps)
        {
            CString strPick = NoSlash(strTree);
            if (*step.pszPick)
                strPick += CString(L"\\") + step.pszPick;
            SCOPED_TRACE(StringToUtf8(strPick));
            const CString strInputBefore = L"left alone";
            s.Ui().SetText(IDC_EDIT_INPUT, strInputBefore);
            pickers.AnswerFolder(step.answer, strPick);
            s.Ui().Click(IDC_BUTTON_BROWSE_INPUT);

            // Adds follow the listing order of the picked folder's sub-folders.
            std::vector<std::pair<size_t, std::wstring>> adds;
            const std::vector<std::wstring> subOrder = FolderNames(strPick);
            for (const auto &add : step.adds)
            {
                CString strFolder = *add.first ? NoSlash(strTree) + L"\\" + add.first : NoSlash(strTree);
                std::vector<std::wstring> order = FileNames(strFolder);
                auto first = std::find_if(order.begin(), order.end(), [&](const std::wstring &name) {
                    return std::any_of(add.second.begin(), add.second.end(),
                                       [&](const wchar_t *psz) { return name == psz; });
                });
                ASSERT_NE(first, order.end());
                std::wstring strSub =
                    strFolder.Str().substr(std::min(strFolder.GetLength(), strPick.GetLength() + 1));
                size_t nPos = std::find(subOrder.begin(), subOrder.end(), strSub) - subOrder.begin();
                adds.push_back({nPos, (strFolder + L"\\" + first->c_str()).Str()});
            }
            std::stable_sort(adds.begin(), adds.end());
            for (const auto &add : adds)
                expected.push_back(add.second);

            EXPECT_EQ(s.Jobs(), Pairs(expected));
            EXPECT_EQ(s.InfoLines(), AddedLines(expected));
            EXPECT_TRUE(s.Ui().OtherWindows().empty()) << "a folder add says nothing";
            // The input box shows the picked folder with a closing backslash, whatever was found.
            EXPECT_EQ(s.Ui().Text(IDC_EDIT_INPUT),
                      step.answer == FolderAnswer::Path ? strPick + L"\\" : strInputBefore);
        }
    }
}

// Both folder buttons ask the shell the same way, in both modes.
TEST(Jobs, FolderPickerRequest)
{
    CTempFolder temp;
    CPickers pickers;
    CJobsSession s(temp);
    pickers.AnswerFolder(FolderAnswer::Cancel);
    s.Ui().Click(IDC_BUTTON_BROWSE_SAVEDIR);
    s.Batch();
    s.Ui().Click(IDC_BUTTON_BROWSE_SAVEDIR);
    s.Ui().Click(IDC_BUTTON_BROWSE_INPUT);
    s.Ui().Sync();
    const std::vector<CFolderRequest> requests = pickers.FolderRequests();
    ASSERT_EQ(requests.size(), 3u);
    for (const CFolderRequest &r : requests)
    {
        EXPECT_EQ(r.hOwner, s.Ui().Window());
        EXPECT_FALSE(r.bRoot);
        EXPECT_FALSE(r.bDisplayName);
        EXPECT_FALSE(r.bCallback);
        EXPECT_EQ(r.strTitle, L"选择目录");
        EXPECT_EQ(r.uFlags, 0x41u);
    }
    EXPECT_TRUE(pickers.FileRequests().empty());
}

TEST(Jobs, ProposedOutputInSingleMode)
{
    struct Case
    {
        const wchar_t *pszPlaylist;
        const wchar_t *pszSaveDir;
        const wchar_t *pszOutput;
    };
    const Case cases[] = {
        {L"D:\\Video\\Holiday\\index.m3u8", L"", L"D:\\Video\\Holiday\\output.ts"},
        {L"D:\\Video\\Travel [Studio]\\index.m3u8", L"", L"D:\\Video\\Travel [Studio]\\Studio.ts"},
        {L"D:\\Video\\Travel [Studio]\\index.m3u8", L"E:\\Out\\", L"E:\\Out\\Studio.ts"},
        {L"D:\\Video\\Travel [Studio]\\index.m3u8", L"  E:\\Out \t", L"E:\\OutStudio.ts"},
        {L"D:\\Video\\《Mountain》(2019)\\index.m3u8", L"", L"D:\\Video\\《Mountain》(2019)\\Mountain.ts"},
        {L"D:\\Video\\《A》[B]\\index.m3u8", L"", L"D:\\Video\\《A》[B]\\A.ts"},
        {L"D:\\Video\\》A《 [B]\\index.m3u8", L"", L"D:\\Video\\》A《 [B]\\B.ts"},
        {L"D:\\Video\\Show [HD] (2019)\\index.m3u8", L"", L"D:\\Video\\Show [HD] (2019)\\2019.ts"},
        {L"D:\\Video\\Show{2}\\x (1)\\index.m3u8", L"", L"D:\\Video\\Show{2}\\x (1)\\2.ts"},
        {L"D:\\Old (Archive)\\Holiday\\index.m3u8", L"", L"D:\\Old (Archive)\\Holiday\\Archive.ts"},
        {L"D:\\Video\\a)b(c)\\index.m3u8", L"", L"D:\\Video\\a)b(c)\\output.ts"},
        {L"D:\\a[b\\c]d\\index.m3u8", L"", L"D:\\a[b\\c]d\\b\\c.ts"},
        // Edge cases: adjacent brackets, blanks-only save folder, brackets in the file name only,
        // "{" "}" over "[" "]" with "(" ")" absent.
        {L"D:\\a[]b\\index.m3u8", L"", L"D:\\a[]b\\.ts"},
        {L"D:\\Show [HD]\\index.m3u8", L"   ", L"D:\\Show [HD]\\HD.ts"},
        {L"D:\\Video\\[x] {y}.m3u8", L"", L"D:\\Video\\output.ts"},
        {L"D:\\{y} [x]\\index.m3u8", L"F:", L"F:y.ts"},
        {L"C:\\index.m3u8", L"", L"C:\\output.ts"},
    };
    CTempFolder temp;
    CPickers pickers;
    CJobsSession s(temp);
    for (const Case &c : cases)
    {
        SCOPED_TRACE(StringToUtf8(c.pszPlaylist) + " | " + StringToUtf8(c.pszSaveDir));
        s.Ui().SetText(IDC_EDIT_SAVEDIR, c.pszSaveDir);
        pickers.AnswerFile(c.pszPlaylist);
        s.Ui().Click(IDC_BUTTON_BROWSE_INPUT);
        s.Ui().Sync();
        EXPECT_EQ(s.Ui().Text(IDC_EDIT_INPUT), c.pszPlaylist);
        EXPECT_EQ(s.Ui().Text(IDC_EDIT_OUTPUT), c.pszOutput);
        EXPECT_EQ(s.Dlg().m_strPath, c.pszPlaylist) << "the path member keeps the playlist";
        EXPECT_EQ(s.Ui().Text(IDC_EDIT_SAVEDIR), c.pszSaveDir) << "the save folder box is not changed";
    }
    EXPECT_TRUE(s.Jobs().empty()) << "single mode queues nothing here";

    // A path without a backslash, and a cancel: the output box keeps its text.
    s.Ui().SetText(IDC_EDIT_OUTPUT, L"D:\\keep.ts");
    pickers.AnswerFile(L"index.m3u8");
    s.Ui().Click(IDC_BUTTON_BROWSE_INPUT);
    EXPECT_EQ(s.Ui().Text(IDC_EDIT_INPUT), L"index.m3u8");
    EXPECT_EQ(s.Ui().Text(IDC_EDIT_OUTPUT), L"D:\\keep.ts");
    pickers.AnswerFile(L"");
    s.Ui().Click(IDC_BUTTON_BROWSE_INPUT);
    EXPECT_EQ(s.Ui().Text(IDC_EDIT_INPUT), L"index.m3u8");
    EXPECT_EQ(s.Ui().Text(IDC_EDIT_OUTPUT), L"D:\\keep.ts");
    s.Ui().Sync();
    EXPECT_EQ(s.Dlg().m_strPath, L"index.m3u8");

    // Every open dialog was asked for the same thing.
    const std::vector<CFileRequest> requests = pickers.FileRequests();
    ASSERT_EQ(requests.size(), std::size(cases) + 2);
    for (const CFileRequest &r : requests)
    {
        EXPECT_TRUE(r.bOpen);
        EXPECT_TRUE(r.bVista);
        EXPECT_EQ(r.strDefExt, L"m3u8");
        EXPECT_EQ(r.strFile, L"");
        EXPECT_EQ(r.dwFlags, static_cast<DWORD>(OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT));
        EXPECT_EQ(r.strFilter, L"m3u8文件 (*.m3u8)|*.m3u8|所有文件 (*.*)|*.*||");
    }
}

TEST(Jobs, SaveDialogInSingleMode)
{
    struct Case
    {
        const wchar_t *pszBefore;
        const wchar_t *pszAnswer; // empty: cancel
        const wchar_t *pszAfter;
    };
    const Case cases[] = {
        {L"D:\\Video\\other.ts", L"E:\\Out\\movie.ts", L"E:\\Out\\movie.ts"},
        {L"", L"C:\\x.ts", L"C:\\x.ts"},
        {L"D:\\Video\\keep.ts", L"", L"D:\\Video\\keep.ts"},
    };
    CTempFolder temp;
    CPickers pickers;
    CJobsSession s(temp);
    CString strPath = L"C:\\before.m3u8";
    for (const Case &c : cases)
    {
        SCOPED_TRACE(StringToUtf8(c.pszBefore) + " -> " + StringToUtf8(c.pszAnswer));
        s.Ui().Sync();
        s.Dlg().m_strPath = strPath;
        s.Ui().SetText(IDC_EDIT_OUTPUT, c.pszBefore);
        pickers.AnswerFile(c.pszAnswer);
        s.Ui().Click(IDC_BUTTON_BROWSE_OUTPUT);
        EXPECT_EQ(s.Ui().Text(IDC_EDIT_OUTPUT), c.pszAfter);
        s.Ui().Sync();
        EXPECT_EQ(s.Dlg().m_strPath, *c.pszAnswer ? c.pszAnswer : strPath.Str().c_str());
    }
    EXPECT_TRUE(s.Jobs().empty());
    const std::vector<CFileRequest> requests = pickers.FileRequests();
    ASSERT_EQ(requests.size(), std::size(cases));
    for (const CFileRequest &r : requests)
    {
        EXPECT_FALSE(r.bOpen);
        EXPECT_TRUE(r.bVista);
        EXPECT_EQ(r.strDefExt, L"ts");
        EXPECT_EQ(r.strFile, L"output.ts") << "always the same initial name";
        EXPECT_EQ(r.dwFlags, static_cast<DWORD>(OFN_OVERWRITEPROMPT));
        EXPECT_EQ(r.strFilter, L"TS文件 (*.ts)|*.ts|所有文件 (*.*)|*.*||");
    }
}

TEST(Jobs, SaveFolderPicker)
{
    CTempFolder temp;
    const CString strOut = NoSlash(temp.MakeFolder(L"Out"));
    const CString strOutSlash = strOut + L"\\";
    struct Case
    {
        bool bBatch;
        const wchar_t *pszOutputBefore;
        FolderAnswer answer;
        CString strChosen;
        CString strSaveDirAfter;
        CString strOutputAfter;
    };
    const Case cases[] = {
        {false, L"D:\\Video\\Holiday\\output.ts", FolderAnswer::Path, strOut, strOutSlash,
         strOutSlash + L"output.ts"},
        {false, L"output.ts", FolderAnswer::Path, strOut, strOutSlash, L"output.ts"},
        {false, L"D:\\Video\\", FolderAnswer::Path, strOut, strOutSlash, strOutSlash},
        {false, L"", FolderAnswer::Path, strOut, strOutSlash, L""},
        {false, L"\\x.ts", FolderAnswer::Path, strOut, strOutSlash, L"\\x.ts"}, // backslash at index 0
        // A drive root keeps its own backslash and gets one more.
        {false, L"D:\\Video\\a.ts", FolderAnswer::Path, L"C:\\", L"C:\\\\", L"C:\\\\a.ts"},
        {false, L"D:\\Video\\a.ts", FolderAnswer::Cancel, L"", L"unchanged", L"D:\\Video\\a.ts"},
        {false, L"D:\\Video\\a.ts", FolderAnswer::NotFileSystem, L"", L"unchanged", L"D:\\Video\\a.ts"},
        // In batch mode the output box holds a web address, which stays.
        {true, L"http://host/a.m3u8", FolderAnswer::Path, strOut, strOutSlash, L"http://host/a.m3u8"},
        {true, L"http://host/a.m3u8", FolderAnswer::Path, L"C:\\", L"C:\\\\", L"http://host/a.m3u8"},
    };
    CPickers pickers;
    CJobsSession s(temp);
    for (const Case &c : cases)
    {
        SCOPED_TRACE(std::string(c.bBatch ? "batch " : "single ") + StringToUtf8(c.pszOutputBefore) + " <- " +
                     StringToUtf8(c.strChosen));
        if (c.bBatch)
            s.Batch();
        else
            s.Single();
        s.Ui().SetText(IDC_EDIT_SAVEDIR, L"unchanged");
        s.Ui().SetText(IDC_EDIT_OUTPUT, c.pszOutputBefore);
        pickers.AnswerFolder(c.answer, c.strChosen);
        s.Ui().Click(IDC_BUTTON_BROWSE_SAVEDIR);
        EXPECT_EQ(s.Ui().Text(IDC_EDIT_SAVEDIR), c.strSaveDirAfter);
        EXPECT_EQ(s.Ui().Text(IDC_EDIT_OUTPUT), c.strOutputAfter);
    }
    EXPECT_TRUE(s.Jobs().empty());
}

// The drive root in the folder add: the input box shows the doubled backslash.
TEST(Jobs, DriveRootInFolderAdd)
{
    CTempFolder temp;
    CPickers pickers;
    CJobsSession s(temp);
    s.Batch();
    pickers.AnswerFolder(FolderAnswer::Path, L"C:\\");
    s.Ui().Click(IDC_BUTTON_BROWSE_INPUT);
    EXPECT_EQ(s.Ui().Text(IDC_EDIT_INPUT), L"C:\\\\");
    // Whatever the root holds, every job queued from it lies in the root or one level down.
    const std::vector<std::wstring> jobs = s.Jobs();
    for (size_t i = 0; i < jobs.size(); i += 2)
    {
        EXPECT_EQ(jobs[i].rfind(L"C:\\", 0), 0u);
        EXPECT_LE(std::count(jobs[i].begin(), jobs[i].end(), L'\\'), 2);
    }
}

TEST(Jobs, SwitchingModesKeepsQueuedJobs)
{
    CTempFolder temp;
    temp.Write(L"local\\show.m3u8", "#EXTM3U\n");
    CPickers pickers;
    CJobsSession s(temp);
    s.Batch();
    s.Ui().SetText(IDC_EDIT_OUTPUT, L"http://host/a.m3u8");
    s.Ui().Click(IDC_BUTTON_BROWSE_OUTPUT);
    pickers.AnswerFolder(temp / L"local");
    s.Ui().Click(IDC_BUTTON_BROWSE_INPUT);
    const std::vector<std::wstring> queued =
        Pairs({L"http://host/a.m3u8", (temp / L"local\\show.m3u8").Str()});
    ASSERT_EQ(s.Jobs(), queued);

    for (int nRadio : {IDC_RADIO_SINGLE, IDC_RADIO_BATCH, IDC_RADIO_BATCH, IDC_RADIO_SINGLE})
    {
        s.Ui().Click(nRadio);
        EXPECT_EQ(s.Jobs(), queued);
        EXPECT_EQ(s.Ui().Text(IDC_EDIT_INPUT), L"");
        EXPECT_EQ(s.Ui().Text(IDC_EDIT_OUTPUT), L"");
    }
    // Back in batch mode, the duplicate test covers the jobs queued before the switches.
    s.Batch();
    s.Ui().SetText(IDC_EDIT_OUTPUT, L"http://host/a.m3u8");
    s.Ui().Click(IDC_BUTTON_BROWSE_OUTPUT);
    s.Ui().Click(IDC_BUTTON_BROWSE_INPUT);
    EXPECT_EQ(s.Jobs(), queued);
    EXPECT_EQ(s.InfoLines(), AddedLines({L"http://host/a.m3u8", (temp / L"local\\show.m3u8").Str()}));
}
