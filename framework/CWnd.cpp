#include "framework/CWnd.h"

#include <cstdarg>
#include <unordered_map>
#include <vector>

#include "framework/COleControlContainer.h"
#include "framework/COleControlSite.h"
#include "framework/CWinApp.h"

namespace {

// Window handle → object. Only the user-interface thread creates windows.
std::unordered_map<HWND, CWnd*>& WindowMap() {
    static std::unordered_map<HWND, CWnd*> map;
    return map;
}

// The object waiting for its window during CreateWindowEx/CreateDialog*.
thread_local CWnd* t_pWndInit = nullptr;
thread_local HHOOK t_hHookCbt = nullptr;
// Messages being dispatched on this thread, innermost last.
thread_local const MSG* t_pCurrentMsg = nullptr;

bool IsCtlColor(UINT message) {
    return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC;
}

}  // namespace

LRESULT CALLBACK AfxCbtHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && t_pWndInit) {
        HWND hWnd = reinterpret_cast<HWND>(wParam);
        CWnd* pWnd = t_pWndInit;
        t_pWndInit = nullptr;  // only the first window created is ours
        auto old = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hWnd, GWLP_WNDPROC));
        pWnd->BindHandle(hWnd, old == AfxWndProc ? nullptr : old);
        SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AfxWndProc));
    }
    return CallNextHookEx(t_hHookCbt, code, wParam, lParam);
}

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
    if (!pWnd) return DefWindowProcW(hWnd, message, wParam, lParam);

    MSG current{hWnd, message, wParam, lParam, 0, {0, 0}};
    const MSG* previous = t_pCurrentMsg;
    t_pCurrentMsg = &current;
    LRESULT result = 0;
    try {
        result = pWnd->WindowProc(message, wParam, lParam);
    } catch (...) {
        // Exceptions never cross the window procedure.
        result = 0;
    }
    t_pCurrentMsg = previous;

    // The handler may have deleted the object (and destroyed the window);
    // only touch it if the window is still bound to it.
    if (message == WM_NCDESTROY && CWnd::FromHandlePermanent(hWnd) == pWnd)
        pWnd->OnFinalNcDestroy();
    return result;
}

void CWnd::DestroyOwnWindow() {
    if (m_hWnd && FromHandlePermanent(m_hWnd) == this)
        ::DestroyWindow(m_hWnd);  // WM_NCDESTROY unbinds this object
}

CWnd::~CWnd() {
    DestroyOwnWindow();
    if (m_hWnd && FromHandlePermanent(m_hWnd) == this) {
        WindowMap().erase(m_hWnd);  // window of another thread: just forget it
    }
    m_hWnd = nullptr;
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
    if (!hWnd) return nullptr;
    auto& map = WindowMap();
    auto it = map.find(hWnd);
    return it == map.end() ? nullptr : it->second;
}

void CWnd::BindHandle(HWND hWnd, WNDPROC pfnSuper) {
    m_hWnd = hWnd;
    m_pfnSuper = pfnSuper;
    WindowMap()[hWnd] = this;
}

void CWnd::HookWindowCreate() {
    t_pWndInit = this;
    if (!t_hHookCbt)
        t_hHookCbt = SetWindowsHookExW(WH_CBT, AfxCbtHook, nullptr, GetCurrentThreadId());
}

void CWnd::UnhookWindowCreate() {
    t_pWndInit = nullptr;
    if (t_hHookCbt) {
        UnhookWindowsHookEx(t_hHookCbt);
        t_hHookCbt = nullptr;
    }
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                    int x, int y, int cx, int cy, HWND hWndParent, HMENU idOrMenu,
                    LPVOID param) {
    if (m_hWnd) return FALSE;
    HookWindowCreate();
    HWND hWnd = CreateWindowExW(exStyle, className, windowName, style, x, y, cx, cy, hWndParent,
                                idOrMenu, AfxGetInstanceHandle(), param);
    UnhookWindowCreate();
    return hWnd != nullptr && m_hWnd == hWnd;
}

