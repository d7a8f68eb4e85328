// bench/MergeBench.cpp: throughput and peak memory of CMergeRun::MergeOne beside a plain copy.
//
// merge_bench [segments] [MiB per segment] [rounds]
// Makes a playlist of segments of random bytes (plain, and AES-128 keyed with per-segment IVs),
// then for each round copies the plain segments into one file, merges the plain playlist, the keyed
// playlist and the plain playlist served over loopback HTTP, and prints the best time of each.
#include "app/MergeRun.h"
#include "framework/File.h"
#include "tests/support/HttpServer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <psapi.h>
#include <string>
#include <vector>
#include <wincrypt.h>

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

    CHttpServer server;
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
    for (int r = 0; r < nRounds; ++r)
    {
        measure(0, [&] { return PlainCopy(plainSegments, strOut); });
        measure(1, [&] { return run.MergeOne(strRoot + L"plain.m3u8", strOut); });
        measure(2, [&] { return run.MergeOne(strRoot + L"keyed.m3u8", strOut); });
    }
    PrintMemory("the local merges:");

    // The server keeps every body in memory, so the web merge comes last for the memory figures.
    for (int i = 0; i < nSegments; ++i)
    {
        std::string data(size_t(FileSize(plainSegments[size_t(i)])), '\0');
        CFile f;
        if (f.Open(plainSegments[size_t(i)], CFile::modeRead | CFile::typeBinary) && !data.empty())
            f.Read(&data[0], UINT(data.size()));
        server.Set("/w" + std::to_string(i) + ".ts", data);
    }
    server.Set("/index.m3u8", webList);
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
