// Temporary: removed when the run control lands.
#include "app/FendralDlg.h"

void CFendralDlg::OnBnClickedStart() {}
void CFendralDlg::OnBnClickedStop() {}
bool CFendralDlg::MergeOne(CString, CString) { return false; }
bool CMergeRun::MergeOne(CString, CString) { return false; }
void CMergeRun::AddLog(LPCTSTR) const {}
UINT MergeThreadProc(LPVOID) { return 0; }
