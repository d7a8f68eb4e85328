#include "framework/FileFind.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>
#include <map>
#include <string>

namespace
{
struct Entry
{
    CString strPath;
    BOOL bDirectory;
    BOOL bDots;
    bool operator==(const Entry &o) const
    {
        return strPath == o.strPath && bDirectory == o.bDirectory && bDots == o.bDots;
    }
};

void PrintTo(const Entry &e, std::ostream *os)
{
    *os << StringToUtf8(e.strPath) << (e.bDirectory ? " dir" : " file") << (e.bDots ? " dots" : "");
}

// Every entry of a search, keyed by name, visited the way the program's callers loop.
std::map<std::wstring, Entry> Visit(const CString &strPattern)
{
    std::map<std::wstring, Entry> entries;
    CFileFind ff;
    BOOL bWorking = ff.FindFile(strPattern);
    while (bWorking)
    {
        bWorking = ff.FindNextFile();
        EXPECT_EQ(ff.IsDirectory(), ff.MatchesMask(FILE_ATTRIBUTE_DIRECTORY));
        EXPECT_EQ(ff.GetFilePath().Right(ff.GetFileName().GetLength() + 1), L"\\" + ff.GetFileName());
        entries[ff.GetFileName().Str()] = Entry{ff.GetFilePath(), ff.IsDirectory(), ff.IsDots()};
    }
    ff.Close();
    return entries;
}
} // namespace

TEST(CFileFind, EmptyFolderHoldsOnlyTheDots)
{
    CTempFolder temp;
    std::map<std::wstring, Entry> entries = Visit(temp.Path() + L"*.*");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_TRUE(entries.at(L".").bDots);
    EXPECT_TRUE(entries.at(L"..").bDots);
    EXPECT_TRUE(entries.at(L".").bDirectory);
}

TEST(CFileFind, ListsFilesAndFoldersWithFullPaths)
{
    CTempFolder temp;
    temp.Write(L"a.ts", "1");
    temp.Write(L"list.m3u8", "2");
    temp.Write(L".hidden", "3");
    SetFileAttributesW(temp / L".hidden", FILE_ATTRIBUTE_HIDDEN);
    temp.MakeFolder(L"sub.m3u8");
    temp.MakeFolder(L"..x");
    temp.Write(L"sub.m3u8\\inner.ts", "4");

    std::map<std::wstring, Entry> entries = Visit(temp.Path() + L"*.*");
    std::map<std::wstring, Entry> expected = {
        {L".", {temp / L".", TRUE, TRUE}},
        {L"..", {temp / L"..", TRUE, TRUE}},
        {L"a.ts", {temp / L"a.ts", FALSE, FALSE}},
        {L"list.m3u8", {temp / L"list.m3u8", FALSE, FALSE}},
        {L".hidden", {temp / L".hidden", FALSE, FALSE}},
        {L"sub.m3u8", {temp / L"sub.m3u8", TRUE, FALSE}},
        {L"..x", {temp / L"..x", TRUE, FALSE}},
    };
    EXPECT_EQ(entries, expected);
}

TEST(CFileFind, PatternsSelectAndNormaliseTheRoot)
{
    CTempFolder temp;
    temp.Write(L"one.ts", "1");
    temp.Write(L"two.ts", "2");
    temp.Write(L"three.tsx", "3");
    temp.Write(L"four.m3u8", "4");
    temp.MakeFolder(L"sub");

    struct Case
    {
        const char *pszName;
        CString strPattern;
        std::map<std::wstring, Entry> expected;
    } cases[] = {
        {"*.ts picks only .ts files",
         temp.Path() + L"*.ts",
         {{L"one.ts", {temp / L"one.ts", FALSE, FALSE}}, {L"two.ts", {temp / L"two.ts", FALSE, FALSE}}}},
        {"doubled backslash gives single-backslash paths",
         temp.Path() + L"\\*.m3u8",
         {{L"four.m3u8", {temp / L"four.m3u8", FALSE, FALSE}}}},
        {"one exact name", temp.Path() + L"sub", {{L"sub", {temp / L"sub", TRUE, FALSE}}}},
        {"nothing matches", temp.Path() + L"*.mp4", {}},
        {"missing folder", temp.Path() + L"missing\\*.*", {}},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.pszName);
        EXPECT_EQ(Visit(c.strPattern), c.expected);
    }
}

TEST(CFileFind, RelativePatternGivesFullPaths)
{
    CTempFolder temp;
    temp.Write(L"seg_0.ts", "0");
    wchar_t saved[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryW(temp.Path()));
    std::map<std::wstring, Entry> entries = Visit(L"*.ts");
    SetCurrentDirectoryW(saved);
    std::map<std::wstring, Entry> expected = {{L"seg_0.ts", {temp / L"seg_0.ts", FALSE, FALSE}}};
    EXPECT_EQ(entries, expected);
}

TEST(CFileFind, FailedOrClosedSearchYieldsNothing)
{
    CTempFolder temp;
    temp.Write(L"a.ts", "1");
    CFileFind ff;
    EXPECT_FALSE(ff.FindNextFile());

    EXPECT_FALSE(ff.FindFile(temp / L"missing\\*.*"));
    EXPECT_FALSE(ff.FindNextFile());

    // 260 characters or more are refused even though the pattern would match.
    CString strLong = temp.Path() + CString(L'*', MAX_PATH);
    EXPECT_FALSE(ff.FindFile(strLong));
    EXPECT_FALSE(ff.FindNextFile());
    CString strJustShort = temp.Path() + CString(L'*', MAX_PATH - 1 - temp.Path().GetLength());
    EXPECT_TRUE(ff.FindFile(strJustShort));

    ASSERT_TRUE(ff.FindFile(temp / L"a.ts"));
    EXPECT_FALSE(ff.FindNextFile());
    EXPECT_EQ(ff.GetFileName(), L"a.ts");
    EXPECT_EQ(ff.GetLength(), 1u);

    // A new search replaces the old one; after Close there is nothing more.
    ASSERT_TRUE(ff.FindFile(temp.Path() + L"*.*"));
    ff.Close();
    EXPECT_FALSE(ff.FindNextFile());
    EXPECT_EQ(ff.GetFileName(), L"");
}
