#include "game/CGameDialog.h"

#include <commctrl.h>

#include "app/WindowSwitching.h"
#include "framework/CDataExchange.h"
#include "framework/CToolTipCtrl.h"
#include "framework/CWinApp.h"
#include "framework/DeviceContexts.h"
#include "game/CCleanCacheDlg.h"
#include "game/CConfirmDlg.h"
#include "res/resource.h"
#include "skin/PngButtonSetup.h"

namespace {

constexpr int kTitleBarHeight = 30;
constexpr int kNormalWidth = 1000;
constexpr int kNormalHeight = 700;
constexpr int kButtonRowMargin = 2;     // right of the close button
constexpr int kFullScreenGap = 40;      // between minimise and full screen
constexpr int kNarrowerBy = 2;          // boss, clean and refresh
constexpr int kServerGap = 2;           // between refresh and server
constexpr int kLogoWidth = 144;

constexpr DISPID kDispNavigateComplete2 = 252;

constexpr UINT kTrayIconId = 128;
constexpr LPCWSTR kWindowText = L"PellumoZarvotek";

// The record the shell is given is the whole structure, guidItem and
// hBalloonIcon included.
static_assert(sizeof(NOTIFYICONDATAW) == 956, "NOTIFYICONDATAW of the full size");

// A pop-up menu that is destroyed when it goes out of scope.
class CPopupMenu {
public:
    CPopupMenu() : m_hMenu(::CreatePopupMenu()) {}
    ~CPopupMenu() {
        if (m_hMenu) ::DestroyMenu(m_hMenu);
    }
    CPopupMenu(const CPopupMenu&) = delete;
    CPopupMenu& operator=(const CPopupMenu&) = delete;
    operator HMENU() const { return m_hMenu; }

private:
    HMENU m_hMenu;
};

}  // namespace

CGameDialog::CGameDialog(CWnd* /*pParent*/) : CDialogEx(IDD_GAME_DIALOG, nullptr) {
    m_hIcon = ::LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME));
}

CGameDialog::~CGameDialog() {
    delete m_pToolTip;
    m_pToolTip = nullptr;
    // Destroyed here, while the buttons and the browser the window's
    // messages reach still exist.
    DestroyOwnWindow();
}

const CMessageMap* CGameDialog::GetMessageMap() const {
    static const CMessageMap map(CDialogEx::GetMessageMap(), {
        msg::Command(IDC_GAME_CLOSE, &CGameDialog::OnQuit),
        msg::Command(IDC_GAME_MAXIMIZE, &CGameDialog::OnToggleMaximize),
        msg::Command(IDC_GAME_RESTORE, &CGameDialog::OnToggleMaximize),
        msg::Command(IDC_GAME_MINIMIZE, &CGameDialog::OnMinimize),
        msg::Command(IDC_GAME_FULLSCREEN, &CGameDialog::OnFullScreen),
        msg::Command(IDC_GAME_BOSS, &CGameDialog::OnBoss),
        msg::Command(IDC_GAME_CLEAN, &CGameDialog::OnCleanCache),
        msg::Command(IDC_GAME_REFRESH, &CGameDialog::OnRefresh),
        msg::Command(IDC_GAME_SERVER, &CGameDialog::OnChangeServer),
        msg::Raw(WM_TRAYNOTIFY, &CGameDialog::OnTrayNotify),
        msg::Command(ID_TRAY_QUIT, &CGameDialog::OnQuit),
        msg::Close(&CGameDialog::OnClose),
        msg::HotKey(&CGameDialog::OnHotKey),
        msg::Key(WM_KEYDOWN, &CGameDialog::OnKeyDown),
        msg::NcHitTest(&CGameDialog::OnNcHitTest),
        msg::Paint(&CGameDialog::OnPaint),
        msg::CtlColor(&CGameDialog::OnCtlColor),
        msg::Size(&CGameDialog::OnSize),
        msg::Mouse(WM_LBUTTONDBLCLK, &CGameDialog::OnLButtonDblClk),
        msg::Mouse(WM_LBUTTONDOWN, &CGameDialog::OnLButtonDown),
    });
    return &map;
}

