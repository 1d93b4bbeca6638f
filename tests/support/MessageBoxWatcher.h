#pragma once
// Watches the dialog boxes that come up on the calling thread while it
// lives (hooks of that thread only). Each one is taken up once it is shown
// and its own message loop runs, from inside that loop:
//   - a message box (a dialog box with no framework object behind it, such as
//     MessageBoxW or AfxMessageBox shows) is read - text, caption, icon,
//     owner - and answered with IDOK, or with the button set by SetAnswer;
//   - any other dialog box (one of the program's, modal or not) goes to the
//     handler given to OnDialog, if any, which may end it.
// A test that expects no box at all checks Boxes() afterwards; an unexpected
// box never blocks the test.
//
//     MessageBoxWatcher watcher;
//     watcher.OnDialog([](HWND dlg) { PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0); });
//     ... something that shows boxes ...
//     ASSERT_EQ(1u, watcher.Boxes().size());
//     EXPECT_EQ(L"RegisterHotKey F10 false", watcher.Boxes()[0].text);
//
// One watcher per thread at a time.
#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

struct SeenMessageBox {
    std::wstring text;
    std::wstring caption;
    HICON icon = nullptr;  // the icon the box shows, null if none
    HWND owner = nullptr;
};

class MessageBoxWatcher {
public:
    MessageBoxWatcher();
    ~MessageBoxWatcher();
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    // Called with every dialog box that is not a message box, once per
    // window, when it is shown and its loop is running.
    void OnDialog(std::function<void(HWND)> handler) { m_handler = std::move(handler); }
    // The command that answers message boxes (IDOK by default).
    void SetAnswer(int id) { m_answer = id; }

    const std::vector<SeenMessageBox>& Boxes() const { return m_boxes; }
    std::vector<std::wstring> Texts() const;
    // Dialogs given to the handler so far.
    const std::vector<HWND>& Dialogs() const { return m_dialogs; }
    void Clear() {
        m_boxes.clear();
        m_dialogs.clear();
    }

    // True for a dialog box without a framework object behind it.
    static bool IsMessageBox(HWND hWnd);
    // The texts of a message box.
    static SeenMessageBox Read(HWND hBox);

private:
    static LRESULT CALLBACK CallWndRetProc(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK GetMessageProc(int code, WPARAM wParam, LPARAM lParam);
    void Arm(HWND hWnd);
    void TakeUp(HWND hWnd);

    HHOOK m_hCallWndRet = nullptr;
    HHOOK m_hGetMessage = nullptr;
    std::set<HWND> m_armed;
    std::vector<SeenMessageBox> m_boxes;
    std::vector<HWND> m_dialogs;
    std::function<void(HWND)> m_handler;
    int m_answer = IDOK;
};
