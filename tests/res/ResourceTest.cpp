// tests/res/ResourceTest.cpp
// Reads the compiled resources back from this executable: what windres wrote is what the
// dialogs will be built from, so the templates are checked field by field.
#include "res/resource.h"

// windows.h first: commctrl.h needs its types.
#include <windows.h>
// Test framework, common controls and the standard library.
#include <algorithm>
#include <commctrl.h>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace
{
const WORD kLanguage = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);

std::string Narrow(const std::wstring &text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
    return out;
}

struct RawResource
{
    const BYTE *data = nullptr;
    DWORD size = 0;
};

RawResource FindRaw(LPCWSTR type, WORD id)
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceExW(module, type, MAKEINTRESOURCEW(id), kLanguage);
    if (!found)
        return {};
    HGLOBAL loaded = LoadResource(module, found);
    return {static_cast<const BYTE *>(LockResource(loaded)), SizeofResource(module, found)};
}

// Reads a DLGTEMPLATEEX and its items; every read is bounds-checked so a broken template
// fails the test instead of crashing it.
class CTemplateReader
{
public:
    explicit CTemplateReader(RawResource raw) : m_raw(raw) {}

    bool Failed() const { return m_bFailed; }

    template <class T> T Read()
    {
        T value{};
        if (m_nPos + sizeof(T) > m_raw.size)
        {
            m_bFailed = true;
            return value;
        }
        std::memcpy(&value, m_raw.data + m_nPos, sizeof(T));
        m_nPos += sizeof(T);
        return value;
    }

    std::wstring ReadString()
    {
        std::wstring text;
        for (WCHAR c = Read<WCHAR>(); c != 0 && !m_bFailed; c = Read<WCHAR>())
            text += c;
        return text;
    }

    // A name or an ordinal; an ordinal comes back as "#n".
    std::wstring ReadNameOrOrdinal()
    {
        WORD first = Read<WORD>();
        if (first == 0xFFFF)
            return L"#" + std::to_wstring(Read<WORD>());
        if (first == 0)
            return L"";
        std::wstring text(1, static_cast<WCHAR>(first));
        return text + ReadString();
    }

    void AlignToDword() { m_nPos = (m_nPos + 3) & ~size_t(3); }

private:
    RawResource m_raw;
    size_t m_nPos = 0;
    bool m_bFailed = false;
};

struct DialogItem
{
    DWORD exStyle;
    DWORD style;
    short x, y, cx, cy;
    DWORD id;
    std::wstring cls;
    std::wstring text;
};

struct DialogTemplate
{
    WORD version = 0, signature = 0;
    DWORD exStyle = 0, style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring menu, cls, caption;
    WORD pointSize = 0;
    std::wstring face;
    std::vector<DialogItem> items;
    bool valid = false;
};

// The predefined window classes are stored as ordinals 0x80 to 0x85.
std::wstring ClassName(const std::wstring &stored)
{
    static const std::pair<const wchar_t *, const wchar_t *> ordinals[] = {
        {L"#128", L"Button"},  {L"#129", L"Edit"},      {L"#130", L"Static"},
        {L"#131", L"ListBox"}, {L"#132", L"ScrollBar"}, {L"#133", L"ComboBox"}};
    for (const auto &o : ordinals)
    {
        if (stored == o.first)
            return o.second;
    }
    return stored;
}

