// bench/MergeBench.cpp: throughput and peak memory of CMergeRun::MergeOne beside a plain copy.
//
// merge_bench [segments] [MiB per segment] [rounds]
// Makes a playlist of segments of random bytes (plain, and AES-128 keyed with per-segment IVs),
// then for each round copies the plain segments into one file, merges the plain playlist, the keyed
// playlist and the plain playlist served over loopback HTTP, and prints the best time of each.
#include "app/MergeRun.h"
#include "framework/File.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <map>
#include <psapi.h>
#include <string>
#include <thread>
#include <vector>
#include <wincrypt.h>
#include <winsock2.h>

namespace
{
struct CCryptProvider
{
    HCRYPTPROV h = 0;
    CCryptProvider() { CryptAcquireContextW(&h, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT); }
    ~CCryptProvider()
    {
        if (h)
            CryptReleaseContext(h, 0);
    }
    CCryptProvider(const CCryptProvider &) = delete;
    CCryptProvider &operator=(const CCryptProvider &) = delete;
};

struct CCryptKey
{
    HCRYPTKEY h = 0;
    ~CCryptKey()
    {
        if (h)
            CryptDestroyKey(h);
    }
};

// AES-128-CBC with PKCS#7 padding, as an HLS producer writes a keyed segment.
bool Encrypt(HCRYPTPROV hProv, const unsigned char key[16], const unsigned char iv[16], std::string &data)
{
    struct
    {
        BLOBHEADER hdr;
        DWORD cb;
        BYTE key[16];
    } blob{{PLAINTEXTKEYBLOB, CUR_BLOB_VERSION, 0, CALG_AES_128}, 16, {}};
    std::copy(key, key + 16, blob.key);
    CCryptKey k;
    if (!CryptImportKey(hProv, reinterpret_cast<BYTE *>(&blob), sizeof(blob), 0, 0, &k.h))
        return false;
    if (!CryptSetKeyParam(k.h, KP_IV, const_cast<BYTE *>(iv), 0))
        return false;
    DWORD cb = DWORD(data.size());
    data.resize(data.size() + 16);
    return CryptEncrypt(k.h, 0, TRUE, 0, reinterpret_cast<BYTE *>(&data[0]), &cb, DWORD(data.size())) &&
           (data.resize(cb), true);
}

bool WriteFileBytes(const CString &strPath, const std::string &bytes)
{
    CFile f;
    if (!f.Open(strPath, CFile::modeCreate | CFile::modeWrite))
        return false;
    f.Write(bytes.data(), UINT(bytes.size()));
    f.Close();
    return true;
}

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b)
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(b.QuadPart - a.QuadPart) / double(f.QuadPart);
}

template <class F> double Time(F fn)
{
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    bool ok = fn();
    QueryPerformanceCounter(&b);
    return ok ? Seconds(a, b) : -1.0;
}

// The baseline: each segment read whole into one reused buffer and written to one output.
bool PlainCopy(const std::vector<CString> &segments, const CString &strOut)
{
    CFile out;
    if (!out.Open(strOut, CFile::modeCreate | CFile::modeWrite))
        return false;
    std::vector<unsigned char> buf;
    for (const CString &s : segments)
    {
        CFile in;
        if (!in.Open(s, CFile::modeRead | CFile::typeBinary))
            return false;
        buf.resize(size_t(in.GetLength()));
        if (!buf.empty())
        {
            in.Read(buf.data(), UINT(buf.size()));
            out.Write(buf.data(), UINT(buf.size()));
        }
    }
    out.Close();
    return true;
}

ULONGLONG FileSize(const CString &strPath)
{
    WIN32_FILE_ATTRIBUTE_DATA fad;
    if (!GetFileAttributesExW(strPath, GetFileExInfoStandard, &fad))
        return 0;
    return (ULONGLONG(fad.nFileSizeHigh) << 32) | fad.nFileSizeLow;
}

void PrintMemory(const char *pszWhen)
{
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof(pmc);
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof(pmc));
    std::printf("  peak after %-22s working set %7.1f MiB, pagefile %7.1f MiB\n", pszWhen,
                double(pmc.PeakWorkingSetSize) / 1048576.0, double(pmc.PeakPagefileUsage) / 1048576.0);
}

