#pragma once
// The portal page dialog: a borderless, colour-keyed layered popup laid over
// the launcher. Whatever it paints in the key colour is transparent to the
// eye and to the mouse, so only the portal page and two small buttons show
// on top of the launcher's artwork. It watches every navigation of its
// browser: a URL holding "client=1" starts the game instead.
#include "browser/CWebBrowser2.h"
#include "framework/CDialog.h"
#include "framework/GdiObjects.h"
#include "skin/CPngButton.h"

class CLoginDlg;

class CLoginActiveDlg : public CDialogEx {
public:
    explicit CLoginActiveDlg(CLoginDlg* pLoginDlg);
    ~CLoginActiveDlg() override;

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override {}
    void OnCancel() override {}
    const CMessageMap* GetMessageMap() const override;
    const CEventSinkMap* GetEventSinkMap() const override;

    // The portal's server list, on the operator's portal host.
    static LPCWSTR PortalUrl();
    // The rule that recognises a game start in a navigation's URL text.
    static bool IsGameStartUrl(LPCWSTR url);

    HWND m_hWndSelf = nullptr;
    CBrush m_brKey;
    COLORREF m_crKey;
    CLoginDlg* m_pLoginDlg;
    CWebBrowser2 m_browser;
    CPngButton m_btnMinimize;
    CPngButton m_btnClose;

    void OnMove(int x, int y);
    LRESULT OnNcHitTest(POINT point);
    HBRUSH OnCtlColor(HDC hDC, HWND hCtl, UINT nCtlColor);
    void OnBnClickedMinimize();
    void OnQuit();

    void OnDocumentComplete(LPDISPATCH pDisp, VARIANT* URL);
    void OnNavigateComplete2(LPDISPATCH pDisp, VARIANT* URL);
    void OnBeforeNavigate2(LPDISPATCH pDisp, VARIANT* URL, VARIANT* Flags,
                           VARIANT* TargetFrameName, VARIANT* PostData, VARIANT* Headers,
                           BOOL* Cancel);

private:
    void SetupButtons();
};
