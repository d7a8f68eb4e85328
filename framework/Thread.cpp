// framework/Thread.cpp
#include "framework/Thread.h"

#include <memory>
#include <process.h>

CWinThread::CWinThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam)
    : m_pfnThreadProc(pfnThreadProc), m_pThreadParams(pParam)
{
}

CWinThread::~CWinThread()
{
    if (m_hThread)
        CloseHandle(m_hThread);
}

BOOL CWinThread::CreateThread(DWORD dwCreateFlags, UINT nStackSize, LPSECURITY_ATTRIBUTES lpSecurityAttrs)
{
    // _beginthreadex rather than CreateThread: the function may use the run-time library.
    unsigned nThreadId = 0;
    uintptr_t hThread = _beginthreadex(lpSecurityAttrs, nStackSize, &CWinThread::ThreadEntry, this,
                                       dwCreateFlags | CREATE_SUSPENDED, &nThreadId);
    if (hThread == 0)
        return FALSE;
    m_hThread = reinterpret_cast<HANDLE>(hThread);
    m_nThreadID = nThreadId;
    return TRUE;
}

unsigned __stdcall CWinThread::ThreadEntry(void *pThis)
{
    CWinThread *pThread = static_cast<CWinThread *>(pThis);
    UINT nExitCode = AFX_THREAD_EXCEPTION_EXIT;
    // An exception must not unwind out of the thread's entry: that would end the whole process.
    try
    {
        nExitCode = pThread->m_pfnThreadProc(pThread->m_pThreadParams);
    }
    catch (...)
    {
        nExitCode = AFX_THREAD_EXCEPTION_EXIT;
    }
    if (pThread->m_bAutoDelete)
        delete pThread;
    return nExitCode;
}

CWinThread *AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam, int nPriority, UINT nStackSize,
                           DWORD dwCreateFlags, LPSECURITY_ATTRIBUTES lpSecurityAttrs)
{
    if (!pfnThreadProc)
        return nullptr;
    std::unique_ptr<CWinThread> pThread;
    try
    {
        pThread.reset(new CWinThread(pfnThreadProc, pParam));
    }
    catch (...)
    {
        return nullptr;
    }
    if (!pThread->CreateThread(dwCreateFlags, nStackSize, lpSecurityAttrs))
        return nullptr;
    if (nPriority != THREAD_PRIORITY_NORMAL)
        pThread->SetThreadPriority(nPriority);
    // From here on the thread owns the object when it deletes itself.
    CWinThread *pResult = pThread.release();
    if (!(dwCreateFlags & CREATE_SUSPENDED))
        pResult->ResumeThread();
    return pResult;
}
