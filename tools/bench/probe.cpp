// The benchmark's probe: a console program that starts another program under
// test and measures it from outside, with its own clock, its own view of the
// screen and, when asked, its own loopback web server (probe_server.cpp)
// serving the demo portal.
//
//   probe.exe [startup] [--runs N] [--warmup N] [--title TEXT] [--timeout-ms N]
//             [--settle-ms N] [--ready-event] [--serve DIR] [--verbose] -- PROGRAM [ARGS...]
//       Starts PROGRAM N times (after warm-up starts) and times, from just
//       before CreateProcess, when its top-level window with the given text
//       becomes visible and when it is painted - when the screen inside the
//       window's rectangle has changed from what it showed before the start.
//       Reads its peak working set after settle-ms, then closes it.
//       --ready-event: the program understands "--ready-event NAME" and sets
//       that event once painted (minimal_window.exe does); the time of the
//       signal is reported too, as a check of the screen test.
//
//   probe.exe launcher [--serve DIR [--strip-navigate]] [--idle-ms N] [--settle-ms N]
//             [--timeout-ms N] -- PROGRAM
//       Starts the program once, waits for the launcher to be painted and the
//       portal server to fall quiet, then reads its working set, its GDI and
//       USER objects, and the CPU time it uses over idle-ms (default 10000)
//       of doing nothing.
//
//   probe.exe game --serve DIR [--changes N] [--idle-ms N] [--settle-ms N]
//             [--timeout-ms N] -- PROGRAM
//       For a prefix where the stand-in browser engine answers for the
//       WebBrowser class: the demo portal page navigates to a "client=1" URL
//       by itself. Game start is the time from the engine's report of that
//       navigation (it sends it before raising BeforeNavigate2, and waits for
//       the answer) to the game window being visible. Then, with the game
//       window shown: working set, GDI and USER objects, CPU time over
//       idle-ms. Then N server changes (default 20): the game window's
//       change-server button (1008), OK (1008) in the confirmation dialog;
//       back on the launcher the portal page is refreshed and navigates to
//       the game again; each game start is timed and the objects counted.
//
// --verbose: more detail (startup: the screen test's samples; launcher and
// game: CPU time second by second; game: the windows and the GDI objects by
// type after each change, and every request the server saw).
// GDI and USER objects are read once they hold still (the same twice 250 ms
// apart); see process_figures.h for how they are counted.
//
// Each mode ends with one line "RESULT key=value ..." (medians where there
// are several runs). The probe asserts nothing; a step that fails is
// reported and the figures it could not get are -1.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "tools/bench/process_figures.h"
#include "tools/bench/probe_server.h"

namespace {

struct HandleCloser { void operator()(HANDLE h) const { if (h) CloseHandle(h); } };
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;
struct GdiObjectDeleter { void operator()(HGDIOBJ h) const { DeleteObject(h); } };
using UniqueGdiObject = std::unique_ptr<std::remove_pointer_t<HGDIOBJ>, GdiObjectDeleter>;
struct DcDeleter { void operator()(HDC h) const { DeleteDC(h); } };
using UniqueDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;

constexpr wchar_t kDialogClass[] = L"#32770";
constexpr int kGameCloseId = 1001;
constexpr int kGameServerId = 1008;
constexpr int kConfirmOkId = 1008;
constexpr int kConfirmWidth = 256;
constexpr int kConfirmHeight = 110;

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

enum class Mode { Startup, Launcher, Game };

struct Options {
    Mode mode = Mode::Startup;
    int runs = 7;
    int warmup = 1;
    std::wstring title = L"PellumoZarvotek";
    DWORD timeoutMs = 30000;
    DWORD settleMs = 500;
    bool readyEvent = false;
    bool verbose = false;
    std::wstring serve;
    bool stripNavigate = false;
    DWORD idleMs = 10000;
    int changes = 20;
    std::wstring commandLine;
};

// --- The screen -------------------------------------------------------------------

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

// --- Windows of the program ------------------------------------------------------------

struct Found {
    std::vector<HWND> windows;   // top-level windows of the process with the text
    RECT visibleBounds{};        // union of the visible ones
    bool anyVisible = false;
    bool layered = false;
};

struct FindContext {
    DWORD processId;
    const std::wstring* title;
    bool unownedOnly;
    Found* found;
};

std::wstring TextOf(HWND hwnd) {
    wchar_t text[256] = L"";
    GetWindowTextW(hwnd, text, 256);
    return text;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64] = L"";
    GetClassNameW(hwnd, name, 64);
    return name;
}

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM lParam) {
    auto* context = reinterpret_cast<FindContext*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != context->processId) return TRUE;
    if (*context->title != TextOf(hwnd)) return TRUE;
    if (context->unownedOnly && GetWindow(hwnd, GW_OWNER)) return TRUE;
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