DialogTemplate ReadDialog(WORD id)
{
    DialogTemplate t;
    RawResource raw = FindRaw(RT_DIALOG, id);
    if (!raw.data)
        return t;
    CTemplateReader r(raw);
    t.version = r.Read<WORD>();
    t.signature = r.Read<WORD>();
    if (t.version != 1 || t.signature != 0xFFFF)
        return t;
    r.Read<DWORD>(); // help id
    t.exStyle = r.Read<DWORD>();
    t.style = r.Read<DWORD>();
    WORD count = r.Read<WORD>();
    t.x = r.Read<short>();
    t.y = r.Read<short>();
    t.cx = r.Read<short>();
    t.cy = r.Read<short>();
    t.menu = r.ReadNameOrOrdinal();
    t.cls = r.ReadNameOrOrdinal();
    t.caption = r.ReadString();
    if (t.style & (DS_SETFONT | DS_SHELLFONT))
    {
        t.pointSize = r.Read<WORD>();
        r.Read<WORD>(); // weight
        r.Read<BYTE>(); // italic
        r.Read<BYTE>(); // charset
        t.face = r.ReadString();
    }
    for (WORD i = 0; i < count && !r.Failed(); ++i)
    {
        r.AlignToDword();
        DialogItem item;
        r.Read<DWORD>(); // help id
        item.exStyle = r.Read<DWORD>();
        item.style = r.Read<DWORD>();
        item.x = r.Read<short>();
        item.y = r.Read<short>();
        item.cx = r.Read<short>();
        item.cy = r.Read<short>();
        item.id = r.Read<DWORD>();
        item.cls = ClassName(r.ReadNameOrOrdinal());
        item.text = r.ReadNameOrOrdinal();
        WORD extra = r.Read<WORD>();
        for (WORD k = 0; k < extra; ++k)
            r.Read<BYTE>();
        t.items.push_back(item);
    }
    t.valid = !r.Failed();
    return t;
}

struct ExpectedItem
{
    DWORD id;
    const wchar_t *cls;
    DWORD style; // WS_CHILD | WS_VISIBLE are added below
    short x, y, cx, cy;
    const wchar_t *text;
};

void ExpectItems(const DialogTemplate &t, const std::vector<ExpectedItem> &expected)
{
    ASSERT_EQ(t.items.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
    {
        const DialogItem &got = t.items[i];
        const ExpectedItem &want = expected[i];
        SCOPED_TRACE("control #" + std::to_string(i) + " id " + std::to_string(want.id));
        EXPECT_EQ(got.id, want.id);
        EXPECT_EQ(CompareStringOrdinal(got.cls.c_str(), -1, want.cls, -1, TRUE), CSTR_EQUAL)
            << Narrow(got.cls);
        EXPECT_EQ(got.style, want.style | WS_CHILD | WS_VISIBLE) << std::hex << got.style;
        EXPECT_EQ(got.exStyle, 0u);
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
        EXPECT_EQ(got.cx, want.cx);
        EXPECT_EQ(got.cy, want.cy);
        EXPECT_EQ(Narrow(got.text), Narrow(want.text));
    }
}

const DWORD kLabel = SS_LEFT | WS_GROUP;
const DWORD kLink = SS_LEFT | SS_NOTIFY | WS_GROUP;
const DWORD kEdit = ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
const DWORD kPush = BS_PUSHBUTTON | WS_TABSTOP;
const DWORD kRadio = BS_AUTORADIOBUTTON;
const DWORD kCheck = BS_AUTOCHECKBOX | WS_TABSTOP;
const DWORD kList = LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER | WS_TABSTOP;

const std::vector<ExpectedItem> &MainControls()
{
    static const std::vector<ExpectedItem> items = {
        {IDC_STATIC_INPUT, L"Static", kLabel, 10, 39, 245, 10, L"M3U8文件本地文件路径或网址："},
        {IDC_STATIC_OUTPUT, L"Static", kLabel, 10, 80, 60, 10, L"输 出 文 件："},
        {IDC_EDIT_OUTPUT, L"Edit", kEdit, 71, 77, 289, 15, L""},
        {IDC_BUTTON_BROWSE_OUTPUT, L"Button", kPush, 367, 76, 63, 15, L"浏览"},
        {IDC_PROGRESS, L"msctls_progress32", WS_BORDER, 7, 125, 424, 15, L""},
        {IDC_BUTTON_START, L"Button", kPush, 262, 153, 80, 25, L"开始合并"},
        {IDC_BUTTON_STOP, L"Button", kPush, 351, 152, 80, 25, L"停止"},
        {IDC_STATIC_INFO, L"Static", kLabel, 9, 184, 430, 10, L"信息："},
        {IDC_LIST_INFO, L"ListBox", kList, 7, 199, 426, 98, L""},
        {IDC_BUTTON_BROWSE_INPUT, L"Button", kPush, 367, 54, 63, 15, L"浏览"},
        {IDC_EDIT_INPUT, L"Edit", kEdit, 7, 55, 354, 15, L""},
        {IDC_STATIC_SAVEDIR, L"Static", kLabel, 10, 105, 57, 8, L"默认保存路径："},
        {IDC_EDIT_SAVEDIR, L"Edit", kEdit, 71, 99, 289, 15, L""},
        {IDC_BUTTON_BROWSE_SAVEDIR, L"Button", kPush, 367, 98, 63, 15, L"浏览"},
        {IDC_RADIO_SINGLE, L"Button", kRadio, 7, 15, 120, 10, L"合并单个本地或远程M3U8视频"},
        {IDC_RADIO_BATCH, L"Button", kRadio, 143, 16, 136, 10, L"批量合并多个本地或远程M3U8视频"},
        {IDC_CHECK_DELETE_SOURCE, L"Button", kCheck, 7, 160, 216, 10,
         L"批量合并本地M3U8视频时合并成功后删除源M3U8视频目录"},
        {IDC_LIST_RESULT, L"ListBox", kList, 8, 320, 426, 98, L""},
        {IDC_STATIC_RESULT, L"Static", kLabel, 9, 306, 25, 8, L"结果："},
        {IDC_CHECK_SHOW_SUCCESS, L"Button", kCheck, 57, 303, 80, 10, L"显示合并成功信息"},
        {IDC_CHECK_SHOW_FAILURE, L"Button", kCheck, 157, 303, 80, 10, L"显示合并失败信息"},
        {IDC_LINK_URL, L"Static", kLink, 337, 27, 95, 13, L"https://fendral.example"},
        {IDC_LINK_TEXT, L"Static", kLink, 301, 10, 129, 8, L"访问 Fendral 网站获取更多软件"},
    };
    return items;
}

struct WindowCloser
{
    void operator()(HWND hwnd) const { DestroyWindow(hwnd); }
};
using CWindowPtr = std::unique_ptr<std::remove_pointer_t<HWND>, WindowCloser>;

INT_PTR CALLBACK QuietDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}
} // namespace

