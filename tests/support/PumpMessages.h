#pragma once
// Runs this thread's messages until a condition holds, for tests whose
// windows or browsers make progress only while their messages are pumped.
#include <windows.h>

#include <functional>

// Pumps (PeekMessage/TranslateMessage/DispatchMessage) until pred() is true
// or timeoutMs has passed; returns pred()'s last answer. A WM_QUIT seen while
// pumping is put back and ends the wait. The condition is also looked at
// every few milliseconds, so one set by another thread is noticed.
inline bool PumpMessagesUntil(const std::function<bool()>& pred, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                return pred();
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            if (pred()) return true;
        }
        if (pred()) return true;
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return false;
        DWORD wait = timeoutMs - elapsed;
        if (wait > 10) wait = 10;
        MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}
