// app/LogLine.h: the time-stamped lines of the information list.
#pragma once

#include "framework/String.h"
#include "framework/Time.h"

// "[hh:mm:ss] text" from the local time of tTime; a field without a local form reads -1.
CString MakeLogLine(const CTime &tTime, LPCTSTR pszText);
