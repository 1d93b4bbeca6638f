#include "tests/support/ModalDriver.h"

#include <utility>

#include "framework/CDialog.h"

namespace {

constexpr UINT kTickMessage = WM_APP + 0x3A1;
constexpr wchar_t kTickClass[] = L"PzModalDriverTick";
// Waiting for an empty queue gives up after this many rounds (a window that
// keeps posting to itself would otherwise stall the driver for ever).
constexpr int kMaxIdleWaits = 10000;

thread_local ModalDriver* t_pActive = nullptr;

bool IsTopLevelDialogBox(HWND hWnd) {
    wchar_t name[16] = {};
    GetClassNameW(hWnd, name, 16);
    return lstrcmpW(name, L"#32770") == 0 && !(GetWindowLongW(hWnd, GWL_STYLE) & WS_CHILD);
}

void RegisterTickClass() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcW;  // replaced per window below
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kTickClass;
    RegisterClassExW(&wc);  // fails harmlessly once registered
}

}  // namespace

ModalDriver::ModalDriver(std::vector<Step> steps, Matcher isTarget)
    : m_steps(std::move(steps)), m_isTarget(std::move(isTarget)) {
    if (!m_isTarget) m_isTarget = IsTopLevelDialogBox;
    RegisterTickClass();
    m_hWndTick = CreateWindowExW(0, kTickClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(m_hWndTick, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(m_hWndTick, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WndProc));
    m_pPrevious = t_pActive;
    t_pActive = this;
    m_hHook = SetWindowsHookExW(WH_CALLWNDPROCRET, HookProc, nullptr, GetCurrentThreadId());
}

ModalDriver::~ModalDriver() {
    if (m_hHook) UnhookWindowsHookEx(m_hHook);
    if (t_pActive == this) t_pActive = m_pPrevious;
    // Ticks still queued die with the window.
    if (m_hWndTick) DestroyWindow(m_hWndTick);
}

LRESULT CALLBACK ModalDriver::HookProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && t_pActive)
        t_pActive->OnWindowMessage(*reinterpret_cast<const CWPRETSTRUCT*>(lParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void ModalDriver::OnWindowMessage(const CWPRETSTRUCT& msg) {
    if (m_hDlg) return;  // driving already
    if (!m_hCandidate && msg.message == WM_INITDIALOG && m_isTarget(msg.hwnd))
        m_hCandidate = msg.hwnd;
    // The dialog is up once it has been initialised and shown.
    if (m_hCandidate && msg.hwnd == m_hCandidate && IsWindowVisible(m_hCandidate)) {
        m_hDlg = m_hCandidate;
        PostTick();
    }
}

LRESULT CALLBACK ModalDriver::WndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kTickMessage) {
        auto* self = reinterpret_cast<ModalDriver*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
        if (self) self->OnTick();
        return 0;
    }
    return DefWindowProcW(hWnd, message, wParam, lParam);
}

void ModalDriver::PostTick() { PostMessageW(m_hWndTick, kTickMessage, 0, 0); }

void ModalDriver::OnTick() {
    if (!IsWindow(m_hDlg)) return;  // it has ended: nothing more to do

    // Let the dialog handle what the previous step set off first. Hardware
    // input is not waited for: it is retrieved only after posted messages,
    // so it would never get its turn while a tick is queued.
    MSG pending;
    if (m_nIdleWaits < kMaxIdleWaits &&
        PeekMessageW(&pending, nullptr, 0, 0,
                     PM_NOREMOVE | PM_QS_POSTMESSAGE | PM_QS_SENDMESSAGE)) {
        ++m_nIdleWaits;
        PostTick();
        return;
    }
    m_nIdleWaits = 0;

    if (m_nextStep < m_steps.size()) {
        // The step may open a nested loop or end the dialog; it is counted first.
        const Step& step = m_steps[m_nextStep++];
        step(m_hDlg);
        PostTick();
        return;
    }

    // Every step has run and the dialog is still open.
    m_bLeftOpen = true;
    if (auto* pDlg = dynamic_cast<CDialog*>(CWnd::FromHandlePermanent(m_hDlg)))
        pDlg->EndDialog(static_cast<int>(kLeftOpen));
    else
        EndDialog(m_hDlg, kLeftOpen);
}

INT_PTR RunModal(CDialog& dlg, std::vector<ModalDriver::Step> steps) {
    ModalDriver driver(std::move(steps), [&dlg](HWND hDlg) { return hDlg == dlg.m_hWnd; });
    return dlg.DoModal();
}

void PaintNow(HWND hWnd) {
    RedrawWindow(hWnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void PostKeyPress(HWND hWnd, UINT vk, bool alt) {
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16;
    const LPARAM context = alt ? (1 << 29) : 0;  // Alt held
    const LPARAM up = static_cast<LPARAM>(0xC0000000);  // transition and previous state
    PostMessageW(hWnd, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, 1 | scan | context);
    PostMessageW(hWnd, alt ? WM_SYSKEYUP : WM_KEYUP, vk, 1 | scan | context | up);
}
