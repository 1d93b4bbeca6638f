// Start-up probe for the benchmark. Runs a program several times and measures,
// from just before CreateProcess, when its top-level window with the given text
// becomes visible and when it is painted, that is, when the screen inside the
// window's rectangle has changed from what it showed before the start. Then it
// reads the process's working set and closes the window with WM_CLOSE.
//
//   probe.exe [--runs N] [--warmup N] [--title TEXT] [--timeout-ms N]
//             [--settle-ms N] [--ready-event] [--verbose] -- PROGRAM [ARGS...]
//
// --ready-event  the program understands "--ready-event NAME" and sets that event
//                once painted (tools/bench/minimal_window.exe does); the time
//                of the signal is reported too, as a check of the screen test.
//
// The last line is "RESULT key=value ...", with medians over the measured runs.
#include <windows.h>
#include <psapi.h>
#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace {

struct HandleCloser { void operator()(HANDLE h) const { if (h) CloseHandle(h); } };
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;
struct GdiObjectDeleter { void operator()(HGDIOBJ h) const { DeleteObject(h); } };
using UniqueGdiObject = std::unique_ptr<std::remove_pointer_t<HGDIOBJ>, GdiObjectDeleter>;
struct DcDeleter { void operator()(HDC h) const { DeleteDC(h); } };
using UniqueDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;

class ScreenDc {
public:
    ScreenDc() : m_dc(GetDC(nullptr)) {}
    ~ScreenDc() { if (m_dc) ReleaseDC(nullptr, m_dc); }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC get() const { return m_dc; }
private:
    HDC m_dc;
};

struct Options {
    int runs = 7;
    int warmup = 1;
    std::wstring title = L"PellumoZarvotek";
    DWORD timeoutMs = 30000;
    DWORD settleMs = 500;
    bool readyEvent = false;
    bool verbose = false;
    std::wstring commandLine;
};

// A copy of the whole screen in a 32-bit top-down DIB; parts of it can be refreshed.
class ScreenImage {
public:
    ScreenImage() {
        m_origin = {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN)};
        m_width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
        m_height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = m_width;
        info.bmiHeader.biHeight = -m_height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        m_dc.reset(CreateCompatibleDC(nullptr));
        void* bits = nullptr;
        m_bitmap.reset(CreateDIBSection(m_dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        m_bits = static_cast<const DWORD*>(bits);
        if (m_bitmap) m_previous = SelectObject(m_dc.get(), m_bitmap.get());
    }
    ~ScreenImage() { if (m_previous) SelectObject(m_dc.get(), m_previous); }
    ScreenImage(const ScreenImage&) = delete;
    ScreenImage& operator=(const ScreenImage&) = delete;

    bool valid() const { return m_bits != nullptr; }
    RECT bounds() const { return {m_origin.x, m_origin.y, m_origin.x + m_width, m_origin.y + m_height}; }

    // Copies the screen inside rc (screen coordinates, within bounds()).
    bool Grab(const RECT& rc) {
        ScreenDc screen;
        BOOL ok = BitBlt(m_dc.get(), rc.left - m_origin.x, rc.top - m_origin.y, rc.right - rc.left,
                         rc.bottom - rc.top, screen.get(), rc.left, rc.top, SRCCOPY);
        GdiFlush();
        return ok != FALSE;
    }
    DWORD At(int x, int y) const {
        return m_bits[(y - m_origin.y) * m_width + (x - m_origin.x)] & 0x00FFFFFF;
    }

private:
    POINT m_origin{};
    int m_width = 0;
    int m_height = 0;
    UniqueDc m_dc;
    UniqueGdiObject m_bitmap;
    HGDIOBJ m_previous = nullptr;
    const DWORD* m_bits = nullptr;
};

bool Differs(DWORD a, DWORD b) {
    for (int shift = 0; shift < 24; shift += 8) {
        int ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
        if (ca - cb > 8 || cb - ca > 8) return true;
    }
    return false;
}

struct Change {
    double fraction = 0;   // share of the samples that differ from the baseline
    int colours = 0;       // distinct colours among those samples (up to 16 counted)
};

// Compares a grid of samples inside rc between the baseline and the current image.
Change Compare(const ScreenImage& baseline, const ScreenImage& current, const RECT& rc) {
    int step = std::max(1L, std::min(rc.right - rc.left, rc.bottom - rc.top) / 48);
    int samples = 0, changed = 0;
    std::vector<DWORD> colours;
    for (int y = rc.top + step / 2; y < rc.bottom; y += step) {
        for (int x = rc.left + step / 2; x < rc.right; x += step) {
            ++samples;
            DWORD now = current.At(x, y);
            if (!Differs(now, baseline.At(x, y))) continue;
            ++changed;
            if (colours.size() < 16 && std::find(colours.begin(), colours.end(), now) == colours.end())
                colours.push_back(now);
        }
    }
    Change change;
    change.fraction = samples ? static_cast<double>(changed) / samples : 0;
    change.colours = static_cast<int>(colours.size());
    return change;
}

// The window counts as painted once a fifth of it shows something new, and
// more than one colour: a window that is mapped but not yet drawn shows one
// flat colour (or nothing) there.
bool LooksPainted(const Change& change) { return change.fraction >= 0.2 && change.colours >= 2; }

struct Found {
    std::vector<HWND> windows;   // top-level windows of the process with the text
    RECT visibleBounds{};        // union of the visible ones
    bool anyVisible = false;
    bool layered = false;
};

struct FindContext {
    DWORD processId;
    const std::wstring* title;
    Found* found;
};

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM lParam) {
    auto* context = reinterpret_cast<FindContext*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != context->processId) return TRUE;
    wchar_t text[256] = L"";
    GetWindowTextW(hwnd, text, 256);
    if (*context->title != text) return TRUE;
    Found& found = *context->found;
    found.windows.push_back(hwnd);
    if (!IsWindowVisible(hwnd)) return TRUE;
    RECT rc;
    GetWindowRect(hwnd, &rc);
    if (found.anyVisible) UnionRect(&found.visibleBounds, &found.visibleBounds, &rc);
    else found.visibleBounds = rc;
    found.anyVisible = true;
    if (GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED) found.layered = true;
    return TRUE;
}

