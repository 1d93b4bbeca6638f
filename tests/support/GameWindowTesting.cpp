#include "tests/support/GameWindowTesting.h"

#include <commctrl.h>

#include "app/CLoginApp.h"
#include "browser/CCustomOccManager.h"
#include "framework/CWinApp.h"
#include "framework/CWnd.h"
#include "tests/standin/StandinBrowser.h"

namespace gametest {

void PrepareProcess() {
    static bool done = false;
    if (done) return;
    done = true;
    INITCOMMONCONTROLSEX icc{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    static CCustomOccManager manager;
    AfxEnableControlContainer(&manager);
    // The title the program's message boxes carry (from its file name).
    theApp.m_pszAppName = L"PellumoZarvotek";
    static DWORD cookie = 0;
    StandinRegisterClassObject(&cookie);
}

bool PumpQueued(int* quitCode) {
    MSG msg;
    // Bounded: a window that keeps posting to itself must not hang a test.
    for (int i = 0; i < 100000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (msg.message == WM_QUIT) {
            if (quitCode) *quitCode = static_cast<int>(msg.wParam);
            return false;
        }
        if (!AfxPreTranslateMessage(&msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return true;
}

bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (pred()) return true;
        int code = 0;
        if (!PumpQueued(&code)) {
            PostQuitMessage(code);  // left for the caller's loop
            return pred();
        }
        if (pred()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

Placement OfRect(const RECT& rc) {
    return Placement{rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top};
}

Placement WindowPlacement(HWND hWnd) {
    RECT rc{};
    GetWindowRect(hWnd, &rc);
    return OfRect(rc);
}

Placement ChildPlacement(HWND hChild) {
    RECT rc{};
    GetWindowRect(hChild, &rc);
    MapWindowPoints(nullptr, GetParent(hChild), reinterpret_cast<POINT*>(&rc), 2);
    return OfRect(rc);
}

RECT WorkArea() {
    RECT rc{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &rc, 0);
    return rc;
}

bool HasVisibleStyle(HWND hWnd) {
    return (GetWindowLongW(hWnd, GWL_STYLE) & WS_VISIBLE) != 0;
}

}  // namespace gametest
