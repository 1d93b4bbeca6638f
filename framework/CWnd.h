#pragma once
// CWnd: a C++ object bound to a window handle. The binding is made at the
// window's very first message (creation goes through a CBT hook) or by
// subclassing an existing window, and undone at WM_NCDESTROY, so no message
// ever reaches an object whose window is gone. Messages are dispatched
// through the class's message map; WM_COMMAND, WM_DRAWITEM and WM_CTLCOLOR*
// from a child are offered to the child's object first or last (reflection).
#include <windows.h>
#include <oaidl.h>
#include "framework/MessageMap.h"
#include "framework/EventSinkMap.h"

class COleControlSite;
class COleControlContainer;

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    // Set when this object wraps an ActiveX control hosted by its parent.
    COleControlSite* m_pCtrlSite = nullptr;
    // Set when this window hosts ActiveX controls (dialogs with such items).
    COleControlContainer* m_pCtrlCont = nullptr;

    operator HWND() const { return m_hWnd; }

    // The object bound to a window, or null.
    static CWnd* FromHandlePermanent(HWND hWnd);

    // Creation of a window of any class, bound from its first message.
    BOOL CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                  int x, int y, int cx, int cy, HWND hWndParent, HMENU idOrMenu,
                  LPVOID param = nullptr);
    virtual BOOL DestroyWindow();

    // Binding existing windows.
    BOOL SubclassWindow(HWND hWnd);     // replaces the window procedure
    BOOL SubclassDlgItem(UINT nID, CWnd* pParent);
    HWND UnsubclassWindow();
    void AttachControlSite(COleControlSite* pSite);  // wrapper of a hosted control

    // Overridables.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    virtual void PreSubclassWindow() {}
    virtual void PostNcDestroy() {}
    // A message sent to the parent about this child, offered back to the child.
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    virtual const CMessageMap* GetMessageMap() const;
    virtual const CEventSinkMap* GetEventSinkMap() const;
    // An event of a hosted control; dispatched through the event-sink map.
    virtual BOOL OnEvent(UINT idCtrl, DISPID dispid, DISPPARAMS* pParams, HRESULT* pResult);

    // Default processing of the message being handled right now.
    LRESULT Default();
    // The message being dispatched on this thread right now.
    static const MSG* GetCurrentMessage();

    // Base WM_CTLCOLOR* handling: the child's own answer, else the default.
    HBRUSH OnCtlColor(HDC hDC, HWND hCtl, UINT nCtlColor);

    // Window operations. ShowWindow and MoveWindow go through the control
    // site when the object wraps an ActiveX control.
    BOOL ShowWindow(int nCmdShow);
    void MoveWindow(int x, int y, int cx, int cy, BOOL bRepaint = TRUE);
    void MoveWindow(const RECT& rc, BOOL bRepaint = TRUE);
    BOOL SetWindowPos(HWND hWndInsertAfter, int x, int y, int cx, int cy, UINT flags);
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    BOOL IsWindow() const { return ::IsWindow(m_hWnd); }
    HWND GetDlgItem(int nID) const { return ::GetDlgItem(m_hWnd, nID); }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    void GetClientRect(RECT* prc) const { ::GetClientRect(m_hWnd, prc); }
    void GetWindowRect(RECT* prc) const { ::GetWindowRect(m_hWnd, prc); }
    void ScreenToClient(POINT* ppt) const { ::ScreenToClient(m_hWnd, ppt); }
    void ScreenToClient(RECT* prc) const;
    void SetWindowText(LPCWSTR text) { ::SetWindowTextW(m_hWnd, text); }
    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_STYLE)); }
    DWORD GetExStyle() const { return static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_EXSTYLE)); }
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT swpFlags = 0);
    BOOL ModifyStyleEx(DWORD remove, DWORD add, UINT swpFlags = 0);
    void Invalidate(BOOL bErase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, bErase); }
    LRESULT SendMessage(UINT m, WPARAM w = 0, LPARAM l = 0) { return ::SendMessageW(m_hWnd, m, w, l); }
    BOOL PostMessage(UINT m, WPARAM w = 0, LPARAM l = 0) { return ::PostMessageW(m_hWnd, m, w, l); }
    HWND SetActiveWindow() { return ::SetActiveWindow(m_hWnd); }
    HICON SetIcon(HICON hIcon, BOOL bBigIcon);
    // Centres a popup over its owner (when that is visible and not minimised)
    // or in the work area of the main window's monitor, kept inside that
    // work area; a child is centred in its parent's client area.
    void CenterWindow(CWnd* pAlternateOwner = nullptr);

    // Calls a method or property of the hosted ActiveX control through its
    // IDispatch. pbParamInfo lists the argument types (VTS_* bytes, 0-ended);
    // nothing happens without a control behind the wrapper.
    void InvokeHelper(DISPID dwDispID, WORD wFlags, VARTYPE vtRet, void* pvRet,
                      const BYTE* pbParamInfo, ...);

    // Owner a modal window should use when none is given: the main window's
    // last active popup. *phWndTop receives a top-level window that was
    // disabled for the duration (or null).
    static HWND GetSafeOwner(HWND hParent, HWND* phWndTop);

protected:
    // Destroys the window if it is still bound to this object. A class whose
    // window uses its members calls it from its own destructor, while those
    // members (and its handlers) still exist.
    void DestroyOwnWindow();
    // Called once the window has been bound (hook or subclass).
    void BindHandle(HWND hWnd, WNDPROC pfnSuper);
    // Prepares the next CreateWindowEx on this thread to bind to this object.
    void HookWindowCreate();
    static void UnhookWindowCreate();

    WNDPROC m_pfnSuper = nullptr;  // procedure that was there before ours

private:
    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
    friend LRESULT CALLBACK AfxCbtHook(int, WPARAM, LPARAM);
    void OnFinalNcDestroy();
};

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// Walks from the message's window up to its top-level window, offering the
// message to each bound object's PreTranslateMessage.
BOOL AfxPreTranslateMessage(MSG* pMsg);

// Argument type bytes for InvokeHelper.
#define VTS_BSTR     "\x08"
#define VTS_I4       "\x03"
#define VTS_BOOL     "\x0B"
#define VTS_DISPATCH "\x09"
#define VTS_PVARIANT "\x4C"
#define VTS_PBOOL    "\x4B"
