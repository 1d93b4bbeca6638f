#pragma once
// The real program, PellumoZarvotek.exe, started as a separate process the
// way a player starts it, and its windows as the driver finds them:
//
//   launcher   top-level dialog (#32770) "PellumoZarvotek" without owner
//   portal     top-level dialog without text, owned by the launcher, holding
//              the browser (1000) and the two buttons (1005 close, 1006 minimise)
//   game       top-level dialog "PellumoZarvotek" owned by the launcher
//   confirm    a 256 x 110 dialog of the process, shown
//   menu       a shown pop-up menu window (#32768) of the process
//
// A program still running when the object goes away is killed, so a failing
// test never leaves a process behind.
#include <windows.h>

#include <string>
#include <vector>

class ProgramUnderTest {
public:
    static constexpr DWORD kStillRunning = STILL_ACTIVE;

    // Path of the executable: set once from the command line or found next
    // to the driver (see main).
    static void SetExecutable(const std::wstring& path) { Executable() = path; }
    static std::wstring& Executable();

    ProgramUnderTest() = default;
    ~ProgramUnderTest();
    ProgramUnderTest(const ProgramUnderTest&) = delete;
    ProgramUnderTest& operator=(const ProgramUnderTest&) = delete;

    // Starts the program and waits (at most timeoutMs) until its launcher
    // and portal dialog are up and shown. The stand-in engine in it is told
    // to report to the portal (127.0.0.1:reportPort) from its first moment.
    bool Start(unsigned short reportPort, DWORD timeoutMs = 10000);
    DWORD Pid() const { return pid_; }
    HANDLE Process() const { return process_; }
    bool Running() const;
    // Waits until the process ends; its exit code, or kStillRunning.
    DWORD WaitForExit(DWORD timeoutMs);
    void Kill();

    HWND Launcher() const;
    HWND PortalDialog() const;
    HWND PortalBrowser() const;  // the portal's control 1000
    // Game windows that exist (normally none or one).
    std::vector<HWND> GameWindows() const;
    HWND GameWindow() const;  // the first of them, or null
    HWND ConfirmDialog() const;
    HWND PopupMenu() const;

    bool WaitForGameWindow(DWORD timeoutMs, HWND* game = nullptr) const;
    bool WaitForConfirmDialog(DWORD timeoutMs, HWND* confirm = nullptr) const;

private:
    bool IsDialog(HWND hwnd) const;

    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
};