Found FindWindows(DWORD processId, const std::wstring& title) {
    Found found;
    FindContext context{processId, &title, &found};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&context));
    return found;
}

class Clock {
public:
    Clock() { QueryPerformanceFrequency(&m_frequency); QueryPerformanceCounter(&m_start); }
    double Ms() const {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return static_cast<double>(now.QuadPart - m_start.QuadPart) * 1000.0 / m_frequency.QuadPart;
    }
private:
    LARGE_INTEGER m_frequency{};
    LARGE_INTEGER m_start{};
};

struct Run {
    bool ok = false;
    std::string failure;
    double createdMs = -1, visibleMs = -1, paintedMs = -1, readyMs = -1;
    bool layered = false;
    SIZE_T peakWorkingSet = 0, workingSet = 0, privateBytes = 0;
    bool closedByMessage = false;
    DWORD exitCode = 0;
};

std::wstring Quote(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') { ++backslashes; continue; }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, L'\\');
    quoted.push_back(L'"');
    return quoted;
}

Run MeasureOnce(const Options& options, int number) {
    Run run;
    std::wstring commandLine = options.commandLine;
    UniqueHandle ready;
    if (options.readyEvent) {
        std::wstring name = L"PellumoBenchReady-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                            std::to_wstring(number);
        ready.reset(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
        commandLine += L" --ready-event " + name;
    }

    ScreenImage baseline, current;
    if (!baseline.valid() || !current.valid() || !baseline.Grab(baseline.bounds())) {
        run.failure = "cannot read the screen";
        return run;
    }
    const RECT screen = baseline.bounds();

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    Clock clock;
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        run.failure = "CreateProcess failed, error " + std::to_string(GetLastError());
        return run;
    }
    run.createdMs = clock.Ms();
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);

    Found found;
    for (;;) {
        double now = clock.Ms();
        if (ready && run.readyMs < 0 && WaitForSingleObject(ready.get(), 0) == WAIT_OBJECT_0)
            run.readyMs = now;
        found = FindWindows(info.dwProcessId, options.title);
        if (found.anyVisible) {
            if (run.visibleMs < 0) run.visibleMs = now;
            run.layered = found.layered;
            RECT rc;
            if (IntersectRect(&rc, &found.visibleBounds, &screen) && current.Grab(rc)) {
                Change change = Compare(baseline, current, rc);
                if (options.verbose)
                    std::printf("    %8.1f ms  changed %5.1f%%  colours %d\n", now, change.fraction * 100,
                                change.colours);
                if (LooksPainted(change)) {
                    run.paintedMs = now;
                    break;
                }
            }
        }
        if (WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) {
            GetExitCodeProcess(process.get(), &run.exitCode);
            run.failure = "the program ended before its window was painted (exit code " +
                          std::to_string(run.exitCode) + ")";
            return run;
        }
        if (now > options.timeoutMs) {
            run.failure = found.windows.empty() ? "no window with that text appeared"
                                                : "the window was not painted in time";
            break;
        }
        Sleep(1);
    }

    if (run.failure.empty()) {
        if (ready && run.readyMs < 0 && WaitForSingleObject(ready.get(), options.timeoutMs) == WAIT_OBJECT_0)
            run.readyMs = clock.Ms();
        Sleep(options.settleMs);
        PROCESS_MEMORY_COUNTERS_EX counters{};
        counters.cb = sizeof(counters);
        if (GetProcessMemoryInfo(process.get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                 sizeof(counters))) {
            run.peakWorkingSet = counters.PeakWorkingSetSize;
            run.workingSet = counters.WorkingSetSize;
            run.privateBytes = counters.PrivateUsage;
        }
        run.ok = true;
    }

    for (HWND hwnd : FindWindows(info.dwProcessId, options.title).windows)
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.get(), 3000) == WAIT_OBJECT_0) {
        run.closedByMessage = true;
    } else {
        TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), 5000);
    }
    GetExitCodeProcess(process.get(), &run.exitCode);
    return run;
}

