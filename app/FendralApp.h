// app/FendralApp.h: CFendralApp, the application object whose start-up runs the main dialog.
#pragma once

#include "framework/App.h"

class CFendralApp : public CWinApp
{
public:
    CFendralApp();

    // Runs the main dialog modally; always FALSE, so the program ends when the dialog closes.
    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};

extern CFendralApp theApp;
