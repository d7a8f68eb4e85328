// engine/Location.cpp
#include "engine/Location.h"

namespace
{
bool BeginsWithScheme(LPCWSTR psz, LPCWSTR pszScheme, bool bAnyCase)
{
    for (; *pszScheme; ++psz, ++pszScheme)
    {
        wchar_t c = *psz;
        // A scheme is ASCII: only its letters fold, whatever the locale.
        if (bAnyCase && c >= L'A' && c <= L'Z')
            c = wchar_t(c - L'A' + L'a');
        if (c != *pszScheme)
            return false;
    }
    return true;
}
} // namespace

bool IsWebAddress(LPCWSTR pszLocation, bool bAnyCase)
{
    return pszLocation && (BeginsWithScheme(pszLocation, L"http://", bAnyCase) ||
                           BeginsWithScheme(pszLocation, L"https://", bAnyCase));
}
