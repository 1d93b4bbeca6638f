#include "skin/CSkinnedDialog.h"

#include <algorithm>
#include <utility>

#include "framework/DeviceContexts.h"

CSkinnedDialog::CSkinnedDialog(CDialog& dlg, const CBitmap& background,
                               std::vector<int> seeThroughIds, COLORREF textColor,
                               const CBrush* pOtherBrush)
    : m_dlg(dlg),
      m_bmpBackground(background),
      m_seeThroughIds(std::move(seeThroughIds)),
      m_crText(textColor),
      m_pOtherBrush(pOtherBrush) {}

bool CSkinnedDialog::IsSeeThrough(int nID) const {
    return std::find(m_seeThroughIds.begin(), m_seeThroughIds.end(), nID) !=
           m_seeThroughIds.end();
}

void CSkinnedDialog::OnPaint() {
    if (m_dlg.IsIconic()) return;

    CPaintDC dc(m_dlg.m_hWnd);
    {
        CMemoryDC memDC(dc);
        BITMAP bm{};
        if (m_bmpBackground.GetBitmap(&bm)) {
            memDC.SelectBitmap(m_bmpBackground);
            RECT rc;
            m_dlg.GetClientRect(&rc);
            ::StretchBlt(dc, 0, 0, rc.right - rc.left, rc.bottom - rc.top, memDC, 0, 0,
                         bm.bmWidth, bm.bmHeight, SRCCOPY);
        }
        m_dlg.CDialog::OnPaint();
    }  // the memory DC goes first, then painting ends
}

HBRUSH CSkinnedDialog::OnCtlColor(HDC hDC, HWND hCtl, UINT nCtlColor) {
    HBRUSH hbr = nullptr;
    if (!m_pOtherBrush) hbr = m_dlg.CWnd::OnCtlColor(hDC, hCtl, nCtlColor);

    const bool seeThrough =
        hCtl && hCtl != m_dlg.m_hWnd && IsSeeThrough(::GetDlgCtrlID(hCtl));
    if (!seeThrough) return m_pOtherBrush ? static_cast<HBRUSH>(*m_pOtherBrush) : hbr;

    if (m_pOtherBrush) m_dlg.CWnd::OnCtlColor(hDC, hCtl, nCtlColor);  // answer not used

    ::SetBkMode(hDC, TRANSPARENT);
    ::SetTextColor(hDC, m_crText);

    // What the dialog shows under the static becomes the static's background.
    RECT rc;
    ::GetWindowRect(hCtl, &rc);
    m_dlg.ScreenToClient(&rc);
    {
        CClientDC dlgDC(m_dlg.m_hWnd);
        ::BitBlt(hDC, 0, 0, rc.right - rc.left, rc.bottom - rc.top, dlgDC, rc.left, rc.top,
                 SRCCOPY);
    }
    return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
}
