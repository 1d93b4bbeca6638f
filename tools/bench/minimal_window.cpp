// The smallest program that does what the launcher does at start, for the
// start-up benchmark: it registers a window class, shows one borderless window
// of the launcher's size (980 x 668) in the middle of the work area, paints
// it, and runs a message loop until the window is closed.
//
// Built twice from this source (tools/bench/CMakeLists.txt):
//   minimal_window.exe  just that;
//   browser_window.exe  the same program hosting the system's WebBrowser
//                       control (browser_host.cpp, plain OLE in-place
//                       hosting) where the launcher has its portal page
//                       (631 x 444 at 270, 141): before the window is shown it
//                       creates the control, activates it hidden and
//                       navigates it to the portal URL, as the launcher does.
//
//   minimal_window.exe [--title TEXT]        window text (default "PellumoZarvotek")
//                      [--layered]           per-pixel-alpha window painted once
//                                            with UpdateLayeredWindow, like the launcher
//                      [--paint-delay-ms N]  sleep N ms before the first painting
//                      [--ready-event NAME]  set the named event once painted
//                      [--exit-when-ready]   print the time from process creation
//                                            to painted, then close the window
//   browser_window.exe [the same] [--url URL]  the page to navigate to
//                                            (default http://127.0.0.1/micro/)
#include <windows.h>
#include <shellapi.h>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <type_traits>

#ifdef BENCH_WITH_BROWSER
#include "tools/bench/browser_host.h"
#endif

namespace {

constexpr int kWidth = 980;
constexpr int kHeight = 668;
constexpr RECT kPortalRect{270, 141, 270 + 631, 141 + 444};
constexpr COLORREF kNavy = RGB(0x1c, 0x1f, 0x4a);
constexpr COLORREF kDeepNavy = RGB(0x0c, 0x0e, 0x26);
constexpr COLORREF kGold = RGB(0xc9, 0xa2, 0x3f);
constexpr COLORREF kIvory = RGB(0xf5, 0xef, 0xdc);

struct Options {
    std::wstring title = L"PellumoZarvotek";
    bool layered = false;
    DWORD paintDelayMs = 0;
    std::wstring readyEvent;
    bool exitWhenReady = false;
    std::wstring url = L"http://127.0.0.1/micro/";
};

struct HandleCloser { void operator()(HANDLE h) const { CloseHandle(h); } };
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;
struct GdiObjectDeleter { void operator()(HGDIOBJ h) const { DeleteObject(h); } };
using UniqueGdiObject = std::unique_ptr<std::remove_pointer_t<HGDIOBJ>, GdiObjectDeleter>;
struct DcDeleter { void operator()(HDC h) const { DeleteDC(h); } };
using UniqueDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;

// Keeps a GDI object selected into a DC for its own lifetime.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : m_dc(dc), m_previous(SelectObject(dc, object)) {}
    ~SelectedObject() { SelectObject(m_dc, m_previous); }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
private:
    HDC m_dc;
    HGDIOBJ m_previous;
};

Options g_options;
bool g_painted = false;
#ifdef BENCH_WITH_BROWSER
BrowserHost* g_browser = nullptr;  // closed while its window still exists
#endif

double MillisecondsSinceProcessCreation() {
    FILETIME created{}, exited{}, kernel{}, user{}, now{};
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    GetSystemTimePreciseAsFileTime(&now);
    ULARGE_INTEGER a{}, b{};
    a.LowPart = created.dwLowDateTime; a.HighPart = created.dwHighDateTime;
    b.LowPart = now.dwLowDateTime; b.HighPart = now.dwHighDateTime;
    return static_cast<double>(b.QuadPart - a.QuadPart) / 10000.0;
}

void OnPainted(HWND hwnd) {
    if (g_painted) return;
    g_painted = true;
    GdiFlush();
    if (!g_options.readyEvent.empty()) {
        UniqueHandle event(OpenEventW(EVENT_MODIFY_STATE, FALSE, g_options.readyEvent.c_str()));
        if (event) SetEvent(event.get());
    }
    if (g_options.exitWhenReady) {
        std::printf("painted %.1f ms after process creation\n", MillisecondsSinceProcessCreation());
        std::fflush(stdout);
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
    }
}

