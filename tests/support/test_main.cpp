// Entry point of every test executable: the UI thread's apartment and GDI+
// are set up once, as the program itself does before its first window.
#include <windows.h>
#include <ole2.h>
#include <gdiplus.h>
#include <gtest/gtest.h>
#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    OleInitialize(nullptr);
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    int rc = RUN_ALL_TESTS();
    const auto* unit = ::testing::UnitTest::GetInstance();
    std::printf("%d passed, %d failed\n", unit->successful_test_count(), unit->failed_test_count());
    std::fflush(stdout);
    Gdiplus::GdiplusShutdown(token);
    OleUninitialize();
    return rc;
}
