// tests/engine/PlaylistGrammarTest.cpp: the line grammar, base rules and record operations.
#include "engine/Location.h"
#include "engine/Playlist.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{
const wchar_t kBase[] = L"http://h/p/";

struct GrammarCase
{
    const char *name;
    const wchar_t *text;
    std::vector<CString> segments;
    CString key;
    CString sub;
};

std::string Narrow(const CString &s)
{
    return StringToUtf8(s);
}

void ExpectRecord(const CPlaylist &p, const GrammarCase &c)
{
    ASSERT_EQ(p.m_arrSegments.GetSize(), int(c.segments.size())) << c.name;
    for (int i = 0; i < p.m_arrSegments.GetSize(); ++i)
        EXPECT_EQ(Narrow(p.m_arrSegments[i]), Narrow(c.segments[size_t(i)])) << c.name << " segment " << i;
    EXPECT_EQ(Narrow(p.m_strKeyUri), Narrow(c.key)) << c.name;
    EXPECT_EQ(Narrow(p.m_strSubPlaylist), Narrow(c.sub)) << c.name;
}

std::vector<unsigned char> Bytes(std::initializer_list<int> tail)
{
    // 16 bytes, the given ones at the end.
    std::vector<unsigned char> v(16, 0);
    size_t k = 16 - tail.size();
    for (int b : tail)
        v[k++] = (unsigned char)b;
    return v;
}
} // namespace

TEST(PlaylistGrammar, LinesOfDownloadedText)
{
    const CString b = kBase;
    const GrammarCase cases[] = {
        {"plain", L"#EXTM3U\n#EXTINF:10,\nseg0.ts\nseg1.ts\n", {b + L"seg0.ts", b + L"seg1.ts"}, L"", L""},
        {"crlf", L"#EXTM3U\r\na.ts\r\nb.ts\r\n", {b + L"a.ts", b + L"b.ts"}, L"", L""},
        {"cr only is one line", L"#EXTM3U\ra.ts\rb.ts\r", {}, L"", L""},
        {"trimmed", L"  a.ts \t\n\t\n", {b + L"a.ts"}, L"", L""},
        {"absolute and capitals",
         L"http://x/a.ts\nhttps://y/b.ts\nHTTP://z/c.ts\n",
         {L"http://x/a.ts", L"https://y/b.ts", b + L"HTTP://z/c.ts"},
         L"",
         L""},
        {"begins with .ts goes on to the nested test", L".ts\n.tsx.m3u8\n", {}, L"", b + L".tsx.m3u8"},
        {"capital extensions ignored", L"a.TS\nb.M3U8\n", {}, L"", L""},
        {"segment test before nested", L"a.ts.m3u8\n", {b + L"a.ts.m3u8"}, L"", L""},
        {".ts anywhere",
         L"x.tsv?q=1\nhttp://cdn.tsa/b.mp4\n",
         {b + L"x.tsv?q=1", L"http://cdn.tsa/b.mp4"},
         L"",
         L""},
        {"last nested wins", L"v1.m3u8\nhttp://o/v2.m3u8?a=b\n", {}, L"", L"http://o/v2.m3u8?a=b"},
        {"other lines ignored", L"a.mp4\nfoo\n.m3u8\n", {}, L"", L""},
        {"tags with URI are comments",
         L"#EXT-X-MAP:URI=\"init.ts\"\n#EXT-X-MEDIA:TYPE=AUDIO,URI=\"a.m3u8\"\n# c.ts\n",
         {},
         L"",
         L""},
        {"plain joining", L"/abs/a.ts\n../up/b.ts\n", {b + L"/abs/a.ts", b + L"../up/b.ts"}, L"", L""},
        {"duplicates kept", L"a.ts\na.ts\n", {b + L"a.ts", b + L"a.ts"}, L"", L""},
        {"empty text", L"", {}, L"", L""},
        {"last line without LF", L"a.ts\n\nb.ts", {b + L"a.ts", b + L"b.ts"}, L"", L""},
        {"segments and nested", L"a.ts\nv.m3u8\n", {b + L"a.ts"}, L"", b + L"v.m3u8"},
    };
    for (const GrammarCase &c : cases)
    {
        CPlaylist p;
        p.SetBaseFromUrl(L"http://h/p/list.m3u8");
        p.ParseText(c.text);
        ExpectRecord(p, c);
        EXPECT_EQ(Narrow(p.m_strBase), Narrow(b)) << c.name;
    }
}

