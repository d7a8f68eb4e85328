// tests/engine/FetchTest.cpp: segment, text and key fetches against the loopback server.
#include "engine/Fetch.h"

#include "engine/Playlist.h"
#include "tests/support/HttpServer.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>
#include <string>
#include <wininet.h>

namespace
{
std::string Pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = char((i * 131 + i / 251) & 0xFF);
    return s;
}

// Shortens the fetch time-out for one test.
class CShortTimeout
{
public:
    explicit CShortTimeout(DWORD ms) : m_dwOld(g_dwFetchTimeoutMs) { g_dwFetchTimeoutMs = ms; }
    ~CShortTimeout() { g_dwFetchTimeoutMs = m_dwOld; }

private:
    DWORD m_dwOld;
};

CHttpResponse Response(const std::string &body, int nStatus = 200)
{
    CHttpResponse r;
    r.body = body;
    r.nStatus = nStatus;
    return r;
}
} // namespace

TEST(FetchSegment, ResultAndFileByResponse)
{
    CHttpServer server;
    CTempFolder temp;
    const std::string big = Pattern(100000);

    CHttpResponse chunked = Response(Pattern(50000));
    chunked.bChunked = true;
    CHttpResponse closeEnds = Response(Pattern(30000));
    closeEnds.nContentLength = -2;
    CHttpResponse cut = Response(big);
    cut.nCloseAfter = 5000;
    CHttpResponse lie = Response(big.substr(0, 5000));
    lie.nContentLength = 100000;

    server.Set("/redirected.ts", big);
    server.Redirect("/moved.ts", "/redirected.ts", 302);
    server.Redirect("/moved-away.ts", "/nowhere.ts", 308);
    server.Redirect("/deep/moved.ts", "../moved.ts", 308);
    server.Redirect("/query.ts", "?x=1");
    server.Set("/query.ts?x=1", big);
    server.Redirect("/utf8.ts", "/\xC3\xA9t\xC3\xA9/s1.ts");
    server.Set("/%C3%A9t%C3%A9/s1.ts", big);

    struct Case
    {
        const char *path;
        CHttpResponse response;
        bool setResponse;
        BOOL result;
        bool fileTouched;
        std::string content;
    } cases[] = {
        {"/ok.ts", Response(big), true, TRUE, true, big},
        {"/empty.ts", Response(""), true, TRUE, true, ""},
        {"/chunked.ts", chunked, true, TRUE, true, chunked.body},
        {"/close-ends.ts", closeEnds, true, TRUE, true, closeEnds.body},
        {"/moved.ts", {}, false, TRUE, true, big},
        {"/deep/moved.ts", {}, false, TRUE, true, big},
        {"/query.ts", {}, false, TRUE, true, big},
        {"/utf8.ts", {}, false, TRUE, true, big},
        {"/404.ts", Response("<html>not here</html>", 404), true, FALSE, false, ""},
        {"/500.ts", Response("<html>broken</html>", 500), true, FALSE, false, ""},
        {"/403-empty.ts", Response("", 403), true, FALSE, false, ""},
        {"/moved-away.ts", {}, false, FALSE, false, ""},
        {"/cut.ts", cut, true, FALSE, true, ""},
        {"/length-lie.ts", lie, true, FALSE, true, ""},
    };
    int i = 0;
    for (const Case &c : cases)
    {
        if (c.setResponse)
            server.Set(c.path, c.response);
        CString name;
        name.Format(L"seg_%d.ts", i++);
        CString target = temp.Write(name, "previous");
        EXPECT_EQ(DownloadToFile(server.Url(c.path), target), c.result) << c.path;
        if (!c.fileTouched)
        {
            EXPECT_EQ(ReadAll(target), "previous") << c.path;
        }
        else if (c.result)
        {
            EXPECT_TRUE(ReadAll(target) == c.content) << c.path << " size " << ReadAll(target).size();
        }
        else
        {
            EXPECT_NE(ReadAll(target), "previous") << c.path;
            EXPECT_LT(ReadAll(target).size(), big.size()) << c.path;
        }
    }
}