// The picture every kind of window shows: a navy panel with a gold frame, a
// darker inner panel where the launcher has its portal page, and a line of
// text.
void DrawPicture(HDC dc, const RECT& rc) {
    UniqueGdiObject navy(CreateSolidBrush(kNavy));
    FillRect(dc, &rc, static_cast<HBRUSH>(navy.get()));
    UniqueGdiObject deep(CreateSolidBrush(kDeepNavy));
    RECT panel = kPortalRect;
    FillRect(dc, &panel, static_cast<HBRUSH>(deep.get()));
    UniqueGdiObject gold(CreateSolidBrush(kGold));
    RECT frame = rc;
    for (int i = 0; i < 3; ++i) {
        FrameRect(dc, &frame, static_cast<HBRUSH>(gold.get()));
        InflateRect(&frame, -1, -1);
    }
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kIvory);
    RECT text = rc;
    DrawTextW(dc, g_options.title.c_str(), -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

// Per-pixel alpha like the launcher's PNG: opaque with rounded, see-through corners.
bool PaintLayered(HWND hwnd) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = -kHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueDc memory(CreateCompatibleDC(nullptr));
    UniqueGdiObject bitmap(CreateDIBSection(memory.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!memory || !bitmap || !bits) return false;
    SelectedObject selected(memory.get(), bitmap.get());
    RECT rc{0, 0, kWidth, kHeight};
    DrawPicture(memory.get(), rc);
    GdiFlush();
    auto* pixels = static_cast<DWORD*>(bits);
    constexpr int kRadius = 24;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            int dx = x < kRadius ? kRadius - x : (x >= kWidth - kRadius ? x - (kWidth - kRadius - 1) : 0);
            int dy = y < kRadius ? kRadius - y : (y >= kHeight - kRadius ? y - (kHeight - kRadius - 1) : 0);
            bool outside = dx * dx + dy * dy > kRadius * kRadius;
            DWORD& p = pixels[y * kWidth + x];
            p = outside ? 0 : (p & 0x00FFFFFF) | 0xFF000000;
        }
    }
    POINT source{0, 0};
    SIZE size{kWidth, kHeight};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    return UpdateLayeredWindow(hwnd, nullptr, nullptr, &size, memory.get(), &source, 0, &blend,
                               ULW_ALPHA) != FALSE;
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        if (!g_painted && g_options.paintDelayMs) Sleep(g_options.paintDelayMs);
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        DrawPicture(dc, rc);
        EndPaint(hwnd, &ps);
        OnPainted(hwnd);
        return 0;
    }
    case WM_DESTROY:
#ifdef BENCH_WITH_BROWSER
        if (g_browser) g_browser->Close();
#endif
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void ParseArguments() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == L"--title" && hasValue) g_options.title = argv[++i];
        else if (arg == L"--layered") g_options.layered = true;
        else if (arg == L"--paint-delay-ms" && hasValue) g_options.paintDelayMs = wcstoul(argv[++i], nullptr, 10);
        else if (arg == L"--ready-event" && hasValue) g_options.readyEvent = argv[++i];
        else if (arg == L"--exit-when-ready") g_options.exitWhenReady = true;
        else if (arg == L"--url" && hasValue) g_options.url = argv[++i];
    }
    LocalFree(argv);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    ParseArguments();

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = L"PellumoBenchMinimalWindow";
    if (!RegisterClassExW(&wc)) return 1;

    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    int x = work.left + (work.right - work.left - kWidth) / 2;
    int y = work.top + (work.bottom - work.top - kHeight) / 2;

    DWORD exStyle = g_options.layered ? WS_EX_LAYERED : 0;
    HWND hwnd = CreateWindowExW(exStyle, wc.lpszClassName, g_options.title.c_str(), WS_POPUP,
                                x, y, kWidth, kHeight, nullptr, nullptr, instance, nullptr);
    if (!hwnd) return 1;

#ifdef BENCH_WITH_BROWSER
    // Created, activated and navigated before the window is shown, and kept
    // hidden: the launcher reveals its browser only when a page has arrived.
    if (FAILED(OleInitialize(nullptr))) return 1;
    BrowserHost browser;
    g_browser = &browser;
    if (!browser.Create(hwnd, kPortalRect)) return 1;
    browser.Show(false);
    if (!browser.Navigate(g_options.url.c_str())) return 1;
#endif

    if (g_options.layered) {
        // Shown first: a layered window stays unseen until its first UpdateLayeredWindow.
        ShowWindow(hwnd, SW_SHOWNORMAL);
        if (g_options.paintDelayMs) Sleep(g_options.paintDelayMs);
        if (!PaintLayered(hwnd)) return 1;
        OnPainted(hwnd);
    } else {
        ShowWindow(hwnd, SW_SHOWNORMAL);
        UpdateWindow(hwnd);
    }

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
#ifdef BENCH_WITH_BROWSER
    g_browser = nullptr;
    browser.Close();
    OleUninitialize();
#endif
    return static_cast<int>(msg.wParam);
}
