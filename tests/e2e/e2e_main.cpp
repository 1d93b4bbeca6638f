// Entry point of the end-to-end driver.
//
//     e2e_driver.exe [--program=PATH\PellumoZarvotek.exe] [--portal-port=PORT]
//                    [GoogleTest options]
//
// Without --program the executable is looked for next to the driver's
// folder (the build folder's PellumoZarvotek.exe, the driver being in its
// tests\ folder). The portal server is started once for the whole run.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "tests/e2e/Desktop.h"
#include "tests/e2e/E2eTest.h"
#include "tests/e2e/ProgramUnderTest.h"

namespace {

std::wstring ProgramNextToDriver() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    path.erase(path.find_last_of(L"\\/") + 1);  // ...\build\tests\ .
    return path + L"..\\PellumoZarvotek.exe";
}

// A program left running by an earlier run that was cut short (a killed
// driver cannot end its program) would hold the hot keys and the tray: the
// driver ends such processes, by their process id, before it starts.
void EndLeftoverPrograms() {
    std::set<DWORD> leftovers;
    for (HWND h = GetTopWindow(nullptr); h; h = GetWindow(h, GW_HWNDNEXT)) {
        const WindowInfo w = desktop::Describe(h);
        if (w.className != L"#32770" || w.text != L"PellumoZarvotek" || w.owner) continue;
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        leftovers.insert(pid);
    }
    for (DWORD pid : leftovers) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        if (!process) continue;
        std::printf("ending a program left over by an earlier run (process %lu)\n", pid);
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    std::wstring program = ProgramNextToDriver();
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg.rfind(L"--program=", 0) == 0) program = arg.substr(10);
        if (arg.rfind(L"--portal-port=", 0) == 0) SetPortalPort(static_cast<unsigned short>(_wtoi(arg.c_str() + 14)));
    }
    wchar_t full[MAX_PATH] = {};
    GetFullPathNameW(program.c_str(), MAX_PATH, full, nullptr);
    ProgramUnderTest::SetExecutable(full);
    std::printf("program under test: %ls\nportal: %ls\n", full, PortalUrl().c_str());
    if (GetFileAttributesW(full) == INVALID_FILE_ATTRIBUTES)
        std::printf("warning: %ls does not exist; every test will fail\n", full);

    EndLeftoverPrograms();

    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);

    if (!E2eTest::SharedPortal().Start(PortalPort()))
        std::printf("error: %ls; every test will fail\n", E2eTest::SharedPortal().Error().c_str());
    std::fflush(stdout);

    const int rc = RUN_ALL_TESTS();
    const auto* unit = ::testing::UnitTest::GetInstance();
    std::printf("%d passed, %d failed\n", unit->successful_test_count(), unit->failed_test_count());
    std::fflush(stdout);
    Gdiplus::GdiplusShutdown(token);
    return rc;
}
