// app/FendralDlgListing.cpp: the files and sub-folders of one folder, as full paths.
#include "app/FendralDlg.h"
#include "framework/FileFind.h"

void CFendralDlg::ListDirectory(const CString &strDir, CStringArray &arrFiles, CStringArray &arrDirs,
                                BOOL bRecursive)
{
    CFileFind finder;
    // The separator is added even after a closing backslash; the search folds the doubled one.
    BOOL bWorking = finder.FindFile(strDir + L"\\*.*");
    while (bWorking)
    {
        bWorking = finder.FindNextFile();
        if (finder.IsDots())
            continue;
        CString strPath = finder.GetFilePath();
        if (finder.MatchesMask(FILE_ATTRIBUTE_DIRECTORY))
        {
            arrDirs.Add(strPath);
            if (bRecursive)
                ListDirectory(strPath, arrFiles, arrDirs, TRUE);
        }
        else
        {
            arrFiles.Add(strPath);
        }
    }
    finder.Close();
}
