// app/FendralApp.cpp
#include "app/FendralApp.h"

#include "app/FendralDlg.h"

#include <commctrl.h>
#include <memory>
#include <new>

BEGIN_MESSAGE_MAP(CFendralApp, CWinApp)
ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CFendralApp theApp;

CFendralApp::CFendralApp() : CWinApp(nullptr)
{
    m_dwRestartManagerSupportFlags = AFX_RESTART_MANAGER_SUPPORT_RESTART;
}

BOOL CFendralApp::InitInstance()
{
    // The progress bar's class comes from the common controls.
    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof(icc);
    icc.dwICC = ICC_WIN95_CLASSES;
    ::InitCommonControlsEx(&icc);

    CWinApp::InitInstance();
    AfxEnableControlContainer();

    std::unique_ptr<CShellManager> pShellManager(new (std::nothrow) CShellManager);
    // Only the name is kept: the program stores no settings.
    SetRegistryKey(L"应用程序向导生成的本地应用程序");

    CFendralDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();

    pShellManager.reset();
    return FALSE;
}
