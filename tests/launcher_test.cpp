// The launcher and the portal page dialog laid over it, on real windows:
// geometry, layering, the drag coupling, show/hide mirroring, Enter/Esc,
// closing, and the minimised paint.
#include <gtest/gtest.h>
#include <windows.h>

#include "app/CLoginApp.h"
#include "framework/IconicPaint.h"
#include "launcher/CLoginActiveDlg.h"
#include "launcher/CLoginDlg.h"
#include "support/ModalDriver.h"

namespace {

RECT WindowRectOf(HWND h) {
    RECT rc{};
    GetWindowRect(h, &rc);
    return rc;
}

// Runs the launcher as the program does (it is the main window) with steps.
INT_PTR RunLauncher(std::vector<ModalDriver::Step> steps, CLoginDlg** seen = nullptr) {
    CLoginDlg dlg;
    theApp.m_pMainWnd = &dlg;
    if (seen) *seen = &dlg;
    INT_PTR rc = RunModal(dlg, std::move(steps));
    delete dlg.m_pActiveDlg;
    dlg.m_pActiveDlg = nullptr;
    theApp.m_pMainWnd = nullptr;
    return rc;
}

CLoginDlg* Launcher(HWND h) { return static_cast<CLoginDlg*>(CWnd::FromHandlePermanent(h)); }

TEST(Launcher, IsTheImageSizedLayeredWindowCentredWithThePortalOnIt) {
    RunLauncher({[](HWND h) {
        RECT rc = WindowRectOf(h), work;
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        EXPECT_EQ(rc.right - rc.left, 980);
        EXPECT_EQ(rc.bottom - rc.top, 668);
        EXPECT_EQ(rc.left, (work.left + work.right) / 2 - 490);
        EXPECT_EQ(rc.top, (work.top + work.bottom) / 2 - 334);
        EXPECT_TRUE(GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_LAYERED);
        EXPECT_TRUE(GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_APPWINDOW);
        EXPECT_FALSE(GetWindowLongW(h, GWL_STYLE) & WS_CAPTION);
        wchar_t text[64];
        GetWindowTextW(h, text, 64);
        EXPECT_STREQ(text, L"PellumoZarvotek");

        CLoginActiveDlg* portal = Launcher(h)->m_pActiveDlg;
        ASSERT_NE(portal, nullptr);
        RECT prc = WindowRectOf(portal->m_hWnd);
        EXPECT_TRUE(EqualRect(&rc, &prc));
        EXPECT_TRUE(IsWindowVisible(portal->m_hWnd));
        EXPECT_EQ(GetWindow(portal->m_hWnd, GW_OWNER), h);
        COLORREF key = 0;
        BYTE alpha = 0;
        DWORD flags = 0;
        ASSERT_TRUE(GetLayeredWindowAttributes(portal->m_hWnd, &key, &alpha, &flags));
        EXPECT_EQ(key, RGB(255, 255, 0));
        EXPECT_EQ(alpha, 255);
        EXPECT_EQ(flags, static_cast<DWORD>(LWA_COLORKEY | LWA_ALPHA));
        // The portal's buttons stand where the artwork has room for them.
        struct { int id; RECT rc; } buttons[] = {{1006, {859, 90, 883, 114}}, {1005, {901, 82, 929, 110}}};
        for (const auto& b : buttons) {
            RECT brc = WindowRectOf(GetDlgItem(portal->m_hWnd, b.id));
            OffsetRect(&brc, -prc.left, -prc.top);
            EXPECT_TRUE(EqualRect(&brc, &b.rc)) << b.id;
        }
    }});
}

TEST(Launcher, DraggingEitherWindowMovesBothByTheirTopLeftCorners) {
    RunLauncher({[](HWND h) {
        HWND portal = Launcher(h)->m_pActiveDlg->m_hWnd;
        // Whichever window last saw the mouse leads the move.
        struct Case { HWND lead; int x, y; } cases[] = {{h, 100, 50}, {portal, 300, 120}, {h, 7, 9}};
        for (const Case& c : cases) {
            SendMessageW(c.lead, WM_NCHITTEST, 0, MAKELPARAM(WindowRectOf(c.lead).left + 400,
                                                             WindowRectOf(c.lead).top + 300));
            SetWindowPos(c.lead, nullptr, c.x, c.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            RECT a = WindowRectOf(h), b = WindowRectOf(portal);
            EXPECT_EQ(a.left, c.x);
            EXPECT_EQ(a.top, c.y);
            EXPECT_TRUE(EqualRect(&a, &b));
            EXPECT_EQ(a.right - a.left, 980);
            EXPECT_EQ(a.bottom - a.top, 668);
        }
    }});
}

TEST(Launcher, HitTestMakesThePictureACaptionAndThePortalsButtonsStayButtons) {
    RunLauncher({[](HWND h) {
        RECT rc = WindowRectOf(h);
        const LPARAM inside = MAKELPARAM(rc.left + 500, rc.top + 300);
        EXPECT_EQ(SendMessageW(h, WM_NCHITTEST, 0, inside), HTCAPTION);
        EXPECT_TRUE(Launcher(h)->m_bLauncherLeads);
        HWND portal = Launcher(h)->m_pActiveDlg->m_hWnd;
        EXPECT_EQ(SendMessageW(portal, WM_NCHITTEST, 0, inside), HTCAPTION);
        EXPECT_FALSE(Launcher(h)->m_bLauncherLeads);
        // Outside the window the default answer is not client: nowhere.
        EXPECT_EQ(SendMessageW(portal, WM_NCHITTEST, 0, MAKELPARAM(rc.left - 5, rc.top - 5)), HTNOWHERE);
    }});
}

TEST(Launcher, HidingAndShowingTheLauncherDoesTheSameToThePortal) {
    RunLauncher({
        [](HWND h) { ShowWindow(h, SW_HIDE); },
        [](HWND h) {
            EXPECT_FALSE(IsWindowVisible(h));
            EXPECT_FALSE(IsWindowVisible(Launcher(h)->m_pActiveDlg->m_hWnd));
            ShowWindow(h, SW_SHOWNORMAL);
        },
        [](HWND h) {
            EXPECT_TRUE(IsWindowVisible(h));
            EXPECT_TRUE(IsWindowVisible(Launcher(h)->m_pActiveDlg->m_hWnd));
            RECT a = WindowRectOf(h), b = WindowRectOf(Launcher(h)->m_pActiveDlg->m_hWnd);
            EXPECT_TRUE(EqualRect(&a, &b));
        },
    });
}

TEST(Launcher, EnterAndEscapeCloseNothingAndWmCloseEndsWithOk) {
    INT_PTR rc = RunLauncher({
        [](HWND h) {
            for (HWND target : {h, Launcher(h)->m_pActiveDlg->m_hWnd}) {
                PostKeyPress(target, VK_RETURN);
                PostKeyPress(target, VK_ESCAPE);
                PostMessageW(target, WM_COMMAND, IDOK, 0);
                PostMessageW(target, WM_COMMAND, IDCANCEL, 0);
            }
        },
        [](HWND h) {
            EXPECT_TRUE(IsWindowVisible(h));
            EXPECT_TRUE(IsWindowVisible(Launcher(h)->m_pActiveDlg->m_hWnd));
            PostMessageW(h, WM_CLOSE, 0, 0);
        },
    });
    EXPECT_EQ(rc, IDOK);
}

TEST(Launcher, MinimiseFromThePortalTakesBothDownAndRestoreBringsBoth) {
    RunLauncher({
        [](HWND h) {
            SendMessageW(Launcher(h)->m_pActiveDlg->m_hWnd, WM_COMMAND, MAKEWPARAM(1006, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(Launcher(h)->m_pActiveDlg->m_hWnd, 1006)));
        },
        [](HWND h) {
            EXPECT_TRUE(IsIconic(h));
            EXPECT_FALSE(IsWindowVisible(Launcher(h)->m_pActiveDlg->m_hWnd));
            ShowWindow(h, SW_RESTORE);
        },
        [](HWND h) {
            EXPECT_FALSE(IsIconic(h));
            EXPECT_TRUE(IsWindowVisible(Launcher(h)->m_pActiveDlg->m_hWnd));
        },
    });
}

TEST(IconicPaint, IconIsCentredWithDivisionsRoundingTowardZero) {
    struct Case { RECT client; int cx, cy; POINT expected; } cases[] = {
        {{0, 0, 160, 28}, 32, 32, {64, -1}},   // (28-32+1)/2 = -3/2 = -1
        {{0, 0, 161, 33}, 32, 32, {65, 1}},
        {{0, 0, 0, 0}, 32, 32, {-15, -15}},     // -31/2 = -15, not -16
        {{0, 0, 64, 64}, 64, 64, {0, 0}},
    };
    for (const Case& c : cases) {
        POINT p = IconicIconOrigin(c.client, c.cx, c.cy);
        EXPECT_EQ(p.x, c.expected.x) << c.client.right;
        EXPECT_EQ(p.y, c.expected.y) << c.client.bottom;
    }
}

TEST(Launcher, PaintsNothingWhileShownAndTheIconWhileMinimised) {
    RunLauncher({
        [](HWND h) {
            // The layered content is untouched by a paint request.
            RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
            EXPECT_FALSE(GetUpdateRect(h, nullptr, FALSE));
            ShowWindow(h, SW_MINIMIZE);
        },
        [](HWND h) {
            EXPECT_TRUE(IsIconic(h));
            RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
            EXPECT_FALSE(GetUpdateRect(h, nullptr, FALSE));  // the paint was done
            PostMessageW(h, WM_CLOSE, 0, 0);
        },
    });
}

}  // namespace
