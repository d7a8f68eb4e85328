// engine/Location.h: tells a web address from a local path.
#pragma once

#include <windows.h>

// True when the location begins with "http://" or "https://"; with bAnyCase the scheme may be written in
// any case. Anything else, "http_seg.ts" too, is a local path.
bool IsWebAddress(LPCWSTR pszLocation, bool bAnyCase);
