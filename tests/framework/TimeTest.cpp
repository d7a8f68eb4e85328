#include "framework/Time.h"

#include <gtest/gtest.h>

namespace
{
// Local fields of a time through Win32 rather than the run-time library.
SYSTEMTIME LocalThroughWin32(__time64_t t)
{
    ULONGLONG ticks = (ULONGLONG(t) + 11644473600ull) * 10000000ull;
    FILETIME ft = {DWORD(ticks), DWORD(ticks >> 32)};
    SYSTEMTIME utc = {}, local = {};
    FileTimeToSystemTime(&ft, &utc);
    SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
    return local;
}
} // namespace

TEST(CTime, FieldsAndFormatOfLocalTimes)
{
    struct Case
    {
        int nYear, nMonth, nDay, nHour, nMin, nSec;
        const wchar_t *pszClock;
        const wchar_t *pszDate;
    } cases[] = {
        {2024, 1, 15, 9, 5, 3, L"09:05:03", L"2024-01-15"},
        {2024, 1, 16, 0, 0, 7, L"00:00:07", L"2024-01-16"},
        {2023, 12, 31, 23, 59, 59, L"23:59:59", L"2023-12-31"},
        {2024, 2, 29, 12, 30, 0, L"12:30:00", L"2024-02-29"},
        {2038, 7, 1, 18, 0, 1, L"18:00:01", L"2038-07-01"},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.nYear << "-" << c.nMonth << "-" << c.nDay);
        CTime time(c.nYear, c.nMonth, c.nDay, c.nHour, c.nMin, c.nSec);
        EXPECT_EQ(time.GetYear(), c.nYear);
        EXPECT_EQ(time.GetMonth(), c.nMonth);
        EXPECT_EQ(time.GetDay(), c.nDay);
        EXPECT_EQ(time.GetHour(), c.nHour);
        EXPECT_EQ(time.GetMinute(), c.nMin);
        EXPECT_EQ(time.GetSecond(), c.nSec);
        EXPECT_EQ(time.Format(L"%H:%M:%S"), c.pszClock);
        EXPECT_EQ(time.Format(L"%Y-%m-%d"), c.pszDate);

        SYSTEMTIME st = {};
        ASSERT_TRUE(time.GetAsSystemTime(st));
        EXPECT_EQ(CTime(st), time);
        SYSTEMTIME win32 = LocalThroughWin32(time.GetTime());
        EXPECT_EQ(win32.wHour, c.nHour);
        EXPECT_EQ(win32.wDay, c.nDay);
        EXPECT_EQ(win32.wDayOfWeek + 1, time.GetDayOfWeek());
    }
}

TEST(CTime, TimeValuesReadAsLocalTime)
{
    for (__time64_t t : {__time64_t(0), __time64_t(86399), __time64_t(1700000000), __time64_t(2000000007)})
    {
        SCOPED_TRACE(t);
        CTime time(t);
        SYSTEMTIME local = LocalThroughWin32(t);
        EXPECT_EQ(time.GetYear(), local.wYear);
        EXPECT_EQ(time.GetMonth(), local.wMonth);
        EXPECT_EQ(time.GetDay(), local.wDay);
        EXPECT_EQ(time.GetHour(), local.wHour);
        EXPECT_EQ(time.GetMinute(), local.wMinute);
        EXPECT_EQ(time.GetSecond(), local.wSecond);
        CString expected;
        expected.Format(L"[%02d:%02d:%02d] %%", local.wHour, local.wMinute, local.wSecond);
        EXPECT_EQ(time.Format(L"[%H:%M:%S] %%"), expected);
    }
}

TEST(CTime, CurrentTimeIsNow)
{
    __time64_t before = _time64(nullptr);
    CTime now = CTime::GetCurrentTime();
    __time64_t after = _time64(nullptr);
    EXPECT_LE(before, now.GetTime());
    EXPECT_GE(after, now.GetTime());
    EXPECT_EQ(now.Format(L"%H:%M:%S").GetLength(), 8);
}

TEST(CTime, TimesWithoutLocalFormGiveMinusOne)
{
    // Before 1970, and past the run-time library's last convertible year (3000).
    for (__time64_t t : {__time64_t(-1), __time64_t(-86400), __time64_t(32535215999ll + 86400ll * 400)})
    {
        SCOPED_TRACE(t);
        CTime time(t);
        EXPECT_EQ(time.GetYear(), -1);
        EXPECT_EQ(time.GetMonth(), -1);
        EXPECT_EQ(time.GetDay(), -1);
        EXPECT_EQ(time.GetHour(), -1);
        EXPECT_EQ(time.GetMinute(), -1);
        EXPECT_EQ(time.GetSecond(), -1);
        EXPECT_EQ(time.Format(L"%H:%M:%S"), L"");
        SYSTEMTIME st = {};
        EXPECT_FALSE(time.GetAsSystemTime(st));
    }

    SYSTEMTIME early = {1899, 12, 0, 31, 23, 0, 0, 0};
    EXPECT_EQ(CTime(early).GetTime(), 0);
}
