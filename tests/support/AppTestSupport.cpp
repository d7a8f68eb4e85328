#include "tests/support/AppTestSupport.h"

CPickers::CPickers()
{
    AfxSetBrowseForFolderHook([this](const BROWSEINFOW &bi) { return BrowseForFolder(bi); });
    CFileDialog::SetPickHook(
        [this](const CFileDialog &dlg, OPENFILENAMEW &ofn) { return PickFile(dlg, ofn); });
}

CPickers::~CPickers()
{
    AfxSetBrowseForFolderHook(nullptr);
    CFileDialog::SetPickHook(nullptr);
}

void CPickers::AnswerFolder(FolderAnswer answer, const CString &strFolder)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_folderAnswer = answer;
    m_strFolder = strFolder;
}

void CPickers::AnswerFile(const CString &strPath)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_strFile = strPath;
}

std::vector<CFolderRequest> CPickers::FolderRequests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_folderRequests;
}

std::vector<CFileRequest> CPickers::FileRequests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_fileRequests;
}

CString NoSlash(CString strFolder)
{
    strFolder.TrimRight(L'\\');
    return strFolder;
}

PIDLIST_ABSOLUTE CPickers::BrowseForFolder(const BROWSEINFOW &bi)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_folderRequests.push_back({bi.hwndOwner, bi.pidlRoot != nullptr, bi.pszDisplayName != nullptr,
                                bi.lpfn != nullptr, bi.lpszTitle ? bi.lpszTitle : L"<none>", bi.ulFlags});
    switch (m_folderAnswer)
    {
    case FolderAnswer::Path:
        return ILCreateFromPathW(m_strFolder);
    case FolderAnswer::NotFileSystem: {
        PIDLIST_ABSOLUTE pidl = nullptr;
        SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &pidl);
        return pidl;
    }
    case FolderAnswer::Cancel:
        break;
    }
    return nullptr;
}

BOOL CPickers::PickFile(const CFileDialog &dlg, OPENFILENAMEW &ofn)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    CFileRequest request{
        dlg.IsOpenFileDialog(), dlg.IsVistaStyle(), ofn.Flags, ofn.lpstrDefExt ? ofn.lpstrDefExt : L"<none>",
        ofn.lpstrFile,          L"<none>"};
    if (ofn.lpstrFilter)
    {
        const wchar_t *p = ofn.lpstrFilter;
        request.strFilter.clear();
        for (; p[0] != L'\0' || p[1] != L'\0'; ++p)
            request.strFilter.push_back(p[0] == L'\0' ? L'|' : p[0]);
        request.strFilter += L"||";
    }
    m_fileRequests.push_back(request);
    if (m_strFile.IsEmpty())
        return FALSE;
    lstrcpynW(ofn.lpstrFile, m_strFile, static_cast<int>(ofn.nMaxFile));
    return TRUE;
}

namespace
{
std::vector<std::wstring> Names(const CString &strFolder, bool bFolders)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(NoSlash(strFolder) + L"\\*", &data);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do
    {
        const std::wstring name = data.cFileName;
        const bool bFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (bFolder == bFolders && name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(h, &data));
    FindClose(h);
    return names;
}
} // namespace

std::vector<std::wstring> FileNames(const CString &strFolder)
{
    return Names(strFolder, false);
}

std::vector<std::wstring> FolderNames(const CString &strFolder)
{
    return Names(strFolder, true);
}

std::vector<std::wstring> ListTexts(const CMainDialog &ui, int nID)
{
    std::vector<std::wstring> lines;
    for (const CString &s : ui.ListLines(nID))
        lines.push_back(s.Str());
    return lines;
}

std::string Playlist(const std::vector<std::string> &segments, const std::string &head)
{
    std::string text = "#EXTM3U\n#EXT-X-TARGETDURATION:4\n" + head;
    for (const std::string &s : segments)
        text += "#EXTINF:4.0,\n" + s + "\n";
    return text + "#EXT-X-ENDLIST\n";
}

CHttpResponse StalledResponse(const std::string &body, DWORD dwStallMs, size_t nStallAt)
{
    CHttpResponse response;
    response.body = body;
    response.dwStallMidBodyMs = dwStallMs;
    response.nStallAt = nStallAt;
    return response;
}
