// tests/engine/PlaylistLoadTest.cpp: loading web and local playlists and following nested ones.
#include "engine/Playlist.h"
#include "tests/support/HttpServer.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>
#include <string>

namespace
{
std::string Narrow(const CString &s)
{
    return StringToUtf8(s);
}

std::string U(const CHttpServer &server, const char *path)
{
    return Narrow(server.Url(path));
}
} // namespace

TEST(PlaylistLoadWeb, NestedPlaylistsAndTheirLimit)
{
    CHttpServer server;
    ASSERT_TRUE(server.IsListening());

    // A master with two variants: the last one is followed, and its folder becomes the base.
    server.Set("/m/master.m3u8",
               "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\nlo/a.m3u8\n#EXT-X-STREAM-INF:BANDWIDTH=2\n"
               "hi/b.m3u8\n");
    server.Set("/m/hi/b.m3u8", "#EXTM3U\n#EXTINF:1,\ns0.ts\n#EXTINF:1,\ns1.ts\n");
    {
        CPlaylist p;
        ASSERT_TRUE(p.Load(server.Url("/m/master.m3u8")));
        ASSERT_EQ(p.m_arrSegments.GetSize(), 2);
        EXPECT_EQ(Narrow(p.GetSegment(1)), U(server, "/m/hi/s1.ts"));
        EXPECT_EQ(Narrow(p.m_strBase), U(server, "/m/hi/"));
        EXPECT_EQ(server.CountRequests("/m/lo/a.m3u8"), 0);
    }

    // Chains: the segments of level n are found when n <= 4, not at level 5.
    for (int depth = 1; depth <= 5; ++depth)
    {
        std::string prefix = "/chain" + std::to_string(depth) + "/";
        for (int level = 0; level < depth; ++level)
            server.Set(prefix + std::to_string(level) + ".m3u8",
                       "#EXTM3U\n" + std::to_string(level + 1) + ".m3u8\n");
        server.Set(prefix + std::to_string(depth) + ".m3u8", "#EXTM3U\nseg.ts\n");
        CPlaylist p;
        BOOL ok = p.Load(server.Url((prefix + "0.m3u8").c_str()));
        EXPECT_EQ(ok, depth <= 4 ? TRUE : FALSE) << "depth " << depth;
        EXPECT_EQ(p.m_arrSegments.GetSize(), depth <= 4 ? 1 : 0) << "depth " << depth;
        EXPECT_EQ(server.CountRequests(prefix + "5.m3u8"), 0);
    }

    // A nested location that cannot be fetched is tried four times in all.
    server.Set("/gone/top.m3u8", "#EXTM3U\nmissing.m3u8\n");
    {
        CPlaylist p;
        EXPECT_FALSE(p.Load(server.Url("/gone/top.m3u8")));
        EXPECT_EQ(server.CountRequests("/gone/missing.m3u8"), 4);
        EXPECT_EQ(Narrow(p.m_strSubPlaylist), U(server, "/gone/missing.m3u8"));
    }

    // Segments and a nested playlist: the nested one is not fetched.
    server.Set("/both/top.m3u8", "a.ts\nnext.m3u8\n");
    {
        CPlaylist p;
        EXPECT_TRUE(p.Load(server.Url("/both/top.m3u8")));
        EXPECT_EQ(p.m_arrSegments.GetSize(), 1);
        EXPECT_EQ(server.CountRequests("/both/next.m3u8"), 0);
    }
}

TEST(PlaylistLoadWeb, KeyAndSequenceAcrossPasses)
{
    CHttpServer server;
    server.Set("/k/master.m3u8",
               "#EXT-X-KEY:METHOD=AES-128,URI=\"key.bin\"\n#EXT-X-MEDIA-SEQUENCE:50\nv/media.m3u8\n");
    server.Set("/k/v/media.m3u8", "#EXT-X-MEDIA-SEQUENCE:3\nx.ts\ny.ts\n");
    server.Set("/k2/master.m3u8", "#EXT-X-KEY:URI=\"key.bin\"\nv/media.m3u8\n");
    server.Set("/k2/v/media.m3u8", "#EXT-X-KEY:URI=\"own.bin\",IV=0x10\nx.ts\n");

    CPlaylist p;
    ASSERT_TRUE(p.Load(server.Url("/k/master.m3u8")));
    EXPECT_EQ(Narrow(p.m_strKeyUri), U(server, "/k/key.bin"));
    std::vector<unsigned char> iv(16, 0);
    iv[15] = 4;
    EXPECT_EQ(p.GetSegmentIV(1), iv);

    ASSERT_TRUE(p.Load(server.Url("/k2/master.m3u8")));
    EXPECT_EQ(Narrow(p.m_strKeyUri), U(server, "/k2/v/own.bin"));
    iv[15] = 0x10;
    EXPECT_EQ(p.GetSegmentIV(0), iv);
}

