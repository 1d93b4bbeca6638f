// The confirmation dialog on real windows: its texts per mode, its pixel
// layout, its fonts, and the result of every way of ending it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "game/CConfirmDlg.h"
#include "res/resource.h"
#include "tests/support/ModalDriver.h"

namespace {

std::wstring TextOf(HWND hWnd) {
    wchar_t text[256] = {};
    GetWindowTextW(hWnd, text, 256);
    return text;
}

// Rectangle of a child in its parent's client coordinates.
RECT ChildRect(HWND hDlg, int id) {
    RECT rc{};
    GetWindowRect(GetDlgItem(hDlg, id), &rc);
    MapWindowPoints(nullptr, hDlg, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

std::string Describe(const RECT& rc) {
    return "(" + std::to_string(rc.left) + ", " + std::to_string(rc.top) + ") " +
           std::to_string(rc.right - rc.left) + " x " + std::to_string(rc.bottom - rc.top);
}

LOGFONTW FontOf(HWND hWnd, bool* valid) {
    LOGFONTW lf{};
    auto hFont = reinterpret_cast<HFONT>(SendMessageW(hWnd, WM_GETFONT, 0, 0));
    *valid = hFont && GetObjectW(hFont, sizeof(lf), &lf) == sizeof(lf);
    return lf;
}

int LogPixelsY() {
    HDC hdc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(hdc, LOGPIXELSY);
    ReleaseDC(nullptr, hdc);
    return dpi;
}

// ---- texts ------------------------------------------------------------------

TEST(ConfirmDialog, TextsFollowTheMode) {
    struct Case {
        int mode;
        const wchar_t* title;
        const wchar_t* message;
    } cases[] = {
        {0, L"关闭游戏", L"确定要退出游戏吗?"},
        {1, L"选服", L"是否退出当前游戏，重新选择新服务器?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode));
        CConfirmDlg dlg;
        EXPECT_EQ(0, dlg.m_nMode);  // quitting unless the caller says otherwise
        dlg.m_nMode = c.mode;
        std::wstring title, message;
        INT_PTR rc = RunModal(dlg, {[&](HWND hDlg) {
            title = TextOf(GetDlgItem(hDlg, IDC_CONFIRM_TITLE));
            message = TextOf(GetDlgItem(hDlg, IDC_CONFIRM_MESSAGE));
        }});
        EXPECT_EQ(ModalDriver::kLeftOpen, rc);
        EXPECT_EQ(c.title, title);
        EXPECT_EQ(c.message, message);
    }
}

// ---- layout -----------------------------------------------------------------

TEST(ConfirmDialog, IsAPixelSizedPanelCentredInTheWorkArea) {
    CConfirmDlg dlg;
    RunModal(dlg, {[](HWND hDlg) {
        RECT client{}, window{};
        GetClientRect(hDlg, &client);
        GetWindowRect(hDlg, &window);
        EXPECT_EQ(256, client.right);
        EXPECT_EQ(110, client.bottom);
        // No frame: the window is its client area.
        EXPECT_EQ(256, window.right - window.left);
        EXPECT_EQ(110, window.bottom - window.top);
        // The template's own size would be something else on this system.
        RECT units{0, 0, 256, 110};
        MapDialogRect(hDlg, &units);
        EXPECT_FALSE(units.right == 256 && units.bottom == 110) << Describe(units);

        RECT work{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        EXPECT_EQ((work.left + work.right) / 2 - 128, window.left);
        EXPECT_EQ((work.top + work.bottom) / 2 - 55, window.top);
    }});
}

TEST(ConfirmDialog, ControlsSitAtTheirPixelPositions) {
    struct Case {
        int id;
        RECT rc;  // client coordinates
    } cases[] = {
        {IDC_CONFIRM_TITLE, {79, 10, 79 + 100, 10 + 30}},
        {IDC_CONFIRM_MESSAGE, {28, 34, 28 + 200, 34 + 66}},
        {IDC_CONFIRM_OK, {40, 72, 40 + 74, 72 + 26}},
        {IDC_CONFIRM_CANCEL, {140, 72, 140 + 74, 72 + 26}},
    };
    for (int mode : {0, 1}) {
        CConfirmDlg dlg;
        dlg.m_nMode = mode;
        RunModal(dlg, {[&](HWND hDlg) {
            for (const Case& c : cases) {
                const RECT rc = ChildRect(hDlg, c.id);
                EXPECT_TRUE(EqualRect(&rc, &c.rc))
                    << "mode " << mode << ", control " << c.id << " at " << Describe(rc);
            }
        }});
    }
}

TEST(ConfirmDialog, EachButtonCoversOnlyItsOwnPixels) {
    // What the pointer would be over at a point of the client area; the
    // see-through statics (WS_EX_TRANSPARENT) lie under the buttons.
    struct Case {
        POINT pt;
        int id;  // 0: the dialog itself
    } cases[] = {
        {{39, 85}, 0},   {{40, 72}, IDC_CONFIRM_OK},  {{113, 97}, IDC_CONFIRM_OK},
        {{114, 85}, 0},  {{127, 85}, 0},              {{139, 85}, 0},
        {{140, 72}, IDC_CONFIRM_CANCEL},              {{213, 97}, IDC_CONFIRM_CANCEL},
        {{214, 85}, 0},  {{76, 71}, 0},               {{76, 98}, 0},
    };
    CConfirmDlg dlg;
    RunModal(dlg, {[&](HWND hDlg) {
        for (const Case& c : cases) {
            HWND hit = ChildWindowFromPointEx(hDlg, c.pt, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
            EXPECT_EQ(c.id ? GetDlgItem(hDlg, c.id) : hDlg, hit)
                << "at " << c.pt.x << ", " << c.pt.y << " control " << GetDlgCtrlID(hit);
        }
    }});
}

// ---- fonts ------------------------------------------------------------------

TEST(ConfirmDialog, TitleIsTwelvePointArialForTheDialogsWholeLife) {
    const LONG height = -MulDiv(12, LogPixelsY(), 72);
    CConfirmDlg dlg;
    HWND hCover = nullptr;
    auto expectArialTitle = [&](HWND hDlg, const char* when) {
        bool valid = false;
        const LOGFONTW lf = FontOf(GetDlgItem(hDlg, IDC_CONFIRM_TITLE), &valid);
        ASSERT_TRUE(valid) << when << ": the title has no live font";
        EXPECT_STREQ(L"Arial", lf.lfFaceName) << when;
        EXPECT_EQ(height, lf.lfHeight) << when;
    };
    RunModal(dlg, {
        [&](HWND hDlg) {
            PaintNow(hDlg);
            expectArialTitle(hDlg, "shown");
            // Cover the dialog with another window...
            RECT rc{};
            GetWindowRect(hDlg, &rc);
            hCover = CreateWindowExW(WS_EX_TOPMOST, L"Static", L"", WS_POPUP | WS_VISIBLE,
                                     rc.left - 10, rc.top - 10, 300, 150, nullptr, nullptr,
                                     nullptr, nullptr);
            ASSERT_NE(nullptr, hCover);
            PaintNow(hCover);
        },
        [&](HWND hDlg) {
            // ...and take it away: the dialog and its statics repaint.
            DestroyWindow(hCover);
            PaintNow(hDlg);
            expectArialTitle(hDlg, "after a repaint");
        },
    });
}

TEST(ConfirmDialog, MessageKeepsTheTemplatesFont) {
    CConfirmDlg dlg;
    RunModal(dlg, {[](HWND hDlg) {
        const auto dialogFont = reinterpret_cast<HFONT>(SendMessageW(hDlg, WM_GETFONT, 0, 0));
        const auto messageFont = reinterpret_cast<HFONT>(
            SendMessageW(GetDlgItem(hDlg, IDC_CONFIRM_MESSAGE), WM_GETFONT, 0, 0));
        EXPECT_EQ(dialogFont, messageFont);
        bool valid = false;
        const LOGFONTW lf = FontOf(GetDlgItem(hDlg, IDC_CONFIRM_MESSAGE), &valid);
        ASSERT_TRUE(valid);
        EXPECT_STREQ(L"宋体", lf.lfFaceName);
        EXPECT_EQ(-MulDiv(10, LogPixelsY(), 72), lf.lfHeight);
    }});
}

// ---- results ----------------------------------------------------------------

TEST(ConfirmDialog, EveryWayOutGivesOkOrCancel) {
    using Act = void (*)(HWND hDlg);
    const Act pressTab = [](HWND) { PostKeyPress(GetFocus(), VK_TAB); };
    struct Case {
        const char* name;
        std::vector<Act> acts;  // one step each
        INT_PTR result;
    } cases[] = {
        {"click on OK",
         {[](HWND hDlg) { PostMessageW(GetDlgItem(hDlg, IDC_CONFIRM_OK), BM_CLICK, 0, 0); }},
         IDOK},
        {"click on Cancel",
         {[](HWND hDlg) { PostMessageW(GetDlgItem(hDlg, IDC_CONFIRM_CANCEL), BM_CLICK, 0, 0); }},
         IDCANCEL},
        {"Enter", {[](HWND) { PostKeyPress(GetFocus(), VK_RETURN); }}, IDOK},
        {"Space", {[](HWND) { PostKeyPress(GetFocus(), VK_SPACE); }}, IDOK},
        {"Tab, then Space",
         {pressTab,
          [](HWND hDlg) {
              EXPECT_EQ(GetDlgItem(hDlg, IDC_CONFIRM_CANCEL), GetFocus()) << "Tab leads to Cancel";
              PostKeyPress(GetFocus(), VK_SPACE);
          }},
         IDCANCEL},
        {"Tab twice, then Space",
         {pressTab, pressTab, [](HWND) { PostKeyPress(GetFocus(), VK_SPACE); }},
         IDOK},
        {"Esc", {[](HWND) { PostKeyPress(GetFocus(), VK_ESCAPE); }}, IDCANCEL},
        {"Alt+F4", {[](HWND) { PostKeyPress(GetFocus(), VK_F4, true); }}, IDCANCEL},
        {"WM_CLOSE", {[](HWND hDlg) { PostMessageW(hDlg, WM_CLOSE, 0, 0); }}, IDCANCEL},
    };
    for (int mode : {0, 1}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", mode " + std::to_string(mode));
            CConfirmDlg dlg;
            dlg.m_nMode = mode;
            bool focused = false;
            std::vector<ModalDriver::Step> steps{[&](HWND hDlg) {
                focused = GetFocus() == GetDlgItem(hDlg, IDC_CONFIRM_OK);
            }};
            for (Act act : c.acts) steps.push_back(act);
            EXPECT_EQ(c.result, RunModal(dlg, steps));
            EXPECT_TRUE(focused) << "the focus starts on OK";
        }
    }
}

// ---- pictures for review (tools/screenshots/confirm.sh) ---------------------

// Writes what hWnd shows as a 24-bit BMP file. Read from the window's own DC:
// the screen itself receives a window's drawing only some time later.
bool SaveWindowPicture(HWND hWnd, const std::wstring& path) {
    RECT rc{};
    GetWindowRect(hWnd, &rc);
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    const int stride = (w * 3 + 3) & ~3;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;  // bottom-up, as BMP files store it
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    bi.bmiHeader.biSizeImage = stride * h;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dib) return false;
    HDC window = GetWindowDC(hWnd);
    HDC mem = CreateCompatibleDC(window);
    HGDIOBJ old = SelectObject(mem, dib);
    BitBlt(mem, 0, 0, w, h, window, 0, 0, SRCCOPY);
    GdiFlush();
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;  // "BM"
    fh.bfOffBits = sizeof(fh) + sizeof(BITMAPINFOHEADER);
    fh.bfSize = fh.bfOffBits + bi.bmiHeader.biSizeImage;
    bool ok = false;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ok = WriteFile(file, &fh, sizeof(fh), &written, nullptr) &&
             WriteFile(file, &bi.bmiHeader, sizeof(BITMAPINFOHEADER), &written, nullptr) &&
             WriteFile(file, bits, bi.bmiHeader.biSizeImage, &written, nullptr);
        CloseHandle(file);
    }
    SelectObject(mem, old);
    DeleteDC(mem);
    ReleaseDC(hWnd, window);
    DeleteObject(dib);
    return ok;
}

// Run by tools/screenshots/confirm.sh only: PZ_SCREENSHOT_DIR names the folder.
TEST(ConfirmDialog, DISABLED_Screenshots) {
    wchar_t dir[MAX_PATH] = {};
    ASSERT_GT(GetEnvironmentVariableW(L"PZ_SCREENSHOT_DIR", dir, MAX_PATH), 0u)
        << "PZ_SCREENSHOT_DIR is not set";
    for (int mode : {0, 1}) {
        CConfirmDlg dlg;
        dlg.m_nMode = mode;
        RunModal(dlg, {[&](HWND hDlg) {
            PaintNow(hDlg);
            const std::wstring path =
                std::wstring(dir) + L"\\confirm-mode" + std::to_wstring(mode) + L".bmp";
            EXPECT_TRUE(SaveWindowPicture(hDlg, path));
        }});
    }
}

}  // namespace
