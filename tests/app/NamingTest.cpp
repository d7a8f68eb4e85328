// Batch output names: the rules, the fallback counter and names that Windows can create.
#include "app/FendralDlg.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{
struct CNamingDlg : CFendralDlg
{
    using CFendralDlg::m_nOutputIndex;
};

struct NameCase
{
    const wchar_t *pszInput;
    BOOL bExt;
    const wchar_t *pszName;
};

void PrintTo(const NameCase &c, std::ostream *os)
{
    *os << StringToUtf8(c.pszInput) << (c.bExt ? " (ext)" : " (no ext)");
}

// Each case on a new dialog, so a fallback name carries the number 0.
void ExpectNames(const std::vector<NameCase> &cases)
{
    for (const NameCase &c : cases)
    {
        CNamingDlg dlg;
        ASSERT_EQ(dlg.m_nOutputIndex, 0);
        CString strName = dlg.MakeOutputName(c.pszInput, c.bExt);
        EXPECT_EQ(strName.Str(), std::wstring(c.pszName)) << ::testing::PrintToString(c);
        EXPECT_EQ(dlg.m_nOutputIndex, 1) << ::testing::PrintToString(c);
    }
}
} // namespace

TEST(MakeOutputName, WorkedExamples)
{
    ExpectNames({
        {L"http://host/show/season1/index.m3u8", TRUE, L"host_show_season1.ts"},
        {L"HTTPS://host/live/index.m3u8", TRUE, L"host_live.ts"},
        {L"http://host/index.m3u8", TRUE, L"host.ts"},
        {L"http://host", TRUE, L"output_0.ts"},
        {L"http://host:8080/v/index.m3u8", TRUE, L"host_8080_v.ts"},
        {L"D:\\Video\\Drama 第07集 HD\\index.m3u8", TRUE, L"Drama 第07集.ts"},
        {L"D:\\第3集\\extras\\index.m3u8", TRUE, L"extras.ts"},
        {L"D:\\Video\\第12集[HD]\\index.m3u8", TRUE, L"第12集.ts"},
        {L"D:\\Video\\Travel [Studio]\\index.m3u8", TRUE, L"Studio.ts"},
        {L"D:\\Video\\《Mountain》(2019)\\index.m3u8", TRUE, L"Mountain.ts"},
        {L"D:\\Video\\Show{2}\\x (1)\\index.m3u8", TRUE, L"2.ts"},
        {L"D:\\Old (Archive)\\Holiday\\index.m3u8", TRUE, L"Archive.ts"},
        {L"D:\\Video\\a)b(c)\\index.m3u8", TRUE, L"a)b(c).ts"},
        {L"D:\\Video\\Clip []\\index.m3u8", TRUE, L".ts"},
        {L"D:\\Video\\Holiday\\index.m3u8", TRUE, L"Holiday.ts"},
        {L"D:\\index.m3u8", TRUE, L"output_0.ts"},
        {L"D:/Video/Holiday/index.m3u8", TRUE, L"output_0.ts"},
    });
}

TEST(MakeOutputName, WebAddressEdges)
{
    ExpectNames({
        // No "//", or no "/" after the host: the fallback, and the path rule is never tried.
        {L"http:host/a/b", TRUE, L"output_0.ts"},
        {L"httpfoo\\Holiday\\index.m3u8", TRUE, L"output_0.ts"},
        {L"http://host", TRUE, L"output_0.ts"},
        {L"http://host/", TRUE, L"host.ts"},
        // Backslashes count as "/".
        {L"http:\\\\host\\media\\clip.m3u8", TRUE, L"host_media.ts"},
        // Blanks and letter case only matter to the test, the name comes from the input as given.
        {L"  hTTp://Host/Show/ep.m3u8 ", TRUE, L"Host_Show.ts"},
        {L"\thttp://host/a/ep.m3u8", TRUE, L"host_a.ts"},
        // Everything behind the last "/" is dropped, including a query after it.
        {L"http://host/a/index.m3u8?token=1/", TRUE, L"host_a_index.m3u8_token=1.ts"},
        {L"http://host/a/index.m3u8?t=1", TRUE, L"host_a.ts"},
        // Two playlists of one web folder come out alike; nothing here keeps them apart.
        {L"http://host/show/ep1.m3u8", TRUE, L"host_show.ts"},
        {L"http://host/show/ep2.m3u8", TRUE, L"host_show.ts"},
        {L"http:///a/x.m3u8", TRUE, L"_a.ts"},
    });
}

TEST(MakeOutputName, PathEdges)
{
    ExpectNames({
        {L"", TRUE, L"output_0.ts"},
        {L"index.m3u8", TRUE, L"output_0.ts"},
        {L"\\index.m3u8", TRUE, L"output_0.ts"},
        // A doubled separator before the file name still names the folder before it.
        {L"D:\\Video\\\\index.m3u8", TRUE, L"Video.ts"},
        {L"\\\\server\\share\\index.m3u8", TRUE, L"share.ts"},
        // The mark is cut right after its first occurrence, and never used as the name's first character.
        {L"D:\\Video\\Show 第1集 第2集 Finale\\index.m3u8", TRUE, L"Show 第1集.ts"},
        {L"D:\\Video\\集 Special\\index.m3u8", TRUE, L"集 Special.ts"},
        {L"D:\\Video\\集 Special (Cut)\\index.m3u8", TRUE, L"Cut.ts"},
        {L"集\\index.m3u8", TRUE, L"output_0.ts"},
        {L"x\\第5集\\index.m3u8", TRUE, L"第5集.ts"},
        // Brackets are searched from the start of the whole folder part.
        {L"D:\\[Box]\\Show (1)\\index.m3u8", TRUE, L"Box.ts"},
        {L"D:\\a]b[c\\index.m3u8", TRUE, L"a]b[c.ts"},
        {L"D:\\a]b[c(d)\\index.m3u8", TRUE, L"d.ts"},
        // Two local folders with the same bracket text come out alike.
        {L"E:\\One [Same]\\index.m3u8", TRUE, L"Same.ts"},
        {L"F:\\Two [Same]\\index.m3u8", TRUE, L"Same.ts"},
    });
}

