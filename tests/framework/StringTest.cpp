#include "framework/String.h"

#include "framework/StringArray.h"

#include <gtest/gtest.h>

TEST(CStringFormat, WideStringArgumentsAndPercentSigns)
{
    CString s;
    s.Format(L"[%02d:%02d:%02d] %s", 9, 5, 3, L"开始处理...");
    EXPECT_EQ(s, L"[09:05:03] 开始处理...");
    s.Format(L"%s", L"100%");
    EXPECT_EQ(s, L"100%");
    s.Format(L"%sm3u8_temp\\", L"C:\\T\\");
    EXPECT_EQ(s, L"C:\\T\\m3u8_temp\\");
}

TEST(CStringFormat, GrowsForLongResults)
{
    CString longText(L'x', 5000);
    CString s;
    s.Format(L"<%s>", longText.GetString());
    EXPECT_EQ(s.GetLength(), 5002);
    EXPECT_EQ(s.Right(2), L"x>");
}

TEST(CStringSearch, FindAndReverseFind)
{
    CString s(L"a/b/c.ts");
    EXPECT_EQ(s.Find(L".ts"), 5);
    EXPECT_EQ(s.Find(L'/'), 1);
    EXPECT_EQ(s.Find(L'/', 2), 3);
    EXPECT_EQ(s.ReverseFind(L'/'), 3);
    EXPECT_EQ(s.Find(L"zz"), -1);
    EXPECT_EQ(s.ReverseFind(L'\\'), -1);
    EXPECT_EQ(s.Find(L'a', 100), -1);
}

TEST(CStringPieces, LeftMidRightClampOutOfRangeCounts)
{
    CString s(L"abcdef");
    EXPECT_EQ(s.Left(2), L"ab");
    EXPECT_EQ(s.Left(99), L"abcdef");
    EXPECT_EQ(s.Left(-1), L"");
    EXPECT_EQ(CString(L"abc", -1), L"");
    EXPECT_EQ(CString(L"abc", 2), L"ab");
    EXPECT_EQ(s.Mid(4), L"ef");
    EXPECT_EQ(s.Mid(2, 2), L"cd");
    EXPECT_EQ(s.Mid(5, 10), L"f");
    EXPECT_EQ(s.Mid(10), L"");
    EXPECT_EQ(s.Right(2), L"ef");
    EXPECT_EQ(s.Right(10), L"abcdef");
}

TEST(CStringEdit, TrimCaseAndReplace)
{
    CString s(L" \t\r\nHTTP://Host/A \r\n");
    s.Trim();
    EXPECT_EQ(s, L"HTTP://Host/A");
    s.MakeLower();
    EXPECT_EQ(s, L"http://host/a");
    EXPECT_EQ(s.Replace(L'/', L'\\'), 3);
    EXPECT_EQ(s, L"http:\\\\host\\a");
    EXPECT_EQ(s.Replace(L"\\\\", L"//"), 1);
    EXPECT_EQ(s, L"http://host\\a");
    CString t(L"xAx");
    t.TrimLeft();
    t.TrimRight(L'x');
    EXPECT_EQ(t, L"xA");
}

TEST(CStringArray, GrowsAndReleases)
{
    CStringArray a;
    a.SetAtGrow(a.GetSize(), L"in");
    a.SetAtGrow(a.GetSize(), L"out");
    a.SetAtGrow(4, L"far");
    EXPECT_EQ(a.GetSize(), 5);
    EXPECT_EQ(a.GetAt(2), L"");
    EXPECT_EQ(a[4], L"far");
    EXPECT_THROW(a.GetAt(5), std::out_of_range);
    a.SetSize(0);
    EXPECT_EQ(a.GetSize(), 0);
}

TEST(Utf8, RoundTripsChineseText)
{
    const char bytes[] = "\xe4\xbd\xa0\xe5\xa5\xbd.ts";
    CString s = Utf8ToString(bytes, int(sizeof(bytes) - 1));
    EXPECT_EQ(s, L"你好.ts");
    EXPECT_EQ(StringToUtf8(s), std::string(bytes));
}