const CEventSinkMap* CGameDialog::GetEventSinkMap() const {
    static const CEventSinkMap map(CDialogEx::GetEventSinkMap(), {
        sink::Event(IDC_BROWSER, kDispNavigateComplete2, &CGameDialog::OnNavigateComplete2),
    });
    return &map;
}

void CGameDialog::DoDataExchange(CDataExchange* pDX) {
    CDialogEx::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_BROWSER, m_browser);
    DDX_Control(pDX, IDC_GAME_CLOSE, m_btnClose);
    DDX_Control(pDX, IDC_GAME_MAXIMIZE, m_btnMaximize);
    DDX_Control(pDX, IDC_GAME_MINIMIZE, m_btnMinimize);
    DDX_Control(pDX, IDC_GAME_FULLSCREEN, m_btnFullScreen);
    DDX_Control(pDX, IDC_GAME_BOSS, m_btnBoss);
    DDX_Control(pDX, IDC_GAME_REFRESH, m_btnRefresh);
    DDX_Control(pDX, IDC_GAME_SERVER, m_btnServer);
    DDX_Control(pDX, IDC_GAME_CLEAN, m_btnClean);
    DDX_Control(pDX, IDC_GAME_RESTORE, m_btnRestore);
}

BOOL CGameDialog::OnInitDialog() {
    CDialogEx::OnInitDialog();
    SetWindowText(kWindowText);
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    m_bmpTitleBar.LoadBitmap(AfxGetResourceHandle(), IDB_TITLEBAR);

    PlaceMaximized();  // the window starts maximised

    m_pToolTip = new CToolTipCtrl();
    m_pToolTip->Create(this, 0);

    InitTitleBar();
    RegisterHotKeys();

    // A taskbar button of its own, although the launcher owns the window.
    ModifyStyleEx(WS_EX_TOOLWINDOW, WS_EX_APPWINDOW, 0);

    AddTrayIcon();

    // Maximise and restore share one place; maximised, restore shows.
    m_btnMaximize.ShowWindow(SW_HIDE);
    return TRUE;
}

void CGameDialog::InitTitleBar() {
    LoadButtonImages();
    LayoutTitleBar();

    HWND hLogo = GetDlgItem(IDC_GAME_LOGO);
    const LONG style = ::GetWindowLongW(hLogo, GWL_STYLE);
    if (hLogo) ::SetWindowLongW(hLogo, GWL_STYLE, style | SS_BITMAP | SS_CENTERIMAGE);
    m_bmpLogo.LoadBitmap(AfxGetResourceHandle(), IDB_LOGO);
    ::SendMessageW(hLogo, STM_SETIMAGE, IMAGE_BITMAP,
                   reinterpret_cast<LPARAM>(static_cast<HBITMAP>(m_bmpLogo)));
    ::MoveWindow(hLogo, 0, 0, kLogoWidth, kTitleBarHeight, TRUE);
}

void CGameDialog::LoadButtonImages() {
    struct ButtonImage {
        CPngButton* button;
        UINT pngId;
        LPCWSTR tip;  // null: no tooltip
    };
    const ButtonImage images[] = {
        {&m_btnClose, IDB_PNG_CLOSE, nullptr},
        {&m_btnRestore, IDB_PNG_RESTORE, L"还原"},
        {&m_btnMaximize, IDB_PNG_MAXIMIZE, L"最大化"},
        {&m_btnMinimize, IDB_PNG_MINIMIZE, L"最小化"},
        {&m_btnFullScreen, IDB_PNG_FULLSCREEN, L"按F11进入/退出全屏"},
        {&m_btnBoss, IDB_PNG_BOSS, nullptr},
        {&m_btnRefresh, IDB_PNG_REFRESH, nullptr},
        {&m_btnServer, IDB_PNG_SERVER, nullptr},
        {&m_btnClean, IDB_PNG_CLEAN, nullptr},
    };
    for (const ButtonImage& image : images) {
        PreparePngButton(*image.button, image.pngId);
        if (image.tip && m_pToolTip) m_pToolTip->AddTool(image.button, image.tip);
    }
}