// Serves canned bodies from memory on 127.0.0.1, one connection at a time on one thread made up front:
// a thread per connection costs milliseconds under Wine, as much as the transfer of a segment.
// Each response goes out in one send from a buffer built beforehand.
class CBenchServer
{
public:
    CBenchServer()
    {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        m_listen = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int len = sizeof(addr);
        if (m_listen == INVALID_SOCKET ||
            bind(m_listen, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0 ||
            listen(m_listen, SOMAXCONN) != 0 ||
            getsockname(m_listen, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
            return;
        m_nPort = ntohs(addr.sin_port);
    }
    ~CBenchServer()
    {
        m_bStop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_listen != INVALID_SOCKET)
            closesocket(m_listen);
        WSACleanup();
    }
    CBenchServer(const CBenchServer &) = delete;
    CBenchServer &operator=(const CBenchServer &) = delete;

    bool IsListening() const { return m_nPort != 0; }
    // Only before Start.
    void Set(const std::string &path, const std::string &body)
    {
        m_responses[path] = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                            "\r\nConnection: close\r\n\r\n" + body;
    }
    void Start()
    {
        if (IsListening())
            m_thread = std::thread([this] { Listen(); });
    }
    CString Url(const char *pszPath) const
    {
        CString url;
        url.Format(L"http://127.0.0.1:%u", unsigned(m_nPort));
        return url + Utf8ToString(pszPath, int(strlen(pszPath)));
    }

private:
    void Listen()
    {
        while (!m_bStop)
        {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(m_listen, &set);
            timeval tv{0, 50000};
            if (select(0, &set, nullptr, nullptr, &tv) <= 0)
                continue;
            SOCKET s = accept(m_listen, nullptr, nullptr);
            if (s != INVALID_SOCKET)
                Serve(s);
        }
    }

    void Serve(SOCKET s)
    {
        // A client that goes quiet cannot hold the only thread for long.
        DWORD ms = 5000;
        setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char *>(&ms), sizeof(ms));
        setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char *>(&ms), sizeof(ms));
        int cbSend = 4 << 20;
        setsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char *>(&cbSend), sizeof(cbSend));
        std::string request;
        char buf[4096];
        while (request.find("\r\n\r\n") == std::string::npos)
        {
            int n = recv(s, buf, sizeof(buf), 0);
            if (n <= 0)
                break;
            request.append(buf, size_t(n));
        }
        size_t sp1 = request.find(' ');
        size_t sp2 = sp1 == std::string::npos ? sp1 : request.find(' ', sp1 + 1);
        auto it = sp2 == std::string::npos ? m_responses.end()
                                           : m_responses.find(request.substr(sp1 + 1, sp2 - sp1 - 1));
        static const std::string notFound =
            "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        const std::string &response = it == m_responses.end() ? notFound : it->second;
        for (size_t sent = 0; sent < response.size();)
        {
            int n =
                send(s, response.data() + sent, int(std::min<size_t>(response.size() - sent, INT_MAX)), 0);
            if (n <= 0)
                break;
            sent += size_t(n);
        }
        shutdown(s, SD_SEND);
        closesocket(s);
    }

    SOCKET m_listen = INVALID_SOCKET;
    unsigned short m_nPort = 0;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
    std::map<std::string, std::string> m_responses;
};

void DeleteTree(const CString &strDir)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(strDir + L"*", &fd);
    if (h != INVALID_HANDLE_VALUE)
    {
        do
        {
            CString strName = fd.cFileName;
            if (strName == L"." || strName == L"..")
                continue;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                DeleteTree(strDir + strName + L"\\");
            else
                DeleteFileW(strDir + strName);
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryW(strDir);
}
} // namespace

