#include "tests/e2e/ProgramUnderTest.h"

#include "tests/e2e/Desktop.h"

namespace {

constexpr wchar_t kDialogClass[] = L"#32770";
constexpr wchar_t kMenuClass[] = L"#32768";
constexpr wchar_t kWindowText[] = L"PellumoZarvotek";
constexpr int kBrowserId = 1000;
constexpr int kPortalCloseId = 1005;
constexpr int kPortalMinimizeId = 1006;
constexpr int kConfirmWidth = 256;
constexpr int kConfirmHeight = 110;

// The current environment with STANDIN_REPORT_TO added, as a block for
// CreateProcessW.
std::vector<wchar_t> EnvironmentWithReports(unsigned short port) {
    std::vector<wchar_t> block;
    if (wchar_t* env = GetEnvironmentStringsW()) {
        for (const wchar_t* p = env; *p; p += wcslen(p) + 1) {
            if (_wcsnicmp(p, L"STANDIN_REPORT_TO=", 18) == 0) continue;
            block.insert(block.end(), p, p + wcslen(p) + 1);
        }
        FreeEnvironmentStringsW(env);
    }
    const std::wstring reports = L"STANDIN_REPORT_TO=127.0.0.1:" + std::to_wstring(port);
    block.insert(block.end(), reports.begin(), reports.end());
    block.push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

}  // namespace

std::wstring& ProgramUnderTest::Executable() {
    static std::wstring path;
    return path;
}

ProgramUnderTest::~ProgramUnderTest() { Kill(); }

bool ProgramUnderTest::Start(unsigned short reportPort, DWORD timeoutMs) {
    Kill();
    std::wstring commandLine = L"\"" + Executable() + L"\"";
    std::vector<wchar_t> env = EnvironmentWithReports(reportPort);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(Executable().c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT, env.data(), nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;
    return desktop::WaitUntil(
        [this] {
            HWND launcher = Launcher();
            HWND portal = PortalDialog();
            return launcher && portal && IsWindowVisible(launcher) && IsWindowVisible(portal);
        },
        timeoutMs);
}

bool ProgramUnderTest::Running() const {
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

DWORD ProgramUnderTest::WaitForExit(DWORD timeoutMs) {
    if (!process_) return kStillRunning;
    if (WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return kStillRunning;
    DWORD code = kStillRunning;
    GetExitCodeProcess(process_, &code);
    return code;
}

void ProgramUnderTest::Kill() {
    if (!process_) return;
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_, 0xDEAD);
        WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
    process_ = nullptr;
    pid_ = 0;
}

bool ProgramUnderTest::IsDialog(HWND hwnd) const {
    const WindowInfo w = desktop::Describe(hwnd);
    return w.className == kDialogClass && !(w.style & WS_CHILD);
}

HWND ProgramUnderTest::Launcher() const {
    if (!pid_) return nullptr;
    for (HWND h : desktop::TopLevelWindows(pid_)) {
        const WindowInfo w = desktop::Describe(h);
        if (IsDialog(h) && w.text == kWindowText && !w.owner) return h;
    }
    return nullptr;
}

HWND ProgramUnderTest::PortalDialog() const {
    HWND launcher = Launcher();
    if (!launcher) return nullptr;
    for (HWND h : desktop::TopLevelWindows(pid_)) {
        const WindowInfo w = desktop::Describe(h);
        if (IsDialog(h) && w.owner == launcher && w.text.empty() && desktop::ControlById(h, kBrowserId) &&
            desktop::ControlById(h, kPortalCloseId) && desktop::ControlById(h, kPortalMinimizeId))
            return h;
    }
    return nullptr;
}

HWND ProgramUnderTest::PortalBrowser() const {
    HWND portal = PortalDialog();
    return portal ? desktop::ControlById(portal, kBrowserId) : nullptr;
}

std::vector<HWND> ProgramUnderTest::GameWindows() const {
    std::vector<HWND> games;
    HWND launcher = Launcher();
    if (!launcher) return games;
    for (HWND h : desktop::TopLevelWindows(pid_)) {
        const WindowInfo w = desktop::Describe(h);
        if (IsDialog(h) && w.text == kWindowText && w.owner == launcher) games.push_back(h);
    }
    return games;
}

HWND ProgramUnderTest::GameWindow() const {
    std::vector<HWND> games = GameWindows();
    return games.empty() ? nullptr : games.front();
}

HWND ProgramUnderTest::ConfirmDialog() const {
    if (!pid_) return nullptr;
    for (HWND h : desktop::TopLevelWindows(pid_)) {
        const WindowInfo w = desktop::Describe(h);
        if (IsDialog(h) && w.visible && w.Width() == kConfirmWidth && w.Height() == kConfirmHeight) return h;
    }
    return nullptr;
}

HWND ProgramUnderTest::PopupMenu() const {
    if (!pid_) return nullptr;
    for (HWND h : desktop::TopLevelWindows(pid_)) {
        const WindowInfo w = desktop::Describe(h);
        if (w.className == kMenuClass && w.visible) return h;
    }
    return nullptr;
}

bool ProgramUnderTest::WaitForGameWindow(DWORD timeoutMs, HWND* game) const {
    HWND found = nullptr;
    const bool ok = desktop::WaitUntil(
        [&] {
            found = GameWindow();
            return found && IsWindowVisible(found);
        },
        timeoutMs);
    if (game) *game = found;
    return ok;
}

bool ProgramUnderTest::WaitForConfirmDialog(DWORD timeoutMs, HWND* confirm) const {
    HWND found = nullptr;
    const bool ok = desktop::WaitUntil(
        [&] {
            found = ConfirmDialog();
            return found != nullptr;
        },
        timeoutMs);
    if (confirm) *confirm = found;
    return ok;
}
