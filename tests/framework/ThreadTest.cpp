#include "framework/Thread.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace
{
struct Shared
{
    LPVOID pSeen = nullptr;
    DWORD dwThreadId = 0;
    UINT nResult = 0;
    HANDLE hDone = nullptr;
};

UINT RecordAndReturn(LPVOID pParam)
{
    Shared *pShared = static_cast<Shared *>(pParam);
    pShared->pSeen = pParam;
    pShared->dwThreadId = GetCurrentThreadId();
    if (pShared->hDone)
        SetEvent(pShared->hDone);
    return pShared->nResult;
}

struct CustomError
{
    int nCode;
};

UINT ThrowStd(LPVOID pParam)
{
    static_cast<Shared *>(pParam)->dwThreadId = GetCurrentThreadId();
    throw std::runtime_error("worker failed");
}

UINT ThrowInt(LPVOID pParam)
{
    static_cast<Shared *>(pParam)->dwThreadId = GetCurrentThreadId();
    throw 42;
}

UINT ThrowCustom(LPVOID pParam)
{
    static_cast<Shared *>(pParam)->dwThreadId = GetCurrentThreadId();
    throw CustomError{7};
}

// Starts suspended and without auto-delete, so the test can read the exit code afterwards.
DWORD RunToEnd(AFX_THREADPROC pfn, Shared &shared, CWinThread **ppThread = nullptr)
{
    CWinThread *pThread = AfxBeginThread(pfn, &shared, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    if (!pThread)
        return 0xFFFFFFFFu;
    pThread->m_bAutoDelete = FALSE;
    pThread->ResumeThread();
    DWORD dwExit = 0xFFFFFFFFu;
    if (WaitForSingleObject(pThread->m_hThread, 10000) == WAIT_OBJECT_0)
        GetExitCodeThread(pThread->m_hThread, &dwExit);
    if (ppThread)
        *ppThread = pThread;
    else
        delete pThread;
    return dwExit;
}
} // namespace

TEST(AfxBeginThread, RunsTheFunctionWithItsParameterAndExitCode)
{
    for (UINT nResult : {0u, 1u, 0xC0DEu})
    {
        SCOPED_TRACE(nResult);
        Shared shared;
        shared.nResult = nResult;
        CWinThread *pThread = nullptr;
        EXPECT_EQ(RunToEnd(RecordAndReturn, shared, &pThread), nResult);
        ASSERT_NE(pThread, nullptr);
        EXPECT_EQ(shared.pSeen, &shared);
        EXPECT_EQ(shared.dwThreadId, pThread->m_nThreadID);
        EXPECT_NE(shared.dwThreadId, GetCurrentThreadId());
        delete pThread;
    }
}

TEST(AfxBeginThread, StartsAtOnceAndDeletesItselfAtTheEnd)
{
    Shared shared;
    shared.hDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(shared.hDone, nullptr);
    CWinThread *pThread = AfxBeginThread(RecordAndReturn, &shared);
    ASSERT_NE(pThread, nullptr);
    EXPECT_EQ(WaitForSingleObject(shared.hDone, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(shared.pSeen, &shared);
    CloseHandle(shared.hDone);

    // The auto-deleted object closes its thread handle: watch that through a duplicate.
    Shared second;
    pThread = AfxBeginThread(RecordAndReturn, &second, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(pThread, nullptr);
    HANDLE hOwn = pThread->m_hThread;
    HANDLE hDup = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), hOwn, GetCurrentProcess(), &hDup, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    DWORD dwFlags = 0;
    EXPECT_TRUE(GetHandleInformation(hOwn, &dwFlags));
    pThread->ResumeThread();
    ASSERT_EQ(WaitForSingleObject(hDup, 10000), WAIT_OBJECT_0);
    EXPECT_FALSE(GetHandleInformation(hOwn, &dwFlags));
    CloseHandle(hDup);
}

TEST(AfxBeginThread, ExceptionsEndOnlyTheThread)
{
    struct Case
    {
        const char *pszName;
        AFX_THREADPROC pfn;
    } cases[] = {{"std::runtime_error", ThrowStd}, {"int", ThrowInt}, {"custom type", ThrowCustom}};
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.pszName);
        Shared shared;
        EXPECT_EQ(RunToEnd(c.pfn, shared), AFX_THREAD_EXCEPTION_EXIT);
        EXPECT_NE(shared.dwThreadId, 0u);
    }
    // The process goes on: another thread still runs normally.
    Shared after;
    after.nResult = 5;
    EXPECT_EQ(RunToEnd(RecordAndReturn, after), 5u);
}

TEST(AfxBeginThread, PriorityAndRefusals)
{
    Shared shared;
    CWinThread *pThread =
        AfxBeginThread(RecordAndReturn, &shared, THREAD_PRIORITY_BELOW_NORMAL, 64 * 1024, CREATE_SUSPENDED);
    ASSERT_NE(pThread, nullptr);
    EXPECT_EQ(pThread->GetThreadPriority(), THREAD_PRIORITY_BELOW_NORMAL);
    EXPECT_EQ(shared.pSeen, nullptr);
    pThread->m_bAutoDelete = FALSE;
    pThread->ResumeThread();
    EXPECT_EQ(WaitForSingleObject(pThread->m_hThread, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(shared.pSeen, &shared);
    delete pThread;

    EXPECT_EQ(AfxBeginThread(nullptr, &shared), nullptr);
}
