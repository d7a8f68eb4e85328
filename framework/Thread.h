// framework/Thread.h: CWinThread and AfxBeginThread, a worker thread running one function.
#pragma once

#include <windows.h>

typedef UINT (*AFX_THREADPROC)(LPVOID);

// Exit code of a thread whose function ended by an exception.
const UINT AFX_THREAD_EXCEPTION_EXIT = 0xE0000001u;

class CWinThread
{
public:
    CWinThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam);
    virtual ~CWinThread();
    CWinThread(const CWinThread &) = delete;
    CWinThread &operator=(const CWinThread &) = delete;

    // Starts the thread suspended; FALSE when it cannot be created.
    BOOL CreateThread(DWORD dwCreateFlags = 0, UINT nStackSize = 0,
                      LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);
    DWORD ResumeThread() { return ::ResumeThread(m_hThread); }
    BOOL SetThreadPriority(int nPriority) { return ::SetThreadPriority(m_hThread, nPriority); }
    int GetThreadPriority() const { return ::GetThreadPriority(m_hThread); }

    HANDLE m_hThread = nullptr;
    DWORD m_nThreadID = 0;
    // TRUE: the object deletes itself (and closes m_hThread) when the thread ends. Change it only while the
    // thread is suspended; with FALSE the creator deletes the object after the thread has ended.
    BOOL m_bAutoDelete = TRUE;

private:
    static unsigned __stdcall ThreadEntry(void *pThis);

    AFX_THREADPROC m_pfnThreadProc;
    LPVOID m_pThreadParams;
};

// Runs pfn(pParam) on a new thread; nullptr when the thread cannot be created. The returned object
// deletes itself when the thread ends unless it was created suspended and m_bAutoDelete was cleared.
// No exception leaves the thread function: it ends the thread with AFX_THREAD_EXCEPTION_EXIT.
CWinThread *AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam,
                           int nPriority = THREAD_PRIORITY_NORMAL, UINT nStackSize = 0,
                           DWORD dwCreateFlags = 0, LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);
