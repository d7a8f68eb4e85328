// tests/support/TempFolder.cpp
#include "tests/support/TempFolder.h"

#include <atomic>

namespace
{
std::atomic<int> g_counter{0};

void MakeFolders(const CString &strFolder)
{
    // Creates every missing level; existing ones are fine.
    for (int i = 3; i <= strFolder.GetLength(); ++i)
    {
        if (i == strFolder.GetLength() || strFolder[i] == L'\\')
            CreateDirectoryW(strFolder.Left(i), nullptr);
    }
}
} // namespace

CTempFolder::CTempFolder()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    m_strPath.Format(L"%sfendral_test_%lu_%d\\", temp, GetCurrentProcessId(), g_counter++);
    RemoveTree(m_strPath);
    MakeFolders(m_strPath);
}

CTempFolder::~CTempFolder()
{
    RemoveTree(m_strPath);
}

CString CTempFolder::Write(const CString &strRelative, const std::string &bytes) const
{
    CString path = m_strPath + strRelative;
    int slash = path.ReverseFind(L'\\');
    MakeFolders(path.Left(slash));
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE)
    {
        DWORD written = 0;
        WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr);
        CloseHandle(h);
    }
    return path;
}

CString CTempFolder::MakeFolder(const CString &strRelative) const
{
    CString path = m_strPath + strRelative;
    MakeFolders(path);
    return path;
}

bool FileExists(const CString &strPath)
{
    DWORD a = GetFileAttributesW(strPath);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const CString &strPath)
{
    DWORD a = GetFileAttributesW(strPath);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadAll(const CString &strPath)
{
    std::string out;
    HANDLE h = CreateFileW(strPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0)
        out.append(buf, got);
    CloseHandle(h);
    return out;
}

void RemoveTree(const CString &strPath)
{
    CString folder = strPath;
    folder.TrimRight(L'\\');
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(folder + L"\\*", &fd);
    if (h != INVALID_HANDLE_VALUE)
    {
        do
        {
            CString name = fd.cFileName;
            if (name == L"." || name == L"..")
                continue;
            CString child = folder + L"\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
            {
                SetFileAttributesW(child, FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child);
            }
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryW(folder);
}