int wmain(int argc, wchar_t **argv)
{
    const int nSegments = argc > 1 ? std::max(1, _wtoi(argv[1])) : 200;
    const int nMiB = argc > 2 ? std::max(1, _wtoi(argv[2])) : 1;
    const int nRounds = argc > 3 ? std::max(1, _wtoi(argv[3])) : 3;
    const size_t cbSegment = size_t(nMiB) * 1048576;

    wchar_t szTemp[MAX_PATH];
    GetTempPathW(MAX_PATH, szTemp);
    CString strRoot;
    strRoot.Format(L"%sfendral_bench_%lu\\", szTemp, GetCurrentProcessId());
    CreateDirectoryW(strRoot, nullptr);
    // The merge's own temporary folder goes below ours.
    SetEnvironmentVariableW(L"TMP", strRoot);
    SetEnvironmentVariableW(L"TEMP", strRoot);

    CCryptProvider prov;
    if (!prov.h)
    {
        std::printf("no AES provider\n");
        return 1;
    }
    const unsigned char key[16] = {0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87,
                                   0x98, 0xa9, 0xba, 0xcb, 0xdc, 0xed, 0xfe, 0x0f};
    WriteFileBytes(strRoot + L"key.bin", std::string(reinterpret_cast<const char *>(key), 16));

    CBenchServer server;
    std::string plainList = "#EXTM3U\n#EXT-X-TARGETDURATION:4\n#EXT-X-MEDIA-SEQUENCE:0\n";
    std::string keyedList = plainList + "#EXT-X-KEY:METHOD=AES-128,URI=\"key.bin\"\n";
    std::string webList = plainList;
    std::vector<CString> plainSegments;
    unsigned long long x = 88172645463325252ull;
    for (int i = 0; i < nSegments; ++i)
    {
        std::string data(cbSegment, '\0');
        for (size_t k = 0; k + 8 <= data.size(); k += 8)
        {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            std::memcpy(&data[k], &x, 8);
        }
        CString strName;
        strName.Format(L"p%d.ts", i);
        WriteFileBytes(strRoot + strName, data);
        plainSegments.push_back(strRoot + strName);
        plainList += "#EXTINF:4.0,\np" + std::to_string(i) + ".ts\n";
        webList += "#EXTINF:4.0,\nw" + std::to_string(i) + ".ts\n";

        unsigned char iv[16] = {};
        for (int b = 0; b < 4; ++b)
            iv[15 - b] = (unsigned char)(unsigned(i) >> (8 * b));
        if (!Encrypt(prov.h, key, iv, data))
        {
            std::printf("encryption failed\n");
            return 1;
        }
        strName.Format(L"k%d.ts", i);
        WriteFileBytes(strRoot + strName, data);
        keyedList += "#EXTINF:4.0,\nk" + std::to_string(i) + ".ts\n";
    }
    plainList += "#EXT-X-ENDLIST\n";
    keyedList += "#EXT-X-ENDLIST\n";
    webList += "#EXT-X-ENDLIST\n";
    WriteFileBytes(strRoot + L"plain.m3u8", plainList);
    WriteFileBytes(strRoot + L"keyed.m3u8", keyedList);

    std::printf("merge_bench: %d segments of %d MiB, best of %d rounds\n", nSegments, nMiB, nRounds);
    PrintMemory("making the data:");

    CMergeRun run;
    run.m_bRunning = TRUE;
    const CString strOut = strRoot + L"out.ts";
    const ULONGLONG cbTotal = ULONGLONG(cbSegment) * nSegments;
    double best[4] = {1e30, 1e30, 1e30, 1e30};
    bool ok[4] = {true, true, true, true};
    auto measure = [&](int k, auto fn) {
        double t = Time(fn);
        if (t < 0 || FileSize(strOut) != cbTotal)
            ok[k] = false;
        else
            best[k] = std::min(best[k], t);
    };
    // Each run rewrites the same 200 MiB output, and the one that follows a pause goes faster while the
    // system writes back the last one's pages: the order turns each round, so each gets that place.
    for (int r = 0; r < nRounds; ++r)
    {
        for (int k = 0; k < 3; ++k)
        {
            switch ((r + k) % 3)
            {
            case 0:
                measure(0, [&] { return PlainCopy(plainSegments, strOut); });
                break;
            case 1:
                measure(1, [&] { return run.MergeOne(strRoot + L"plain.m3u8", strOut); });
                break;
            default:
                measure(2, [&] { return run.MergeOne(strRoot + L"keyed.m3u8", strOut); });
                break;
            }
        }
    }
    PrintMemory("the local merges:");

    // The server keeps every response in memory, so the web merge comes last for the memory figures.
    for (int i = 0; i < nSegments; ++i)
    {
        std::string data(size_t(FileSize(plainSegments[size_t(i)])), '\0');
        CFile f;
        if (f.Open(plainSegments[size_t(i)], CFile::modeRead | CFile::typeBinary) && !data.empty())
            f.Read(&data[0], UINT(data.size()));
        server.Set("/w" + std::to_string(i) + ".ts", data);
    }
    server.Set("/index.m3u8", webList);
    server.Start();
    if (!server.IsListening())
        std::printf("no loopback server\n");
    for (int r = 0; r < nRounds; ++r)
        measure(3, [&] { return run.MergeOne(server.Url("/index.m3u8"), strOut); });
    PrintMemory("the web merge:");
    std::printf("  (the last figure includes the loopback server, which holds every segment in memory)\n");

    const double total = double(cbTotal) / 1048576.0;
    const char *names[4] = {"plain copy", "merge local unkeyed", "merge local keyed", "merge web (loopback)"};
    for (int k = 0; k < 4; ++k)
    {
        if (!ok[k])
        {
            std::printf("%-22s FAILED\n", names[k]);
            continue;
        }
        std::printf("%-22s %8.1f MiB/s  %6.1f %% of the copy\n", names[k], total / best[k],
                    100.0 * best[0] / best[k]);
    }
    DeleteTree(strRoot);
    return ok[0] && ok[1] && ok[2] && ok[3] ? 0 : 1;
}
