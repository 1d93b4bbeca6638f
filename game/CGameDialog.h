#pragma once
// The game window: a modeless dialog without system caption or frame that
// hosts the game page in a browser control under a 30-pixel title strip of
// its own (logo at the left, nine PNG buttons at the right, a stretched
// bitmap behind them). It has three states: full screen (0), maximised (1)
// and normal (2). While it exists it holds the F10 and F11 hot keys and an
// icon in the notification area; the close routine OnClose gives them back.
//
// Window switching creates it (Create(131, nullptr), owned by the launcher),
// navigates m_browser, shows it, and on the way back to the server list runs
// OnClose and deletes the object.
#include <windows.h>
#include <shellapi.h>

#include "browser/CWebBrowser2.h"
#include "framework/CDialog.h"
#include "framework/GdiObjects.h"
#include "skin/CPngButton.h"

class CToolTipCtrl;

// Callback message of the notification-area icon.
constexpr UINT WM_TRAYNOTIFY = WM_USER + 101;

class CGameDialog : public CDialogEx {
public:
    // The parent is not used: the window is always created without one, so
    // the framework makes the application's main window its owner.
    explicit CGameDialog(CWnd* pParent = nullptr);
    ~CGameDialog() override;

    const CMessageMap* GetMessageMap() const override;
    const CEventSinkMap* GetEventSinkMap() const override;
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    BOOL OnInitDialog() override;
    // An IDOK or IDCANCEL command (Enter, Esc, a close request) neither ends
    // nor hides the window.
    void OnOK() override {}
    void OnCancel() override {}

    // The close routine: releases the strip bitmap, unregisters both hot keys
    // and removes the notification-area icon. As the WM_CLOSE handler it then
    // passes the request on (the dialog turns it into IDCANCEL, which does
    // nothing); called directly it neither destroys the window nor deletes
    // the object. Failures to unregister are reported only while the window
    // still exists.
    void OnClose();

    // Window states and their placement.
    void ShowTitleBarControls(int nCmdShow);
    void PlaceNormal();
    void PlaceMaximized();
    void PlaceFullScreen();
    void LayoutTitleBar();
    void ApplyWindowState();
    void ToggleMaximize();
    void ToggleFullScreen();
    // Hides a visible window, shows a hidden one; the state is kept.
    void ToggleVisibility();

    int m_nHotKeyIdF10 = 1001;
    int m_nHotKeyIdF11 = 1002;
    int m_nWindowState = 1;  // 0 full screen, 1 maximised, 2 normal
    NOTIFYICONDATAW m_notifyIconData{};
    CBitmap m_bmpTitleBar;
    HICON m_hIcon = nullptr;
    CWebBrowser2 m_browser;
    CPngButton m_btnClose;
    CPngButton m_btnRestore;
    CPngButton m_btnMinimize;
    CPngButton m_btnFullScreen;
    CPngButton m_btnBoss;
    CPngButton m_btnRefresh;
    CPngButton m_btnServer;
    CPngButton m_btnClean;
    CPngButton m_btnMaximize;
    CToolTipCtrl* m_pToolTip = nullptr;

    // Message handlers.
    void OnQuit();
    void OnToggleMaximize();
    void OnMinimize();
    void OnFullScreen();
    void OnBoss();
    void OnCleanCache();
    void OnRefresh();
    void OnChangeServer();
    LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
    void OnHotKey(UINT nHotKeyId, UINT nKey1, UINT nKey2);
    void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags);
    LRESULT OnNcHitTest(POINT point);
    void OnPaint();
    HBRUSH OnCtlColor(HDC hDC, HWND hCtl, UINT nCtlColor);
    void OnSize(UINT nType, int cx, int cy);
    void OnLButtonDblClk(UINT nFlags, POINT point);
    void OnLButtonDown(UINT nFlags, POINT point);
    // Browser event: the first completed navigation reveals the page.
    void OnNavigateComplete2(LPDISPATCH pDisp, VARIANT* URL);

private:
    void InitTitleBar();
    void LoadButtonImages();
    void RegisterHotKeys();
    void AddTrayIcon();

    CBitmap m_bmpLogo;  // shown by the logo static, which does not own it
};
