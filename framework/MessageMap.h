#pragma once
// Message maps: a static table per window class that binds window messages
// and command identifiers to typed handler methods. Each class's map chains
// to its base class's map, so lookups walk from the most derived class up.
//
//   const CMessageMap* CMyDlg::GetMessageMap() const {
//       static const CMessageMap map(CDialogEx::GetMessageMap(), {
//           msg::Paint(&CMyDlg::OnPaint),
//           msg::Command(IDC_QUIT, &CMyDlg::OnQuit),
//       });
//       return &map;
//   }
#include <windows.h>
#include <functional>
#include <initializer_list>
#include <vector>

class CWnd;

struct CMessageEntry {
    UINT message;      // window message (WM_COMMAND for commands)
    UINT id;           // command or control identifier, for WM_COMMAND entries
    UINT code;         // notification code, for WM_COMMAND entries
    // Runs the handler; returns false to let the message fall through.
    std::function<bool(CWnd*, WPARAM, LPARAM, LRESULT&)> invoke;
};

class CMessageMap {
public:
    CMessageMap(const CMessageMap* base, std::initializer_list<CMessageEntry> entries)
        : m_base(base), m_entries(entries) {}

    // First entry matching the message in this map or its bases, or null.
    const CMessageEntry* Find(UINT message, WPARAM wParam) const {
        for (const CMessageMap* map = this; map; map = map->m_base) {
            for (const CMessageEntry& e : map->m_entries) {
                if (e.message != message) continue;
                if (message == WM_COMMAND &&
                    (e.id != LOWORD(wParam) || e.code != HIWORD(wParam)))
                    continue;
                return &e;
            }
        }
        return nullptr;
    }

private:
    const CMessageMap* m_base;
    std::vector<CMessageEntry> m_entries;
};