// Top-level windows of the process with the text; unownedOnly: only those
// without an owner (the launcher, not the game window it owns).
Found FindWindows(DWORD processId, const std::wstring& title, bool unownedOnly = false) {
    Found found;
    FindContext context{processId, &title, unownedOnly, &found};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&context));
    return found;
}

struct TopLevelContext {
    DWORD processId;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM lParam) {
    auto* context = reinterpret_cast<TopLevelContext*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == context->processId) context->windows.push_back(hwnd);
    return TRUE;
}

std::vector<HWND> TopLevelWindows(DWORD processId) {
    TopLevelContext context{processId, {}};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&context));
    return context.windows;
}

bool IsTopLevelDialog(HWND hwnd) {
    return ClassOf(hwnd) == kDialogClass && !(GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD);
}

// The game window: a dialog with the program's title, owned by the launcher,
// holding the title strip's close button.
HWND GameWindow(DWORD processId, const std::wstring& title) {
    for (HWND h : TopLevelWindows(processId)) {
        if (IsTopLevelDialog(h) && TextOf(h) == title && GetWindow(h, GW_OWNER) && GetDlgItem(h, kGameCloseId))
            return h;
    }
    return nullptr;
}

// The confirmation dialog: a shown 256 x 110 dialog of the process.
HWND ConfirmDialog(DWORD processId) {
    for (HWND h : TopLevelWindows(processId)) {
        RECT rc;
        if (!IsTopLevelDialog(h) || !IsWindowVisible(h) || !GetWindowRect(h, &rc)) continue;
        if (rc.right - rc.left == kConfirmWidth && rc.bottom - rc.top == kConfirmHeight) return h;
    }
    return nullptr;
}

// Polls pred() every millisecond until it holds or timeoutMs have passed, or
// the process has ended.
template <class Pred>
bool WaitFor(HANDLE process, DWORD timeoutMs, Pred pred) {
    const double start = ProbeNowMs();
    for (;;) {
        if (pred()) return true;
        if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) return false;
        if (ProbeNowMs() - start > timeoutMs) return false;
        Sleep(1);
    }
}

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

// A started program: closed with WM_CLOSE to its windows, or ended, when the
// object goes.
class Program {
public:
    bool Start(const std::wstring& commandLine, std::string* failure) {
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
        buffer.push_back(L'\0');
        if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &info)) {
            *failure = "CreateProcess failed, error " + std::to_string(GetLastError());
            return false;
        }
        m_process.reset(info.hProcess);
        m_thread.reset(info.hThread);
        m_pid = info.dwProcessId;
        return true;
    }
    ~Program() { Close(nullptr); }

    HANDLE process() const { return m_process.get(); }
    DWORD pid() const { return m_pid; }
    bool Ended() const { return !m_process || WaitForSingleObject(m_process.get(), 0) == WAIT_OBJECT_0; }

    // Asks every top-level window of the program to close; ends it after 3 s.
    // closedByMessage: whether it ended by itself.
    DWORD Close(bool* closedByMessage) {
        if (!m_process) return 0;
        for (HWND hwnd : TopLevelWindows(m_pid)) PostMessageW(hwnd, WM_CLOSE, 0, 0);
        bool closed = WaitForSingleObject(m_process.get(), 3000) == WAIT_OBJECT_0;
        if (!closed) {
            TerminateProcess(m_process.get(), 1);
            WaitForSingleObject(m_process.get(), 5000);
        }
        if (closedByMessage) *closedByMessage = closed;
        DWORD exitCode = 0;
        GetExitCodeProcess(m_process.get(), &exitCode);
        m_process.reset();
        m_thread.reset();
        return exitCode;
    }

private:
    UniqueHandle m_process;
    UniqueHandle m_thread;
    DWORD m_pid = 0;
};

double Median(std::vector<double> values) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// --- startup ----------------------------------------------------------------------------

