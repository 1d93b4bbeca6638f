#pragma once
// Bitmap-skinned painting of a small dialog: the dialog's background bitmap
// is stretched over its whole client area, and chosen static text controls
// are drawn straight onto it ("see-through" statics: their own DC gets a copy
// of what the dialog shows under them, the text goes on top in a fixed
// colour with a transparent background, and they fill nothing).
//
// The dialog keeps its own bitmap (and brush) members and a CSkinnedDialog
// bound to them; its WM_PAINT and WM_CTLCOLOR* handlers just forward:
//
//   CConfirmDlg::CConfirmDlg()
//       : CDialogEx(IDD_CONFIRM),
//         m_skin(*this, m_bmpBackground, {IDC_CONFIRM_TITLE, IDC_CONFIRM_MESSAGE},
//                RGB(255, 255, 255)) {}
//   void CConfirmDlg::OnPaint() { m_skin.OnPaint(); }
//   HBRUSH CConfirmDlg::OnCtlColor(HDC dc, HWND ctl, UINT n) { return m_skin.OnCtlColor(dc, ctl, n); }
//
// The dialog must not have WS_CLIPCHILDREN (the statics are painted over
// what the dialog painted under them), and the see-through statics carry
// WS_EX_TRANSPARENT in the template.
#include <windows.h>
#include <vector>

#include "framework/CDialog.h"
#include "framework/GdiObjects.h"

class CSkinnedDialog {
public:
    // dlg, background and pOtherBrush are members of the dialog that owns
    // this object; they are read at each message, so the bitmap may be
    // loaded (and the brush created) later, in OnInitDialog.
    //
    // What the controls that are not see-through, and the dialog itself, get:
    //  - pOtherBrush null: the base WM_CTLCOLOR* handling runs first for
    //    every control and its brush is the answer for all of them but the
    //    see-through statics;
    //  - pOtherBrush given: that brush is the answer; the base handling runs
    //    only for a see-through static, and its answer is dropped.
    CSkinnedDialog(CDialog& dlg, const CBitmap& background,
                   std::vector<int> seeThroughIds, COLORREF textColor,
                   const CBrush* pOtherBrush = nullptr);
    CSkinnedDialog(const CSkinnedDialog&) = delete;
    CSkinnedDialog& operator=(const CSkinnedDialog&) = delete;

    // WM_PAINT: nothing while the dialog is minimised; otherwise the bitmap
    // stretched over the client area (stretch mode left as it is), then the
    // dialog's base painting.
    void OnPaint();

    // WM_CTLCOLOR* (nCtlColor is CTLCOLOR_DLG, CTLCOLOR_STATIC...).
    HBRUSH OnCtlColor(HDC hDC, HWND hCtl, UINT nCtlColor);

    bool IsSeeThrough(int nID) const;

private:
    CDialog& m_dlg;
    const CBitmap& m_bmpBackground;
    std::vector<int> m_seeThroughIds;
    COLORREF m_crText;
    const CBrush* m_pOtherBrush;
};