TEST(FetchSegment, TargetAndAddressFailures)
{
    CTempFolder temp;
    CString deadUrl;
    {
        CHttpServer gone;
        gone.Set("/a.ts", "x");
        deadUrl = gone.Url("/a.ts");
    }
    CHttpServer server;
    server.Set("/a.ts", "data");

    EXPECT_FALSE(DownloadToFile(server.Url("/a.ts"), temp / L"no\\folder\\a.ts"));
    EXPECT_FALSE(FolderExists(temp / L"no"));
    EXPECT_FALSE(DownloadToFile(deadUrl, temp / L"dead.ts"));
    EXPECT_FALSE(DownloadToFile(L"ftp://127.0.0.1/a.ts", temp / L"ftp.ts"));
    EXPECT_FALSE(DownloadToFile(L"not a url", temp / L"bad.ts"));
    EXPECT_FALSE(FileExists(temp / L"dead.ts"));
    EXPECT_FALSE(FileExists(temp / L"ftp.ts"));
    EXPECT_FALSE(FileExists(temp / L"bad.ts"));
}

TEST(FetchSegment, NamesOutsideAsciiGoAsEscapedUtf8)
{
    CHttpServer server;
    CTempFolder temp;
    // "视频" in the path and the query; an escape already in the address is sent as it is.
    server.Set("/%E8%A7%86/%E9%A2%91%20a.ts?q=%E8%A7%86", "segment");
    server.Set("/%E8%A7%86/list.m3u8", "#EXTM3U\n");
    server.Set("/%E8%A7%86/key", Pattern(16));

    EXPECT_TRUE(
        DownloadToFile(server.Url("/\xE8\xA7\x86/\xE9\xA2\x91%20a.ts?q=\xE8\xA7\x86"), temp / L"s.ts"));
    EXPECT_EQ(ReadAll(temp / L"s.ts"), "segment");
    EXPECT_EQ(StringToUtf8(DownloadText(server.Url("/\xE8\xA7\x86/list.m3u8"))), "#EXTM3U");
    std::vector<unsigned char> key;
    DWORD cb = 0;
    EXPECT_TRUE(LoadKeyData(server.Url("/\xE8\xA7\x86/key"), key, &cb));
    EXPECT_EQ(cb, 16u);
}

TEST(FetchSegment, NothingIsLeftInTheInternetCache)
{
    CHttpServer server;
    CTempFolder temp;
    server.Set("/cache/s.ts", Pattern(50000));
    server.Set("/cache/list.m3u8", "#EXTM3U\n");
    server.Set("/cache/key", Pattern(16));
    ASSERT_TRUE(DownloadToFile(server.Url("/cache/s.ts"), temp / L"s.ts"));
    ASSERT_FALSE(DownloadText(server.Url("/cache/list.m3u8")).IsEmpty());
    std::vector<unsigned char> key;
    DWORD cb = 0;
    ASSERT_TRUE(LoadKeyData(server.Url("/cache/key"), key, &cb));
    for (const char *path : {"/cache/s.ts", "/cache/list.m3u8", "/cache/key"})
    {
        DWORD cbInfo = 0;
        EXPECT_FALSE(GetUrlCacheEntryInfoW(server.Url(path), nullptr, &cbInfo)) << path;
        EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND)) << path;
    }
}