struct Run {
    bool ok = false;
    std::string failure;
    double createdMs = -1, visibleMs = -1, paintedMs = -1, readyMs = -1;
    bool layered = false;
    SIZE_T peakWorkingSet = 0;
    bool closedByMessage = false;
    DWORD exitCode = 0;
};

Run MeasureStartup(const Options& options, int number) {
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

    const double start = ProbeNowMs();
    auto elapsed = [start] { return ProbeNowMs() - start; };
    Program program;
    if (!program.Start(commandLine, &run.failure)) return run;
    run.createdMs = elapsed();

    for (;;) {
        double now = elapsed();
        if (ready && run.readyMs < 0 && WaitForSingleObject(ready.get(), 0) == WAIT_OBJECT_0)
            run.readyMs = now;
        Found found = FindWindows(program.pid(), options.title);
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
        if (program.Ended()) {
            DWORD code = 0;
            GetExitCodeProcess(program.process(), &code);
            run.failure = "the program ended before its window was painted (exit code " + std::to_string(code) + ")";
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
            run.readyMs = elapsed();
        Sleep(options.settleMs);
        figures::Memory memory = figures::ReadMemory(program.process());
        run.peakWorkingSet = memory.peakWorkingSet;
        run.ok = true;
    }
    run.exitCode = program.Close(&run.closedByMessage);
    return run;
}

int RunStartup(const Options& options) {
    std::vector<double> created, visible, painted, readied, peaks;
    bool layered = false;
    int failures = 0;
    for (int n = 1 - options.warmup; n <= options.runs; ++n) {
        Run run = MeasureStartup(options, n + options.warmup);
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
                    static_cast<unsigned long>(run.peakWorkingSet / 1024), run.layered ? ", layered" : "",
                    run.closedByMessage ? "closed" : "terminated", run.exitCode);
        std::fflush(stdout);
        if (n <= 0) continue;
        created.push_back(run.createdMs);
        visible.push_back(run.visibleMs);
        painted.push_back(run.paintedMs);
        if (run.readyMs >= 0) readied.push_back(run.readyMs);
        peaks.push_back(static_cast<double>(run.peakWorkingSet) / 1024);
        layered = layered || run.layered;
    }
    std::printf("RESULT mode=startup runs=%u failed=%d created_ms=%.1f visible_ms=%.1f painted_ms=%.1f "
                "signalled_ms=%.1f peak_ws_kib=%.0f layered=%d\n",
                static_cast<unsigned>(painted.size()), failures, Median(created), Median(visible),
                Median(painted), Median(readied), Median(peaks), layered ? 1 : 0);
    return 0;
}

// --- launcher and game sessions ----------------------------------------------------------

// What the program asked the portal server for (a failed game session shows it).
void PrintRequests(const ProbeServer& server, double start) {
    for (const ProbeRequest& r : server.Requests()) {
        if (r.report)
            std::printf("  %8.1f ms  report %s %s\n", r.ms - start, r.kind.c_str(), r.detail.c_str());
        else
            std::printf("  %8.1f ms  GET %s\n", r.ms - start, r.target.c_str());
    }
}

struct Objects {
    int gdi = -1;
    int user = -1;
};

Objects CountOnce(const Program& program) {
    Objects objects;
    objects.gdi = figures::GdiObjects(program.process());
    objects.user = figures::Windows(program.pid());
    return objects;
}

// The counts once they hold still: the same in two readings 250 ms apart
// (at most 4 s of trying). Just after a change the program may still be
// releasing what the last step used.
Objects CountObjects(const Program& program) {
    Objects last = CountOnce(program);
    for (int i = 0; i < 16; ++i) {
        Sleep(250);
        const Objects now = CountOnce(program);
        if (now.gdi == last.gdi && now.user == last.user) return now;
        last = now;
    }
    return last;
}

struct Idle {
    double cpuMs = -1;
    double cpuBeforeMs = -1;  // all the process had used before the idle time
    size_t requests = 0;  // requests the program made meanwhile
};