BOOL CWnd::DestroyWindow() {
    if (!m_hWnd) return FALSE;
    return ::DestroyWindow(m_hWnd);
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
    if (!hWnd || m_hWnd || FromHandlePermanent(hWnd)) return FALSE;
    m_hWnd = hWnd;
    PreSubclassWindow();
    auto old = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AfxWndProc)));
    BindHandle(hWnd, old);
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT nID, CWnd* pParent) {
    if (!pParent) return FALSE;
    return SubclassWindow(::GetDlgItem(pParent->m_hWnd, static_cast<int>(nID)));
}

HWND CWnd::UnsubclassWindow() {
    HWND hWnd = m_hWnd;
    if (!hWnd) return nullptr;
    if (m_pfnSuper)
        SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    WindowMap().erase(hWnd);
    m_pfnSuper = nullptr;
    m_hWnd = nullptr;
    return hWnd;
}

void CWnd::AttachControlSite(COleControlSite* pSite) {
    m_pCtrlSite = pSite;
    m_hWnd = pSite ? pSite->m_hWnd : nullptr;
    if (pSite) pSite->m_pWndCtrl = this;
}

void CWnd::OnFinalNcDestroy() {
    HWND hWnd = m_hWnd;
    // Give the window its previous procedure back, if it is still ours.
    if (m_pfnSuper &&
        reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hWnd, GWLP_WNDPROC)) == AfxWndProc)
        SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    WindowMap().erase(hWnd);
    m_hWnd = nullptr;
    m_pfnSuper = nullptr;
    // The main window going away ends the application's message loop.
    if (CWinApp* app = AfxGetApp()) {
        if (app->m_pMainWnd == this) {
            app->m_pMainWnd = nullptr;
            PostQuitMessage(0);
        }
    }
    PostNcDestroy();
}

const MSG* CWnd::GetCurrentMessage() {
    static const MSG none{};
    return t_pCurrentMsg ? t_pCurrentMsg : &none;
}

LRESULT CWnd::Default() {
    const MSG* m = GetCurrentMessage();
    return DefWindowProc(m->message, m->wParam, m->lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_pfnSuper) return CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result))
        result = DefWindowProc(message, wParam, lParam);
    return result;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    // Notifications from a child go to the child's object first.
    HWND hChild = nullptr;
    if (message == WM_COMMAND && lParam) hChild = reinterpret_cast<HWND>(lParam);
    else if (message == WM_DRAWITEM && lParam)
        hChild = reinterpret_cast<DRAWITEMSTRUCT*>(lParam)->hwndItem;
    else if (message == WM_NOTIFY && lParam)
        hChild = reinterpret_cast<NMHDR*>(lParam)->hwndFrom;
    if (hChild && hChild != m_hWnd) {
        CWnd* pChild = FromHandlePermanent(hChild);
        if (pChild && pChild->OnChildNotify(message, wParam, lParam, pResult)) return TRUE;
    }

    const UINT key = IsCtlColor(message) ? msg::kCtlColorAny : message;
    if (const CMessageMap* map = GetMessageMap()) {
        if (const CMessageEntry* entry = map->Find(key, wParam)) {
            if (entry->invoke(this, wParam, lParam, *pResult)) return TRUE;
        }
    }
    if (IsCtlColor(message)) {
        *pResult = reinterpret_cast<LRESULT>(OnCtlColor(
            reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam),
            message - WM_CTLCOLORMSGBOX));
        return TRUE;
    }
    return FALSE;
}

HBRUSH CWnd::OnCtlColor(HDC hDC, HWND hCtl, UINT /*nCtlColor*/) {
    const MSG* m = GetCurrentMessage();
    if (hCtl && hCtl != m_hWnd) {
        if (CWnd* pChild = FromHandlePermanent(hCtl)) {
            LRESULT r = 0;
            if (pChild->OnChildNotify(m->message, reinterpret_cast<WPARAM>(hDC),
                                      reinterpret_cast<LPARAM>(hCtl), &r))
                return reinterpret_cast<HBRUSH>(r);
        }
    }
    return reinterpret_cast<HBRUSH>(DefWindowProc(m->message, m->wParam, m->lParam));
}

