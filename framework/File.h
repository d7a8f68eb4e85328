// framework/File.h: CFile (an owned file HANDLE), CFileException, CStdioFile (line reading).
#pragma once

#include "framework/String.h"

#include <exception>
#include <string>
#include <windows.h>

class CFileException : public std::exception
{
public:
    enum
    {
        none,
        genericException,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile
    };

    CFileException(int cause = none, LONG lOsError = -1, LPCTSTR pszFileName = nullptr)
        : m_cause(cause), m_lOsError(lOsError), m_strFileName(pszFileName)
    {
    }

    const char *what() const noexcept override { return "file error"; }

    // Maps a Win32 error code to one of the causes above.
    static int OsErrorToException(LONG lOsError);
    static void ThrowOsError(LONG lOsError, LPCTSTR pszFileName = nullptr);

    int m_cause;
    LONG m_lOsError;
    CString m_strFileName;
};

class CFile
{
public:
    enum OpenFlags : UINT
    {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000
    };
    enum SeekPosition : UINT
    {
        begin = FILE_BEGIN,
        current = FILE_CURRENT,
        end = FILE_END
    };

    CFile() = default;
    virtual ~CFile();
    CFile(const CFile &) = delete;
    CFile &operator=(const CFile &) = delete;
    CFile(CFile &&other) noexcept;
    CFile &operator=(CFile &&other) noexcept;

    // Never throws: failure is FALSE, with the cause in *pError when given.
    virtual BOOL Open(LPCTSTR pszFileName, UINT nOpenFlags, CFileException *pError = nullptr);
    // The rest throw CFileException on failure.
    UINT Read(void *pBuffer, UINT nCount);
    // A write of fewer bytes than asked (a full disk) throws too.
    void Write(const void *pBuffer, UINT nCount);
    ULONGLONG GetLength() const;
    ULONGLONG GetPosition() const;
    ULONGLONG Seek(LONGLONG lOffset, UINT nFrom);
    ULONGLONG SeekToEnd() { return Seek(0, end); }
    void SeekToBegin() { Seek(0, begin); }
    void Flush();
    virtual void Close();
    // Closes without throwing.
    void Abort();

    bool IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }
    HANDLE GetHandle() const { return m_hFile; }
    const CString &GetFilePath() const { return m_strFileName; }

protected:
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    CString m_strFileName;
};

// Reads text line by line. The whole file is decoded at the first ReadString: as UTF-8 when its
// bytes are valid UTF-8 (a leading BOM dropped), otherwise with the ANSI code page.
class CStdioFile : public CFile
{
public:
    CStdioFile() = default;

    BOOL Open(LPCTSTR pszFileName, UINT nOpenFlags, CFileException *pError = nullptr) override;
    void Close() override;

    // One line without its LF (a CR before it stays); FALSE at the end of the file.
    BOOL ReadString(CString &rString);

private:
    void LoadText();

    bool m_bLoaded = false;
    std::wstring m_text;
    size_t m_nPos = 0;
};

// Decodes bytes as UTF-8 when they are valid UTF-8 (without a leading BOM), else as CP_ACP.
CString DecodeUtf8OrAnsi(const char *pData, size_t nBytes);
