#include "launcher/CLoginDlg.h"

#include "framework/CWinApp.h"
#include "framework/IconicPaint.h"
#include "launcher/CLoginActiveDlg.h"
#include "res/resource.h"
#include "skin/UpdateLayeredTool.h"

CLoginDlg::CLoginDlg(CWnd* /*pParent*/) : CDialogEx(IDD_LOGIN_DIALOG, nullptr) {
    m_hIcon = LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME));
}

CLoginDlg::~CLoginDlg() = default;  // m_png releases the image and its block

const CMessageMap* CLoginDlg::GetMessageMap() const {
    static const CMessageMap map(CDialogEx::GetMessageMap(), {
        msg::Paint(&CLoginDlg::OnPaint),
        msg::QueryDragIcon(&CLoginDlg::OnQueryDragIcon),
        msg::Create(&CLoginDlg::OnCreate),
        msg::NcHitTest(&CLoginDlg::OnNcHitTest),
        msg::Move(&CLoginDlg::OnMove),
        msg::ShowWindow(&CLoginDlg::OnShowWindow),
        msg::Close(&CLoginDlg::OnClose),
        msg::Raw(WM_WINDOWPOSCHANGED, &CLoginDlg::OnWindowPosChanged),
        msg::Size(&CLoginDlg::OnSize),
    });
    return &map;
}

const CEventSinkMap* CLoginDlg::GetEventSinkMap() const {
    static const CEventSinkMap map(CDialogEx::GetEventSinkMap(), {});
    return &map;
}

BOOL CLoginDlg::OnInitDialog() {
    CDialogEx::OnInitDialog();
    SetWindowText(L"PellumoZarvotek");
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    m_pActiveDlg = new CLoginActiveDlg(this);
    m_pActiveDlg->Create(IDD_LOGIN_ACTIVE, this);
    m_pActiveDlg->ShowWindow(SW_SHOWNORMAL);

    ModifyStyle(WS_CAPTION, 0, 0);

    if (!m_png.Load(MAKEINTRESOURCEW(IDB_PNG_LAUNCHER), L"PNG", AfxGetResourceHandle()))
        return TRUE;
    const int width = static_cast<int>(m_png.m_pImage->GetWidth());
    const int height = static_cast<int>(m_png.m_pImage->GetHeight());
    MoveWindow(0, 0, width, height, TRUE);
    CenterWindow();

    RECT rc;
    GetWindowRect(&rc);
    m_pActiveDlg->MoveWindow(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);

    UpdateLayeredTool::GetInstance()->UpdateLayered(m_hWnd, m_png);
    return TRUE;
}

int CLoginDlg::OnCreate(LPCREATESTRUCTW) {
    return Default() == -1 ? -1 : 0;
}

HCURSOR CLoginDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

LRESULT CLoginDlg::OnNcHitTest(POINT) {
    m_bLauncherLeads = TRUE;
    LRESULT hit = Default();
    return hit == HTCLIENT ? HTCAPTION : hit;
}

void CLoginDlg::OnMove(int, int) {
    if (!IsWindow() || !m_bLauncherLeads || !m_pActiveDlg) return;
    RECT self, portal;
    GetWindowRect(&self);
    m_pActiveDlg->GetWindowRect(&portal);
    m_pActiveDlg->MoveWindow(self.left, self.top, portal.right - portal.left,
                             portal.bottom - portal.top, TRUE);
}

void CLoginDlg::OnShowWindow(BOOL bShow, UINT) {
    Default();
    if (m_pActiveDlg) m_pActiveDlg->ShowWindow(bShow ? SW_SHOWNORMAL : SW_HIDE);
}

void CLoginDlg::OnClose() { EndDialog(IDOK); }

LRESULT CLoginDlg::OnWindowPosChanged(WPARAM, LPARAM lParam) {
    LRESULT result = Default();
    // Some window systems stack a window on top when they map it, even above
    // the windows it owns: once the launcher is on screen, lift the portal
    // page (shown before it) back over it.
    const auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
    if (pos && (pos->flags & SWP_SHOWWINDOW) && m_pActiveDlg && m_pActiveDlg->IsWindowVisible()) {
        const UINT flags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOZORDER;
        m_pActiveDlg->SetWindowPos(nullptr, 0, 0, 0, 0, flags | SWP_HIDEWINDOW);
        m_pActiveDlg->SetWindowPos(nullptr, 0, 0, 0, 0, flags | SWP_SHOWWINDOW);
    }
    return result;
}

void CLoginDlg::OnPaint() {
    // The layered content is the whole look; only a minimised launcher paints.
    // Otherwise the request is still answered, or it would come back forever.
    if (IsIconic()) PaintIconic(m_hWnd, m_hIcon);
    else ValidateRect(m_hWnd, nullptr);
}

void CLoginDlg::OnSize(UINT nType, int, int) {
    Default();
    // The portal page goes down with the launcher and comes back with it.
    if (nType == SIZE_MINIMIZED) ShowOwnedPopups(m_hWnd, FALSE);
    else if (nType == SIZE_RESTORED || nType == SIZE_MAXIMIZED) ShowOwnedPopups(m_hWnd, TRUE);
}
