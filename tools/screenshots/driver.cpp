// The hands of tools/screenshots.sh: finds the program's windows on the
// desktop of the current prefix, waits for them, and clicks their buttons,
// the way a player would, by posting BM_CLICK to them.
//
//   driver.exe wait KIND TIMEOUT_MS   waits until a window of that kind is
//                                     shown; prints "x y width height" of it
//   driver.exe gone KIND TIMEOUT_MS   waits until none is shown
//   driver.exe click KIND ID          clicks button ID of that window
//   driver.exe close                  asks the launcher to close
//
// KIND: launcher  dialog "PellumoZarvotek" without an owner
//       game      dialog "PellumoZarvotek" with the title strip's close button (1001)
//       confirm   a shown 256 x 110 dialog
//       veil      a shown dialog covering the work area with the cache
//                 cleaner's status line (1002) and no close button (1001)
// Exit code 0 on success, 1 if the window was not found in time.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kTitle[] = L"PellumoZarvotek";

std::wstring TextOf(HWND hwnd) {
    wchar_t text[256] = L"";
    GetWindowTextW(hwnd, text, 256);
    return text;
}

bool IsDialog(HWND hwnd) {
    wchar_t name[64] = L"";
    GetClassNameW(hwnd, name, 64);
    return wcscmp(name, L"#32770") == 0;
}

BOOL CALLBACK Collect(HWND hwnd, LPARAM lParam) {
    reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hwnd);
    return TRUE;
}

bool Matches(HWND h, const std::wstring& kind) {
    if (!IsDialog(h) || !IsWindowVisible(h)) return false;
    RECT rc;
    GetWindowRect(h, &rc);
    if (kind == L"launcher") return TextOf(h) == kTitle && !GetWindow(h, GW_OWNER);
    if (kind == L"game") return TextOf(h) == kTitle && GetWindow(h, GW_OWNER) && GetDlgItem(h, 1001);
    if (kind == L"confirm") return rc.right - rc.left == 256 && rc.bottom - rc.top == 110;
    if (kind == L"veil") {
        RECT work{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        return !GetDlgItem(h, 1001) && GetDlgItem(h, 1002) && rc.right - rc.left == work.right - work.left &&
               rc.bottom - rc.top == work.bottom - work.top;
    }
    return false;
}

HWND Find(const std::wstring& kind) {
    std::vector<HWND> windows;
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&windows));
    for (HWND h : windows) {
        if (Matches(h, kind)) return h;
    }
    return nullptr;
}

// Waits until a window of that kind is shown (shown) or none is (!shown);
// false on timeout. *found: the window shown.
bool WaitFor(const std::wstring& kind, DWORD timeoutMs, bool shown, HWND* found = nullptr) {
    const DWORD start = GetTickCount();
    for (;;) {
        HWND h = Find(kind);
        if (found) *found = h;
        if ((h != nullptr) == shown) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(20);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 4 && !wcscmp(argv[1], L"wait")) {
        HWND h = nullptr;
        if (!WaitFor(argv[2], wcstoul(argv[3], nullptr, 10), true, &h)) return 1;
        RECT rc;
        GetWindowRect(h, &rc);
        std::printf("%ld %ld %ld %ld\n", rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
        return 0;
    }
    if (argc >= 4 && !wcscmp(argv[1], L"gone")) {
        return WaitFor(argv[2], wcstoul(argv[3], nullptr, 10), false) ? 0 : 1;
    }
    if (argc >= 4 && !wcscmp(argv[1], L"click")) {
        HWND h = Find(argv[2]);
        HWND button = h ? GetDlgItem(h, _wtoi(argv[3])) : nullptr;
        if (!button) return 1;
        PostMessageW(button, BM_CLICK, 0, 0);
        return 0;
    }
    if (argc >= 2 && !wcscmp(argv[1], L"close")) {
        HWND h = Find(L"launcher");
        if (!h) {
            // Hidden while the game window is shown: any launcher will do.
            std::vector<HWND> windows;
            EnumWindows(Collect, reinterpret_cast<LPARAM>(&windows));
            for (HWND w : windows) {
                if (IsDialog(w) && TextOf(w) == kTitle && !GetWindow(w, GW_OWNER)) h = w;
            }
        }
        if (!h) return 1;
        PostMessageW(h, WM_CLOSE, 0, 0);
        return 0;
    }
    std::fprintf(stderr, "usage: driver.exe wait|gone KIND TIMEOUT_MS | click KIND ID | close\n");
    return 2;
}