// Typed entry makers, one per message shape the program handles.
namespace msg {

// Signed coordinates packed in an LPARAM.
inline int LParamX(LPARAM lp) { return static_cast<short>(LOWORD(lp)); }
inline int LParamY(LPARAM lp) { return static_cast<short>(HIWORD(lp)); }

template <class T>
CMessageEntry Command(UINT id, void (T::*fn)()) {
    return {WM_COMMAND, id, BN_CLICKED, [fn](CWnd* w, WPARAM, LPARAM, LRESULT& r) {
                (static_cast<T*>(w)->*fn)();
                r = 0;
                return true;
            }};
}

// Any message, handler gets the raw parameters: LRESULT OnX(WPARAM, LPARAM).
template <class T>
CMessageEntry Raw(UINT message, LRESULT (T::*fn)(WPARAM, LPARAM)) {
    return {message, 0, 0, [fn](CWnd* w, WPARAM wp, LPARAM lp, LRESULT& r) {
                r = (static_cast<T*>(w)->*fn)(wp, lp);
                return true;
            }};
}

// Messages whose handler takes nothing and returns nothing (WM_PAINT, WM_CLOSE...).
template <class T>
CMessageEntry Void(UINT message, void (T::*fn)()) {
    return {message, 0, 0, [fn](CWnd* w, WPARAM, LPARAM, LRESULT& r) {
                (static_cast<T*>(w)->*fn)();
                r = 0;
                return true;
            }};
}

template <class T> CMessageEntry Paint(void (T::*fn)()) { return Void(WM_PAINT, fn); }
template <class T> CMessageEntry Close(void (T::*fn)()) { return Void(WM_CLOSE, fn); }

// int OnCreate(LPCREATESTRUCT)
template <class T>
CMessageEntry Create(int (T::*fn)(LPCREATESTRUCTW)) {
    return {WM_CREATE, 0, 0, [fn](CWnd* w, WPARAM, LPARAM lp, LRESULT& r) {
                r = (static_cast<T*>(w)->*fn)(reinterpret_cast<LPCREATESTRUCTW>(lp));
                return true;
            }};
}

// LRESULT OnNcHitTest(POINT screenPoint)
template <class T>
CMessageEntry NcHitTest(LRESULT (T::*fn)(POINT)) {
    return {WM_NCHITTEST, 0, 0, [fn](CWnd* w, WPARAM, LPARAM lp, LRESULT& r) {
                r = (static_cast<T*>(w)->*fn)(POINT{LParamX(lp), LParamY(lp)});
                return true;
            }};
}

// void OnMove(int x, int y)
template <class T>
CMessageEntry Move(void (T::*fn)(int, int)) {
    return {WM_MOVE, 0, 0, [fn](CWnd* w, WPARAM, LPARAM lp, LRESULT& r) {
                (static_cast<T*>(w)->*fn)(LParamX(lp), LParamY(lp));
                r = 0;
                return true;
            }};
}

// void OnSize(UINT type, int cx, int cy)
template <class T>
CMessageEntry Size(void (T::*fn)(UINT, int, int)) {
    return {WM_SIZE, 0, 0, [fn](CWnd* w, WPARAM wp, LPARAM lp, LRESULT& r) {
                (static_cast<T*>(w)->*fn)(static_cast<UINT>(wp), LOWORD(lp), HIWORD(lp));
                r = 0;
                return true;
            }};
}

// void OnShowWindow(BOOL show, UINT status)
template <class T>
CMessageEntry ShowWindow(void (T::*fn)(BOOL, UINT)) {
    return {WM_SHOWWINDOW, 0, 0, [fn](CWnd* w, WPARAM wp, LPARAM lp, LRESULT& r) {
                (static_cast<T*>(w)->*fn)(static_cast<BOOL>(wp), static_cast<UINT>(lp));
                r = 0;
                return true;
            }};
}

// HCURSOR OnQueryDragIcon()
template <class T>
CMessageEntry QueryDragIcon(HCURSOR (T::*fn)()) {
    return {WM_QUERYDRAGICON, 0, 0, [fn](CWnd* w, WPARAM, LPARAM, LRESULT& r) {
                r = reinterpret_cast<LRESULT>((static_cast<T*>(w)->*fn)());
                return true;
            }};
}

// Mouse button and move messages: void OnX(UINT flags, POINT clientPoint)
template <class T>
CMessageEntry Mouse(UINT message, void (T::*fn)(UINT, POINT)) {
    return {message, 0, 0, [fn](CWnd* w, WPARAM wp, LPARAM lp, LRESULT& r) {
                (static_cast<T*>(w)->*fn)(static_cast<UINT>(wp),
                                          POINT{LParamX(lp), LParamY(lp)});
                r = 0;
                return true;
            }};
}

// Key messages: void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags)
template <class T>
CMessageEntry Key(UINT message, void (T::*fn)(UINT, UINT, UINT)) {
    return {message, 0, 0, [fn](CWnd* w, WPARAM wp, LPARAM lp, LRESULT& r) {
                (static_cast<T*>(w)->*fn)(static_cast<UINT>(wp), LOWORD(lp), HIWORD(lp));
                r = 0;
                return true;
            }};
}

// void OnHotKey(UINT id, UINT modifiers, UINT virtualKey)
template <class T>
CMessageEntry HotKey(void (T::*fn)(UINT, UINT, UINT)) {
    return {WM_HOTKEY, 0, 0, [fn](CWnd* w, WPARAM wp, LPARAM lp, LRESULT& r) {
                (static_cast<T*>(w)->*fn)(static_cast<UINT>(wp), LOWORD(lp), HIWORD(lp));
                r = 0;
                return true;
            }};
}

// BOOL OnSetCursor(HWND hWnd, UINT hitTest, UINT message)
template <class T>
CMessageEntry SetCursor(BOOL (T::*fn)(HWND, UINT, UINT)) {
    return {WM_SETCURSOR, 0, 0, [fn](CWnd* w, WPARAM wp, LPARAM lp, LRESULT& r) {
                r = (static_cast<T*>(w)->*fn)(reinterpret_cast<HWND>(wp), LOWORD(lp), HIWORD(lp));
                return true;
            }};
}

// BOOL OnEraseBkgnd(HDC)
template <class T>
CMessageEntry EraseBkgnd(BOOL (T::*fn)(HDC)) {
    return {WM_ERASEBKGND, 0, 0, [fn](CWnd* w, WPARAM wp, LPARAM, LRESULT& r) {
                r = (static_cast<T*>(w)->*fn)(reinterpret_cast<HDC>(wp));
                return true;
            }};
}

// Every WM_CTLCOLOR* message: HBRUSH OnCtlColor(HDC dc, HWND control, UINT nCtlColor)
// where nCtlColor is CTLCOLOR_DLG, CTLCOLOR_STATIC, CTLCOLOR_BTN...
constexpr UINT kCtlColorAny = 0xFFFF0001u;  // pseudo-message matched by all WM_CTLCOLOR*
template <class T>
CMessageEntry CtlColor(HBRUSH (T::*fn)(HDC, HWND, UINT)) {
    return {kCtlColorAny, 0, 0, [fn](CWnd* w, WPARAM wp, LPARAM lp, LRESULT& r) {
                T* self = static_cast<T*>(w);
                const UINT kind = self->GetCurrentMessage()->message - WM_CTLCOLORMSGBOX;
                r = reinterpret_cast<LRESULT>(
                    (self->*fn)(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp), kind));
                return true;
            }};
}

}  // namespace msg