TEST(ResourceDialog, MainTemplateMatchesTheLayout)
{
    DialogTemplate t = ReadDialog(IDD_FENDRAL_DIALOG);
    ASSERT_TRUE(t.valid);
    EXPECT_EQ(t.style,
              DWORD(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME | DS_SETFONT));
    EXPECT_EQ(t.exStyle, 0u);
    EXPECT_EQ(t.cx, 440);
    EXPECT_EQ(t.cy, 431);
    EXPECT_TRUE(t.menu.empty());
    EXPECT_TRUE(t.cls.empty());
    EXPECT_EQ(Narrow(t.caption), "Fendral");
    EXPECT_EQ(t.pointSize, 9);
    EXPECT_EQ(Narrow(t.face), "宋体");
    ExpectItems(t, MainControls());
}

TEST(ResourceDialog, MainTemplateHasNoOkCancelOrDefaultButton)
{
    // Enter and Esc must reach the dialog's own OK and cancel handling, not a button.
    DialogTemplate t = ReadDialog(IDD_FENDRAL_DIALOG);
    ASSERT_TRUE(t.valid);
    std::set<DWORD> ids;
    for (const DialogItem &item : t.items)
    {
        EXPECT_NE(item.id, DWORD(IDOK));
        EXPECT_NE(item.id, DWORD(IDCANCEL));
        if (CompareStringOrdinal(item.cls.c_str(), -1, L"Button", -1, TRUE) == CSTR_EQUAL)
        {
            EXPECT_NE(item.style & BS_TYPEMASK, DWORD(BS_DEFPUSHBUTTON)) << item.id;
        }
        EXPECT_TRUE(ids.insert(item.id).second) << "duplicate id " << item.id;
    }
    // The first tab stop gets the focus at start: the output box.
    auto first = std::find_if(t.items.begin(), t.items.end(),
                              [](const DialogItem &item) { return (item.style & WS_TABSTOP) != 0; });
    ASSERT_NE(first, t.items.end());
    EXPECT_EQ(first->id, DWORD(IDC_EDIT_OUTPUT));
}

