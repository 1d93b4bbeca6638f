#pragma once
// The embedded web browser control as a child window of a dialog. It keeps
// no state of its own: the two commands the program uses go to the control
// through IDispatch by DISPID, and the dialog places, shows and hides it
// like any child window.
#include "framework/CWnd.h"

class CWebBrowser2 : public CWnd {
public:
    static const CLSID& GetClsid();

    // Creates the control through the parent's control container (the
    // dialogs get theirs from their templates and never call this).
    virtual BOOL Create(LPCWSTR lpszClassName, LPCWSTR lpszWindowName, DWORD dwStyle,
                        const RECT& rect, CWnd* pParentWnd, UINT nID, void* pContext = nullptr);

    // DISPID 104: Navigate(URL, Flags, TargetFrameName, PostData, Headers).
    void Navigate(LPCWSTR URL, VARIANT* Flags, VARIANT* TargetFrameName, VARIANT* PostData,
                  VARIANT* Headers);
    // DISPID_REFRESH (-550).
    void Refresh();
};
