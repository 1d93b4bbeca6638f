#pragma once
// The launcher: the program's main window, shaped and painted by PNG 155 as
// per-pixel-alpha layered content. It carries the portal page dialog, a
// second top-level window laid exactly over it; the two stay glued together
// while either is dragged, and show and hide together.
#include "framework/CDialog.h"
#include "skin/CGdiPlusPngResource.h"

class CLoginActiveDlg;

class CLoginDlg : public CDialogEx {
public:
    explicit CLoginDlg(CWnd* pParent = nullptr);
    ~CLoginDlg() override;

    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override {}
    const CMessageMap* GetMessageMap() const override;
    const CEventSinkMap* GetEventSinkMap() const override;

    HICON m_hIcon = nullptr;
    // TRUE after the launcher got WM_NCHITTEST, FALSE after the portal did:
    // only the leader moves the other window on WM_MOVE.
    BOOL m_bLauncherLeads = FALSE;
    CLoginActiveDlg* m_pActiveDlg = nullptr;  // deleted by the application object
    CGdiPlusPngResource m_png;

    void OnPaint();
    HCURSOR OnQueryDragIcon();
    int OnCreate(LPCREATESTRUCTW lpCreateStruct);
    LRESULT OnNcHitTest(POINT point);
    void OnMove(int x, int y);
    void OnShowWindow(BOOL bShow, UINT nStatus);
    void OnClose();
    LRESULT OnWindowPosChanged(WPARAM wParam, LPARAM lParam);
    void OnSize(UINT nType, int cx, int cy);
};
