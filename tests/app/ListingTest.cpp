// Folder listing: full paths of files and sub-folders, in the file system's order.
#include "app/FendralDlg.h"
#include "tests/support/TempFolder.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{
std::vector<std::wstring> Items(const CStringArray &arr)
{
    std::vector<std::wstring> items;
    for (int i = 0; i < arr.GetSize(); ++i)
        items.push_back(arr[i].Str());
    return items;
}

// The raw entry names of one folder in the order FindNextFileW returns them, dots left out.
std::vector<std::wstring> RawOrder(const CString &strFolder, bool bDirectories)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(strFolder + L"*", &data);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do
    {
        std::wstring name = data.cFileName;
        bool bDir = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (name != L"." && name != L".." && bDir == bDirectories)
            names.push_back(strFolder.Str() + name);
    } while (FindNextFileW(h, &data));
    FindClose(h);
    return names;
}

struct Tree
{
    CTempFolder temp;
    CString strRoot;
    Tree()
    {
        strRoot = temp.MakeFolder(L"root");
        temp.Write(L"root\\f.ts", "f");
        temp.Write(L"root\\list.m3u8", "#EXTM3U");
        temp.Write(L"root\\B\\g.ts", "g");
        temp.Write(L"root\\B\\C\\h.m3u8", "h");
        temp.MakeFolder(L"root\\sub.m3u8");
        CString strHidden = temp.Write(L"root\\.hidden", "x");
        SetFileAttributesW(strHidden, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    }
    CString operator/(const wchar_t *pszRelative) const { return strRoot + L"\\" + pszRelative; }
};
} // namespace

TEST(ListDirectory, DirectEntriesOnlyWithoutTheFlag)
{
    Tree tree;
    // With and without a closing backslash the same folder gives the same single-separator paths.
    for (const CString &strDir : {tree.strRoot, tree.strRoot + L"\\"})
    {
        CFendralDlg dlg;
        CStringArray arrFiles, arrDirs;
        dlg.ListDirectory(strDir, arrFiles, arrDirs, FALSE);
        EXPECT_EQ(Items(arrFiles), RawOrder(tree.strRoot + L"\\", false)) << StringToUtf8(strDir);
        EXPECT_EQ(Items(arrDirs), RawOrder(tree.strRoot + L"\\", true)) << StringToUtf8(strDir);

        std::vector<std::wstring> files = Items(arrFiles), dirs = Items(arrDirs);
        std::sort(files.begin(), files.end());
        std::sort(dirs.begin(), dirs.end());
        // Hidden and system files count; a folder named like a playlist is a folder.
        EXPECT_EQ(files, (std::vector<std::wstring>{(tree / L".hidden").Str(), (tree / L"f.ts").Str(),
                                                    (tree / L"list.m3u8").Str()}));
        EXPECT_EQ(dirs, (std::vector<std::wstring>{(tree / L"B").Str(), (tree / L"sub.m3u8").Str()}));
    }
}

TEST(ListDirectory, RecursionIsDepthFirstEachFolderBeforeItsContents)
{
    Tree tree;
    CFendralDlg dlg;
    CStringArray arrFiles, arrDirs;
    dlg.ListDirectory(tree.strRoot, arrFiles, arrDirs, TRUE);

    // Expected order built from the raw enumeration of every level.
    std::vector<std::wstring> files, dirs;
    std::function<void(const std::wstring &)> walk = [&](const std::wstring &folder) {
        WIN32_FIND_DATAW data;
        HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &data);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        do
        {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            {
                dirs.push_back(folder + L"\\" + name);
                walk(folder + L"\\" + name);
            }
            else
            {
                files.push_back(folder + L"\\" + name);
            }
        } while (FindNextFileW(h, &data));
        FindClose(h);
    };
    walk(tree.strRoot.Str());

    EXPECT_EQ(Items(arrFiles), files);
    EXPECT_EQ(Items(arrDirs), dirs);
    EXPECT_EQ(arrFiles.GetSize(), 5);
    EXPECT_EQ(arrDirs.GetSize(), 3);
    std::vector<std::wstring> listed = Items(arrDirs);
    auto posB = std::find(listed.begin(), listed.end(), (tree / L"B").Str());
    auto posC = std::find(listed.begin(), listed.end(), (tree / L"B\\C").Str());
    ASSERT_NE(posB, listed.end());
    ASSERT_NE(posC, listed.end());
    EXPECT_LT(posB, posC);
}

TEST(ListDirectory, NothingListableLeavesTheListsAsTheyWere)
{
    Tree tree;
    const CString cases[] = {
        tree / L"missing",
        tree / L"f.ts",
        tree.temp / L"root\\B\\g.ts\\",
        tree.strRoot + CString(L'x', 260),
    };
    for (const CString &strDir : cases)
    {
        CFendralDlg dlg;
        CStringArray arrFiles, arrDirs;
        arrFiles.Add(L"earlier file");
        arrDirs.Add(L"earlier folder");
        dlg.ListDirectory(strDir, arrFiles, arrDirs, TRUE);
        EXPECT_EQ(Items(arrFiles), std::vector<std::wstring>{L"earlier file"}) << StringToUtf8(strDir);
        EXPECT_EQ(Items(arrDirs), std::vector<std::wstring>{L"earlier folder"}) << StringToUtf8(strDir);
    }
}

TEST(ListDirectory, AppendsAfterEntriesAlreadyThere)
{
    Tree tree;
    CFendralDlg dlg;
    CStringArray arrFiles, arrDirs;
    arrFiles.Add(L"first");
    arrDirs.Add(L"second");
    dlg.ListDirectory(tree / L"B", arrFiles, arrDirs, FALSE);
    EXPECT_EQ(Items(arrFiles), (std::vector<std::wstring>{L"first", (tree / L"B\\g.ts").Str()}));
    EXPECT_EQ(Items(arrDirs), (std::vector<std::wstring>{L"second", (tree / L"B\\C").Str()}));

    // A second listing of another folder goes behind the first.
    dlg.ListDirectory(tree / L"B\\C", arrFiles, arrDirs, FALSE);
    EXPECT_EQ(Items(arrFiles), (std::vector<std::wstring>{L"first", (tree / L"B\\g.ts").Str(),
                                                          (tree / L"B\\C\\h.m3u8").Str()}));
    EXPECT_EQ(arrDirs.GetSize(), 2);
}
