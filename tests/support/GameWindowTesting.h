#pragma once
// What the game window's tests share: the process set-up the program makes
// before its first window (control container, application title), the
// stand-in browser engine in place of the system's WebBrowser control, a
// message pump that runs queued messages the way the program's loop does,
// and small readers of window placement.
#include <windows.h>

#include <functional>
#include <ostream>

namespace gametest {

// Once per process: common controls, the program's control container
// manager, the application title "PellumoZarvotek" and the stand-in engine
// registered for the WebBrowser class on this thread's apartment.
void PrepareProcess();

// Runs every message queued on this thread now (pre-translation through the
// window chain, then dispatch), until the queue is empty. Returns false if
// WM_QUIT was retrieved; its exit code goes to *quitCode.
bool PumpQueued(int* quitCode = nullptr);

// Pumps until pred() holds or timeoutMs has passed; pred()'s last answer.
bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs = 5000);

// A rectangle as position and size.
struct Placement {
    int x = 0, y = 0, cx = 0, cy = 0;
    bool operator==(const Placement& o) const {
        return x == o.x && y == o.y && cx == o.cx && cy == o.cy;
    }
    bool operator!=(const Placement& o) const { return !(*this == o); }
};
inline void PrintTo(const Placement& p, std::ostream* os) {
    *os << "(" << p.x << ", " << p.y << ") " << p.cx << " x " << p.cy;
}

Placement OfRect(const RECT& rc);
// A top-level window in screen coordinates.
Placement WindowPlacement(HWND hWnd);
// A child window in its parent's client coordinates.
Placement ChildPlacement(HWND hChild);
// The work area as SPI_GETWORKAREA reports it.
RECT WorkArea();
// The WS_VISIBLE bit of the window itself (not its parents').
bool HasVisibleStyle(HWND hWnd);

}  // namespace gametest
