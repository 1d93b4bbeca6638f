#pragma once
// Driving a modal dialog from inside its own modal loop.
//
// A test cannot call DoModal and then look at the dialog: DoModal returns
// only once the dialog has ended. A ModalDriver watches the thread for the
// dialog to appear and, once it is up and visible, runs the test's steps one
// after the other from ordinary message dispatches of the modal loop (a
// message posted to a hidden window of the driver), so everything a step
// does - reading windows, sending messages, posting input - happens with the
// dialog live, exactly as in the program.
//
// Each step starts only when the thread's queue holds no posted or sent
// messages any more, so what a step posts (keys with PostKeyPress, commands,
// BM_CLICK...) has been handled by the dialog before the next step looks at
// it. Hardware input (SendInput, the X pointer) and painting are not waited
// for: call PaintNow where a step needs the dialog drawn.
//
// When the last step has run and the dialog is still open, the driver ends
// it itself with kLeftOpen, so a test never hangs on a dialog that ignored
// its input; a test that expects the dialog to end by itself compares the
// result with the code it expects, and kLeftOpen never matches.
//
// Two ways to use it:
//
//   // 1. The test runs the modal dialog itself.
//   CConfirmDlg dlg;
//   INT_PTR rc = RunModal(dlg, {
//       [](HWND hDlg) { EXPECT_EQ(...); },
//       [](HWND hDlg) { PostKeyPress(GetFocus(), VK_ESCAPE); },
//   });
//   EXPECT_EQ(IDCANCEL, rc);
//
//   // 2. Something the test triggers runs a modal dialog (a command handler
//   //    that asks for confirmation, a message box...). Arm a driver first;
//   //    it takes the next top-level dialog box that appears on this thread
//   //    (or the first one the matcher accepts).
//   ModalDriver driver({[](HWND hDlg) { PostMessageW(hDlg, WM_COMMAND, IDOK, 0); }});
//   SendMessageW(hGameWnd, WM_COMMAND, IDC_GAME_CLOSE, 0);
//   EXPECT_TRUE(driver.Appeared());
//
// Only one driver watches at a time; a driver created while another one is
// armed takes over until it goes away (a step may arm one for a message box
// it is about to open). Everything runs on the thread that created the driver.
#include <windows.h>

#include <functional>
#include <vector>

class CDialog;

class ModalDriver {
public:
    using Step = std::function<void(HWND hDlg)>;
    using Matcher = std::function<bool(HWND hDlg)>;

    // Result the driver ends a dialog with when it is still open after the last step.
    static constexpr INT_PTR kLeftOpen = -100;

    // isTarget decides which dialog to drive, asked for each window that
    // receives WM_INITDIALOG; by default any top-level dialog box window.
    explicit ModalDriver(std::vector<Step> steps, Matcher isTarget = nullptr);
    ~ModalDriver();
    ModalDriver(const ModalDriver&) = delete;
    ModalDriver& operator=(const ModalDriver&) = delete;

    bool Appeared() const { return m_hDlg != nullptr; }  // the dialog came up and was driven
    HWND Dialog() const { return m_hDlg; }               // its window (may be destroyed by now)
    size_t StepsRun() const { return m_nextStep; }
    bool LeftOpen() const { return m_bLeftOpen; }        // the driver had to end it

private:
    static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK WndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    void OnWindowMessage(const CWPRETSTRUCT& msg);
    void PostTick();
    void OnTick();

    std::vector<Step> m_steps;
    Matcher m_isTarget;
    ModalDriver* m_pPrevious = nullptr;  // the driver this one took over from
    HHOOK m_hHook = nullptr;
    HWND m_hWndTick = nullptr;    // hidden message-only window that runs the steps
    HWND m_hCandidate = nullptr;  // matched at WM_INITDIALOG, waiting to be visible
    HWND m_hDlg = nullptr;
    size_t m_nextStep = 0;
    int m_nIdleWaits = 0;
    bool m_bLeftOpen = false;
};

// dlg.DoModal(), driven by the steps; returns what DoModal returned.
INT_PTR RunModal(CDialog& dlg, std::vector<ModalDriver::Step> steps);

// Paints hWnd and all of its children now (pending invalid areas only).
void PaintNow(HWND hWnd);

// Posts a key press (down, then up) to hWnd, normally the focused control,
// as the keyboard would: with alt, as WM_SYSKEYDOWN/WM_SYSKEYUP with the
// Alt key held (Alt+F4...).
void PostKeyPress(HWND hWnd, UINT vk, bool alt = false);