TEST(ResourceDialog, AboutTemplateMatchesTheLayout)
{
    DialogTemplate t = ReadDialog(IDD_ABOUTBOX);
    ASSERT_TRUE(t.valid);
    EXPECT_EQ(t.style, DWORD(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS));
    EXPECT_EQ(t.exStyle, 0u);
    EXPECT_EQ(t.cx, 243);
    EXPECT_EQ(t.cy, 120);
    EXPECT_EQ(Narrow(t.caption), "关于 Fendral");
    EXPECT_EQ(t.pointSize, 9);
    EXPECT_EQ(Narrow(t.face), "MS Shell Dlg");
    const DWORD none = DWORD(-1);
    ASSERT_EQ(t.items.size(), 5u);
    // The label beside the icon is ours to word; only its place and style are fixed.
    std::wstring ownLabel = t.items[1].text;
    EXPECT_FALSE(ownLabel.empty());
    ExpectItems(t, {
                       {none, L"Static", SS_ICON, 14, 14, 20, 20, L"#128"},
                       {none, L"Static", SS_LEFT | SS_NOPREFIX | WS_GROUP, 42, 14, 160, 8, ownLabel.c_str()},
                       {IDOK, L"Button", BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP, 186, 99, 50, 14, L"确定"},
                       {none, L"Static", SS_LEFT | WS_GROUP, 43, 51, 114, 8, L"更新时间：2026/9/7"},
                       {none, L"Static", SS_LEFT | WS_GROUP, 43, 70, 114, 8, L"软件版本：1.24"},
                   });
}

TEST(ResourceDialog, BothTemplatesCreateEveryControl)
{
    INITCOMMONCONTROLSEX init = {sizeof(init), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&init);
    HINSTANCE module = GetModuleHandleW(nullptr);

    CWindowPtr main(
        CreateDialogParamW(module, MAKEINTRESOURCEW(IDD_FENDRAL_DIALOG), nullptr, QuietDialogProc, 0));
    ASSERT_TRUE(main) << GetLastError();
    WCHAR text[128] = {};
    GetWindowTextW(main.get(), text, 128);
    EXPECT_EQ(Narrow(text), "Fendral");
    for (const ExpectedItem &item : MainControls())
    {
        HWND control = GetDlgItem(main.get(), item.id);
        ASSERT_NE(control, nullptr) << item.id;
        WCHAR cls[64] = {};
        GetClassNameW(control, cls, 64);
        EXPECT_EQ(CompareStringOrdinal(cls, -1, item.cls, -1, TRUE), CSTR_EQUAL) << item.id;
        GetWindowTextW(control, text, 128);
        if (CompareStringOrdinal(item.cls, -1, L"Edit", -1, TRUE) != CSTR_EQUAL)
        {
            EXPECT_EQ(Narrow(text), Narrow(item.text)) << item.id;
        }
    }

    CWindowPtr about(CreateDialogParamW(module, MAKEINTRESOURCEW(IDD_ABOUTBOX), nullptr, QuietDialogProc, 0));
    ASSERT_TRUE(about) << GetLastError();
    GetWindowTextW(about.get(), text, 128);
    EXPECT_EQ(Narrow(text), "关于 Fendral");
    HWND icon = FindWindowExW(about.get(), nullptr, L"Static", nullptr);
    ASSERT_NE(icon, nullptr);
    EXPECT_NE(SendMessageW(icon, STM_GETICON, 0, 0), 0);
}

TEST(ResourceString, AboutItemTextInChinese)
{
    EXPECT_NE(FindRaw(RT_STRING, IDS_ABOUTBOX / 16 + 1).data, nullptr);
    const wchar_t *expected = L"关于 Fendral(&A)...";
    WCHAR text[64] = {};
    int n = LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUTBOX, text, 64);
    EXPECT_EQ(n, int(wcslen(expected)));
    EXPECT_EQ(Narrow(text), Narrow(expected));
}

