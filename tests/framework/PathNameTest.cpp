// tests/framework/PathNameTest.cpp: which spellings name one file, as Windows decides it.
#include "framework/PathName.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

TEST(PathName, EverySpellingOfOneFileMatchesAndNoOtherFile)
{
    CTempFolder tmp;
    const CString strFile = tmp.Write(L"Été\\segment one.ts", "x");
    tmp.Write(L"Été\\segment two.ts", "y");
    wchar_t szShort[MAX_PATH] = {};
    ASSERT_NE(GetShortPathNameW(strFile, szShort, MAX_PATH), 0u);
    ASSERT_TRUE(CreateHardLinkW(tmp / L"linked.ts", strFile, nullptr));
    const CFileMatch output(strFile);
    for (const CString &s : {strFile, tmp / L"ÉTÉ\\SEGMENT ONE.TS", tmp / L"été\\.\\..\\Été\\segment one.ts",
                             CString(szShort), tmp / L"linked.ts"})
        EXPECT_TRUE(output.Matches(s)) << StringToUtf8(s);
    for (const CString &s : {tmp / L"Été\\segment two.ts", tmp / L"Été\\segment one.ts.part", CString()})
        EXPECT_FALSE(output.Matches(s)) << StringToUtf8(s);
    EXPECT_TRUE(CFileMatch(tmp / L"Été\\new.ts").Matches(tmp / L"ÉTÉ\\.\\NEW.TS"));
    EXPECT_EQ(LongPathName(L"\\\\?\\UNC\\server\\share\\"), CString(L"\\\\server\\share\\"));
}
