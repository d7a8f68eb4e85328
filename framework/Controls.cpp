// framework/Controls.cpp: the control wrappers' calls that need more than one line.
#include "framework/Controls.h"

void CListBox::GetText(int nIndex, CString &rString) const
{
    const int n = GetTextLen(nIndex);
    if (n == LB_ERR)
    {
        rString.Empty();
        return;
    }
    CString str;
    const int nGot = static_cast<int>(
        SendMessage(LB_GETTEXT, static_cast<WPARAM>(nIndex), reinterpret_cast<LPARAM>(str.GetBuffer(n + 1))));
    str.ReleaseBuffer(nGot > 0 ? nGot : 0);
    rString = str;
}

void CProgressCtrl::GetRange(int &nLower, int &nUpper) const
{
    PBRANGE range{};
    SendMessage(PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    nLower = range.iLow;
    nUpper = range.iHigh;
}