Idle MeasureIdle(const Program& program, const ProbeServer& server, DWORD idleMs, bool verbose) {
    Idle idle;
    const size_t before = server.Count();
    const double cpu0 = figures::CpuMs(program.process());
    if (verbose) {
        // Second by second, to see when the process wakes up.
        double last = cpu0;
        for (DWORD slept = 0; slept < idleMs; slept += 1000) {
            Sleep(std::min<DWORD>(1000, idleMs - slept));
            const double now = figures::CpuMs(program.process());
            std::printf("  idle %5lu ms: +%.1f ms CPU\n", slept + std::min<DWORD>(1000, idleMs - slept), now - last);
            last = now;
        }
    } else {
        Sleep(idleMs);
    }
    const double cpu1 = figures::CpuMs(program.process());
    if (cpu0 >= 0 && cpu1 >= 0) idle.cpuMs = cpu1 - cpu0;
    idle.cpuBeforeMs = cpu0;
    idle.requests = server.Count() - before;
    return idle;
}

// Waits for the program to settle: settleMs at least, then until its
// requests to the portal server have stopped for 300 ms.
void Settle(const ProbeServer& server, DWORD settleMs) {
    Sleep(settleMs);
    if (server.Running()) server.WaitQuiet(300, 5000);
}

void PrintGuiResources(const Program& program) {
    DWORD gdiError = 0, userError = 0;
    const DWORD gdi = figures::GuiResources(program.process(), GR_GDIOBJECTS, &gdiError);
    const DWORD user = figures::GuiResources(program.process(), GR_USEROBJECTS, &userError);
    std::printf("GUIRESOURCES gdi=%lu gdi_error=%lu user=%lu user_error=%lu\n", gdi, gdiError, user, userError);
}

bool StartServer(const Options& options, ProbeServer& server) {
    if (options.serve.empty()) return false;
    if (server.Start(options.serve, options.stripNavigate)) {
        std::printf("serving %ls on http://127.0.0.1/%s\n", options.serve.c_str(),
                    options.stripNavigate ? " (pages without their navigate instructions)" : "");
        return true;
    }
    std::printf("server: %s\n", server.Error().c_str());
    return false;
}

int RunLauncher(const Options& options) {
    ProbeServer server;
    const bool serving = StartServer(options, server);
    ScreenImage baseline, current;
    std::string failure;
    Program program;
    double paintedMs = -1;
    const double start = ProbeNowMs();
    if (!baseline.valid() || !current.valid() || !baseline.Grab(baseline.bounds())) {
        failure = "cannot read the screen";
    } else if (program.Start(options.commandLine, &failure)) {
        const RECT screen = baseline.bounds();
        WaitFor(program.process(), options.timeoutMs, [&] {
            Found found = FindWindows(program.pid(), options.title, true);
            RECT rc;
            if (!found.anyVisible || !IntersectRect(&rc, &found.visibleBounds, &screen) || !current.Grab(rc))
                return false;
            if (!LooksPainted(Compare(baseline, current, rc))) return false;
            paintedMs = ProbeNowMs() - start;
            return true;
        });
        if (paintedMs < 0) failure = program.Ended() ? "the program ended" : "the launcher was not painted in time";
    }
    if (!failure.empty()) {
        std::printf("failed: %s\n", failure.c_str());
        std::printf("RESULT mode=launcher ok=0\n");
        return 0;
    }
    Settle(server, options.settleMs);
    const figures::Memory memory = figures::ReadMemory(program.process());
    const Objects objects = CountObjects(program);
    PrintGuiResources(program);
    const Idle idle = MeasureIdle(program, server, options.idleMs, options.verbose);
    const bool shown = FindWindows(program.pid(), options.title, true).anyVisible;
    std::printf("launcher painted %.1f ms after the start; %zu portal requests before the idle time, %zu during it\n",
                paintedMs, serving ? server.Count() - idle.requests : 0, idle.requests);
    bool closedByMessage = false;
    const DWORD exitCode = program.Close(&closedByMessage);
    std::printf("RESULT mode=launcher ok=%d painted_ms=%.1f ws_kib=%lu peak_ws_kib=%lu private_kib=%lu gdi=%d "
                "user=%d cpu_before_ms=%.1f cpu_idle_ms=%.1f idle_ms=%lu idle_requests=%zu still_shown=%d closed=%d exit=%lu\n",
                memory.ok ? 1 : 0, paintedMs, static_cast<unsigned long>(memory.workingSet / 1024),
                static_cast<unsigned long>(memory.peakWorkingSet / 1024),
                static_cast<unsigned long>(memory.privateBytes / 1024), objects.gdi, objects.user, idle.cpuBeforeMs, idle.cpuMs,
                options.idleMs, idle.requests, shown ? 1 : 0, closedByMessage ? 1 : 0, exitCode);
    return 0;
}

