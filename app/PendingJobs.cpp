// Temporary: removed when the pickers land.
#include "app/FendralDlg.h"

void CFendralDlg::OnBnClickedBrowseInput() {}
void CFendralDlg::OnBnClickedBrowseOutput() {}
void CFendralDlg::OnBnClickedBrowseSaveDir() {}
