// app/FendralDlg.cpp: construction, message table, control binding, set-up, log lines, destruction.
#include "app/FendralDlg.h"

#include "framework/App.h"

const wchar_t *const g_pszHomeUrl = L"https://fendral.example";

namespace
{
constexpr COLORREF kLinkColour = RGB(24, 8, 235);

CString LoadResourceString(UINT nID)
{
    wchar_t szText[256] = L"";
    const int n = ::LoadStringW(AfxGetInstanceHandle(), nID, szText, 256);
    return CString(szText, n > 0 ? n : 0);
}
} // namespace

BEGIN_MESSAGE_MAP(CFendralDlg, CDialogEx)
ON_WM_SYSCOMMAND()
ON_BN_CLICKED(IDC_BUTTON_BROWSE_OUTPUT, &CFendralDlg::OnBnClickedBrowseOutput)
ON_BN_CLICKED(IDC_BUTTON_START, &CFendralDlg::OnBnClickedStart)
ON_BN_CLICKED(IDC_BUTTON_STOP, &CFendralDlg::OnBnClickedStop)
ON_MESSAGE(WM_MERGE_ALL_DONE, &CFendralDlg::OnMergeAllDone)
ON_MESSAGE(WM_MERGE_ITEM_DONE, &CFendralDlg::OnMergeItemDone)
ON_BN_CLICKED(IDC_BUTTON_BROWSE_INPUT, &CFendralDlg::OnBnClickedBrowseInput)
ON_BN_CLICKED(IDC_BUTTON_BROWSE_SAVEDIR, &CFendralDlg::OnBnClickedBrowseSaveDir)
ON_BN_CLICKED(IDC_RADIO_SINGLE, &CFendralDlg::OnBnClickedRadioSingle)
ON_BN_CLICKED(IDC_RADIO_BATCH, &CFendralDlg::OnBnClickedRadioBatch)
ON_WM_CTLCOLOR()
ON_STN_CLICKED(IDC_LINK_URL, &CFendralDlg::OnStnClickedLink)
ON_STN_CLICKED(IDC_LINK_TEXT, &CFendralDlg::OnStnClickedLink)
ON_BN_CLICKED(IDC_CHECK_DELETE_SOURCE, &CFendralDlg::OnBnClickedDeleteSource)
ON_BN_CLICKED(IDC_CHECK_SHOW_SUCCESS, &CFendralDlg::OnBnClickedShowSuccess)
ON_BN_CLICKED(IDC_CHECK_SHOW_FAILURE, &CFendralDlg::OnBnClickedShowFailure)
END_MESSAGE_MAP()

CFendralDlg::CFendralDlg(CWnd *pParent)
    : CDialogEx(IDD, pParent), m_pRun(std::make_shared<CMergeRun>()), m_hIcon(nullptr),
      m_bRunning(m_pRun->m_bRunning), m_pMergeThread(nullptr), m_playlist(m_pRun->m_playlist),
      m_arrJobs(m_pRun->m_arrJobs), m_bDeleteSource(false), m_bBatchMode(false), m_nSuccess(0), m_nFail(0),
      m_nOutputIndex(0), m_pBkBitmap(nullptr)
{
    m_hIcon = ::LoadIconW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME));
    m_bRunning = FALSE;
    m_pMergeThread = nullptr;
    m_pBkBitmap = new CBitmap;
    m_pBkBitmap->LoadBitmap(IDB_BACKGROUND);
    // Without the bitmap there is no brush, and the dialog keeps the system's background.
    m_brBackground.CreatePatternBrush(m_pBkBitmap);
}

CFendralDlg::~CFendralDlg()
{
    // The pattern brush holds its own copy of the picture, so the bitmap can go first.
    delete m_pBkBitmap;
}