TEST(PlaylistGrammar, LongTextInOnePass)
{
    // A day of two-second segments; splitting it line by line from the start each time took half a minute.
    std::wstring text = L"#EXTM3U\n";
    const int kSegments = 40000;
    for (int i = 0; i < kSegments; ++i)
        text += L"#EXTINF:2.000,\nseg" + std::to_wstring(i) + L".ts\n";
    CPlaylist p;
    p.SetBaseFromUrl(L"http://h/");
    ULONGLONG t0 = GetTickCount64();
    p.ParseText(text);
    EXPECT_LT(GetTickCount64() - t0, 5000u);
    ASSERT_EQ(p.m_arrSegments.GetSize(), kSegments);
    EXPECT_EQ(Narrow(p.GetSegment(kSegments - 1)), "http://h/seg" + std::to_string(kSegments - 1) + ".ts");
}

TEST(PlaylistGrammar, KeyLines)
{
    const CString b = kBase;
    const GrammarCase cases[] = {
        {"relative", L"#EXT-X-KEY:METHOD=AES-128,URI=\"k.key\"\n", {}, b + L"k.key", L""},
        {"relative folder keeps /",
         L"#EXT-X-KEY:METHOD=AES-128,URI=\"sub/k.key\"\n",
         {},
         b + L"sub/k.key",
         L""},
        {"absolute", L"#EXT-X-KEY:METHOD=AES-128,URI=\"https://k/key?x=1\"\n", {}, L"https://k/key?x=1", L""},
        {"capital scheme is relative", L"#EXT-X-KEY:URI=\"HTTP://K/key\"\n", {}, b + L"HTTP://K/key", L""},
        {"later replaces",
         L"#EXT-X-KEY:URI=\"a\"\nx.ts\n#EXT-X-KEY:URI=\"b\"\n",
         {b + L"x.ts"},
         b + L"b",
         L""},
        {"NONE keeps", L"#EXT-X-KEY:URI=\"a\"\n#EXT-X-KEY:METHOD=NONE\n", {}, b + L"a", L""},
        {"unterminated keeps", L"#EXT-X-KEY:URI=\"a\"\n#EXT-X-KEY:URI=\"b\n", {}, b + L"a", L""},
        {"empty value is the base", L"#EXT-X-KEY:URI=\"\"\n", {}, b, L""},
        {"lower-case tag is a comment", L"#ext-x-key:URI=\"a\"\n", {}, L"", L""},
        {"no colon is a comment", L"#EXT-X-KEY URI=\"a\"\n", {}, L"", L""},
        {"space before quote", L"#EXT-X-KEY:URI= \"a\"\n", {}, L"", L""},
        {"key line is never a segment", L"#EXT-X-KEY:URI=\"k.ts\"\n", {}, b + L"k.ts", L""},
        {"trimmed before the test", L"  #EXT-X-KEY:URI=\"t\"  \r\n", {}, b + L"t", L""},
    };
    for (const GrammarCase &c : cases)
    {
        CPlaylist p;
        p.SetBaseFromUrl(L"http://h/p/list.m3u8");
        p.ParseText(c.text);
        ExpectRecord(p, c);
    }
}

TEST(PlaylistGrammar, LocalFileSeparators)
{
    CTempFolder temp;
    const CString dir = temp.Path() + L"d\\";
    const GrammarCase cases[] = {
        {"segment keeps /", L"sub/a.ts\n", {dir + L"sub/a.ts"}, L"", L""},
        {"key turns /", L"#EXT-X-KEY:URI=\"sub/k.key\"\n", {}, dir + L"sub\\k.key", L""},
        {"absolute key as written", L"#EXT-X-KEY:URI=\"http://h/k\"\n", {}, L"http://h/k", L""},
        {"empty key value", L"#EXT-X-KEY:URI=\"\"\n", {}, dir, L""},
        {"nested turns /", L"sub/v.m3u8\n", {}, L"", dir + L"sub\\v.m3u8"},
        {"web nested turns / too", L"http://h/x/v.m3u8\n", {}, L"", L"http:\\\\h\\x\\v.m3u8"},
        {"empty line in the middle", L"a.ts\n\n\nb.ts", {dir + L"a.ts", dir + L"b.ts"}, L"", L""},
        {"absolute segment", L"https://h/a.ts\r\n", {L"https://h/a.ts"}, L"", L""},
        {"key name beginning with http", L"#EXT-X-KEY:URI=\"httpkey.bin\"\n", {}, dir + L"httpkey.bin", L""},
        {"utf-8 name", L"\x89c6\x9891 1.ts\n", {dir + L"\x89c6\x9891 1.ts"}, L"", L""},
    };
    int i = 0;
    for (const GrammarCase &c : cases)
    {
        CString name;
        name.Format(L"d\\list%d.m3u8", i++);
        CString path = temp.Write(name, StringToUtf8(c.text));
        CPlaylist p;
        ASSERT_TRUE(p.ParseFile(path)) << c.name;
        EXPECT_EQ(Narrow(p.m_strBase), Narrow(dir)) << c.name;
        ExpectRecord(p, c);
    }
}