BOOL CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*) { return FALSE; }

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

const CMessageMap* CWnd::GetMessageMap() const { return nullptr; }

const CEventSinkMap* CWnd::GetEventSinkMap() const { return nullptr; }

BOOL CWnd::OnEvent(UINT idCtrl, DISPID dispid, DISPPARAMS* pParams, HRESULT* pResult) {
    if (pResult) *pResult = S_OK;
    const CEventSinkMap* map = GetEventSinkMap();
    const CEventSinkEntry* entry = map ? map->Find(idCtrl, dispid) : nullptr;
    if (!entry) return FALSE;  // unknown events are ignored
    try {
        entry->invoke(this, pParams);
    } catch (...) {
        if (pResult) *pResult = E_UNEXPECTED;
    }
    return TRUE;
}

BOOL CWnd::ShowWindow(int nCmdShow) {
    if (m_pCtrlSite) return m_pCtrlSite->ShowWindow(nCmdShow);
    return m_hWnd ? ::ShowWindow(m_hWnd, nCmdShow) : FALSE;
}

void CWnd::MoveWindow(int x, int y, int cx, int cy, BOOL bRepaint) {
    if (m_pCtrlSite) {
        m_pCtrlSite->MoveWindow(x, y, cx, cy, bRepaint);
        return;
    }
    if (m_hWnd) ::MoveWindow(m_hWnd, x, y, cx, cy, bRepaint);
}

void CWnd::MoveWindow(const RECT& rc, BOOL bRepaint) {
    MoveWindow(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, bRepaint);
}

BOOL CWnd::SetWindowPos(HWND hWndInsertAfter, int x, int y, int cx, int cy, UINT flags) {
    return ::SetWindowPos(m_hWnd, hWndInsertAfter, x, y, cx, cy, flags);
}

void CWnd::ScreenToClient(RECT* prc) const {
    POINT pts[2] = {{prc->left, prc->top}, {prc->right, prc->bottom}};
    ::ScreenToClient(m_hWnd, &pts[0]);
    ::ScreenToClient(m_hWnd, &pts[1]);
    *prc = {pts[0].x, pts[0].y, pts[1].x, pts[1].y};
}

static BOOL ModifyLong(HWND hWnd, int index, DWORD remove, DWORD add, UINT swpFlags) {
    DWORD style = static_cast<DWORD>(GetWindowLongW(hWnd, index));
    DWORD updated = (style & ~remove) | add;
    if (style == updated) return FALSE;
    SetWindowLongW(hWnd, index, static_cast<LONG>(updated));
    if (swpFlags)
        ::SetWindowPos(hWnd, nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | swpFlags);
    return TRUE;
}

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT swpFlags) {
    return ModifyLong(m_hWnd, GWL_STYLE, remove, add, swpFlags);
}

BOOL CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT swpFlags) {
    return ModifyLong(m_hWnd, GWL_EXSTYLE, remove, add, swpFlags);
}

HICON CWnd::SetIcon(HICON hIcon, BOOL bBigIcon) {
    return reinterpret_cast<HICON>(
        SendMessage(WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(hIcon)));
}