void CFendralDlg::DoDataExchange(CDataExchange *pDX)
{
    CDialogEx::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_CHECK_DELETE_SOURCE, m_chkDeleteSource);
    DDX_Control(pDX, IDC_CHECK_SHOW_SUCCESS, m_chkShowSuccess);
    DDX_Control(pDX, IDC_CHECK_SHOW_FAILURE, m_chkShowFailure);
    DDX_Control(pDX, IDC_EDIT_INPUT, m_editInput);
    DDX_Control(pDX, IDC_EDIT_OUTPUT, m_editOutput);
    DDX_Control(pDX, IDC_EDIT_SAVEDIR, m_editSaveDir);
    DDX_Control(pDX, IDC_LIST_RESULT, m_listResult);
    DDX_Control(pDX, IDC_BUTTON_BROWSE_INPUT, m_btnBrowseInput);
    DDX_Control(pDX, IDC_BUTTON_BROWSE_OUTPUT, m_btnBrowseOutput);
    DDX_Control(pDX, IDC_BUTTON_BROWSE_SAVEDIR, m_btnBrowseSaveDir);
    for (int i = 0; i < 7; ++i)
        DDX_Control(pDX, IDC_STATIC_INPUT + i, m_stcLabel[i]);
}

BOOL CFendralDlg::OnInitDialog()
{
    CDialogEx::OnInitDialog();

    if (CMenu *pSysMenu = GetSystemMenu(FALSE))
    {
        const CString strAboutMenu = LoadResourceString(IDS_ABOUTBOX);
        if (!strAboutMenu.IsEmpty())
        {
            pSysMenu->AppendMenu(MF_SEPARATOR);
            pSysMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, strAboutMenu);
        }
    }

    SetWindowText(L"Fendral");
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    m_progress.SubclassDlgItem(IDC_PROGRESS, this);
    m_listInfo.SubclassDlgItem(IDC_LIST_INFO, this);
    // The worker reaches the windows only through these handles.
    m_pRun->m_hDlg = m_hWnd;
    m_pRun->m_hInfo = m_listInfo.GetSafeHwnd();
    m_pRun->m_hProgress = m_progress.GetSafeHwnd();

    m_progress.SetRange(0, 100);
    m_progress.SetPos(0);

    // The backslash is added without looking: a drive root gives "C:\\output.ts".
    wchar_t szCurrent[MAX_PATH] = L"";
    const DWORD nCurrent = ::GetCurrentDirectoryW(MAX_PATH, szCurrent);
    if (nCurrent > 0 && nCurrent < MAX_PATH)
        m_strPath.Format(L"%s\\output.ts", szCurrent);
    else
        m_strPath.Empty();
    SetDlgItemText(IDC_EDIT_OUTPUT, m_strPath);

    if (GetDlgItem(IDC_RADIO_SINGLE) && GetDlgItem(IDC_RADIO_BATCH))
        CheckDlgButton(IDC_RADIO_SINGLE, BST_CHECKED);

    m_chkDeleteSource.SetCheck(BST_UNCHECKED);
    m_chkShowSuccess.SetCheck(BST_CHECKED);
    m_chkShowFailure.SetCheck(BST_CHECKED);
    m_chkDeleteSource.ShowWindow(SW_HIDE);

    const HCURSOR hHand = ::LoadCursorW(nullptr, IDC_HAND);

    CTransparentStatic &linkUrl = m_stcLabel[IDC_LINK_URL - IDC_STATIC_INPUT];
    if (CFont *pFont = linkUrl.GetFont())
    {
        LOGFONTW lf{};
        if (pFont->GetLogFont(&lf))
        {
            lf.lfUnderline = TRUE;
            if (m_fontLink.CreateFontIndirect(&lf))
                linkUrl.SetFont(&m_fontLink, TRUE);
        }
    }
    linkUrl.m_crText = kLinkColour;
    linkUrl.InvalidateRect(nullptr, TRUE);
    linkUrl.SetCursor(hHand);

    CTransparentStatic &linkText = m_stcLabel[IDC_LINK_TEXT - IDC_STATIC_INPUT];
    linkText.m_crText = kLinkColour;
    linkText.InvalidateRect(nullptr, TRUE);
    linkText.SetCursor(hHand);

    // The dialog manager puts the focus on the first tab stop: the output box.
    return TRUE;
}

void CFendralDlg::AddLog(LPCTSTR pszText)
{
    AppendLogLine(m_listInfo.GetSafeHwnd(), pszText);
}
