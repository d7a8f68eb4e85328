// framework/Time.h: CTime, a point in time read and formatted as local time.
#pragma once

#include "framework/String.h"

#include <ctime>
#include <windows.h>

class CTime
{
public:
    CTime() = default;
    CTime(__time64_t time) : m_time(time) {}
    // Local date and time; nDST -1 lets the run-time library decide whether daylight saving applies.
    // Fields that do not make a representable time give the time -1, whose fields all read -1.
    CTime(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec, int nDST = -1);
    // Years before 1900 give the time 0, as the class library does.
    CTime(const SYSTEMTIME &st, int nDST = -1);

    static CTime GetCurrentTime();

    __time64_t GetTime() const { return m_time; }
    // nullptr when the time has no local form (before 1970 or after 3000).
    struct tm *GetLocalTm(struct tm *ptm) const;
    BOOL GetAsSystemTime(SYSTEMTIME &st) const;

    // Local fields; -1 when the time cannot be converted to local time.
    int GetYear() const;
    int GetMonth() const;
    int GetDay() const;
    int GetHour() const;
    int GetMinute() const;
    int GetSecond() const;
    int GetDayOfWeek() const; // 1 = Sunday

    // wcsftime conversions ("%H:%M:%S") on the local time; empty when the time has no local form or the
    // result does not fit 128 characters. The format must hold valid conversions only.
    CString Format(LPCTSTR pszFormat) const;

    friend bool operator==(const CTime &a, const CTime &b) { return a.m_time == b.m_time; }
    friend bool operator!=(const CTime &a, const CTime &b) { return a.m_time != b.m_time; }
    friend bool operator<(const CTime &a, const CTime &b) { return a.m_time < b.m_time; }

private:
    __time64_t m_time = 0;
};
