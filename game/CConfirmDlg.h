#pragma once
// The small modal yes/no panel that guards the two ways out of a running
// game: quitting (mode 0) and leaving the game to choose another server
// (mode 1). A borderless 256 x 110 pixel panel painted from bitmap 177, with
// a title line and a question drawn straight on it, OK on the left and
// Cancel on the right.
//
//   CConfirmDlg dlg;
//   dlg.m_nMode = 1;
//   if (dlg.DoModal() == IDOK) ...   // IDOK or IDCANCEL, nothing else
#include "framework/CDialog.h"
#include "framework/CStatic.h"
#include "framework/GdiObjects.h"
#include "skin/CPngButton.h"
#include "skin/CSkinnedDialog.h"

class CConfirmDlg : public CDialogEx {
public:
    CConfirmDlg();  // template 172, no parent
    ~CConfirmDlg() override;

    int m_nMode = 0;           // 0 = quit the game, 1 = choose another server
    CPngButton m_btnOk;        // 1008, strip PNG 175
    CPngButton m_btnCancel;    // 1009, strip PNG 176
    CBitmap m_bmpBackground;   // bitmap 177
    CStatic m_stTitle;         // 1002
    CStatic m_stMessage;       // 1003
    CFont m_fontTitle;         // 12-point Arial, alive as long as the dialog

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    const CMessageMap* GetMessageMap() const override;

    void OnPaint();
    void OnClose();
    HBRUSH OnCtlColor(HDC hDC, HWND hCtl, UINT nCtlColor);

private:
    // Background and the two see-through statics in white, everything else
    // as the base dialog colours it.
    CSkinnedDialog m_skin;
};