// Waits for a visible game window other than `previous` (which must be gone);
// its handle and the time it was first seen visible.
HWND WaitForGame(const Program& program, const Options& options, HWND previous, double* visibleMs) {
    HWND game = nullptr;
    WaitFor(program.process(), options.timeoutMs, [&] {
        if (previous && IsWindow(previous)) return false;
        game = GameWindow(program.pid(), options.title);
        return game && IsWindowVisible(game);
    });
    *visibleMs = ProbeNowMs();
    return game && IsWindowVisible(game) ? game : nullptr;
}

int RunGame(const Options& options) {
    ProbeServer server;
    if (!StartServer(options, server)) {
        std::printf("RESULT mode=game ok=0 reason=no-server\n");
        return 0;
    }
    std::string failure;
    Program program;
    if (!program.Start(options.commandLine, &failure)) {
        std::printf("failed: %s\nRESULT mode=game ok=0 reason=start\n", failure.c_str());
        return 0;
    }
    const double start = ProbeNowMs();

    double visibleMs = 0;
    HWND game = WaitForGame(program, options, nullptr, &visibleMs);
    const double navigationMs = server.GameStartNavigationMs(0);
    if (!game || navigationMs < 0) {
        std::printf("failed: %s\n", !game ? "no game window became visible" : "the engine reported no client=1 navigation");
        PrintRequests(server, start);
        std::printf("RESULT mode=game ok=0 reason=%s\n", !game ? "no-game-window" : "no-report");
        return 0;
    }
    const double firstMs = visibleMs - navigationMs;
    Settle(server, options.settleMs);
    const double pageMs = server.FirstRequestMs("/game/", 0);
    std::printf("game start: portal page requested %.1f ms, client=1 navigation %.1f ms, game window visible "
                "%.1f ms, game page requested %.1f ms after the start: %.1f ms\n",
                server.FirstRequestMs("/micro/", 0) - start, navigationMs - start, visibleMs - start,
                pageMs < 0 ? -1 : pageMs - start, firstMs);

    const figures::Memory memory = figures::ReadMemory(program.process());
    const Objects objects0 = CountObjects(program);
    PrintGuiResources(program);
    const Idle idle = MeasureIdle(program, server, options.idleMs, options.verbose);
    std::printf("game window shown: working set %lu KiB, GDI %d, windows %d, CPU %.1f ms over %lu ms idle "
                "(%zu requests meanwhile)\n",
                static_cast<unsigned long>(memory.workingSet / 1024), objects0.gdi, objects0.user, idle.cpuMs,
                options.idleMs, idle.requests);
    std::fflush(stdout);

    std::vector<double> starts;
    Objects objects1, objectsN, lowest, highest;
    int done = 0;
    std::string stopped;
    for (int i = 1; i <= options.changes; ++i) {
        const size_t from = server.Count();
        HWND button = GetDlgItem(game, kGameServerId);
        if (!button) { stopped = "no change-server button"; break; }
        PostMessageW(button, BM_CLICK, 0, 0);
        HWND confirm = nullptr;
        WaitFor(program.process(), 5000, [&] { return (confirm = ConfirmDialog(program.pid())) != nullptr; });
        HWND ok = confirm ? GetDlgItem(confirm, kConfirmOkId) : nullptr;
        if (!ok) { stopped = "no confirmation dialog"; break; }
        PostMessageW(ok, BM_CLICK, 0, 0);
        HWND next = WaitForGame(program, options, game, &visibleMs);
        const double navMs = server.GameStartNavigationMs(from);
        if (!next || navMs < 0) { stopped = !next ? "no new game window" : "no client=1 navigation reported"; break; }
        game = next;
        starts.push_back(visibleMs - navMs);
        Settle(server, options.settleMs);
        const Objects objects = CountObjects(program);
        if (i == 1) objects1 = objects, lowest = objects, highest = objects;
        lowest.gdi = std::min(lowest.gdi, objects.gdi);
        lowest.user = std::min(lowest.user, objects.user);
        highest.gdi = std::max(highest.gdi, objects.gdi);
        highest.user = std::max(highest.user, objects.user);
        objectsN = objects;
        done = i;
        std::printf("server change %2d: game start %6.1f ms, GDI %d, windows %d, working set %lu KiB\n", i,
                    visibleMs - navMs, objects.gdi, objects.user,
                    static_cast<unsigned long>(figures::ReadMemory(program.process()).workingSet / 1024));
        if (options.verbose) {
            std::printf("   ");
            for (HWND h : figures::WindowList(program.pid()))
                std::printf(" %ls%s", ClassOf(h).c_str(), IsWindowVisible(h) ? "" : "(hidden)");
            std::map<int, int> types;
            figures::GdiObjectTypes(program.process(), &types);
            std::printf("\n    GDI by type:");
            for (const auto& t : types) std::printf(" 0x%02x:%d", t.first, t.second);
            std::printf("\n");
        }
        std::fflush(stdout);
    }
    if (!stopped.empty()) std::printf("server changes stopped after %d: %s\n", done, stopped.c_str());
    const figures::Memory memoryN = figures::ReadMemory(program.process());
    if (options.verbose) PrintRequests(server, start);

    bool closedByMessage = false;
    const DWORD exitCode = program.Close(&closedByMessage);
    std::printf("RESULT mode=game ok=1 game_first_ms=%.1f game_median_ms=%.1f game_runs=%zu ws_kib=%lu "
                "peak_ws_kib=%lu private_kib=%lu ws_after_kib=%lu cpu_before_ms=%.1f cpu_idle_ms=%.1f idle_ms=%lu idle_requests=%zu "
                "gdi_0=%d user_0=%d gdi_1=%d user_1=%d gdi_n=%d user_n=%d gdi_min=%d gdi_max=%d user_min=%d "
                "user_max=%d changes=%d closed=%d exit=%lu\n",
                firstMs, Median(starts), starts.size(), static_cast<unsigned long>(memory.workingSet / 1024),
                static_cast<unsigned long>(memory.peakWorkingSet / 1024),
                static_cast<unsigned long>(memory.privateBytes / 1024),
                static_cast<unsigned long>(memoryN.workingSet / 1024), idle.cpuBeforeMs, idle.cpuMs, options.idleMs, idle.requests,
                objects0.gdi, objects0.user, objects1.gdi, objects1.user, objectsN.gdi, objectsN.user, lowest.gdi,
                highest.gdi, lowest.user, highest.user, done,
                closedByMessage ? 1 : 0, exitCode);
    return 0;
}

