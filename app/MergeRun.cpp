// app/MergeRun.cpp: the merge of one playlist and the worker that runs a job list.
#include "app/MergeRun.h"

#include "engine/Decrypt.h"
#include "engine/Fetch.h"
#include "engine/Location.h"
#include "framework/File.h"
#include "framework/PathName.h"

#include <commctrl.h>
#include <cwchar>
#include <exception>
#include <memory>
#include <oleauto.h>
#include <vector>

namespace
{
// The merge holds one segment in a buffer indexed by a 32-bit count.
const ULONGLONG kMaxSegmentBytes = 0xFFFFFFFFull;

// The merge's own test: exact case, so "HTTP://..." is opened as a local path.
bool IsWebSegment(const CString &strSegment)
{
    return IsWebAddress(strSegment, false);
}

// "<temp>\m3u8_temp\", the folder that holds the segment folder.
CString TempRootFolder(const CString &strSegmentFolder)
{
    CString strRoot = strSegmentFolder.Left(strSegmentFolder.GetLength() - 1);
    return strRoot.Left(strRoot.ReverseFind(L'\\') + 1);
}

// Every local file that the merge reads: the output must not be any of them.
bool OutputIsAnInput(const CString &strOutput, const CPlaylist &playlist)
{
    const CFileMatch output(strOutput);
    for (int i = 0; i < playlist.m_arrPlaylistFiles.GetSize(); ++i)
    {
        if (output.Matches(playlist.m_arrPlaylistFiles[i]))
            return true;
    }
    if (!playlist.m_strKeyUri.IsEmpty() && !IsWebAddress(playlist.m_strKeyUri, true) &&
        output.Matches(playlist.m_strKeyUri))
        return true;
    for (int i = 0; i < playlist.m_arrSegments.GetSize(); ++i)
    {
        const CString &strSegment = playlist.m_arrSegments[i];
        if (!IsWebSegment(strSegment) && output.Matches(strSegment))
            return true;
    }
    return false;
}

// Reads a whole segment file into data; throws CFileException on a file error or a segment of 4 GiB
// or more, and std::bad_alloc when the buffer cannot be had.
void ReadWhole(CFile &file, std::vector<unsigned char> &data)
{
    ULONGLONG nLength = file.GetLength();
    if (nLength > kMaxSegmentBytes)
        throw CFileException(CFileException::genericException, ERROR_FILE_TOO_LARGE, file.GetFilePath());
    // The buffer is kept between segments: a fresh zero-filled one per segment costs the page faults and
    // the zeroing of the whole segment again. The read overwrites every byte that the file holds.
    data.resize(static_cast<size_t>(nLength));
    UINT nRead = data.empty() ? 0 : file.Read(data.data(), static_cast<UINT>(nLength));
    // A file that shrank under us: its missing bytes must not go into the video as anything else.
    if (nRead < nLength)
        throw CFileException(CFileException::endOfFile, ERROR_HANDLE_EOF, file.GetFilePath());
}

void WriteAll(CFile &out, const std::vector<unsigned char> &data)
{
    if (!data.empty())
        out.Write(data.data(), static_cast<UINT>(data.size()));
}
} // namespace

void CMergeRun::AddLog(LPCTSTR pszText) const
{
    AppendLogLine(m_hInfo, pszText);
}