// Only "http://" and "https://" begin a web address; the any-case test takes them in capitals too.
TEST(PlaylistGrammar, WebAddressRule)
{
    for (const wchar_t *psz : {L"http://a/b.ts", L"https://a/b.ts", L"http://"})
        EXPECT_TRUE(IsWebAddress(psz, false) && IsWebAddress(psz, true)) << Narrow(psz);
    for (const wchar_t *psz : {L"HTTPS://a", L"Http://"})
        EXPECT_TRUE(!IsWebAddress(psz, false) && IsWebAddress(psz, true)) << Narrow(psz);
    for (const wchar_t *psz :
         {L"http_seg.ts", L"httpkey.bin", L"http:/x", L"http:", L"https:/x", L"HTTPx", L""})
        EXPECT_TRUE(!IsWebAddress(psz, false) && !IsWebAddress(psz, true)) << Narrow(psz);
}

TEST(PlaylistGrammar, LocalFileOpenAndBase)
{
    CTempFolder temp;
    CPlaylist p;
    p.m_strBase = L"kept\\";
    EXPECT_FALSE(p.ParseFile(temp / L"missing.m3u8"));
    EXPECT_FALSE(p.ParseFile(temp.Path()));
    EXPECT_EQ(Narrow(p.m_strBase), "kept\\");
    EXPECT_EQ(p.m_arrSegments.GetSize(), 0);

    // A path written with "/" only gives an empty base: relative lines stay as written.
    CString path = temp.Write(L"s.m3u8", "a.ts\n");
    CString slashed = path;
    slashed.Replace(L'\\', L'/');
    ASSERT_TRUE(p.ParseFile(slashed));
    EXPECT_TRUE(p.m_strBase.IsEmpty());
    ASSERT_EQ(p.m_arrSegments.GetSize(), 1);
    EXPECT_EQ(Narrow(p.m_arrSegments[0]), "a.ts");

    // A file that is not UTF-8 is read with the ANSI code page.
    CString ansi = temp.Write(L"ansi.m3u8", "caf\xE9.ts\n");
    CPlaylist q;
    ASSERT_TRUE(q.ParseFile(ansi));
    wchar_t e9[2] = {};
    MultiByteToWideChar(CP_ACP, 0, "\xE9", 1, e9, 1);
    ASSERT_EQ(q.m_arrSegments.GetSize(), 1);
    EXPECT_EQ(Narrow(q.m_arrSegments[0]), Narrow(temp.Path() + L"caf" + e9 + L".ts"));
}

TEST(PlaylistRecord, BaseRules)
{
    struct Case
    {
        const wchar_t *location;
        const wchar_t *fromUrl;
        const wchar_t *fromPath;
    } cases[] = {
        {L"http://h/a/b.m3u8", L"http://h/a/", L""},
        {L"http://h/a/b.m3u8?x=1/2", L"http://h/a/b.m3u8?x=1/", L""},
        {L"http://h", L"http://", L""},
        {L"list.m3u8", L"", L""},
        {L"C:\\a\\b.m3u8", L"", L"C:\\a\\"},
        {L"C:/a/b.m3u8", L"C:/a/", L""},
        {L"C:\\a/b\\c/d.m3u8", L"C:\\a/b\\c/", L"C:\\a/b\\"},
        {L"", L"", L""},
    };
    for (const Case &c : cases)
    {
        CPlaylist p;
        p.m_strBase = L"old/";
        p.SetBaseFromUrl(c.location);
        EXPECT_EQ(Narrow(p.m_strBase), Narrow(c.fromUrl)) << Narrow(c.location);
        p.m_strBase = L"old\\";
        p.SetBaseFromPath(c.location);
        EXPECT_EQ(Narrow(p.m_strBase), Narrow(c.fromPath)) << Narrow(c.location);
    }
    // The setters may be handed the record's own member.
    CPlaylist p;
    p.m_strBase = L"http://h/a/b/c";
    p.SetBaseFromUrl(p.m_strBase);
    EXPECT_EQ(Narrow(p.m_strBase), "http://h/a/b/");
    p.m_strBase = L"C:\\x\\y";
    p.SetBaseFromPath(p.m_strBase);
    EXPECT_EQ(Narrow(p.m_strBase), "C:\\x\\");
}

