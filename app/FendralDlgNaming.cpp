// app/FendralDlgNaming.cpp: the file name a batch job's output gets, derived from its input.
#include "app/FendralDlg.h"

namespace
{
// Characters that Windows refuses in a file name. A ':' would not fail but write into an alternate
// data stream of a file named after the text before it, so the video would be lost.
bool IsForbiddenInFileName(wchar_t ch)
{
    return ch < 0x20 || wcschr(L"<>:\"/\\|?*", ch) != nullptr;
}

// Windows opens a device for these names, whatever follows the first dot, and the video goes nowhere.
bool IsDeviceName(const CString &strStem)
{
    static const wchar_t *const s_devices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    CString strBase = strStem;
    const int nDot = strBase.Find(L'.');
    if (nDot >= 0)
        strBase = strBase.Left(nDot);
    strBase.TrimRight(L' ');
    for (const wchar_t *pszDevice : s_devices)
    {
        if (strBase.CompareNoCase(pszDevice) == 0)
            return true;
    }
    // COM and LPT with one digit, superscripts included.
    return strBase.GetLength() == 4 &&
           (strBase.Left(3).CompareNoCase(L"COM") == 0 || strBase.Left(3).CompareNoCase(L"LPT") == 0) &&
           wcschr(L"0123456789\u00b9\u00b2\u00b3", strBase[3]) != nullptr;
}

CString UsableFileName(CString strStem, BOOL bExt)
{
    for (int i = 0; i < strStem.GetLength(); ++i)
    {
        if (IsForbiddenInFileName(strStem[i]))
            strStem.SetAt(i, L'_');
    }
    if (IsDeviceName(strStem))
        strStem = L"_" + strStem;
    if (bExt)
        strStem += L".ts";
    return strStem;
}

bool IsWebAddress(const CString &strInput)
{
    CString strTest = strInput;
    strTest.MakeLower();
    strTest.TrimRight();
    strTest.TrimLeft();
    return strTest.Left(4) == L"http";
}

// Host and folders of the address, "/" turned into "_"; empty when the address has no folder part.
bool StemFromAddress(CString strInput, CString &strStem)
{
    strInput.Replace(L'\\', L'/');
    int nSep = strInput.Find(L"//");
    if (nSep <= 0)
        return false;
    CString strRest = strInput.Mid(nSep + 2);
    int nLast = strRest.ReverseFind(L'/');
    if (nLast <= 0)
        return false;
    strStem = strRest.Left(nLast);
    strStem.Replace(L'/', L'_');
    return true;
}

bool StemFromPath(const CString &strInput, CString &strStem)
{
    int nSlash = strInput.ReverseFind(L'\\');
    if (nSlash < 0)
        return false;
    const CString strFolder = strInput.Left(nSlash + 1);

    // An episode mark counts only inside the playlist's own folder name, and not as its first character.
    if (strFolder.Find(L'集') > 0)
    {
        CString strName = strFolder.Left(strFolder.GetLength() - 1);
        int nParent = strName.ReverseFind(L'\\');
        if (nParent > 0)
            strName = strName.Mid(nParent + 1);
        int nMark = strName.Find(L'集');
        if (nMark > 0)
        {
            strStem = strName.Left(nMark + 1);
            return true;
        }
    }

    static const wchar_t *const s_brackets[][2] = {{L"《", L"》"}, {L"[", L"]"}, {L"{", L"}"}, {L"(", L")"}};
    for (const auto &pair : s_brackets)
    {
        int nOpen = strFolder.Find(pair[0]);
        int nClose = strFolder.Find(pair[1]);
        if (nOpen >= 0 && nClose > nOpen)
        {
            strStem = strFolder.Mid(nOpen + 1, nClose - nOpen - 1);
            return true;
        }
    }

    // A doubled separator before the file name still names the folder in front of it.
    CString strText = strFolder.Left(strFolder.GetLength() - 1);
    if (!strText.IsEmpty() && strText[strText.GetLength() - 1] == L'\\')
        strText = strText.Left(strText.GetLength() - 1);
    int nLast = strText.ReverseFind(L'\\');
    if (nLast <= 0)
        return false;
    strStem = strText.Mid(nLast + 1);
    return true;
}
} // namespace

CString CFendralDlg::MakeOutputName(CString strInput, BOOL bExt)
{
    // The counter moves on every call, so fallback numbers never repeat within the dialog's life.
    CString strName;
    strName.Format(L"output_%d.ts", m_nOutputIndex);
    ++m_nOutputIndex;

    CString strStem;
    const bool bDerived =
        IsWebAddress(strInput) ? StemFromAddress(strInput, strStem) : StemFromPath(strInput, strStem);
    if (bDerived)
        strName = UsableFileName(strStem, bExt);
    return strName;
}
