// app/AboutDlg.h: CAboutDlg, the about box opened from the main dialog's system menu.
#pragma once

#include "framework/Dialog.h"
#include "res/resource.h"

// Everything it shows is in its template; OK and cancel take the default handling.
class CAboutDlg : public CDialogEx
{
public:
    CAboutDlg();
    ~CAboutDlg() override = default;

    enum
    {
        IDD = IDD_ABOUTBOX
    };

    DECLARE_MESSAGE_MAP()
};