TEST(PlaylistLoadWeb, FailedOrEmptyTopFetch)
{
    CHttpServer server;
    CHttpResponse cut;
    cut.body = "#EXTM3U\n" + std::string(3000, '#') + "\na.ts\nb.ts\n" + std::string(20000, '#');
    cut.nCloseAfter = 3100;
    server.Set("/cut.m3u8", cut);
    server.Set("/error.m3u8", "#EXTM3U\na.ts\n", 404);
    server.Set("/page.m3u8", "<html><body>no playlist here</body></html>");
    server.Set("/empty.m3u8", "");

    struct Case
    {
        const char *path;
        bool requested;
    } cases[] = {{"/cut.m3u8", true},
                 {"/error.m3u8", true},
                 {"/page.m3u8", true},
                 {"/empty.m3u8", true},
                 {"/none.m3u8", true}};
    for (const Case &c : cases)
    {
        CPlaylist p;
        p.m_strKeyUri = L"stale";
        EXPECT_FALSE(p.Load(server.Url(c.path))) << c.path;
        EXPECT_EQ(p.m_arrSegments.GetSize(), 0) << c.path;
        EXPECT_TRUE(p.m_strKeyUri.IsEmpty()) << c.path;
        EXPECT_EQ(Narrow(p.m_strBase), U(server, "/")) << c.path;
        EXPECT_EQ(server.CountRequests(c.path), c.requested ? 1 : 0) << c.path;
    }

    // Capital letters take the local branch: nothing is requested.
    CString capital = server.Url("/error.m3u8");
    capital.Replace(L"http://", L"HTTP://");
    CPlaylist p;
    EXPECT_FALSE(p.Load(capital));
    EXPECT_TRUE(p.m_strBase.IsEmpty());
    EXPECT_EQ(server.CountRequests("/error.m3u8"), 1);
}

TEST(PlaylistLoadLocal, NestedFilesAndTheirLimit)
{
    CTempFolder temp;
    // Each level lives in its own folder, named relative to the one above.
    for (int depth = 1; depth <= 5; ++depth)
    {
        CString root;
        root.Format(L"chain%d\\", depth);
        CString folder = root;
        for (int level = 0; level < depth; ++level)
        {
            temp.Write(folder + L"list.m3u8", "#EXTM3U\nnext/list.m3u8\n");
            folder += L"next\\";
        }
        temp.Write(folder + L"list.m3u8", "#EXT-X-KEY:URI=\"k/key\"\nsub/seg.ts\n");
        CPlaylist p;
        BOOL ok = p.Load(temp / (root + L"list.m3u8"));
        EXPECT_EQ(ok, depth <= 4 ? TRUE : FALSE) << "depth " << depth;
        if (depth <= 4)
        {
            EXPECT_EQ(Narrow(p.m_strBase), Narrow(temp.Path() + folder)) << depth;
            ASSERT_EQ(p.m_arrSegments.GetSize(), 1);
            EXPECT_EQ(Narrow(p.GetSegment(0)), Narrow(temp.Path() + folder + L"sub/seg.ts"));
            EXPECT_EQ(Narrow(p.m_strKeyUri), Narrow(temp.Path() + folder + L"k\\key"));
        }
    }
}

TEST(PlaylistLoadLocal, Failures)
{
    CTempFolder temp;
    CHttpServer server;
    server.Set("/v.m3u8", "a.ts\n");

    {
        CPlaylist p;
        p.m_strBase = L"x\\";
        p.m_arrSegments.Add(L"old.ts");
        EXPECT_FALSE(p.Load(temp / L"missing.m3u8"));
        EXPECT_TRUE(p.m_strBase.IsEmpty());
        EXPECT_EQ(p.m_arrSegments.GetSize(), 0);
    }
    {
        // A nested web address in a local playlist is opened as a file, not fetched.
        CString top = temp.Write(L"web.m3u8", "#EXTM3U\n" + Narrow(server.Url("/v.m3u8")) + "\n");
        CPlaylist p;
        EXPECT_FALSE(p.Load(top));
        CString expected = server.Url("/v.m3u8");
        expected.Replace(L'/', L'\\');
        EXPECT_EQ(Narrow(p.m_strSubPlaylist), Narrow(expected));
        EXPECT_EQ(server.CountRequests("/v.m3u8"), 0);
    }
    {
        CString top = temp.Write(L"a\\top.m3u8", "#EXT-X-KEY:URI=\"kk\"\nb/missing.m3u8\n");
        CPlaylist p;
        EXPECT_FALSE(p.Load(top));
        EXPECT_EQ(Narrow(p.m_strSubPlaylist), Narrow(temp.Path() + L"a\\b\\missing.m3u8"));
        EXPECT_EQ(Narrow(p.m_strBase), Narrow(temp.Path() + L"a\\"));
        EXPECT_EQ(Narrow(p.m_strKeyUri), Narrow(temp.Path() + L"a\\kk"));
    }
    {
        // A nested file without segments or further playlists: FALSE after the passes.
        temp.Write(L"c\\dead.m3u8", "#EXTM3U\n");
        CString top = temp.Write(L"c\\top.m3u8", "dead.m3u8\n");
        CPlaylist p;
        EXPECT_FALSE(p.Load(top));
        EXPECT_EQ(Narrow(p.m_strSubPlaylist), Narrow(temp.Path() + L"c\\dead.m3u8"));
    }
}
