// The driver's measuring instruments, checked on the driver's own objects
// before they are trusted with the program's: the GDI handle table reader,
// the window count, the notification-area probes and the hot-key probe.
#include <windows.h>
#include <shellapi.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "tests/e2e/Desktop.h"
#include "tests/e2e/ProcessObjects.h"

namespace {

class OwnProcess {
public:
    OwnProcess()
        : h_(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, GetCurrentProcessId())) {}
    ~OwnProcess() {
        if (h_) CloseHandle(h_);
    }
    OwnProcess(const OwnProcess&) = delete;
    OwnProcess& operator=(const OwnProcess&) = delete;
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

// A hidden top-level window of the driver's, destroyed at the end.
class ProbeWindow {
public:
    ProbeWindow()
        : h_(CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"e2e probe", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                             nullptr, nullptr)) {}
    ~ProbeWindow() {
        if (h_) DestroyWindow(h_);
    }
    ProbeWindow(const ProbeWindow&) = delete;
    ProbeWindow& operator=(const ProbeWindow&) = delete;
    HWND get() const { return h_; }

private:
    HWND h_;
};

TEST(Instruments, GdiCountFollowsObjectsMadeAndDeleted) {
    OwnProcess self;
    const int before = process_objects::GdiObjectCount(self.get());
    ASSERT_GT(before, 0) << "the GDI handle table could not be read";
    std::vector<HGDIOBJ> made;
    for (int i = 0; i < 10; ++i) made.push_back(CreateSolidBrush(RGB(i, 2, 3)));
    for (int i = 0; i < 7; ++i) made.push_back(CreatePen(PS_SOLID, i + 1, RGB(1, 2, 3)));
    for (int i = 0; i < 5; ++i) made.push_back(CreateRectRgn(0, 0, i + 1, i + 1));
    for (HGDIOBJ o : made) ASSERT_TRUE(o);
    EXPECT_EQ(before + 22, process_objects::GdiObjectCount(self.get()));

    for (HGDIOBJ o : made) DeleteObject(o);

    EXPECT_EQ(before, process_objects::GdiObjectCount(self.get()));

    DWORD error = 0;
    const DWORD stub = process_objects::GuiResources(self.get(), GR_GDIOBJECTS, &error);
    std::printf("GetGuiResources on the driver itself: %lu (last error %lu)\n", stub, error);
}

TEST(Instruments, WindowCountFollowsWindowsMadeAndDestroyed) {
    // The first window of a thread brings the thread's input-method window.
    ProbeWindow first;
    const int before = process_objects::WindowCount(GetCurrentProcessId());
    {
        ProbeWindow window;
        ASSERT_TRUE(window.get());
        HWND child = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 1, 1, window.get(), nullptr, nullptr, nullptr);
        ASSERT_TRUE(child);
        EXPECT_EQ(before + 2, process_objects::WindowCount(GetCurrentProcessId()));
    }
    EXPECT_EQ(before, process_objects::WindowCount(GetCurrentProcessId()));
}

TEST(Instruments, TrayProbesSeeAnIconAddedAndRemoved) {
    ProbeWindow window;
    ASSERT_TRUE(window.get());
    const int before = desktop::TrayIconCount();
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window.get();
    data.uID = 7;
    data.uFlags = NIF_ICON | NIF_TIP;
    data.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    lstrcpyW(data.szTip, L"e2e probe");
    EXPECT_FALSE(desktop::TrayIconExists(window.get(), 7));
    ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &data));
    EXPECT_TRUE(desktop::TrayIconExists(window.get(), 7));
    EXPECT_FALSE(desktop::TrayIconExists(window.get(), 8));
    EXPECT_TRUE(desktop::WaitUntil([&] { return desktop::TrayIconCount() == before + 1; }, 5000));
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &data));
    EXPECT_FALSE(desktop::TrayIconExists(window.get(), 7));
    EXPECT_TRUE(desktop::WaitUntil([&] { return desktop::TrayIconCount() == before; }, 5000));
}

TEST(Instruments, HotKeyProbeSeesAKeyHeldByAWindow) {
    ProbeWindow window;
    ASSERT_TRUE(window.get());
    ASSERT_EQ(desktop::HotKey::Free, desktop::HotKeyState(VK_F9));
    ASSERT_TRUE(RegisterHotKey(window.get(), 1, 0, VK_F9));
    EXPECT_EQ(desktop::HotKey::Taken, desktop::HotKeyState(VK_F9));
    ASSERT_TRUE(UnregisterHotKey(window.get(), 1));
    EXPECT_EQ(desktop::HotKey::Free, desktop::HotKeyState(VK_F9));
}

}  // namespace