TEST(PlaylistRecord, GetSegmentClearAndAccumulation)
{
    CPlaylist p;
    EXPECT_TRUE(p.GetSegment(0).IsEmpty());
    p.SetBaseFromUrl(L"http://h/");
    const CString text = L"#EXT-X-KEY:URI=\"k\",IV=0x1\n#EXT-X-MEDIA-SEQUENCE:9\na.ts\nb.ts\nn.m3u8\n";
    p.ParseText(text);
    p.ParseText(text);
    ASSERT_EQ(p.m_arrSegments.GetSize(), 4);
    EXPECT_EQ(Narrow(p.GetSegment(0)), "http://h/a.ts");
    EXPECT_EQ(Narrow(p.GetSegment(3)), "http://h/b.ts");
    EXPECT_TRUE(p.GetSegment(-1).IsEmpty());
    EXPECT_TRUE(p.GetSegment(4).IsEmpty());
    EXPECT_EQ(p.GetSegmentIV(2), Bytes({1}));

    p.Clear();
    EXPECT_TRUE(p.m_strBase.IsEmpty());
    EXPECT_TRUE(p.m_strKeyUri.IsEmpty());
    EXPECT_TRUE(p.m_strSubPlaylist.IsEmpty());
    EXPECT_EQ(p.m_arrSegments.GetSize(), 0);
    EXPECT_EQ(p.GetSegmentIV(3), Bytes({3}));
}

TEST(PlaylistRecord, SegmentIV)
{
    struct Case
    {
        const char *name;
        const wchar_t *text;
        int index;
        std::vector<unsigned char> iv;
    } cases[] = {
        {"no sequence", L"a.ts\n", 0, Bytes({})},
        {"index counts", L"a.ts\n", 5, Bytes({5})},
        {"sequence", L"#EXT-X-MEDIA-SEQUENCE:7\na.ts\n", 0, Bytes({7})},
        {"sequence plus index", L"#EXT-X-MEDIA-SEQUENCE:7\na.ts\n", 300, Bytes({0x01, 0x33})},
        {"carry into the high half", L"#EXT-X-MEDIA-SEQUENCE:18446744073709551615\na.ts\n", 1,
         Bytes({1, 0, 0, 0, 0, 0, 0, 0, 0})},
        {"explicit", L"#EXT-X-KEY:METHOD=AES-128,URI=\"k\",IV=0x000102030405060708090a0b0c0d0e0f\na.ts\n", 3,
         Bytes({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15})},
        {"capital X, short, right-aligned", L"#EXT-X-KEY:URI=\"k\",IV=0X1aBc\na.ts\n", 2,
         Bytes({0x1a, 0xbc})},
        {"odd digit count", L"#EXT-X-KEY:URI=\"k\",IV=0xabc\na.ts\n", 0, Bytes({0x0a, 0xbc})},
        {"any order", L"#EXT-X-KEY:IV=0x2A,URI=\"k\",METHOD=AES-128\na.ts\n", 0, Bytes({0x2a})},
        {"IV inside the quoted URI is not the attribute",
         L"#EXT-X-MEDIA-SEQUENCE:4\n#EXT-X-KEY:URI=\"k?IV=0x99,x\",METHOD=AES-128\na.ts\n", 0, Bytes({4})},
        {"later key line without IV clears it",
         L"#EXT-X-MEDIA-SEQUENCE:2\n#EXT-X-KEY:URI=\"a\",IV=0x55\n#EXT-X-KEY:URI=\"b\"\na.ts\n", 1,
         Bytes({3})},
        {"key line without URI leaves it",
         L"#EXT-X-KEY:URI=\"a\",IV=0x55\n#EXT-X-KEY:METHOD=NONE,IV=0x66\na.ts\n", 1, Bytes({0x55})},
        {"too many digits is no IV", L"#EXT-X-KEY:URI=\"a\",IV=0x112233445566778899aabbccddeeff001\na.ts\n",
         1, Bytes({1})},
        {"bad digit is no IV", L"#EXT-X-KEY:URI=\"a\",IV=0x12G4\na.ts\n", 0, Bytes({})},
        {"no 0x is no IV", L"#EXT-X-KEY:URI=\"a\",IV=1234\na.ts\n", 0, Bytes({})},
        {"lower-case sequence tag ignored", L"#ext-x-media-sequence:7\na.ts\n", 0, Bytes({})},
    };
    for (const Case &c : cases)
    {
        CPlaylist p;
        p.SetBaseFromUrl(L"http://h/");
        p.ParseText(c.text);
        ASSERT_EQ(p.m_arrSegments.GetSize(), 1) << c.name;
        EXPECT_EQ(p.GetSegmentIV(c.index), c.iv) << c.name;
    }

    // The sequence belongs to the playlist that listed the segments, not to the master before it.
    CPlaylist p;
    p.ParseText(L"#EXT-X-MEDIA-SEQUENCE:100\nv.m3u8\n");
    p.ParseText(L"#EXT-X-MEDIA-SEQUENCE:5\na.ts\n");
    EXPECT_EQ(p.GetSegmentIV(0), Bytes({5}));
    CPlaylist q;
    q.ParseText(L"#EXT-X-MEDIA-SEQUENCE:100\nv.m3u8\n");
    q.ParseText(L"a.ts\n");
    EXPECT_EQ(q.GetSegmentIV(0), Bytes({}));
}
