// Temporary: removed when job results, naming and listing land.
#include "app/FendralDlg.h"

LRESULT CFendralDlg::OnMergeAllDone(WPARAM, LPARAM) { return 0; }
LRESULT CFendralDlg::OnMergeItemDone(WPARAM, LPARAM) { return 0; }
BOOL DeleteDirectory(const CString &) { return FALSE; }
