#pragma once
// A push button. Owner-drawn buttons draw themselves: the parent's
// WM_DRAWITEM is reflected back to DrawItem.
#include "framework/CWnd.h"

class CButton : public CWnd {
public:
    virtual void DrawItem(LPDRAWITEMSTRUCT) {}
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override {
        if (message == WM_DRAWITEM && lParam) {
            DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
            *pResult = TRUE;
            return TRUE;
        }
        return CWnd::OnChildNotify(message, wParam, lParam, pResult);
    }
};