double Median(std::vector<double> values) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
    int i = 1;
    for (; i < argc; ++i) {
        std::wstring arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == L"--") { ++i; break; }
        if (arg == L"--runs" && hasValue) options.runs = std::max(1, _wtoi(argv[++i]));
        else if (arg == L"--warmup" && hasValue) options.warmup = std::max(0, _wtoi(argv[++i]));
        else if (arg == L"--title" && hasValue) options.title = argv[++i];
        else if (arg == L"--timeout-ms" && hasValue) options.timeoutMs = wcstoul(argv[++i], nullptr, 10);
        else if (arg == L"--settle-ms" && hasValue) options.settleMs = wcstoul(argv[++i], nullptr, 10);
        else if (arg == L"--ready-event") options.readyEvent = true;
        else if (arg == L"--verbose") options.verbose = true;
        else return false;
    }
    for (int first = i; i < argc; ++i) {
        if (i > first) options.commandLine += L' ';
        options.commandLine += Quote(argv[i]);
    }
    return !options.commandLine.empty();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: probe.exe [--runs N] [--warmup N] [--title TEXT] [--timeout-ms N] "
                             "[--settle-ms N] [--ready-event] [--verbose] -- PROGRAM [ARGS...]\n");
        return 2;
    }

    std::vector<double> created, visible, painted, readied, peaks;
    bool layered = false;
    int failures = 0;
    for (int n = 1 - options.warmup; n <= options.runs; ++n) {
        Run run = MeasureOnce(options, n + options.warmup);
        const char* label = n <= 0 ? "warm-up" : "run";
        if (!run.ok) {
            std::printf("%-7s %2d: failed: %s\n", label, n <= 0 ? n + options.warmup : n, run.failure.c_str());
            if (n > 0) ++failures;
            if (n == 1 - options.warmup) {
                // The very first start failed: the others would only fail the same way, slowly.
                failures = options.runs;
                break;
            }
            continue;
        }
        std::printf("%-7s %2d: created %6.1f ms, visible %7.1f ms, painted %7.1f ms", label,
                    n <= 0 ? n + options.warmup : n, run.createdMs, run.visibleMs, run.paintedMs);
        if (run.readyMs >= 0) std::printf(", signalled %7.1f ms", run.readyMs);
        std::printf(", peak working set %lu KiB%s, %s (exit %lu)\n",
                    static_cast<unsigned long>(run.peakWorkingSet / 1024),
                    run.layered ? ", layered" : "", run.closedByMessage ? "closed" : "terminated",
                    run.exitCode);
        std::fflush(stdout);
        if (n <= 0) continue;
        created.push_back(run.createdMs);
        visible.push_back(run.visibleMs);
        painted.push_back(run.paintedMs);
        if (run.readyMs >= 0) readied.push_back(run.readyMs);
        peaks.push_back(static_cast<double>(run.peakWorkingSet) / 1024);
        layered = layered || run.layered;
    }

    std::printf("RESULT runs=%u failed=%d created_ms=%.1f visible_ms=%.1f painted_ms=%.1f "
                "signalled_ms=%.1f peak_ws_kib=%.0f layered=%d\n",
                static_cast<unsigned>(painted.size()), failures, Median(created), Median(visible), Median(painted),
                Median(readied), Median(peaks), layered ? 1 : 0);
    return 0;
}