void CGameDialog::RegisterHotKeys() {
    if (!::RegisterHotKey(m_hWnd, m_nHotKeyIdF10, 0, VK_F10))
        AfxMessageBox(L"RegisterHotKey F10 false", MB_OK);
    if (!::RegisterHotKey(m_hWnd, m_nHotKeyIdF11, 0, VK_F11))
        AfxMessageBox(L"RegisterHotKey F11 false", MB_OK);
}

void CGameDialog::AddTrayIcon() {
    m_notifyIconData.cbSize = sizeof(NOTIFYICONDATAW);
    m_notifyIconData.hWnd = m_hWnd;
    m_notifyIconData.uID = kTrayIconId;
    m_notifyIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_notifyIconData.uCallbackMessage = WM_TRAYNOTIFY;
    m_notifyIconData.hIcon = m_hIcon;
    lstrcpyW(m_notifyIconData.szTip, kWindowText);
    ::Shell_NotifyIconW(NIM_ADD, &m_notifyIconData);
}

BOOL CGameDialog::PreTranslateMessage(MSG* pMsg) {
    // Enter and Escape belong to the page: dispatched as they are, never
    // turned into IDOK/IDCANCEL.
    if (pMsg->message == WM_KEYDOWN && (pMsg->wParam == VK_RETURN || pMsg->wParam == VK_ESCAPE))
        return FALSE;
    if (m_pToolTip) m_pToolTip->RelayEvent(pMsg);
    return CDialogEx::PreTranslateMessage(pMsg);
}

// --- Window states ------------------------------------------------------------

void CGameDialog::ShowTitleBarControls(int nCmdShow) {
    ::ShowWindow(GetDlgItem(IDC_GAME_LOGO), nCmdShow);
    m_btnClose.ShowWindow(nCmdShow);
    m_btnMinimize.ShowWindow(nCmdShow);
    m_btnFullScreen.ShowWindow(nCmdShow);
    m_btnBoss.ShowWindow(nCmdShow);
    m_btnRefresh.ShowWindow(nCmdShow);
    m_btnServer.ShowWindow(nCmdShow);
    m_btnClean.ShowWindow(nCmdShow);
    if (nCmdShow == SW_SHOW) {
        const bool normal = m_nWindowState == 2;
        m_btnMaximize.ShowWindow(normal ? SW_SHOW : SW_HIDE);
        m_btnRestore.ShowWindow(normal ? SW_HIDE : SW_SHOW);
    } else {
        m_btnRestore.ShowWindow(nCmdShow);
        m_btnMaximize.ShowWindow(nCmdShow);
    }
}

void CGameDialog::PlaceNormal() {
    MoveWindow(0, 0, kNormalWidth, kNormalHeight, TRUE);
    CenterWindow();
    m_browser.MoveWindow(0, kTitleBarHeight, kNormalWidth, kNormalHeight - kTitleBarHeight, TRUE);
}

void CGameDialog::PlaceMaximized() {
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int width = work.right - work.left;
    const int height = work.bottom - work.top;
    // At the screen's origin, not at the work area's corner.
    MoveWindow(0, 0, width, height, TRUE);
    m_browser.MoveWindow(0, kTitleBarHeight, width, height - kTitleBarHeight, TRUE);
}

void CGameDialog::PlaceFullScreen() {
    RECT screen{};
    ::GetClientRect(::GetDesktopWindow(), &screen);
    MoveWindow(screen, TRUE);
    m_browser.MoveWindow(screen, TRUE);  // the page covers the strip too
}

