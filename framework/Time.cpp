// framework/Time.cpp
#include "framework/Time.h"

#include <cwchar>

namespace
{
int LocalField(const CTime &time, int tm::*pField, int nOffset = 0)
{
    struct tm local;
    return time.GetLocalTm(&local) ? local.*pField + nOffset : -1;
}
} // namespace

CTime::CTime(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec, int nDST)
{
    struct tm local = {};
    local.tm_year = nYear - 1900;
    local.tm_mon = nMonth - 1;
    local.tm_mday = nDay;
    local.tm_hour = nHour;
    local.tm_min = nMin;
    local.tm_sec = nSec;
    local.tm_isdst = nDST;
    m_time = _mktime64(&local);
}

CTime::CTime(const SYSTEMTIME &st, int nDST)
{
    if (st.wYear >= 1900)
        *this = CTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, nDST);
}

CTime CTime::GetCurrentTime()
{
    return CTime(_time64(nullptr));
}

struct tm *CTime::GetLocalTm(struct tm *ptm) const
{
    if (!ptm || m_time < 0 || _localtime64_s(ptm, &m_time) != 0)
        return nullptr;
    return ptm;
}

BOOL CTime::GetAsSystemTime(SYSTEMTIME &st) const
{
    struct tm local;
    if (!GetLocalTm(&local))
        return FALSE;
    st = SYSTEMTIME();
    st.wYear = WORD(local.tm_year + 1900);
    st.wMonth = WORD(local.tm_mon + 1);
    st.wDayOfWeek = WORD(local.tm_wday);
    st.wDay = WORD(local.tm_mday);
    st.wHour = WORD(local.tm_hour);
    st.wMinute = WORD(local.tm_min);
    st.wSecond = WORD(local.tm_sec);
    return TRUE;
}

int CTime::GetYear() const
{
    return LocalField(*this, &tm::tm_year, 1900);
}

int CTime::GetMonth() const
{
    return LocalField(*this, &tm::tm_mon, 1);
}

int CTime::GetDay() const
{
    return LocalField(*this, &tm::tm_mday);
}

int CTime::GetHour() const
{
    return LocalField(*this, &tm::tm_hour);
}

int CTime::GetMinute() const
{
    return LocalField(*this, &tm::tm_min);
}

int CTime::GetSecond() const
{
    return LocalField(*this, &tm::tm_sec);
}

int CTime::GetDayOfWeek() const
{
    return LocalField(*this, &tm::tm_wday, 1);
}

CString CTime::Format(LPCTSTR pszFormat) const
{
    struct tm local;
    if (!pszFormat || !GetLocalTm(&local))
        return CString();
    wchar_t buffer[128];
    size_t nLength = wcsftime(buffer, sizeof(buffer) / sizeof(buffer[0]), pszFormat, &local);
    return CString(buffer, int(nLength));
}
