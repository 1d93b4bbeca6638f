#include "framework/CToolTipCtrl.h"

#include <commctrl.h>

BOOL CToolTipCtrl::Create(CWnd* pParentWnd, DWORD dwStyle) {
    return CreateEx(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | dwStyle, CW_USEDEFAULT,
                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                    pParentWnd ? pParentWnd->m_hWnd : nullptr, nullptr);
}

BOOL CToolTipCtrl::AddTool(CWnd* pWnd, LPCWSTR text) {
    if (!m_hWnd || !pWnd || !pWnd->m_hWnd) return FALSE;
    TOOLINFOW ti{};
    ti.cbSize = sizeof(ti);
    ti.uFlags = TTF_IDISHWND;  // no TTF_SUBCLASS: the owner relays mouse messages
    ti.hwnd = ::GetParent(pWnd->m_hWnd);
    ti.uId = reinterpret_cast<UINT_PTR>(pWnd->m_hWnd);
    ti.lpszText = const_cast<LPWSTR>(text);
    return static_cast<BOOL>(SendMessage(TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti)));
}

void CToolTipCtrl::RelayEvent(MSG* pMsg) {
    if (m_hWnd) SendMessage(TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(pMsg));
}