// --- options ------------------------------------------------------------------------------

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
    int i = 1;
    if (i < argc) {
        std::wstring first = argv[i];
        if (first == L"startup") { options.mode = Mode::Startup; ++i; }
        else if (first == L"launcher") { options.mode = Mode::Launcher; ++i; }
        else if (first == L"game") { options.mode = Mode::Game; ++i; }
    }
    if (options.mode != Mode::Startup) options.settleMs = 1000;
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
        else if (arg == L"--serve" && hasValue) options.serve = argv[++i];
        else if (arg == L"--strip-navigate") options.stripNavigate = true;
        else if (arg == L"--idle-ms" && hasValue) options.idleMs = wcstoul(argv[++i], nullptr, 10);
        else if (arg == L"--changes" && hasValue) options.changes = std::max(0, _wtoi(argv[++i]));
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
        std::fprintf(stderr,
                     "usage: probe.exe [startup|launcher|game] [--runs N] [--warmup N] [--title TEXT] "
                     "[--timeout-ms N] [--settle-ms N] [--ready-event] [--serve DIR] [--strip-navigate] "
                     "[--idle-ms N] [--changes N] [--verbose] -- PROGRAM [ARGS...]\n");
        return 2;
    }
    ProbeNowMs();
    switch (options.mode) {
    case Mode::Launcher: return RunLauncher(options);
    case Mode::Game: return RunGame(options);
    case Mode::Startup: break;
    }
    ProbeServer server;
    if (!options.serve.empty()) StartServer(options, server);
    const int code = RunStartup(options);
    if (server.Running()) {
        size_t portal = 0;
        const std::vector<ProbeRequest> requests = server.Requests();
        for (const ProbeRequest& r : requests) portal += r.target.compare(0, 7, "/micro/") == 0 ? 1 : 0;
        std::printf("requests to the portal server: %zu, of them for /micro/: %zu\n", requests.size(), portal);
    }
    std::fflush(stdout);
    return code;
}
