#include "tests/e2e/Player.h"

#include <string>
#include <vector>

namespace player {
namespace {

INPUT MouseInput(POINT screen, DWORD flags) {
    const int cx = GetSystemMetrics(SM_CXSCREEN);
    const int cy = GetSystemMetrics(SM_CYSCREEN);
    INPUT in{};
    in.type = INPUT_MOUSE;
    // Absolute coordinates are normalised to 0..65535 over the primary screen.
    in.mi.dx = static_cast<LONG>((screen.x * 65535LL + (cx - 1) / 2) / (cx - 1));
    in.mi.dy = static_cast<LONG>((screen.y * 65535LL + (cy - 1) / 2) / (cy - 1));
    in.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    return in;
}

void Send(std::vector<INPUT> inputs) {
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    Sleep(30);  // let the window system route it before the next input
}

}  // namespace

void MoveTo(POINT screen) { Send({MouseInput(screen, 0)}); }

void Click(POINT screen) {
    MoveTo(screen);
    Send({MouseInput(screen, MOUSEEVENTF_LEFTDOWN)});
    Send({MouseInput(screen, MOUSEEVENTF_LEFTUP)});
}

void Drag(POINT from, POINT to) {
    MoveTo(from);
    Send({MouseInput(from, MOUSEEVENTF_LEFTDOWN)});
    constexpr int kSteps = 5;
    for (int i = 1; i <= kSteps; ++i)
        MoveTo({from.x + (to.x - from.x) * i / kSteps, from.y + (to.y - from.y) * i / kSteps});
    Send({MouseInput(to, MOUSEEVENTF_LEFTUP)});
}

bool ClickThroughX(POINT screen) {
    // Wine starts a Unix program from CreateProcess but hands back no usable
    // process handle, so the end of the input is told by the pointer: the
    // tool moves it one pixel on after the click, and the X server has the
    // click once the pointer is there.
    POINT now{};
    GetCursorPos(&now);
    POINT done{screen.x + 1, screen.y};
    if (now.x == done.x && now.y == done.y) done = {screen.x, screen.y + 1};
    std::wstring commandLine = L"/usr/bin/xdotool mousemove " + std::to_wstring(screen.x) + L" " +
                               std::to_wstring(screen.y) + L" click 1 mousemove " + std::to_wstring(done.x) + L" " +
                               std::to_wstring(done.y);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(L"Z:\\usr\\bin\\xdotool", &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi))
        return false;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 5000) {
        GetCursorPos(&now);
        if (now.x == done.x && now.y == done.y) return true;
        Sleep(10);
    }
    return false;
}

void RightClick(POINT screen) {
    MoveTo(screen);
    Send({MouseInput(screen, MOUSEEVENTF_RIGHTDOWN)});
    Send({MouseInput(screen, MOUSEEVENTF_RIGHTUP)});
}

void PressKey(WORD vk) {
    INPUT down{};
    down.type = INPUT_KEYBOARD;
    down.ki.wVk = vk;
    down.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    INPUT up = down;
    up.ki.dwFlags = KEYEVENTF_KEYUP;
    Send({down});
    Send({up});
}

bool VisiblePointOf(HWND target, POINT* screen) {
    RECT rc;
    if (!IsWindowVisible(target) || !GetWindowRect(target, &rc)) return false;
    const int w = rc.right - rc.left;
    const int h = rc.bottom - rc.top;
    const POINT centre{rc.left + w / 2, rc.top + h / 2};
    if (WindowFromPoint(centre) == target) {
        *screen = centre;
        return true;
    }
    const int step = 2;
    for (int ring = 1; ring * step < (w > h ? w : h); ++ring) {
        for (int dy = -ring; dy <= ring; ++dy) {
            for (int dx = -ring; dx <= ring; ++dx) {
                if (dx != -ring && dx != ring && dy != -ring && dy != ring) continue;
                POINT p{centre.x + dx * step, centre.y + dy * step};
                if (p.x < rc.left || p.x >= rc.right || p.y < rc.top || p.y >= rc.bottom) continue;
                if (WindowFromPoint(p) == target) {
                    *screen = p;
                    return true;
                }
            }
        }
    }
    return false;
}

bool ClickOn(HWND target) {
    POINT p;
    if (!VisiblePointOf(target, &p)) return false;
    Click(p);
    return true;
}

}  // namespace player