TEST(MakeOutputName, ExtensionFlag)
{
    ExpectNames({
        {L"http://host/show/season1/index.m3u8", FALSE, L"host_show_season1"},
        {L"D:\\Video\\Drama 第07集 HD\\index.m3u8", FALSE, L"Drama 第07集"},
        {L"D:\\Video\\Travel [Studio]\\index.m3u8", FALSE, L"Studio"},
        {L"D:\\Video\\Holiday\\index.m3u8", FALSE, L"Holiday"},
        // The fallback keeps its extension whatever the flag.
        {L"D:\\index.m3u8", FALSE, L"output_0.ts"},
        {L"http://host", FALSE, L"output_0.ts"},
    });
}

TEST(MakeOutputName, CharactersWindowsRefusesBecomeUnderscores)
{
    ExpectNames({
        {L"http://host:8080/v/index.m3u8", TRUE, L"host_8080_v.ts"},
        {L"http://host/a?x=1/b/index.m3u8", TRUE, L"host_a_x=1_b.ts"},
        {L"http://host/a|b<c>\"d*/x.m3u8", TRUE, L"host_a_b_c__d_.ts"},
        {L"http://host/a\tb\x01/x.m3u8", TRUE, L"host_a_b_.ts"},
        {L"http://[::1]:80/v/x.m3u8", FALSE, L"[__1]_80_v"},
        // Bracket text can run over a folder boundary.
        {L"D:\\Old (Arch\\ive)\\index.m3u8", TRUE, L"Arch_ive.ts"},
        {L"D:\\x\\a[b:c?]\\index.m3u8", TRUE, L"b_c_.ts"},
        // Characters Windows accepts stay as they are.
        {L"http://host/a b+c&d=e;f,g'h!/x.m3u8", TRUE, L"host_a b+c&d=e;f,g'h!.ts"},
        {L"D:\\Video\\Clip #1, 'best' & more!\\index.m3u8", TRUE, L"Clip #1, 'best' & more!.ts"},
    });
}

// A name Windows takes for a device would swallow the video without an error.
TEST(MakeOutputName, DeviceNamesAreNotUsedAsTheyStand)
{
    ExpectNames({
        {L"D:\\Video\\Travel [NUL]\\index.m3u8", TRUE, L"_NUL.ts"},
        {L"D:\\Video\\x (con)\\index.m3u8", TRUE, L"_con.ts"},
        {L"D:\\Video\\x (aux.old)\\index.m3u8", TRUE, L"_aux.old.ts"},
        {L"D:\\Video\\x (Com1 )\\index.m3u8", TRUE, L"_Com1 .ts"},
        {L"D:\\Video\\x [lpt9]\\index.m3u8", FALSE, L"_lpt9"},
        {L"D:\\Video\\x [COM\u00b2]\\index.m3u8", TRUE, L"_COM\u00b2.ts"},
        {L"D:\\Video\\x [conin$]\\index.m3u8", TRUE, L"_conin$.ts"},
        {L"http://prn/a/index.m3u8", TRUE, L"prn_a.ts"},
        {L"http://prn/index.m3u8", TRUE, L"_prn.ts"},
        // Only the whole name before the first dot counts.
        {L"D:\\Video\\Nullarbor\\index.m3u8", TRUE, L"Nullarbor.ts"},
        {L"D:\\Video\\x [COM10]\\index.m3u8", TRUE, L"COM10.ts"},
        {L"D:\\Video\\x [my.nul]\\index.m3u8", TRUE, L"my.nul.ts"},
    });
}

TEST(MakeOutputName, CounterRisesOnEveryCallAndIsNeverReset)
{
    CNamingDlg dlg;
    // One run: a derived name, then two fallbacks that carry the counts of the calls before them.
    EXPECT_EQ(dlg.MakeOutputName(L"http://host/a/index.m3u8", TRUE).Str(), L"host_a.ts");
    EXPECT_EQ(dlg.MakeOutputName(L"http://host", TRUE).Str(), L"output_1.ts");
    EXPECT_EQ(dlg.MakeOutputName(L"D:\\index.m3u8", TRUE).Str(), L"output_2.ts");
    // The next run goes on from there.
    EXPECT_EQ(dlg.MakeOutputName(L"", TRUE).Str(), L"output_3.ts");

    // Derived names still use numbers up.
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(dlg.MakeOutputName(L"D:\\Video\\Holiday\\index.m3u8", TRUE).Str(), L"Holiday.ts");
    EXPECT_EQ(dlg.m_nOutputIndex, 9);
    EXPECT_EQ(dlg.MakeOutputName(L"nothing", FALSE).Str(), L"output_9.ts");

    // The caller's string is left as it was.
    CString strInput = L"http:\\\\host\\media\\clip.m3u8";
    EXPECT_EQ(dlg.MakeOutputName(strInput, TRUE).Str(), L"host_media.ts");
    EXPECT_EQ(strInput.Str(), L"http:\\\\host\\media\\clip.m3u8");
}
