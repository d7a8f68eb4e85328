// app/LogLine.cpp
#include "app/LogLine.h"

#include "app/MergeRun.h"

CString MakeLogLine(const CTime &tTime, LPCTSTR pszText)
{
    CString strLine;
    // The text is an argument, never part of the format: a "%" in it stays as it is.
    strLine.Format(L"[%02d:%02d:%02d] %s", tTime.GetHour(), tTime.GetMinute(), tTime.GetSecond(),
                   pszText ? pszText : L"");
    return strLine;
}

void AppendLogLine(HWND hList, LPCTSTR pszText)
{
    const CString strLine = MakeLogLine(CTime::GetCurrentTime(), pszText);
    // Sent, not posted: a worker's lines reach the list in order and before it goes on.
    ::SendMessageW(hList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(strLine.GetString()));
    const int nCount = static_cast<int>(::SendMessageW(hList, LB_GETCOUNT, 0, 0));
    // The list clamps the top line, so the newest line ends up at the bottom once it overflows.
    ::SendMessageW(hList, LB_SETTOPINDEX, static_cast<WPARAM>(nCount - 1), 0);
}
