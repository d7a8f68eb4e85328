// tests/framework/FileTest.cpp
#include "framework/File.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{
std::vector<CString> ReadLines(const CString &strPath)
{
    CStdioFile file;
    EXPECT_TRUE(file.Open(strPath, CFile::typeText));
    std::vector<CString> lines;
    CString line;
    while (file.ReadString(line))
        lines.push_back(line);
    EXPECT_TRUE(line.IsEmpty());
    return lines;
}
} // namespace

TEST(FileOpen, FailureIsResultNotException)
{
    CTempFolder temp;
    struct Case
    {
        CString path;
        UINT flags;
        int cause;
    } cases[] = {
        {temp / L"missing.txt", CFile::modeRead, CFileException::fileNotFound},
        {temp / L"no\\such\\folder.txt", CFile::modeCreate | CFile::modeWrite, CFileException::badPath},
        {temp.Path(), CFile::modeRead, CFileException::none},
    };
    for (const Case &c : cases)
    {
        CFile file;
        CFileException error;
        EXPECT_FALSE(file.Open(c.path, c.flags, &error)) << StringToUtf8(c.path);
        EXPECT_FALSE(file.IsOpen());
        EXPECT_NE(error.m_lOsError, 0);
        EXPECT_NE(error.m_cause, CFileException::none);
        if (c.cause != CFileException::none)
        {
            EXPECT_EQ(error.m_cause, c.cause) << StringToUtf8(c.path);
        }
        CFile noReport;
        EXPECT_FALSE(noReport.Open(c.path, c.flags));
    }
    EXPECT_FALSE(FileExists(temp / L"missing.txt"));
}

TEST(FileOpen, CreateTruncatesUnlessNoTruncate)
{
    CTempFolder temp;
    CString path = temp.Write(L"a.bin", "0123456789");
    {
        CFile file;
        ASSERT_TRUE(file.Open(path, CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite));
        EXPECT_EQ(file.GetLength(), 10u);
    }
    {
        CFile file;
        ASSERT_TRUE(file.Open(path, CFile::modeCreate | CFile::modeWrite));
        EXPECT_EQ(file.GetLength(), 0u);
        file.Write("abc", 3);
        file.Close();
        EXPECT_FALSE(file.IsOpen());
    }
    EXPECT_EQ(ReadAll(path), "abc");

    CFile reader;
    ASSERT_TRUE(reader.Open(path, CFile::modeRead | CFile::typeBinary));
    char buf[8] = {};
    EXPECT_EQ(reader.Read(buf, sizeof(buf)), 3u);
    EXPECT_EQ(std::string(buf, 3), "abc");
    EXPECT_EQ(reader.Read(buf, sizeof(buf)), 0u);
}

TEST(FileErrors, ReadAndWriteFailuresThrow)
{
    CTempFolder temp;
    CString path = temp.Write(L"r.bin", "data");

    {
        CFile readOnly;
        ASSERT_TRUE(readOnly.Open(path, CFile::modeRead));
        EXPECT_THROW(readOnly.Write("x", 1), CFileException);
    }
    EXPECT_EQ(ReadAll(path), "data");

    CFile writeOnly;
    ASSERT_TRUE(writeOnly.Open(temp / L"w.bin", CFile::modeCreate | CFile::modeWrite));
    char buf[4];
    EXPECT_THROW(writeOnly.Read(buf, sizeof(buf)), CFileException);

    CFile closed;
    EXPECT_THROW(closed.GetLength(), CFileException);
    EXPECT_THROW(closed.Write("x", 1), CFileException);
}

TEST(FileErrors, ShortWriteThrows)
{
    // A non-blocking pipe takes only what fits in its buffer and reports success for that part.
    CString name;
    name.Format(L"\\\\.\\pipe\\fendral_file_test_%lu", GetCurrentProcessId());
    HANDLE server =
        CreateNamedPipeW(name, PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_NOWAIT, 1,
                         1024, 1024, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    CFile file;
    ASSERT_TRUE(file.Open(name, CFile::modeWrite));
    DWORD mode = PIPE_READMODE_BYTE | PIPE_NOWAIT;
    ASSERT_TRUE(SetNamedPipeHandleState(file.GetHandle(), &mode, nullptr, nullptr));
    std::vector<char> big(1 << 20, 'x');
    try
    {
        file.Write(big.data(), UINT(big.size()));
        ADD_FAILURE() << "a short write went unreported";
    }
    catch (const CFileException &e)
    {
        EXPECT_EQ(e.m_cause, CFileException::diskFull);
    }
    file.Abort();
    CloseHandle(server);
}

TEST(StdioFile, LineSplitting)
{
    CTempFolder temp;
    struct Case
    {
        std::string bytes;
        std::vector<CString> lines;
    } cases[] = {
        {"", {}},
        {"one", {L"one"}},
        {"one\n", {L"one"}},
        {"one\ntwo", {L"one", L"two"}},
        {"one\r\ntwo\r\n", {L"one\r", L"two\r"}},
        {"a\n\n\nb\n", {L"a", L"", L"", L"b"}},
        {"\n", {L""}},
        {"x\ry\n", {L"x\ry"}},
        {std::string(100000, 'L') + "\nend", {CString(L'L', 100000), L"end"}},
    };
    int i = 0;
    for (const Case &c : cases)
    {
        CString name;
        name.Format(L"lines%d.txt", i++);
        std::vector<CString> got = ReadLines(temp.Write(name, c.bytes));
        ASSERT_EQ(got.size(), c.lines.size()) << c.bytes.substr(0, 40);
        for (size_t k = 0; k < got.size(); ++k)
            EXPECT_EQ(got[k], c.lines[k]) << c.bytes.substr(0, 40) << " line " << k;
    }
}

TEST(StdioFile, DecodesUtf8ElseAnsi)
{
    CTempFolder temp;
    wchar_t ansiE9[2] = {};
    MultiByteToWideChar(CP_ACP, 0, "\xE9", 1, ansiE9, 1);
    struct Case
    {
        std::string bytes;
        CString first;
    } cases[] = {
        {"\xE8\xA7\x86\xE9\xA2\x91.ts\n", L"\x89c6\x9891.ts"}, // UTF-8
        {"\xEF\xBB\xBF#EXTM3U\n", L"#EXTM3U"},                 // BOM dropped
        {"\xEF\xBB\xBF\xE8\xA7\x86.ts", L"\x89c6.ts"},         // BOM then UTF-8
        {"caf\xE9.ts\n", CString(L"caf") + ansiE9 + L".ts"},   // not UTF-8
        {"ok\n\xE8\xA7\x86\n\xFF\n", L"ok"},                   // one bad byte: all ANSI
    };
    int i = 0;
    for (const Case &c : cases)
    {
        CString name;
        name.Format(L"enc%d.txt", i++);
        std::vector<CString> got = ReadLines(temp.Write(name, c.bytes));
        ASSERT_FALSE(got.empty());
        EXPECT_EQ(got[0], c.first) << c.bytes;
    }
    // A file that is not UTF-8 as a whole is decoded as ANSI throughout, not line by line.
    std::vector<CString> mixed = ReadLines(temp / L"enc4.txt");
    ASSERT_EQ(mixed.size(), 3u);
    wchar_t ansi[4] = {};
    int n = MultiByteToWideChar(CP_ACP, 0, "\xE8\xA7\x86", 3, ansi, 4);
    EXPECT_EQ(mixed[1], CString(ansi, n));
    EXPECT_NE(mixed[1], CString(L"\x89c6"));
}