TEST(ResourceBitmap, BackgroundIsLarge24BitUncompressedAndLight)
{
    RawResource raw = FindRaw(RT_BITMAP, IDB_BACKGROUND);
    ASSERT_NE(raw.data, nullptr);
    ASSERT_GE(raw.size, sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER header;
    std::memcpy(&header, raw.data, sizeof(header));
    EXPECT_EQ(header.biWidth, 700);
    EXPECT_EQ(header.biHeight, 900);
    EXPECT_EQ(header.biBitCount, 24);
    EXPECT_EQ(header.biCompression, DWORD(BI_RGB));
    const size_t stride = (700 * 3 + 3) & ~size_t(3);
    ASSERT_GE(raw.size, header.biSize + stride * 900);

    // Black text must stay readable anywhere on it.
    const BYTE *pixels = raw.data + header.biSize;
    int darkest = 255;
    for (size_t i = 0; i < stride * 900; ++i)
        darkest = std::min<int>(darkest, pixels[i]);
    EXPECT_GE(darkest, 200);

    HBITMAP bitmap =
        static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_BACKGROUND),
                                        IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ASSERT_NE(bitmap, nullptr);
    DIBSECTION dib = {};
    EXPECT_EQ(GetObjectW(bitmap, sizeof(dib), &dib), int(sizeof(dib)));
    EXPECT_EQ(dib.dsBm.bmWidth, 700);
    EXPECT_EQ(dib.dsBm.bmHeight, 900);
    EXPECT_EQ(dib.dsBm.bmBitsPixel, 24);
    DeleteObject(bitmap);
}

TEST(ResourceIcon, GroupHoldsTenImagesThatLoad)
{
#pragma pack(push, 2)
    struct GroupEntry
    {
        BYTE width, height, colours, reserved;
        WORD planes, bitCount;
        DWORD bytes;
        WORD id;
    };
#pragma pack(pop)
    RawResource raw = FindRaw(RT_GROUP_ICON, IDR_MAINFRAME);
    ASSERT_NE(raw.data, nullptr);
    ASSERT_GE(raw.size, 6u);
    WORD header[3];
    std::memcpy(header, raw.data, sizeof(header));
    EXPECT_EQ(header[1], 1); // icons, not cursors
    ASSERT_EQ(header[2], 10);
    ASSERT_GE(raw.size, 6 + 10 * sizeof(GroupEntry));

    std::set<std::pair<int, int>> formats;
    for (int i = 0; i < 10; ++i)
    {
        GroupEntry entry;
        std::memcpy(&entry, raw.data + 6 + i * sizeof(GroupEntry), sizeof(entry));
        int size = entry.width ? entry.width : 256;
        EXPECT_EQ(entry.width, entry.height);
        formats.insert({size, entry.bitCount});

        RawResource image = FindRaw(RT_ICON, entry.id);
        ASSERT_NE(image.data, nullptr) << entry.id;
        EXPECT_EQ(image.size, entry.bytes);
        if (size == 256)
        {
            // Large images are stored as PNG.
            ASSERT_GE(image.size, 8u);
            EXPECT_EQ(std::memcmp(image.data, "\x89PNG\r\n\x1a\n", 8), 0);
            continue;
        }
        BITMAPINFOHEADER dib;
        ASSERT_GE(image.size, sizeof(dib));
        std::memcpy(&dib, image.data, sizeof(dib));
        EXPECT_EQ(dib.biWidth, size);
        EXPECT_EQ(dib.biHeight, 2 * size); // colour rows and mask rows
        EXPECT_EQ(dib.biBitCount, entry.bitCount);
        HICON icon = CreateIconFromResourceEx(const_cast<BYTE *>(image.data), image.size, TRUE, 0x00030000,
                                              size, size, 0);
        EXPECT_NE(icon, nullptr) << size << "px " << entry.bitCount << "-bit";
        if (icon)
            DestroyIcon(icon);
    }
    std::set<std::pair<int, int>> wanted;
    for (int size : {16, 32, 48})
    {
        for (int bits : {4, 8, 32})
            wanted.insert({size, bits});
    }
    wanted.insert({256, 32});
    EXPECT_EQ(formats, wanted);

    for (int size : {16, 32, 48})
    {
        HICON icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME),
                                                   IMAGE_ICON, size, size, 0));
        ASSERT_NE(icon, nullptr) << size;
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP bm = {};
        GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bm), &bm);
        EXPECT_EQ(bm.bmWidth, size);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
}