TEST(FetchStall, TimesOutInsteadOfHanging)
{
    CShortTimeout timeout(1000);
    CHttpServer server;
    CTempFolder temp;
    const std::string body = Pattern(40000);

    CHttpResponse beforeHeaders = Response(body);
    beforeHeaders.dwStallBeforeHeadersMs = 8000;
    CHttpResponse midBody = Response(body);
    midBody.dwStallMidBodyMs = 8000;
    midBody.nStallAt = 10000;
    CHttpResponse slow = Response(body);
    slow.dwStallMidBodyMs = 300;
    slow.nStallAt = 10000;
    server.Set("/before.ts", beforeHeaders);
    server.Set("/mid.ts", midBody);
    server.Set("/slow.ts", slow);

    struct Case
    {
        const char *path;
        bool ok;
    } cases[] = {{"/before.ts", false}, {"/mid.ts", false}, {"/slow.ts", true}};
    for (const Case &c : cases)
    {
        CString target = temp / L"stall.ts";
        DeleteFileW(target);
        ULONGLONG t0 = GetTickCount64();
        EXPECT_EQ(DownloadToFile(server.Url(c.path), target), c.ok ? TRUE : FALSE) << c.path;
        ULONGLONG elapsed = GetTickCount64() - t0;
        EXPECT_LT(elapsed, 4000u) << c.path;
        // A stalled fetch ends by the time-out, not at once.
        if (!c.ok)
        {
            EXPECT_GE(elapsed, 900u) << c.path;
        }
        if (c.ok)
        {
            EXPECT_TRUE(ReadAll(target) == body) << c.path;
        }

        t0 = GetTickCount64();
        CString text = DownloadText(server.Url(c.path));
        EXPECT_EQ(text.IsEmpty(), !c.ok) << c.path;
        EXPECT_LT(GetTickCount64() - t0, 4000u) << c.path;

        std::vector<unsigned char> key;
        DWORD cb = 0;
        t0 = GetTickCount64();
        bool gotKey = LoadKeyData(server.Url(c.path), key, &cb);
        // The key's one read ends before the mid-body stall.
        EXPECT_EQ(gotKey, std::string(c.path) != "/before.ts") << c.path;
        EXPECT_LT(GetTickCount64() - t0, 4000u) << c.path;
    }
}

TEST(FetchText, DecodingTrimmingAndFailures)
{
    CHttpServer server;
    // A character whose three bytes straddle the first 4095-byte read.
    const std::string split = std::string(4094, 'a') + "\xE8\xA7\x86" + "b";
    CHttpResponse cut = Response("#EXTM3U\n" + std::string(20000, 'x'));
    cut.nCloseAfter = 6000;
    CHttpResponse lie = Response("#EXTM3U\na.ts\n");
    lie.nContentLength = 5000;

    struct Case
    {
        const char *path;
        CHttpResponse response;
        CString text;
    } cases[] = {
        {"/trim.m3u8", Response("\r\n\r\n \t#EXTM3U\r\n\r\na.ts \r\n\r\n"), L"#EXTM3U\r\n\r\na.ts"},
        {"/split.m3u8", Response(split),
         CString(L'a', 4094) + L"\x89c6"
                               L"b"},
        {"/empty.m3u8", Response(""), L""},
        {"/404.m3u8", Response("<html>#EXTM3U a.ts</html>", 404), L""},
        {"/cut.m3u8", cut, L""},
        {"/lie.m3u8", lie, L""},
    };
    for (const Case &c : cases)
    {
        server.Set(c.path, c.response);
        EXPECT_EQ(StringToUtf8(DownloadText(server.Url(c.path))), StringToUtf8(c.text)) << c.path;
    }

    // The top playlist's fetch keeps the white space and reports failures.
    CString text;
    EXPECT_TRUE(FetchPlaylistText(server.Url("/split.m3u8"), text));
    EXPECT_EQ(StringToUtf8(text), split);
    EXPECT_TRUE(FetchPlaylistText(server.Url("/trim.m3u8"), text));
    EXPECT_EQ(StringToUtf8(text), "\r\n\r\n \t#EXTM3U\r\n\r\na.ts \r\n\r\n");
    EXPECT_TRUE(FetchPlaylistText(server.Url("/empty.m3u8"), text));
    EXPECT_TRUE(text.IsEmpty());
    for (const char *path : {"/404.m3u8", "/cut.m3u8", "/lie.m3u8", "/missing.m3u8"})
    {
        text = L"stale";
        EXPECT_FALSE(FetchPlaylistText(server.Url(path), text)) << path;
    }
}

