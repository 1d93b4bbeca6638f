#include "tests/e2e/Desktop.h"

#include <shellapi.h>

namespace desktop {
namespace {

constexpr int kProbeHotKeyId = 0x7A11;
// The notification area that Wine's X11 driver shows where no system tray
// of the X desktop takes the icons: a small window of Wine's explorer.
constexpr wchar_t kTrayClass[] = L"__winex11_standalone_tray";
constexpr wchar_t kTrayIconClass[] = L"__winex11_tray_icon";

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[256] = {};
    GetClassNameW(hwnd, name, 256);
    return name;
}

std::wstring TextOf(HWND hwnd) {
    // GetWindowTextW would send WM_GETTEXT to another process's window and
    // wait for it; InternalGetWindowText reads the stored text directly.
    wchar_t text[512] = {};
    InternalGetWindowText(hwnd, text, 512);
    return text;
}

DWORD PidOf(HWND hwnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

struct ProcessSearch {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectOfProcess(HWND hwnd, LPARAM lp) {
    auto* search = reinterpret_cast<ProcessSearch*>(lp);
    if (PidOf(hwnd) == search->pid) search->found.push_back(hwnd);
    return TRUE;
}

BOOL CALLBACK CollectAll(HWND hwnd, LPARAM lp) {
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
    return TRUE;
}

}  // namespace

WindowInfo Describe(HWND hwnd) {
    WindowInfo info;
    info.hwnd = hwnd;
    if (!IsWindow(hwnd)) return info;
    info.className = ClassOf(hwnd);
    info.text = TextOf(hwnd);
    GetWindowRect(hwnd, &info.rect);
    info.style = GetWindowLongW(hwnd, GWL_STYLE);
    info.exStyle = GetWindowLongW(hwnd, GWL_EXSTYLE);
    info.visible = IsWindowVisible(hwnd) != FALSE;
    info.iconic = IsIconic(hwnd) != FALSE;
    info.owner = GetWindow(hwnd, GW_OWNER);
    info.id = GetDlgCtrlID(hwnd);
    return info;
}

std::vector<HWND> TopLevelWindows(DWORD pid) {
    ProcessSearch search{pid, {}};
    EnumWindows(CollectOfProcess, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> MessageOnlyWindows(DWORD pid) {
    std::vector<HWND> found;
    HWND after = nullptr;
    while ((after = FindWindowExW(HWND_MESSAGE, after, nullptr, nullptr)) != nullptr) {
        if (PidOf(after) == pid) found.push_back(after);
    }
    return found;
}

std::vector<HWND> Descendants(HWND parent) {
    std::vector<HWND> found;
    EnumChildWindows(parent, CollectAll, reinterpret_cast<LPARAM>(&found));
    return found;
}

std::vector<HWND> AllWindows(DWORD pid) {
    std::vector<HWND> all;
    std::vector<HWND> roots = TopLevelWindows(pid);
    for (HWND h : MessageOnlyWindows(pid)) roots.push_back(h);
    for (HWND root : roots) {
        all.push_back(root);
        for (HWND child : Descendants(root)) all.push_back(child);
    }
    return all;
}

HWND ControlById(HWND parent, int id) {
    for (HWND child : Descendants(parent))
        if (GetDlgCtrlID(child) == id) return child;
    return nullptr;
}

bool WaitUntil(const std::function<bool()>& pred, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (pred()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(10);
    }
}

COLORREF ScreenPixel(POINT screen) {
    // Copied out of the screen as a screenshot would copy it.
    HDC screenDc = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screenDc);
    HBITMAP bitmap = CreateCompatibleBitmap(screenDc, 1, 1);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, 1, 1, screenDc, screen.x, screen.y, SRCCOPY);
    const COLORREF colour = GetPixel(memory, 0, 0);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screenDc);
    return colour;
}

namespace {

LRESULT CALLBACK ProbeWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return DefWindowProcW(hwnd, msg, wp, lp);
}

bool ProbeColourKeyHitTesting() {
    constexpr COLORREF kKey = RGB(255, 255, 0);
    WNDCLASSW wc{};
    wc.lpfnWndProc = ProbeWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"E2eColourKeyProbe";
    wc.hbrBackground = CreateSolidBrush(kKey);
    RegisterClassW(&wc);
    const RECT rc{GetSystemMetrics(SM_CXSCREEN) - 60, GetSystemMetrics(SM_CYSCREEN) - 60,
                  GetSystemMetrics(SM_CXSCREEN) - 20, GetSystemMetrics(SM_CYSCREEN) - 20};
    HWND below = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP | WS_VISIBLE, rc.left,
                                 rc.top, rc.right - rc.left, rc.bottom - rc.top, nullptr, nullptr, nullptr, nullptr);
    HWND keyed = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_LAYERED, wc.lpszClassName, L"", WS_POPUP,
                                 rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, nullptr, nullptr,
                                 wc.hInstance, nullptr);
    SetLayeredWindowAttributes(keyed, kKey, 255, LWA_COLORKEY);
    ShowWindow(keyed, SW_SHOWNOACTIVATE);
    UpdateWindow(keyed);
    const POINT centre{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    HWND hit = nullptr;
    // Give the window system the time to paint and shape the window.
    WaitUntil(
        [&] {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
            hit = WindowFromPoint(centre);
            return hit == below;
        },
        500);
    DestroyWindow(keyed);
    DestroyWindow(below);
    UnregisterClassW(wc.lpszClassName, wc.hInstance);
    DeleteObject(wc.hbrBackground);
    return hit == below;
}

}  // namespace

bool HitTestingHonoursColourKeys() {
    static const bool honoured = ProbeColourKeyHitTesting();
    return honoured;
}

HWND TrayWindow() { return FindWindowW(kTrayClass, L"Wine System Tray"); }

int TrayIconCount() {
    HWND tray = TrayWindow();
    if (!tray || !IsWindowVisible(tray)) return 0;
    // One child window per icon.
    int count = 0;
    for (HWND h : Descendants(tray)) count += IsWindowVisible(h) && ClassOf(h) == kTrayIconClass ? 1 : 0;
    return count;
}

bool TrayIconExists(HWND owner, UINT id) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = owner;
    data.uID = id;
    data.uFlags = 0;  // change nothing
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

HotKey HotKeyState(UINT vk) {
    if (RegisterHotKey(nullptr, kProbeHotKeyId, 0, vk)) {
        UnregisterHotKey(nullptr, kProbeHotKeyId);
        return HotKey::Free;
    }
    return GetLastError() == ERROR_HOTKEY_ALREADY_REGISTERED ? HotKey::Taken : HotKey::Unknown;
}

}  // namespace desktop
