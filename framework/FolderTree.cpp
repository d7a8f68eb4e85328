// framework/FolderTree.cpp
#include "framework/FolderTree.h"

#include "framework/FileFind.h"
#include "framework/PathName.h"

namespace
{
// The entry itself, not what a link names; a handle's deletion takes exactly the file it resolved to.
class CEntryHandle
{
public:
    CEntryHandle(const CString &strPath, DWORD dwAccess)
        : m_h(CreateFileW(strPath, dwAccess, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr))
    {
    }
    ~CEntryHandle()
    {
        if (m_h != INVALID_HANDLE_VALUE)
            CloseHandle(m_h);
    }
    CEntryHandle(const CEntryHandle &) = delete;
    CEntryHandle &operator=(const CEntryHandle &) = delete;

    // The handle is at this final path. Where a link cannot be opened as itself (Wine opens what a Unix
    // link names), the handle lands elsewhere, and what it holds is not the folder's to delete.
    bool IsAt(const CString &strKey) const
    {
        return m_h != INVALID_HANDLE_VALUE && IsSameName(HandlePathName(m_h), strKey);
    }
    DWORD Attributes() const
    {
        FILE_BASIC_INFO info = {};
        if (!GetFileInformationByHandleEx(m_h, FileBasicInfo, &info, sizeof(info)))
            return INVALID_FILE_ATTRIBUTES;
        return info.FileAttributes;
    }
    bool MarkForDeletion() const
    {
        FILE_DISPOSITION_INFO disposition = {TRUE};
        return SetFileInformationByHandle(m_h, FileDispositionInfo, &disposition, sizeof(disposition)) !=
               FALSE;
    }

private:
    HANDLE m_h;
};

bool DeleteEntry(const CString &strPath, const CString &strOuterKey);

// strKey: the folder's final path with a closing backslash. True when nothing is left in it.
bool DeleteContents(const CString &strFolder, const CString &strKey)
{
    bool bEmptied = true;
    CFileFind finder;
    BOOL bWorking = finder.FindFile(strFolder + L"\\*");
    while (bWorking)
    {
        bWorking = finder.FindNextFile();
        if (!finder.IsDots() && !DeleteEntry(finder.GetFilePath(), strKey))
            bEmptied = false;
    }
    return bEmptied;
}

// strOuterKey: the final path of the folder holding the entry, with a closing backslash.
bool DeleteEntry(const CString &strPath, const CString &strOuterKey)
{
    const CString strKey = strOuterKey + strPath.Mid(strPath.ReverseFind(L'\\') + 1);
    // Looked at without the right to delete first: the listing of a folder would not share that right.
    const CEntryHandle query(strPath, FILE_READ_ATTRIBUTES);
    const DWORD dwAttributes = query.Attributes();
    if (!query.IsAt(strKey) || dwAttributes == INVALID_FILE_ATTRIBUTES)
        return false;
    const bool bLink = (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (!bLink && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) && !DeleteContents(strPath, strKey + L'\\'))
        return false;

    const CEntryHandle entry(strPath, DELETE | FILE_READ_ATTRIBUTES);
    if (!entry.IsAt(strKey))
        return false;
    if (entry.MarkForDeletion())
        return true;
    // The shell deletes read-only entries too. The mark is cleared by path (under Wine no handle that may
    // change attributes opens on a read-only file), which could reach what a link names: never on a link.
    const DWORD dwSettable =
        dwAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                        FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (bLink || !(dwSettable & FILE_ATTRIBUTE_READONLY))
        return false;
    const DWORD dwWritable = dwSettable & ~DWORD(FILE_ATTRIBUTE_READONLY);
    if (!SetFileAttributesW(strPath, dwWritable ? dwWritable : FILE_ATTRIBUTE_NORMAL))
        return false;
    if (entry.MarkForDeletion())
        return true;
    SetFileAttributesW(strPath, dwSettable);
    return false;
}
} // namespace

BOOL DeleteFolderTree(const CString &strFolder)
{
    CString strPath = LongPathName(strFolder);
    while (!strPath.IsEmpty() && strPath[strPath.GetLength() - 1] == L'\\')
        strPath = strPath.Left(strPath.GetLength() - 1);
    const int nSlash = strPath.ReverseFind(L'\\');
    if (nSlash < 0)
        return FALSE;
    // The folder itself may be a link: it is judged against its parent as any entry inside it is.
    CString strParentKey = FinalPathName(strPath.Left(nSlash + 1));
    if (strParentKey.IsEmpty())
        return FALSE;
    if (strParentKey[strParentKey.GetLength() - 1] != L'\\')
        strParentKey += L'\\';
    return DeleteEntry(strPath, strParentKey) ? TRUE : FALSE;
}