TEST(FetchKey, WebAndLocal)
{
    CHttpServer server;
    CTempFolder temp;
    const std::string key16 = Pattern(16);
    const std::string big = Pattern(20000);
    CHttpResponse cut = Response(key16);
    cut.nContentLength = 16;
    cut.nCloseAfter = 5;
    server.Set("/key", key16);
    server.Set("/big", big);
    server.Set("/empty", "");
    server.Set("/404", "<html>no key</html>", 404);
    server.Set("/cut", cut);

    CString capital = server.Url("/key");
    capital.Replace(L"http://", L"HTTP://");
    CString local = temp.Write(L"k.bin", key16);
    CString emptyFile = temp.Write(L"empty.bin", "");
    CString threeChars = temp.Write(L"abc", "xyz-key");

    struct Case
    {
        CString uri;
        bool ok;
        std::string bytes;
    } cases[] = {
        {server.Url("/key"), true, key16},
        {capital, true, key16},
        {server.Url("/big"), true, big.substr(0, 8192)},
        {server.Url("/empty"), false, ""},
        {server.Url("/404"), false, ""},
        {server.Url("/cut"), false, ""},
        {local, true, key16},
        {emptyFile, true, ""},
        {temp / L"missing.bin", false, ""},
    };
    for (const Case &c : cases)
    {
        std::vector<unsigned char> key{1, 2, 3};
        DWORD cb = 77;
        EXPECT_EQ(LoadKeyData(c.uri, key, &cb), c.ok) << StringToUtf8(c.uri);
        if (c.ok)
        {
            EXPECT_EQ(std::string(key.begin(), key.end()), c.bytes) << StringToUtf8(c.uri);
            EXPECT_EQ(cb, DWORD(c.bytes.size())) << StringToUtf8(c.uri);
        }
        else
        {
            EXPECT_EQ(cb, 0u) << StringToUtf8(c.uri);
        }
    }
    EXPECT_EQ(server.CountRequests("/key"), 2);

    // A location of three characters is a path, relative to the current folder.
    wchar_t cwd[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, cwd);
    ASSERT_TRUE(SetCurrentDirectoryW(temp.Path()));
    std::vector<unsigned char> key;
    DWORD cb = 0;
    bool ok = LoadKeyData(L"abc", key, &cb);
    SetCurrentDirectoryW(cwd);
    EXPECT_TRUE(ok);
    EXPECT_EQ(std::string(key.begin(), key.end()), "xyz-key");
    EXPECT_EQ(cb, 7u);
    EXPECT_TRUE(FileExists(threeChars));
}

TEST(FetchAgents, EachFetchSendsItsOwnAgent)
{
    CHttpServer server;
    CTempFolder temp;
    server.Set("/top.m3u8", "#EXTM3U\nnested.m3u8\n");
    server.Set("/nested.m3u8", "#EXTM3U\nseg.ts\n");
    server.Set("/seg.ts", "segment");
    server.Set("/key", Pattern(16));

    CPlaylist p;
    ASSERT_TRUE(p.Load(server.Url("/top.m3u8")));
    ASSERT_TRUE(DownloadToFile(p.GetSegment(0), temp / L"seg_0.ts"));
    std::vector<unsigned char> key;
    DWORD cb = 0;
    ASSERT_TRUE(LoadKeyData(server.Url("/key"), key, &cb));

    struct Case
    {
        const char *path;
        const char *agent;
    } cases[] = {
        {"/top.m3u8", "M3U8"}, {"/nested.m3u8", "Mornec"}, {"/seg.ts", "Tavisk"}, {"/key", "Dremlox/1.21"}};
    std::vector<CHttpRequestRecord> requests = server.Requests();
    ASSERT_EQ(requests.size(), 4u);
    for (const Case &c : cases)
    {
        int found = 0;
        for (const CHttpRequestRecord &r : requests)
        {
            if (r.path != c.path)
                continue;
            ++found;
            EXPECT_EQ(r.method, "GET");
            EXPECT_EQ(r.userAgent, c.agent) << c.path;
        }
        EXPECT_EQ(found, 1) << c.path;
    }
}
