#pragma once
// What the end-to-end driver can see of the desktop from outside the
// program: windows of a process, their rectangles, styles and visibility,
// screen pixels, the notification area and the hot keys. Everything here
// reads the window system; nothing sends a message that the program itself
// would have to answer, so it works while the program is busy.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

struct WindowInfo {
    HWND hwnd = nullptr;
    std::wstring className;
    std::wstring text;
    RECT rect{};            // window rectangle, screen coordinates
    LONG style = 0;
    LONG exStyle = 0;
    bool visible = false;   // IsWindowVisible: shown, and every parent shown
    bool iconic = false;
    HWND owner = nullptr;   // GW_OWNER
    int id = 0;             // control id (children)

    int Width() const { return rect.right - rect.left; }
    int Height() const { return rect.bottom - rect.top; }
};

namespace desktop {

WindowInfo Describe(HWND hwnd);

// Top-level windows of a process, visible or not, in z-order.
std::vector<HWND> TopLevelWindows(DWORD pid);
// The process's message-only windows (never listed by EnumWindows).
std::vector<HWND> MessageOnlyWindows(DWORD pid);
// All windows of a process: top-level, their descendants, and message-only
// windows with theirs.
std::vector<HWND> AllWindows(DWORD pid);
// Children of a window (all descendants), in EnumChildWindows order.
std::vector<HWND> Descendants(HWND parent);
// The descendant of `parent` with control id `id` (any depth), or null.
HWND ControlById(HWND parent, int id);

// Waits, at most timeoutMs, until pred() holds (asked every 10 ms).
bool WaitUntil(const std::function<bool()>& pred, DWORD timeoutMs);

// The colour of a screen pixel as the X server shows it.
COLORREF ScreenPixel(POINT screen);

// Whether WindowFromPoint looks through the key-coloured pixels of a
// colour-keyed layered window (Windows does). Found out once with two
// windows of the driver's own: a plain one under a key-coloured one.
bool HitTestingHonoursColourKeys();

// --- Notification area ----------------------------------------------------
// Without a system tray on the X desktop, Wine keeps the icons of the
// prefix in a window of its own (in its explorer process), "Wine System
// Tray", with one child window per icon; the window is hidden while there
// is no icon.
HWND TrayWindow();
// Icons shown in that window (0 when it is hidden or absent).
int TrayIconCount();
// Whether the shell knows an icon (owner, id): NIM_MODIFY without any
// change succeeds only for an icon that exists.
bool TrayIconExists(HWND owner, UINT id);

// --- Hot keys ---------------------------------------------------------------
// Whether some window holds `vk` without modifiers as a hot key: the driver
// tries to register it itself (and gives it back at once when it could).
enum class HotKey { Free, Taken, Unknown /* registration failed otherwise */ };
HotKey HotKeyState(UINT vk);

}  // namespace desktop
