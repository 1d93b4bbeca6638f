#include "launcher/CLoginActiveDlg.h"

#include <cwchar>
#include <string>

#include "app/WindowSwitching.h"
#include "framework/CDataExchange.h"
#include "game/CConfirmDlg.h"
#include "launcher/CLoginDlg.h"
#include "res/resource.h"
#include "skin/PngButtonSetup.h"
#include "skin/UpdateLayeredTool.h"

namespace {
constexpr DISPID kDispBeforeNavigate2 = 250;
constexpr DISPID kDispNavigateComplete2 = 252;
constexpr DISPID kDispDocumentComplete = 259;
constexpr LPCWSTR kGameStartToken = L"client=1";
}  // namespace

CLoginActiveDlg::CLoginActiveDlg(CLoginDlg* pLoginDlg)
    : m_crKey(RGB(255, 255, 0)), m_pLoginDlg(pLoginDlg) {}

CLoginActiveDlg::~CLoginActiveDlg() {
    // Destroyed here, while the members the window uses still exist.
    DestroyOwnWindow();
}

LPCWSTR CLoginActiveDlg::PortalUrl() { return L"http://" PORTAL_HOST L"/micro/"; }

bool CLoginActiveDlg::IsGameStartUrl(LPCWSTR url) {
    return url && std::wcsstr(url, kGameStartToken) != nullptr;
}

const CMessageMap* CLoginActiveDlg::GetMessageMap() const {
    static const CMessageMap map(CDialogEx::GetMessageMap(), {
        msg::Move(&CLoginActiveDlg::OnMove),
        msg::NcHitTest(&CLoginActiveDlg::OnNcHitTest),
        msg::CtlColor(&CLoginActiveDlg::OnCtlColor),
        msg::Command(IDC_PORTAL_MINIMIZE, &CLoginActiveDlg::OnBnClickedMinimize),
        msg::Command(IDC_PORTAL_CLOSE, &CLoginActiveDlg::OnQuit),
    });
    return &map;
}

const CEventSinkMap* CLoginActiveDlg::GetEventSinkMap() const {
    static const CEventSinkMap map(CDialogEx::GetEventSinkMap(), {
        sink::Event(IDC_BROWSER, kDispDocumentComplete, &CLoginActiveDlg::OnDocumentComplete),
        sink::Event(IDC_BROWSER, kDispNavigateComplete2, &CLoginActiveDlg::OnNavigateComplete2),
        sink::Event(IDC_BROWSER, kDispBeforeNavigate2, &CLoginActiveDlg::OnBeforeNavigate2),
    });
    return &map;
}

void CLoginActiveDlg::DoDataExchange(CDataExchange* pDX) {
    CDialogEx::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_BROWSER, m_browser);
    DDX_Control(pDX, IDC_PORTAL_MINIMIZE, m_btnMinimize);
    DDX_Control(pDX, IDC_PORTAL_CLOSE, m_btnClose);
}

BOOL CLoginActiveDlg::OnInitDialog() {
    CDialogEx::OnInitDialog();
    m_hWndSelf = m_hWnd;
    m_brKey.Attach(CreateSolidBrush(m_crKey));

    const LONG exStyle = GetWindowLongW(m_hWndSelf, GWL_EXSTYLE);
    if (!(exStyle & WS_EX_LAYERED)) SetWindowLongW(m_hWndSelf, GWL_EXSTYLE, exStyle | WS_EX_LAYERED);
    if (auto setAttributes = UpdateLayeredTool::GetInstance()->m_pfnSetLayeredWindowAttributes)
        setAttributes(m_hWndSelf, m_crKey, 255, LWA_COLORKEY | LWA_ALPHA);

    m_browser.MoveWindow(270, 141, 631, 444, TRUE);
    VARIANT empty;
    VariantInit(&empty);
    m_browser.Navigate(PortalUrl(), &empty, &empty, &empty, &empty);
    m_browser.ShowWindow(SW_HIDE);  // revealed by the first completed navigation

    SetupButtons();
    VariantClear(&empty);
    return TRUE;
}

void CLoginActiveDlg::SetupButtons() {
    StartGdiplusForButton(m_btnMinimize);
    StartGdiplusForButton(m_btnClose);
    m_btnMinimize.SetImage(IDB_PNG_PORTAL_MIN);
    m_btnClose.SetImage(IDB_PNG_PORTAL_CLOSE);
    m_btnMinimize.MoveWindow(859, 90, 24, 24, TRUE);
    m_btnClose.MoveWindow(901, 82, 28, 28, TRUE);
}

HBRUSH CLoginActiveDlg::OnCtlColor(HDC, HWND, UINT) { return m_brKey; }

LRESULT CLoginActiveDlg::OnNcHitTest(POINT) {
    if (m_pLoginDlg) m_pLoginDlg->m_bLauncherLeads = FALSE;
    LRESULT hit = Default();
    return hit == HTCLIENT ? HTCAPTION : HTNOWHERE;
}

void CLoginActiveDlg::OnMove(int, int) {
    if (!IsWindow() || !m_pLoginDlg || m_pLoginDlg->m_bLauncherLeads) return;
    RECT self, launcher;
    GetWindowRect(&self);
    m_pLoginDlg->GetWindowRect(&launcher);
    m_pLoginDlg->MoveWindow(self.left, self.top, launcher.right - launcher.left,
                            launcher.bottom - launcher.top, TRUE);
}

void CLoginActiveDlg::OnBnClickedMinimize() {
    if (m_pLoginDlg) m_pLoginDlg->ShowWindow(SW_MINIMIZE);
}

void CLoginActiveDlg::OnQuit() {
    CConfirmDlg dlg;
    dlg.m_nMode = 0;
    if (dlg.DoModal() == IDOK) PostQuitMessage(16);
}

void CLoginActiveDlg::OnDocumentComplete(LPDISPATCH, VARIANT*) {}

void CLoginActiveDlg::OnNavigateComplete2(LPDISPATCH, VARIANT*) {
    if (!m_browser.IsWindowVisible()) m_browser.ShowWindow(SW_SHOW);
}

void CLoginActiveDlg::OnBeforeNavigate2(LPDISPATCH, VARIANT* URL, VARIANT*, VARIANT*, VARIANT*,
                                        VARIANT*, BOOL* Cancel) {
    // The URL text up to its first null character; anything but a string
    // counts as the empty URL.
    std::wstring url;
    if (URL && URL->vt == VT_BSTR && URL->bstrVal) url.assign(URL->bstrVal);
    else if (URL && URL->vt == (VT_BSTR | VT_BYREF) && URL->pbstrVal && *URL->pbstrVal)
        url.assign(*URL->pbstrVal);
    if (!IsGameStartUrl(url.c_str())) return;
    if (Cancel) *Cancel = TRUE;
    OpenGameDialog(url.c_str());
}