void CGameDialog::LayoutTitleBar() {
    RECT client{};
    GetClientRect(&client);
    int x = client.right - kButtonRowMargin;
    auto place = [&x](CPngButton& button, int advance, int width) {
        x -= advance;
        button.MoveWindow(x, 0, width, kTitleBarHeight, TRUE);
    };
    place(m_btnClose, m_btnClose.m_nImageWidth, m_btnClose.m_nImageWidth);
    place(m_btnRestore, m_btnRestore.m_nImageWidth, m_btnRestore.m_nImageWidth);
    m_btnMaximize.MoveWindow(x, 0, m_btnRestore.m_nImageWidth, kTitleBarHeight, TRUE);
    place(m_btnMinimize, m_btnMinimize.m_nImageWidth, m_btnMinimize.m_nImageWidth);
    place(m_btnFullScreen, kFullScreenGap + m_btnFullScreen.m_nImageWidth,
          m_btnFullScreen.m_nImageWidth);
    for (CPngButton* narrow : {&m_btnBoss, &m_btnClean, &m_btnRefresh}) {
        const int width = narrow->m_nImageWidth - kNarrowerBy;
        place(*narrow, width, width);
    }
    place(m_btnServer, m_btnServer.m_nImageWidth + kServerGap, m_btnServer.m_nImageWidth);
    Invalidate(TRUE);
}

void CGameDialog::ApplyWindowState() {
    switch (m_nWindowState) {
    case 0:
        ShowTitleBarControls(SW_HIDE);
        PlaceFullScreen();
        break;
    case 1:
        ShowTitleBarControls(SW_SHOW);
        PlaceMaximized();
        LayoutTitleBar();
        break;
    case 2:
        ShowTitleBarControls(SW_SHOW);
        PlaceNormal();
        LayoutTitleBar();
        break;
    default:
        break;
    }
}

void CGameDialog::ToggleMaximize() {
    if (m_nWindowState == 1) m_nWindowState = 2;
    else if (m_nWindowState == 2) m_nWindowState = 1;
    ApplyWindowState();
}

void CGameDialog::ToggleFullScreen() {
    if (!IsWindowVisible()) return;
    m_nWindowState = m_nWindowState == 0 ? 1 : 0;
    ApplyWindowState();
}

void CGameDialog::ToggleVisibility() {
    ShowWindow(IsWindowVisible() ? SW_HIDE : SW_SHOW);
}

// --- Painting and mouse ---------------------------------------------------------

void CGameDialog::OnPaint() {
    if (IsIconic()) {
        CPaintDC dc(m_hWnd);
        SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(static_cast<HDC>(dc)), 0);
        RECT rc{};
        GetClientRect(&rc);
        const int x = (rc.right - rc.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
        const int y = (rc.bottom - rc.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
        ::DrawIcon(dc, x, y, m_hIcon);
        return;
    }
    if (m_nWindowState == 0) {
        CDialogEx::OnPaint();
        return;
    }
    CPaintDC dc(m_hWnd);
    {
        CMemoryDC memory(dc);
        // After the close routine has released the strip bitmap there is
        // nothing to stretch: the strip keeps the dialog background.
        BITMAP bm{};
        if (m_bmpTitleBar.GetBitmap(&bm)) {
            memory.SelectBitmap(m_bmpTitleBar);
            RECT rc{};
            GetClientRect(&rc);
            ::StretchBlt(dc, 0, 0, rc.right - rc.left, kTitleBarHeight, memory, 0, 0, bm.bmWidth,
                         kTitleBarHeight, SRCCOPY);
        }
        CDialogEx::OnPaint();
    }
}

void CGameDialog::OnLButtonDown(UINT /*nFlags*/, POINT point) {
    // Only the normal window can be dragged by its strip.
    if (m_nWindowState == 2) PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(point.x, point.y));
    Default();
}

void CGameDialog::OnLButtonDblClk(UINT /*nFlags*/, POINT /*point*/) {
    ToggleMaximize();
    Default();
}

LRESULT CGameDialog::OnNcHitTest(POINT /*point*/) { return Default(); }

HBRUSH CGameDialog::OnCtlColor(HDC hDC, HWND hCtl, UINT nCtlColor) {
    return CDialogEx::OnCtlColor(hDC, hCtl, nCtlColor);
}

