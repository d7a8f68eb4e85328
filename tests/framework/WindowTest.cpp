// GDI owners, device contexts, message-table search and the application object.
#include "framework/App.h"
#include "framework/Gdi.h"
#include "framework/MessageMap.h"

#include <gtest/gtest.h>
#include <utility>

namespace
{
bool IsLiveGdiObject(HGDIOBJ h)
{
    return ::GetObjectType(h) != 0;
}

TEST(GdiObjectTest, OwnedHandlesAreDeletedAndBorrowedOnesAreNot)
{
    HBRUSH hOwned = ::CreateSolidBrush(RGB(1, 2, 3));
    HBRUSH hLent = ::CreateSolidBrush(RGB(4, 5, 6));
    {
        CBrush owned;
        owned.Attach(hOwned);
        CBrush lent;
        lent.Borrow(hLent);
        EXPECT_EQ(hOwned, owned.GetSafeHandle());
        EXPECT_EQ(hLent, static_cast<HBRUSH>(lent));
    }
    EXPECT_FALSE(IsLiveGdiObject(hOwned));
    EXPECT_TRUE(IsLiveGdiObject(hLent));

    // A move hands ownership over once; Detach gives it back to the caller.
    CBrush first;
    first.CreateSolidBrush(RGB(7, 8, 9));
    const HGDIOBJ h = first.m_hObject;
    CBrush second(std::move(first));
    EXPECT_EQ(nullptr, first.m_hObject);
    EXPECT_EQ(h, second.m_hObject);
    EXPECT_EQ(h, second.Detach());
    EXPECT_FALSE(second.DeleteObject());
    EXPECT_TRUE(IsLiveGdiObject(h));
    ::DeleteObject(h);
    ::DeleteObject(hLent);
}

TEST(GdiObjectTest, BrushesBitmapsAndFontsAreMadeFromTheirSources)
{
    CDC screen;
    ASSERT_TRUE(screen.CreateCompatibleDC(nullptr));
    CBitmap bitmap;
    CBrush pattern;
    EXPECT_FALSE(pattern.CreatePatternBrush(&bitmap)); // no bitmap: no brush
    EXPECT_EQ(nullptr, pattern.GetSafeHandle());
    ASSERT_TRUE(bitmap.CreateCompatibleBitmap(&screen, 12, 7));
    BITMAP info{};
    ASSERT_NE(0, bitmap.GetBitmap(&info));
    EXPECT_EQ(12, info.bmWidth);
    EXPECT_EQ(7, info.bmHeight);
    EXPECT_TRUE(pattern.CreatePatternBrush(&bitmap));
    EXPECT_EQ(OBJ_BRUSH, ::GetObjectType(pattern.GetSafeHandle()));

    LOGFONTW lf{};
    lf.lfHeight = -13;
    lf.lfUnderline = 1;
    wcscpy(lf.lfFaceName, L"Tahoma");
    CFont font;
    ASSERT_TRUE(font.CreateFontIndirect(&lf));
    LOGFONTW back{};
    ASSERT_NE(0, font.GetLogFont(&back));
    EXPECT_EQ(-13, back.lfHeight);
    EXPECT_EQ(1, back.lfUnderline);
    EXPECT_STREQ(L"Tahoma", back.lfFaceName);

    CBitmap missing;
    EXPECT_FALSE(missing.LoadBitmap(31999));
    EXPECT_EQ(nullptr, missing.GetSafeHandle());
}

TEST(DeviceContextTest, SelectionsAreUndoneAndMemoryDcsDeleted)
{
    HDC hMem = nullptr;
    CBitmap bitmap;
    {
        CDC dc;
        ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
        hMem = dc.m_hDC;
        CClientDC screen(HWND(nullptr)); // a memory DC alone would give a one-bit bitmap
        ASSERT_TRUE(bitmap.CreateCompatibleBitmap(&screen, 4, 4));
        const HGDIOBJ hBefore = ::GetCurrentObject(dc, OBJ_BITMAP);
        {
            CSelectObject select(dc, bitmap);
            EXPECT_EQ(bitmap.m_hObject, ::GetCurrentObject(dc, OBJ_BITMAP));
            EXPECT_EQ(hBefore, select.Old());
            RECT rc{0, 0, 4, 4};
            dc.FillSolidRect(&rc, RGB(200, 10, 20));
            EXPECT_EQ(RGB(200, 10, 20), dc.GetPixel(3, 3));
        }
        EXPECT_EQ(hBefore, ::GetCurrentObject(dc, OBJ_BITMAP));
        // A borrowing CDC leaves the DC alone.
        {
            CDC borrowed(hMem);
        }
        EXPECT_EQ(OBJ_MEMDC, ::GetObjectType(hMem));
    }
    EXPECT_EQ(0u, ::GetObjectType(hMem));
    // The bitmap could be deleted: nothing holds it selected any more.
    EXPECT_TRUE(bitmap.DeleteObject());
}

// Tables searched by hand, without a window.
class CRoot : public CCmdTarget
{
public:
    LRESULT OnA(WPARAM w, LPARAM) { return LRESULT(w) + 100; }
    LRESULT OnB(WPARAM, LPARAM) { return 1; }
    void OnRange() { ++m_nRange; }
    int m_nRange = 0;
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CRoot, CCmdTarget)
ON_MESSAGE(WM_USER + 1, &CRoot::OnA)
ON_MESSAGE(WM_USER + 2, &CRoot::OnB)
ON_COMMAND_RANGE(200, 209, &CRoot::OnRange)
END_MESSAGE_MAP()

class CLeaf : public CRoot
{
public:
    LRESULT OnB(WPARAM, LPARAM) { return 2; }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CLeaf, CRoot)
ON_MESSAGE(WM_USER + 2, &CLeaf::OnB)
END_MESSAGE_MAP()

TEST(MessageTableTest, OwnEntriesFirstThenTheBases)
{
    struct Case
    {
        const char *name;
        UINT nMsg;
        WPARAM wParam;
        BOOL bHandled;
        LRESULT expected;
        int nRange;
    };
    const Case cases[] = {
        {"inherited entry", WM_USER + 1, 5, TRUE, 105, 0},
        {"own entry wins", WM_USER + 2, 0, TRUE, 2, 0},
        {"range, first id", WM_COMMAND, MAKEWPARAM(200, 0), TRUE, 0, 1},
        {"range, last id", WM_COMMAND, MAKEWPARAM(209, 3), TRUE, 0, 1},
        {"outside the range", WM_COMMAND, MAKEWPARAM(210, 0), FALSE, -7, 0},
        {"nobody's message", WM_USER + 3, 0, FALSE, -7, 0},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        CLeaf leaf;
        LRESULT lResult = -7;
        EXPECT_EQ(c.bHandled, leaf.DispatchMessageMap(c.nMsg, c.wParam, 0, &lResult));
        EXPECT_EQ(c.expected, lResult);
        EXPECT_EQ(c.nRange, leaf.m_nRange);
    }
    EXPECT_EQ(CRoot::GetThisMessageMap(), CLeaf::GetThisMessageMap()->pfnGetBaseMap());
}

class CTestApp : public CWinApp
{
public:
    explicit CTestApp(BOOL bInit) : m_bInit(bInit) {}
    BOOL InitInstance() override
    {
        ++m_nInit;
        if (m_bInit)
            ::PostQuitMessage(7);
        return m_bInit;
    }
    BOOL m_bInit;
    int m_nInit = 0;
};

TEST(ApplicationTest, EntryRunsInitInstanceAndTheLoopOnlyWhenAsked)
{
    EXPECT_EQ(-1, AfxWinMain(nullptr, nullptr, nullptr, SW_SHOW)); // no application object
    {
        CTestApp app(FALSE);
        EXPECT_EQ(&app, AfxGetApp());
        EXPECT_STREQ(L"framework_tests", app.m_pszAppName);
        EXPECT_STREQ(L"framework_tests", AfxGetAppName());
        EXPECT_EQ(0, AfxWinMain(nullptr, nullptr, nullptr, SW_SHOW));
        EXPECT_EQ(1, app.m_nInit);
        EXPECT_EQ(nullptr, app.m_pszRegistryKey);
        app.SetRegistryKey(L"应用程序");
        EXPECT_STREQ(L"应用程序", app.m_pszRegistryKey);
    }
    EXPECT_EQ(nullptr, AfxGetApp());
    {
        // TRUE: the message loop runs until WM_QUIT and its code is the exit code.
        CTestApp app(TRUE);
        EXPECT_EQ(7, AfxWinMain(nullptr, nullptr, nullptr, SW_SHOW));
        EXPECT_EQ(1, app.m_nInit);
    }
    CWinApp named(L"Named");
    EXPECT_STREQ(L"Named", AfxGetAppName());
    EXPECT_EQ(::GetModuleHandleW(nullptr), AfxGetInstanceHandle());
}
} // namespace
