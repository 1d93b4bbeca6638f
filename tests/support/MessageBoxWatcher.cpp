#include "tests/support/MessageBoxWatcher.h"

#include <cassert>

#include "framework/CWnd.h"

namespace {

thread_local MessageBoxWatcher* t_pWatcher = nullptr;

// Posted to the thread when a dialog box is up; taken up by the first loop
// that retrieves it, which is the dialog's own.
UINT TakeUpMessage() {
    static const UINT message = RegisterWindowMessageW(L"MessageBoxWatcher.TakeUp");
    return message;
}

std::wstring ClassOf(HWND hWnd) {
    wchar_t name[64] = {};
    GetClassNameW(hWnd, name, 64);
    return name;
}

std::wstring TextOf(HWND hWnd) {
    const int length = GetWindowTextLengthW(hWnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(hWnd, &text[0], length + 1)));
    return text;
}

bool IsTopLevelDialog(HWND hWnd) {
    return hWnd && !(GetWindowLongW(hWnd, GWL_STYLE) & WS_CHILD) && ClassOf(hWnd) == L"#32770";
}

}  // namespace

MessageBoxWatcher::MessageBoxWatcher() {
    assert(!t_pWatcher);
    t_pWatcher = this;
    m_hCallWndRet = SetWindowsHookExW(WH_CALLWNDPROCRET, CallWndRetProc, nullptr, GetCurrentThreadId());
    m_hGetMessage = SetWindowsHookExW(WH_GETMESSAGE, GetMessageProc, nullptr, GetCurrentThreadId());
}

MessageBoxWatcher::~MessageBoxWatcher() {
    if (m_hCallWndRet) UnhookWindowsHookEx(m_hCallWndRet);
    if (m_hGetMessage) UnhookWindowsHookEx(m_hGetMessage);
    if (t_pWatcher == this) t_pWatcher = nullptr;
    // A take-up request still queued is dropped.
    MSG msg;
    while (PeekMessageW(&msg, reinterpret_cast<HWND>(-1), TakeUpMessage(), TakeUpMessage(), PM_REMOVE)) {
    }
}

std::vector<std::wstring> MessageBoxWatcher::Texts() const {
    std::vector<std::wstring> texts;
    for (const SeenMessageBox& box : m_boxes) texts.push_back(box.text);
    return texts;
}

bool MessageBoxWatcher::IsMessageBox(HWND hWnd) {
    return IsTopLevelDialog(hWnd) && CWnd::FromHandlePermanent(hWnd) == nullptr;
}

SeenMessageBox MessageBoxWatcher::Read(HWND hBox) {
    SeenMessageBox box;
    box.caption = TextOf(hBox);
    box.owner = GetWindow(hBox, GW_OWNER);
    for (HWND child = GetWindow(hBox, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassOf(child) != L"Static") continue;
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            box.icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
        } else {
            std::wstring text = TextOf(child);
            if (!text.empty() && box.text.empty()) box.text = text;
        }
    }
    return box;
}

void MessageBoxWatcher::Arm(HWND hWnd) {
    if (m_armed.insert(hWnd).second)
        PostThreadMessageW(GetCurrentThreadId(), TakeUpMessage(), reinterpret_cast<WPARAM>(hWnd), 0);
}

void MessageBoxWatcher::TakeUp(HWND hWnd) {
    if (!IsWindow(hWnd)) return;
    if (IsMessageBox(hWnd)) {
        m_boxes.push_back(Read(hWnd));
        PostMessageW(hWnd, WM_COMMAND, MAKEWPARAM(m_answer, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(hWnd, m_answer)));
        return;
    }
    m_dialogs.push_back(hWnd);
    if (m_handler) m_handler(hWnd);
}

LRESULT CALLBACK MessageBoxWatcher::CallWndRetProc(int code, WPARAM wParam, LPARAM lParam) {
    MessageBoxWatcher* self = t_pWatcher;
    if (code == HC_ACTION && self) {
        const auto* cwp = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        switch (cwp->message) {
        case WM_INITDIALOG:
            if (IsTopLevelDialog(cwp->hwnd) && IsWindowVisible(cwp->hwnd)) self->Arm(cwp->hwnd);
            break;
        case WM_SHOWWINDOW:
            if (cwp->wParam && IsTopLevelDialog(cwp->hwnd)) self->Arm(cwp->hwnd);
            break;
        case WM_NCDESTROY:
            self->m_armed.erase(cwp->hwnd);
            break;
        default:
            break;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK MessageBoxWatcher::GetMessageProc(int code, WPARAM wParam, LPARAM lParam) {
    MessageBoxWatcher* self = t_pWatcher;
    if (code == HC_ACTION && wParam == PM_REMOVE && self) {
        MSG* msg = reinterpret_cast<MSG*>(lParam);
        if (!msg->hwnd && msg->message == TakeUpMessage()) {
            HWND hWnd = reinterpret_cast<HWND>(msg->wParam);
            msg->message = WM_NULL;  // nobody else sees it
            msg->wParam = 0;
            self->TakeUp(hWnd);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
