// framework/Controls.h: wrappers of the standard controls; each call is one message to the control.
// They do not own their window (the dialog does); a member wrapper gets it through DDX_Control or
// SubclassDlgItem and loses it when the window is destroyed.
#pragma once

#include "framework/String.h"
#include "framework/Wnd.h"

#include <commctrl.h>
#include <windows.h>

class CButton : public CWnd
{
public:
    int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
    void SetCheck(int nCheck) { SendMessage(BM_SETCHECK, static_cast<WPARAM>(nCheck)); }
};

class CStatic : public CWnd
{
public:
    HCURSOR SetCursor(HCURSOR hCursor)
    {
        return reinterpret_cast<HCURSOR>(
            SendMessage(STM_SETIMAGE, IMAGE_CURSOR, reinterpret_cast<LPARAM>(hCursor)));
    }
    HICON SetIcon(HICON hIcon)
    {
        return reinterpret_cast<HICON>(SendMessage(STM_SETICON, reinterpret_cast<WPARAM>(hIcon)));
    }
};

// The program only reads and writes the boxes' text, through CWnd.
class CEdit : public CWnd
{
};

class CListBox : public CWnd
{
public:
    // Index of the new line, or LB_ERR / LB_ERRSPACE.
    int AddString(LPCWSTR lpszItem)
    {
        return static_cast<int>(SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(lpszItem)));
    }
    int GetCount() const { return static_cast<int>(SendMessage(LB_GETCOUNT)); }
    int GetTextLen(int nIndex) const
    {
        return static_cast<int>(SendMessage(LB_GETTEXTLEN, static_cast<WPARAM>(nIndex)));
    }
    // Empties rString when there is no such line.
    void GetText(int nIndex, CString &rString) const;
    void ResetContent() { SendMessage(LB_RESETCONTENT); }
    int SetTopIndex(int nIndex)
    {
        return static_cast<int>(SendMessage(LB_SETTOPINDEX, static_cast<WPARAM>(nIndex)));
    }
};

class CProgressCtrl : public CWnd
{
public:
    void SetRange(short nLower, short nUpper) { SendMessage(PBM_SETRANGE, 0, MAKELPARAM(nLower, nUpper)); }
    void GetRange(int &nLower, int &nUpper) const;
    // Returns the previous position.
    int SetPos(int nPos) { return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(nPos))); }
    int GetPos() const { return static_cast<int>(SendMessage(PBM_GETPOS)); }
};
