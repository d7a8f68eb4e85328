// framework/App.cpp: the application object and AfxWinMain.
#include "framework/App.h"

#include <exception>

namespace
{
CWinApp *g_pApp = nullptr;

CString ModuleBaseName()
{
    wchar_t szPath[MAX_PATH] = L"";
    const DWORD n = ::GetModuleFileNameW(nullptr, szPath, MAX_PATH);
    CString strPath(szPath, n < MAX_PATH ? int(n) : 0);
    CString strName = strPath.Mid(strPath.ReverseFind(L'\\') + 1);
    const int nDot = strName.ReverseFind(L'.');
    return nDot > 0 ? strName.Left(nDot) : strName;
}
} // namespace

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

CWinApp::CWinApp(LPCWSTR lpszAppName)
    : m_hInstance(::GetModuleHandleW(nullptr)),
      m_strAppName(lpszAppName ? CString(lpszAppName) : ModuleBaseName())
{
    m_pszAppName = m_strAppName.GetString();
    g_pApp = this;
}

CWinApp::~CWinApp()
{
    if (g_pApp == this)
        g_pApp = nullptr;
}

BOOL CWinApp::InitInstance()
{
    if (m_dwRestartManagerSupportFlags & AFX_RESTART_MANAGER_SUPPORT_RESTART)
        ::RegisterApplicationRestart(nullptr, 0);
    return TRUE;
}

int CWinApp::Run()
{
    MSG msg{};
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0)
    {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    ExitInstance();
    return static_cast<int>(msg.wParam);
}

int CWinApp::ExitInstance()
{
    return 0;
}

void CWinApp::SetRegistryKey(LPCWSTR lpszRegistryKey)
{
    m_strRegistryKey = lpszRegistryKey ? lpszRegistryKey : L"";
    m_pszRegistryKey = m_strRegistryKey.GetString();
}

void CWinApp::OnHelp() {}

CWinApp *AfxGetApp()
{
    return g_pApp;
}

HINSTANCE AfxGetInstanceHandle()
{
    return ::GetModuleHandleW(nullptr);
}

LPCWSTR AfxGetAppName()
{
    return g_pApp ? g_pApp->m_pszAppName : nullptr;
}

void AfxEnableControlContainer() {}

int AfxWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int)
{
    CWinApp *pApp = AfxGetApp();
    if (!pApp)
        return -1;
    if (hInstance)
        pApp->m_hInstance = hInstance;
    try
    {
        if (!pApp->InitInstance())
            return pApp->ExitInstance();
        return pApp->Run();
    }
    catch (const std::exception &e)
    {
        ::OutputDebugStringA("Unhandled exception at start-up: ");
        ::OutputDebugStringA(e.what());
        ::OutputDebugStringA("\n");
    }
    catch (...)
    {
        ::OutputDebugStringA("Unhandled exception at start-up\n");
    }
    return -1;
}
