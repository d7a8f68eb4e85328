// framework/ShellFolder.cpp: the shell's folder picker behind a seam that tests can answer.
#include "framework/ShellFolder.h"

#include <mutex>
#include <objbase.h>

namespace
{
std::mutex g_hookMutex;
BrowseForFolderHook g_hook;

// BIF_NEWDIALOGSTYLE needs COM on the calling thread; balanced only when this call started it.
class CComScope
{
public:
    CComScope()
        : m_bInit(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)))
    {
    }
    ~CComScope()
    {
        if (m_bInit)
            ::CoUninitialize();
    }
    CComScope(const CComScope &) = delete;
    CComScope &operator=(const CComScope &) = delete;

private:
    bool m_bInit;
};
} // namespace

PIDLIST_ABSOLUTE AfxBrowseForFolder(LPBROWSEINFOW lpbi)
{
    BrowseForFolderHook hook;
    {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        hook = g_hook;
    }
    if (hook)
        return hook(*lpbi);
    CComScope com;
    return ::SHBrowseForFolderW(lpbi);
}

BrowseForFolderHook AfxSetBrowseForFolderHook(BrowseForFolderHook hook)
{
    std::lock_guard<std::mutex> lock(g_hookMutex);
    BrowseForFolderHook previous = std::move(g_hook);
    g_hook = std::move(hook);
    return previous;
}