void CGameDialog::OnSize(UINT /*nType*/, int /*cx*/, int /*cy*/) {
    Default();
    // Resizing by any other means snaps back to the state's placement.
    if (IsWindowVisible()) ApplyWindowState();
}

// --- Commands -------------------------------------------------------------------

void CGameDialog::OnQuit() {
    CConfirmDlg dlg;
    dlg.m_nMode = 0;
    if (dlg.DoModal() == IDOK) PostQuitMessage(16);
}

void CGameDialog::OnChangeServer() {
    CConfirmDlg dlg;
    dlg.m_nMode = 1;
    if (dlg.DoModal() == IDOK) {
        // Deletes this object and its window; nothing of either is used
        // after the call.
        ReturnToLauncher();
    }
}

void CGameDialog::OnToggleMaximize() { ToggleMaximize(); }

void CGameDialog::OnMinimize() { ShowWindow(SW_MINIMIZE); }

void CGameDialog::OnFullScreen() {
    m_nWindowState = 0;
    ShowTitleBarControls(SW_HIDE);
    PlaceFullScreen();
}

void CGameDialog::OnBoss() { ToggleVisibility(); }

void CGameDialog::OnCleanCache() {
    CCleanCacheDlg dlg;
    dlg.DoModal();
}

void CGameDialog::OnRefresh() { m_browser.Refresh(); }

// --- Hot keys, notification area, close -------------------------------------------

void CGameDialog::OnHotKey(UINT nHotKeyId, UINT /*nKey1*/, UINT /*nKey2*/) {
    if (nHotKeyId == 1001) ToggleVisibility();
    else if (nHotKeyId == 1002) ToggleFullScreen();
    Default();
}

void CGameDialog::OnKeyDown(UINT /*nChar*/, UINT /*nRepCnt*/, UINT /*nFlags*/) { Default(); }

LRESULT CGameDialog::OnTrayNotify(WPARAM wParam, LPARAM lParam) {
    if (wParam != kTrayIconId) return 1;
    if (lParam == WM_LBUTTONDBLCLK) {
        ToggleVisibility();
    } else if (lParam == WM_RBUTTONUP) {
        POINT cursor{};
        ::GetCursorPos(&cursor);
        CPopupMenu menu;
        ::AppendMenuW(menu, MF_STRING, ID_TRAY_QUIT, L"退出");
        // The chosen item comes back as WM_COMMAND 1013.
        ::TrackPopupMenu(menu, 0, cursor.x, cursor.y, 0, m_hWnd, nullptr);
    }
    return 0;
}

void CGameDialog::OnClose() {
    m_bmpTitleBar.DeleteObject();

    // At exit the window is already gone (destroyed with its owner): its hot
    // keys went with it and nobody could read a message box any more, so
    // failures are reported only for a live window.
    const HWND hWnd = m_hWnd ? m_hWnd : m_notifyIconData.hWnd;
    const bool alive = m_hWnd && ::IsWindow(m_hWnd);
    if (hWnd) {
        if (!::UnregisterHotKey(hWnd, m_nHotKeyIdF10) && alive)
            AfxMessageBox(L"UnregisterHotKey F10 false", MB_OK);
        if (!::UnregisterHotKey(hWnd, m_nHotKeyIdF11) && alive)
            AfxMessageBox(L"UnregisterHotKey F11 false", MB_OK);
    }

    // Removed by the handle and identifier it was added with, whether or not
    // the window still exists.
    ::Shell_NotifyIconW(NIM_DELETE, &m_notifyIconData);

    // As the WM_CLOSE handler the request goes on to the dialog's default
    // handling; called directly there is no message of ours to pass on.
    const MSG* current = GetCurrentMessage();
    if (alive && current->message == WM_CLOSE && current->hwnd == m_hWnd) Default();
}

void CGameDialog::OnNavigateComplete2(LPDISPATCH /*pDisp*/, VARIANT* /*URL*/) {
    if (!m_browser.IsWindowVisible()) m_browser.ShowWindow(SW_SHOW);
}