void CWnd::CenterWindow(CWnd* pAlternateOwner) {
    const DWORD style = GetStyle();
    HWND hWndCenter = pAlternateOwner ? pAlternateOwner->m_hWnd : nullptr;
    RECT rcDlg;
    ::GetWindowRect(m_hWnd, &rcDlg);
    RECT rcArea, rcCenter;
    HWND hWndParent = nullptr;
    if (style & WS_CHILD) {
        hWndParent = ::GetParent(m_hWnd);
        ::GetClientRect(hWndParent, &rcArea);
        rcCenter = rcArea;
        if (hWndCenter) {
            ::GetWindowRect(hWndCenter, &rcCenter);
            POINT pts[2] = {{rcCenter.left, rcCenter.top}, {rcCenter.right, rcCenter.bottom}};
            ::ScreenToClient(hWndParent, &pts[0]);
            ::ScreenToClient(hWndParent, &pts[1]);
            rcCenter = {pts[0].x, pts[0].y, pts[1].x, pts[1].y};
        }
        POINT origin{rcDlg.left, rcDlg.top};
        ::ScreenToClient(hWndParent, &origin);
        OffsetRect(&rcDlg, origin.x - rcDlg.left, origin.y - rcDlg.top);
    } else {
        if (!hWndCenter) hWndCenter = ::GetWindow(m_hWnd, GW_OWNER);
        if (hWndCenter && (!::IsWindowVisible(hWndCenter) || ::IsIconic(hWndCenter)))
            hWndCenter = nullptr;
        HWND hWndMonitor = hWndCenter;
        if (!hWndMonitor) {
            CWnd* pMain = AfxGetMainWnd();
            hWndMonitor = pMain && pMain->m_hWnd ? pMain->m_hWnd : m_hWnd;
        }
        MONITORINFO mi{};
        mi.cbSize = sizeof(mi);
        GetMonitorInfoW(MonitorFromWindow(hWndMonitor, MONITOR_DEFAULTTONEAREST), &mi);
        rcArea = mi.rcWork;
        if (hWndCenter) ::GetWindowRect(hWndCenter, &rcCenter);
        else rcCenter = rcArea;
    }
    const int w = rcDlg.right - rcDlg.left, h = rcDlg.bottom - rcDlg.top;
    int x = (rcCenter.left + rcCenter.right) / 2 - w / 2;
    int y = (rcCenter.top + rcCenter.bottom) / 2 - h / 2;
    if (x + w > rcArea.right) x = rcArea.right - w;
    if (x < rcArea.left) x = rcArea.left;
    if (y + h > rcArea.bottom) y = rcArea.bottom - h;
    if (y < rcArea.top) y = rcArea.top;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWnd::InvokeHelper(DISPID dwDispID, WORD wFlags, VARTYPE vtRet, void* pvRet,
                        const BYTE* pbParamInfo, ...) {
    if (!m_pCtrlSite) return;
    va_list args;
    va_start(args, pbParamInfo);
    m_pCtrlSite->InvokeHelperV(dwDispID, wFlags, vtRet, pvRet, pbParamInfo, args);
    va_end(args);
}

HWND CWnd::GetSafeOwner(HWND hParent, HWND* phWndTop) {
    HWND hWnd = hParent;
    if (!hWnd) {
        CWnd* pMain = AfxGetMainWnd();
        hWnd = pMain ? pMain->m_hWnd : nullptr;
    }
    // A popup cannot be owned by a child window.
    while (hWnd && (GetWindowLongW(hWnd, GWL_STYLE) & WS_CHILD)) hWnd = ::GetParent(hWnd);
    HWND hWndTop = hWnd;
    for (HWND h = hWnd; h; h = ::GetParent(h)) hWndTop = h;
    if (!hParent && hWnd) hWnd = ::GetLastActivePopup(hWnd);
    if (phWndTop) {
        *phWndTop = nullptr;
        if (hWndTop && hWndTop != hWnd && ::IsWindowEnabled(hWndTop)) {
            *phWndTop = hWndTop;
            ::EnableWindow(hWndTop, FALSE);
        }
    }
    return hWnd;
}

BOOL AfxPreTranslateMessage(MSG* pMsg) {
    for (HWND hWnd = pMsg->hwnd; hWnd; hWnd = ::GetParent(hWnd)) {
        if (CWnd* pWnd = CWnd::FromHandlePermanent(hWnd)) {
            if (pWnd->PreTranslateMessage(pMsg)) return TRUE;
        }
        if (!(GetWindowLongW(hWnd, GWL_STYLE) & WS_CHILD)) break;  // stop at the top level
    }
    return FALSE;
}
