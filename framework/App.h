// framework/App.h: the application object and the program's entry.
//
// The one global object of a CWinApp-derived class registers itself in the CWinApp constructor;
// AfxWinMain (called from the program's wWinMain) runs its InitInstance. A FALSE result ends the
// program with exit code 0 without a message loop.
#pragma once

#include "framework/MessageMap.h"
#include "framework/String.h"
#include "framework/Wnd.h"

#include <windows.h>

constexpr DWORD AFX_RESTART_MANAGER_SUPPORT_RESTART = 0x01;

#ifndef ID_HELP
#define ID_HELP 0xE146
#endif

class CWinApp : public CCmdTarget
{
public:
    // A null name means the executable's file name without its extension.
    explicit CWinApp(LPCWSTR lpszAppName = nullptr);
    ~CWinApp() override;

    // Base: registers with the restart manager when m_dwRestartManagerSupportFlags asks for restart;
    // returns TRUE.
    virtual BOOL InitInstance();
    // The message loop, when InitInstance returned TRUE; returns the exit code.
    virtual int Run();
    virtual int ExitInstance();

    // Stores the key name only: nothing is read or written under it.
    void SetRegistryKey(LPCWSTR lpszRegistryKey);
    // There is no help file: does nothing.
    void OnHelp();

    CWnd *m_pMainWnd = nullptr;
    DWORD m_dwRestartManagerSupportFlags = 0;
    LPCWSTR m_pszAppName = nullptr;     // points into m_strAppName
    LPCWSTR m_pszRegistryKey = nullptr; // points into m_strRegistryKey, null until SetRegistryKey
    HINSTANCE m_hInstance = nullptr;

    DECLARE_MESSAGE_MAP()

private:
    CString m_strAppName;
    CString m_strRegistryKey;
};

// Nothing in the program uses it; it exists because start-up creates one.
class CShellManager
{
};

CWinApp *AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
LPCWSTR AfxGetAppName();
// No control containers are hosted: does nothing.
void AfxEnableControlContainer();
// The framework's entry: runs theApp's InitInstance (and its message loop when it returns TRUE).
int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow);