bool CMergeRun::MergeOne(CString strInput, CString strOutput)
{
    // A Stop also ends a request in flight; the job then ends as stopped, not as failed.
    const CFetchStopScope stopScope(m_bRunning);
    try
    {
        if (!m_playlist.Load(strInput))
        {
            AddLog(m_bRunning ? L"解析M3U8文件失败" : L"用户中止操作");
            m_playlist.Clear();
            return false;
        }
        const int n = m_playlist.m_arrSegments.GetSize();
        CString strLine;
        strLine.Format(L"找到 %d 个视频片段", n);
        AddLog(strLine);

        const CString strTempFolder = SegmentFolderPath();
        CreateSegmentFolder(strTempFolder);

        if (OutputIsAnInput(strOutput, m_playlist))
        {
            AddLog(L"输出文件不能与输入文件相同");
            m_playlist.Clear();
            return false;
        }

        CFile fileOut;
        if (!fileOut.Open(strOutput, CFile::modeCreate | CFile::modeWrite))
        {
            AddLog(L"创建输出文件失败");
            m_playlist.Clear();
            return false;
        }

        std::vector<unsigned char> key;
        const bool bKeyed = !m_playlist.m_strKeyUri.IsEmpty();
        if (bKeyed)
        {
            DWORD cbKey = 0;
            if (!LoadKeyData(CString(m_playlist.m_strKeyUri), key, &cbKey))
            {
                AddLog(m_bRunning ? L"获取加密密钥失败" : L"用户中止操作");
                m_playlist.Clear();
                return false;
            }
        }

        bool bJobOk = true;
        int nPosSum = 100;
        std::vector<unsigned char> data;
        std::vector<unsigned char> plain;
        for (int i = 0; i < n; ++i)
        {
            if (!m_bRunning)
                break;
            const CString strSegment = m_playlist.GetSegment(i);
            CString strSegFile;
            strSegFile.Format(L"%sseg_%d.ts", strTempFolder.GetString(), i);
            const bool bWeb = IsWebSegment(strSegment);

            if (bWeb)
            {
                strLine.Format(L"下载并合并片段 %d/%d", i + 1, n);
                AddLog(strLine);
                if (!DownloadToFile(strSegment, strSegFile))
                {
                    DeleteFileW(strSegFile);
                    if (m_bRunning)
                        AddLog(L"下载片段失败");
                    bJobOk = false;
                    break;
                }
            }
            else
            {
                strLine.Format(L"合并片段 %d/%d", i + 1, n);
                AddLog(strLine);
            }

            const CString &strSource = bWeb ? strSegFile : strSegment;
            bool bAppended = false;
            try
            {
                CFile fileSeg;
                if (fileSeg.Open(strSource, CFile::modeRead | CFile::typeBinary))
                {
                    ReadWhole(fileSeg, data);
                    if (bKeyed)
                    {
                        std::vector<unsigned char> iv = m_playlist.GetSegmentIV(i);
                        if (DecryptAes128Cbc(key, iv, data, plain))
                            WriteAll(fileOut, plain);
                        else
                        {
                            bJobOk = false;
                            WriteAll(fileOut, data);
                        }
                    }
                    else
                        WriteAll(fileOut, data);
                    fileSeg.Close();
                    bAppended = true;
                }
            }
            catch (const std::exception &)
            {
                // A file error, or a buffer that cannot be had (bad_alloc, or length_error for a segment
                // beyond what a 32-bit process can address). Give back what the segment held.
                std::vector<unsigned char>().swap(data);
                std::vector<unsigned char>().swap(plain);
            }

            if (bWeb)
                DeleteFileW(strSegFile);
            if (!bAppended)
            {
                AddLog(L"合并片段失败");
                bJobOk = false;
                break;
            }

            SendMessageW(m_hProgress, PBM_SETPOS, static_cast<WPARAM>(nPosSum / n), 0);
            nPosSum += 100;
        }
        std::vector<unsigned char>().swap(data);
        std::vector<unsigned char>().swap(plain);

        try
        {
            fileOut.Close();
        }
        catch (const CFileException &)
        {
            // The last bytes may not have reached the disk: the video is not whole.
            AddLog(L"写入输出文件失败");
            bJobOk = false;
        }
        m_playlist.Clear();

        if (!m_bRunning)
        {
            AddLog(L"用户中止操作");
            return false;
        }
        if (!bJobOk)
        {
            AddLog(L"视频合并失败");
            return false;
        }
        AddLog(L"视频合并完成！");
        RemoveSegmentFolder(strTempFolder);
        return true;
    }
    catch (...)
    {
        // Out of memory for a string or list line, or a file error outside a segment: the job fails,
        // the run goes on. The output file has closed itself on the way out.
        m_playlist.Clear();
        AddLog(m_bRunning ? L"视频合并失败" : L"用户中止操作");
        return false;
    }
}

CString SegmentFolderPath()
{
    wchar_t szBase[MAX_PATH] = {};
    DWORD n = GetTempPathW(MAX_PATH, szBase);
    // A path that does not fit is not to be trusted. Beside the program instead: unlike the current
    // folder, that place does not move while the program runs.
    if (n == 0 || n >= MAX_PATH)
    {
        n = GetModuleFileNameW(nullptr, szBase, MAX_PATH);
        wchar_t *pSlash = n > 0 && n < MAX_PATH ? wcsrchr(szBase, L'\\') : nullptr;
        if (pSlash)
            pSlash[1] = L'\0';
        else
            szBase[0] = L'\0';
    }
    // A folder of this process's own: another running copy downloads its own seg_0.ts.
    CString strFolder;
    strFolder.Format(L"%sm3u8_temp\\%lu\\", szBase, GetCurrentProcessId());
    return strFolder;
}

void CreateSegmentFolder(const CString &strSegmentFolder)
{
    CreateDirectoryW(TempRootFolder(strSegmentFolder), nullptr);
    CreateDirectoryW(strSegmentFolder, nullptr);
}

void RemoveSegmentFolder(const CString &strSegmentFolder)
{
    // Each fails, as intended, while anything is left in it.
    RemoveDirectoryW(strSegmentFolder);
    RemoveDirectoryW(TempRootFolder(strSegmentFolder));
}

namespace
{
void RunJobs(CMergeRun &run)
{
    const int n = run.m_arrJobs.GetSize();
    for (int i = 0; n > 0 && i < run.m_arrJobs.GetSize(); i += 2)
    {
        if (!run.m_bRunning)
            break;
        const CString strInput = run.m_arrJobs.GetAt(i);
        const CString strOutput = i + 1 < run.m_arrJobs.GetSize() ? run.m_arrJobs.GetAt(i + 1) : CString();
        const bool bMerged = run.MergeOne(strInput, strOutput);

        BSTR bstrInput = SysAllocStringLen(strInput, static_cast<UINT>(strInput.GetLength()));
        // A post to a window that is gone fails; the string is then still ours to free. A null window
        // would post to this thread's own queue, where nobody frees it.
        if (!run.m_hDlg || !PostMessageW(run.m_hDlg, WM_MERGE_ITEM_DONE, bMerged ? 1 : 0,
                                         reinterpret_cast<LPARAM>(bstrInput)))
            SysFreeString(bstrInput);

        if (i != n - 2)
            SendMessageW(run.m_hInfo, LB_RESETCONTENT, 0, 0);
    }
}
} // namespace

UINT MergeThreadProc(LPVOID pParam)
{
    // The worker's own reference keeps the run state alive after the dialog has gone.
    std::unique_ptr<std::shared_ptr<CMergeRun>> pHolder(static_cast<std::shared_ptr<CMergeRun> *>(pParam));
    if (!pHolder || !*pHolder)
        return 0;
    CMergeRun &run = **pHolder;
    try
    {
        RunJobs(run);
    }
    catch (...)
    {
        // Nothing may leave the thread entry; the end of the run is still reported below.
    }
    if (run.m_hDlg)
        PostMessageW(run.m_hDlg, WM_MERGE_ALL_DONE, 0, 0);
    return 0;
}
