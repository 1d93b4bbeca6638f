// The game window's frame: construction and initialisation, the title
// strip's layout for any width, the three window states and the moves
// between them, placement snapping back, painting of the strip, mouse and
// keyboard handling, and the page revealed by its first navigation.
#include "game/CGameDialog.h"

#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/CLoginApp.h"
#include "app/WindowSwitching.h"
#include "framework/CToolTipCtrl.h"
#include "framework/DeviceContexts.h"
#include "framework/GdiObjects.h"
#include "res/resource.h"
#include "tests/standin/StandinBrowser.h"
#include "tests/support/GameWindowFixture.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/ModalDriver.h"

using namespace gametest;

namespace {

constexpr int kStripControls[] = {IDC_GAME_LOGO,     IDC_GAME_CLOSE, IDC_GAME_MINIMIZE,
                                  IDC_GAME_FULLSCREEN, IDC_GAME_BOSS, IDC_GAME_REFRESH,
                                  IDC_GAME_SERVER,   IDC_GAME_CLEAN};

Placement ScreenPlacement() {
    return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

Placement MaximisedPlacement() {
    const RECT wa = WorkArea();
    return {0, 0, wa.right - wa.left, wa.bottom - wa.top};
}

// 1000 x 700, centred in the work area and kept inside it.
Placement NormalPlacement() {
    const RECT wa = WorkArea();
    int x = (wa.left + wa.right) / 2 - 500, y = (wa.top + wa.bottom) / 2 - 350;
    if (x + 1000 > wa.right) x = wa.right - 1000;
    if (x < wa.left) x = wa.left;
    if (y + 700 > wa.bottom) y = wa.bottom - 700;
    if (y < wa.top) y = wa.top;
    return {x, y, 1000, 700};
}

class GameFrame : public GameWindowFixture {
protected:
    void SetUp() override {
        GameWindowFixture::SetUp();
        CreateGame();
        ASSERT_NE(nullptr, m_pGame);
        ASSERT_TRUE(IsWindow(Hwnd()));
    }

    HWND Browser() const { return m_pGame->m_browser.m_hWnd; }

    // Everything that makes up one window state.
    void ExpectState(int state) {
        SCOPED_TRACE("state " + std::to_string(state));
        EXPECT_EQ(state, m_pGame->m_nWindowState);
        const Placement window = state == 0   ? ScreenPlacement()
                                 : state == 1 ? MaximisedPlacement()
                                              : NormalPlacement();
        EXPECT_EQ(window, WindowPlacement(Hwnd()));
        const Placement page = state == 0 ? Placement{0, 0, window.cx, window.cy}
                                          : Placement{0, 30, window.cx, window.cy - 30};
        EXPECT_EQ(page, ChildPlacement(Browser()));
        for (int id : kStripControls)
            EXPECT_EQ(state != 0, HasVisibleStyle(Item(id))) << "control " << id;
        EXPECT_EQ(state == 2, HasVisibleStyle(Item(IDC_GAME_MAXIMIZE)));
        EXPECT_EQ(state == 1, HasVisibleStyle(Item(IDC_GAME_RESTORE)));
        if (state != 0) {
            EXPECT_EQ(window.cx - 32, ChildPlacement(Item(IDC_GAME_CLOSE)).x);
        }
    }

    // Whenever the strip shows, exactly one of maximise and restore does.
    void ExpectOneOfMaximiseAndRestore() {
        const bool strip = HasVisibleStyle(Item(IDC_GAME_LOGO));
        const int shown = HasVisibleStyle(Item(IDC_GAME_MAXIMIZE)) +
                          HasVisibleStyle(Item(IDC_GAME_RESTORE));
        EXPECT_EQ(strip ? 1 : 0, shown) << "state " << m_pGame->m_nWindowState;
    }
};

// --- Construction and initialisation ---------------------------------------------

TEST_F(GameFrame, StartsHiddenMaximisedWithTextIconsAndTaskbarButton) {
    EXPECT_FALSE(IsWindowVisible(Hwnd()));
    EXPECT_EQ(1001, m_pGame->m_nHotKeyIdF10);
    EXPECT_EQ(1002, m_pGame->m_nHotKeyIdF11);

    wchar_t text[64] = {};
    GetWindowTextW(Hwnd(), text, 64);
    EXPECT_STREQ(L"PellumoZarvotek", text);

    ASSERT_NE(nullptr, m_pGame->m_hIcon);
    EXPECT_EQ(reinterpret_cast<LRESULT>(m_pGame->m_hIcon), SendMessageW(Hwnd(), WM_GETICON, ICON_BIG, 0));
    EXPECT_EQ(reinterpret_cast<LRESULT>(m_pGame->m_hIcon), SendMessageW(Hwnd(), WM_GETICON, ICON_SMALL, 0));

    const DWORD style = static_cast<DWORD>(GetWindowLongW(Hwnd(), GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongW(Hwnd(), GWL_EXSTYLE));
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & WS_CAPTION);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_TRUE(exStyle & WS_EX_APPWINDOW);
    EXPECT_FALSE(exStyle & WS_EX_TOOLWINDOW);

    ExpectState(1);
    // The page stays hidden until a navigation completes.
    EXPECT_FALSE(HasVisibleStyle(Browser()));

    BITMAP bm{};
    ASSERT_TRUE(m_pGame->m_bmpTitleBar.GetBitmap(&bm));
    EXPECT_EQ(66, bm.bmWidth);
    EXPECT_EQ(30, bm.bmHeight);
}

struct ButtonImageCase {
    int id;
    int imageWidth;
};

TEST_F(GameFrame, NineOwnerDrawnButtonsTakeTheirImageSizes) {
    const std::map<int, CPngButton*> members = {
        {IDC_GAME_CLOSE, &m_pGame->m_btnClose},       {IDC_GAME_RESTORE, &m_pGame->m_btnRestore},
        {IDC_GAME_MAXIMIZE, &m_pGame->m_btnMaximize}, {IDC_GAME_MINIMIZE, &m_pGame->m_btnMinimize},
        {IDC_GAME_FULLSCREEN, &m_pGame->m_btnFullScreen}, {IDC_GAME_BOSS, &m_pGame->m_btnBoss},
        {IDC_GAME_REFRESH, &m_pGame->m_btnRefresh},   {IDC_GAME_SERVER, &m_pGame->m_btnServer},
        {IDC_GAME_CLEAN, &m_pGame->m_btnClean},
    };
    const ButtonImageCase cases[] = {
        {IDC_GAME_CLOSE, 30}, {IDC_GAME_RESTORE, 29}, {IDC_GAME_MAXIMIZE, 29},
        {IDC_GAME_MINIMIZE, 29}, {IDC_GAME_FULLSCREEN, 64}, {IDC_GAME_BOSS, 106},
        {IDC_GAME_REFRESH, 82}, {IDC_GAME_SERVER, 61}, {IDC_GAME_CLEAN, 87},
    };
    for (const ButtonImageCase& c : cases) {
        SCOPED_TRACE("button " + std::to_string(c.id));
        CPngButton* button = members.at(c.id);
        EXPECT_EQ(Item(c.id), button->m_hWnd);  // bound to its template control
        EXPECT_EQ(c.imageWidth, button->m_nImageWidth);
        EXPECT_EQ(30, button->m_nFrameHeight);
        EXPECT_EQ(BS_OWNERDRAW, GetWindowLongW(button->m_hWnd, GWL_STYLE) & BS_TYPEMASK);
        EXPECT_EQ(30, ChildPlacement(button->m_hWnd).cy);
    }
}

TEST_F(GameFrame, LogoShowsBitmap141OverTheLeftEndOfTheStrip) {
    HWND logo = Item(IDC_GAME_LOGO);
    const LONG style = GetWindowLongW(logo, GWL_STYLE);
    EXPECT_EQ(SS_BITMAP, style & SS_TYPEMASK);
    EXPECT_TRUE(style & SS_CENTERIMAGE);
    auto image = reinterpret_cast<HBITMAP>(SendMessageW(logo, STM_GETIMAGE, IMAGE_BITMAP, 0));
    ASSERT_NE(nullptr, image);
    BITMAP bm{};
    ASSERT_TRUE(GetObjectW(image, sizeof bm, &bm));
    EXPECT_EQ(144, bm.bmWidth);
    EXPECT_EQ(30, bm.bmHeight);
    EXPECT_EQ((Placement{0, 0, 144, 30}), ChildPlacement(logo));
}

TEST_F(GameFrame, TooltipsNameFourButtonsByWindow) {
    ASSERT_NE(nullptr, m_pGame->m_pToolTip);
    HWND tip = m_pGame->m_pToolTip->m_hWnd;
    ASSERT_TRUE(IsWindow(tip));
    wchar_t cls[64] = {};
    GetClassNameW(tip, cls, 64);
    EXPECT_STREQ(TOOLTIPS_CLASSW, cls);
    EXPECT_EQ(Hwnd(), GetWindow(tip, GW_OWNER));

    std::map<HWND, std::wstring> tools;
    const int count = static_cast<int>(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[1024] = {};
        TOOLINFOW ti{};
        ti.cbSize = sizeof ti;
        ti.lpszText = text;
        ASSERT_TRUE(SendMessageW(tip, TTM_ENUMTOOLSW, i, reinterpret_cast<LPARAM>(&ti)));
        EXPECT_TRUE(ti.uFlags & TTF_IDISHWND);
        EXPECT_FALSE(ti.uFlags & TTF_SUBCLASS);  // mouse messages come through the relay
        EXPECT_EQ(Hwnd(), ti.hwnd);
        tools[reinterpret_cast<HWND>(ti.uId)] = text;
    }
    const std::map<HWND, std::wstring> expected = {
        {Item(IDC_GAME_RESTORE), L"还原"},
        {Item(IDC_GAME_MAXIMIZE), L"最大化"},
        {Item(IDC_GAME_MINIMIZE), L"最小化"},
        {Item(IDC_GAME_FULLSCREEN), L"按F11进入/退出全屏"},
    };
    EXPECT_EQ(expected, tools);
}

// --- Layout of the strip ------------------------------------------------------------

struct StripSlot {
    int id;
    int x;      // in the normal state (client width 1000)
    int width;
};

const StripSlot kNormalSlots[] = {
    {IDC_GAME_CLOSE, 968, 30},      {IDC_GAME_RESTORE, 939, 29}, {IDC_GAME_MAXIMIZE, 939, 29},
    {IDC_GAME_MINIMIZE, 910, 29},   {IDC_GAME_FULLSCREEN, 806, 64}, {IDC_GAME_BOSS, 702, 104},
    {IDC_GAME_CLEAN, 617, 85},      {IDC_GAME_REFRESH, 537, 80}, {IDC_GAME_SERVER, 474, 61},
};

TEST_F(GameFrame, NormalStatePlacesTheButtonsFromTheRightAndTheLogoAtTheLeft) {
    Show();
    SetState(2);
    RECT client{};
    GetClientRect(Hwnd(), &client);
    ASSERT_EQ(1000, client.right);
    for (const StripSlot& slot : kNormalSlots)
        EXPECT_EQ((Placement{slot.x, 0, slot.width, 30}), ChildPlacement(Item(slot.id)))
            << "control " << slot.id;
    EXPECT_EQ((Placement{0, 0, 144, 30}), ChildPlacement(Item(IDC_GAME_LOGO)));
}

class StripWidth : public GameFrame, public ::testing::WithParamInterface<int> {};

TEST_P(StripWidth, EveryButtonKeepsItsDistanceFromTheRightEdge) {
    const int width = GetParam();
    // Hidden, so the resize is not snapped back to a state's placement.
    m_pGame->MoveWindow(0, 0, width, 600, FALSE);
    m_pGame->LayoutTitleBar();
    RECT client{};
    GetClientRect(Hwnd(), &client);
    ASSERT_EQ(width, client.right);
    for (const StripSlot& slot : kNormalSlots)
        EXPECT_EQ((Placement{width - (1000 - slot.x), 0, slot.width, 30}),
                  ChildPlacement(Item(slot.id)))
            << "control " << slot.id;
    EXPECT_EQ((Placement{0, 0, 144, 30}), ChildPlacement(Item(IDC_GAME_LOGO)));
}

// Wide, the work area's width, the narrowest width before the server button
// meets the logo, and widths at which it reaches into the logo or off the left.
INSTANTIATE_TEST_SUITE_P(Widths, StripWidth, ::testing::Values(1920, 1280, 1000, 670, 600, 400));

// --- The maximised state and the work area --------------------------------------------

struct WorkAreaCase {
    const char* name;
    RECT area;
};
void PrintTo(const WorkAreaCase& c, std::ostream* os) { *os << c.name; }

class MaximisedInWorkArea : public GameFrame, public ::testing::WithParamInterface<WorkAreaCase> {};

TEST_P(MaximisedInWorkArea, StartsAtTheScreenOriginWithTheWorkAreasSize) {
    RECT area = GetParam().area;
    ASSERT_TRUE(SystemParametersInfoW(SPI_SETWORKAREA, 0, &area, 0));
    const RECT now = WorkArea();
    // The system honours the new work area (Wine does).
    ASSERT_TRUE(EqualRect(&area, &now)) << now.left << "," << now.top << "," << now.right << ","
                                        << now.bottom;
    Show();
    SetState(2);
    SetState(1);
    const Placement expected{0, 0, area.right - area.left, area.bottom - area.top};
    EXPECT_EQ(expected, WindowPlacement(Hwnd()));
    EXPECT_EQ((Placement{0, 30, expected.cx, expected.cy - 30}), ChildPlacement(Browser()));
    EXPECT_EQ(expected.cx - 32, ChildPlacement(Item(IDC_GAME_CLOSE)).x);
    EXPECT_TRUE(HasVisibleStyle(Item(IDC_GAME_RESTORE)));
    EXPECT_FALSE(HasVisibleStyle(Item(IDC_GAME_MAXIMIZE)));
}

INSTANTIATE_TEST_SUITE_P(
    Areas, MaximisedInWorkArea,
    ::testing::Values(WorkAreaCase{"WholeScreen", {0, 0, 1920, 1080}},
                      WorkAreaCase{"TaskbarAtTheBottom", {0, 0, 1920, 1040}},
                      WorkAreaCase{"TaskbarAtTheTop", {0, 40, 1920, 1080}},
                      WorkAreaCase{"TaskbarAtTheLeft", {60, 0, 1920, 1080}},
                      WorkAreaCase{"TopAndLeft", {60, 40, 1600, 1000}}),
    [](const ::testing::TestParamInfo<WorkAreaCase>& info) { return std::string(info.param.name); });

// --- Moving between states ----------------------------------------------------------------

enum class Move { ToggleMaximize, MaximiseButton, RestoreButton, StripDoubleClick, FullScreenButton, F11 };

struct TransitionCase {
    int from;
    Move move;
    int to;
};

const char* MoveName(Move m) {
    switch (m) {
    case Move::ToggleMaximize: return "ToggleMaximize";
    case Move::MaximiseButton: return "MaximiseButton";
    case Move::RestoreButton: return "RestoreButton";
    case Move::StripDoubleClick: return "StripDoubleClick";
    case Move::FullScreenButton: return "FullScreenButton";
    case Move::F11: return "F11";
    }
    return "?";
}

void PrintTo(const TransitionCase& c, std::ostream* os) {
    *os << c.from << " by " << MoveName(c.move) << " to " << c.to;
}

class Transition : public GameFrame, public ::testing::WithParamInterface<TransitionCase> {
protected:
    void Do(Move move) {
        switch (move) {
        case Move::ToggleMaximize: m_pGame->ToggleMaximize(); PumpQueued(); break;
        case Move::MaximiseButton: Command(IDC_GAME_MAXIMIZE); break;
        case Move::RestoreButton: Command(IDC_GAME_RESTORE); break;
        case Move::StripDoubleClick:
            SendMessageW(Hwnd(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(300, 15));
            PumpQueued();
            break;
        case Move::FullScreenButton: Command(IDC_GAME_FULLSCREEN); break;
        case Move::F11: HotKey(1002); break;
        }
    }
};

TEST_P(Transition, LeadsToTheStateWithItsPlacement) {
    const TransitionCase& c = GetParam();
    Show();
    SetState(c.from);
    ExpectState(c.from);
    Do(c.move);
    ExpectState(c.to);
    EXPECT_TRUE(IsWindowVisible(Hwnd()));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Transition,
    ::testing::Values(
        TransitionCase{0, Move::ToggleMaximize, 0}, TransitionCase{1, Move::ToggleMaximize, 2},
        TransitionCase{2, Move::ToggleMaximize, 1}, TransitionCase{2, Move::MaximiseButton, 1},
        TransitionCase{1, Move::RestoreButton, 2}, TransitionCase{0, Move::MaximiseButton, 0},
        TransitionCase{1, Move::StripDoubleClick, 2}, TransitionCase{2, Move::StripDoubleClick, 1},
        TransitionCase{0, Move::FullScreenButton, 0}, TransitionCase{1, Move::FullScreenButton, 0},
        TransitionCase{2, Move::FullScreenButton, 0}, TransitionCase{0, Move::F11, 1},
        TransitionCase{1, Move::F11, 0}, TransitionCase{2, Move::F11, 0}),
    [](const ::testing::TestParamInfo<TransitionCase>& info) {
        return "From" + std::to_string(info.param.from) + "By" + MoveName(info.param.move) + "To" +
               std::to_string(info.param.to);
    });

TEST_F(GameFrame, F11FromNormalGoesToFullScreenAndBackToMaximised) {
    Show();
    SetState(2);
    HotKey(1002);
    ExpectState(0);
    HotKey(1002);
    ExpectState(1);
}

TEST_F(GameFrame, F11WhileHiddenChangesNothing) {
    for (int state : {0, 1, 2}) {
        Show();
        SetState(state);
        const Placement before = WindowPlacement(Hwnd());
        m_pGame->ShowWindow(SW_HIDE);
        HotKey(1002);
        EXPECT_EQ(state, m_pGame->m_nWindowState);
        EXPECT_EQ(before, WindowPlacement(Hwnd()));
        EXPECT_FALSE(IsWindowVisible(Hwnd()));
    }
}

TEST_F(GameFrame, ExactlyOneOfMaximiseAndRestoreShowsWithTheStrip) {
    Show();
    ExpectOneOfMaximiseAndRestore();
    // A walk through every way of moving, twice around.
    const std::vector<std::pair<const char*, std::function<void()>>> steps = {
        {"restore", [&] { Command(IDC_GAME_RESTORE); }},
        {"maximise", [&] { Command(IDC_GAME_MAXIMIZE); }},
        {"full screen button", [&] { Command(IDC_GAME_FULLSCREEN); }},
        {"F11", [&] { HotKey(1002); }},
        {"double click", [&] { SendMessageW(Hwnd(), WM_LBUTTONDBLCLK, 0, MAKELPARAM(300, 15)); }},
        {"F11", [&] { HotKey(1002); }},
        {"F11", [&] { HotKey(1002); }},
        {"boss", [&] { Command(IDC_GAME_BOSS); }},
        {"F10", [&] { HotKey(1001); }},
        {"toggle", [&] { m_pGame->ToggleMaximize(); }},
        {"full screen button", [&] { Command(IDC_GAME_FULLSCREEN); }},
        {"toggle in full screen", [&] { m_pGame->ToggleMaximize(); }},
        {"F11", [&] { HotKey(1002); }},
    };
    for (int round = 0; round < 2; ++round) {
        for (const auto& step : steps) {
            SCOPED_TRACE(step.first);
            step.second();
            PumpQueued();
            ExpectOneOfMaximiseAndRestore();
            if (m_pGame->m_nWindowState == 0) {
                EXPECT_FALSE(HasVisibleStyle(Item(IDC_GAME_MAXIMIZE)));
                EXPECT_FALSE(HasVisibleStyle(Item(IDC_GAME_RESTORE)));
            }
        }
    }
}

// --- Snapping back ------------------------------------------------------------------------

struct ResizeCase {
    const char* name;
    std::function<void(HWND)> resize;
};

TEST_F(GameFrame, EveryResizeOfTheVisibleWindowSnapsBack) {
    const ResizeCase resizes[] = {
        {"MoveWindow", [](HWND h) { MoveWindow(h, 10, 10, 500, 400, TRUE); }},
        {"SetWindowPos size only",
         [](HWND h) { SetWindowPos(h, nullptr, 0, 0, 640, 480, SWP_NOMOVE | SWP_NOZORDER); }},
        {"one pixel narrower", [](HWND h) {
             RECT rc;
             GetWindowRect(h, &rc);
             SetWindowPos(h, nullptr, 0, 0, rc.right - rc.left - 1, rc.bottom - rc.top,
                          SWP_NOMOVE | SWP_NOZORDER);
         }},
    };
    Show();
    for (int state : {0, 1, 2}) {
        for (const ResizeCase& r : resizes) {
            SCOPED_TRACE(std::string(r.name) + " in state " + std::to_string(state));
            SetState(state);
            r.resize(Hwnd());
            PumpQueued();
            ExpectState(state);
        }
    }
}

TEST_F(GameFrame, AResizeOfTheHiddenWindowStays) {
    MoveWindow(Hwnd(), 10, 10, 500, 400, TRUE);
    PumpQueued();
    EXPECT_EQ((Placement{10, 10, 500, 400}), WindowPlacement(Hwnd()));
    EXPECT_EQ(1, m_pGame->m_nWindowState);
}

// --- Mouse on the strip ---------------------------------------------------------------------

TEST_F(GameFrame, APressOnTheStripStartsADragOnlyInTheNormalState) {
    Show();
    for (int state : {0, 1, 2}) {
        SCOPED_TRACE("state " + std::to_string(state));
        SetState(state);
        SendMessageW(Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(300, 12));
        // The request to move goes through the queue; it is taken out here
        // so that no move loop starts without a real mouse.
        MSG msg{};
        const bool posted =
            PeekMessageW(&msg, Hwnd(), WM_NCLBUTTONDOWN, WM_NCLBUTTONDOWN, PM_REMOVE) != FALSE;
        EXPECT_EQ(state == 2, posted);
        if (posted) {
            EXPECT_EQ(static_cast<WPARAM>(HTCAPTION), msg.wParam);
            EXPECT_EQ(MAKELPARAM(300, 12), msg.lParam);
        }
        SendMessageW(Hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(300, 12));
        PumpQueued();
        EXPECT_EQ(state, m_pGame->m_nWindowState);
    }
}

TEST_F(GameFrame, TheWholeWindowIsClientArea) {
    Show();
    for (int state : {1, 2}) {
        SetState(state);
        RECT rc;
        GetWindowRect(Hwnd(), &rc);
        const POINT points[] = {{rc.left + 300, rc.top + 10}, {rc.left + 1, rc.top + 1},
                                {rc.right - 1, rc.bottom - 1}, {rc.left + 500, rc.top + 300}};
        for (POINT pt : points)
            EXPECT_EQ(HTCLIENT, SendMessageW(Hwnd(), WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y)));
    }
}

// --- Keys ---------------------------------------------------------------------------------

// Records the keys that reach windows it has been put on.
class KeyRecorder {
public:
    explicit KeyRecorder(HWND hWnd) : m_hWnd(hWnd) {
        s_recorders[hWnd] = this;
        m_previous = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Proc)));
    }
    ~KeyRecorder() {
        if (IsWindow(m_hWnd))
            SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previous));
        s_recorders.erase(m_hWnd);
    }
    std::vector<WPARAM> m_keys;

private:
    static LRESULT CALLBACK Proc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
        KeyRecorder* self = s_recorders.at(hWnd);
        if (message == WM_KEYDOWN) self->m_keys.push_back(wParam);
        return CallWindowProcW(self->m_previous, hWnd, message, wParam, lParam);
    }
    static std::map<HWND, KeyRecorder*> s_recorders;
    HWND m_hWnd;
    WNDPROC m_previous = nullptr;
};
std::map<HWND, KeyRecorder*> KeyRecorder::s_recorders;

TEST_F(GameFrame, EnterAndEscapeReachTheFocusedWindowAndCloseNothing) {
    Show();
    m_pGame->m_browser.ShowWindow(SW_SHOW);
    PumpQueued();
    const std::pair<const char*, HWND> targets[] = {{"page", Browser()},
                                                    {"close button", Item(IDC_GAME_CLOSE)}};
    for (const auto& target : targets) {
        for (UINT vk : {VK_RETURN, VK_ESCAPE}) {
            SCOPED_TRACE(std::string(target.first) + (vk == VK_RETURN ? " Enter" : " Escape"));
            SetFocus(target.second);
            ASSERT_EQ(target.second, GetFocus());
            KeyRecorder recorder(target.second);
            // A confirmation coming up would be a key taken as a click.
            ModalDriver confirm({}, IsConfirmDialog);
            PostKeyPress(GetFocus(), vk);
            PumpQueued();
            EXPECT_EQ(std::vector<WPARAM>{vk}, recorder.m_keys);
            EXPECT_FALSE(confirm.Appeared());
            EXPECT_TRUE(IsWindow(Hwnd()));
            EXPECT_TRUE(IsWindowVisible(Hwnd()));
            EXPECT_EQ(1, m_pGame->m_nWindowState);
            EXPECT_EQ(target.second, GetFocus());
        }
    }
    EXPECT_TRUE(m_watcher.Boxes().empty());
}

// Records what the window hands to its tooltip control for relaying.
class RelayRecorder {
public:
    explicit RelayRecorder(HWND hTip) : m_hTip(hTip) {
        s_pActive = this;
        m_hHook = SetWindowsHookExW(WH_CALLWNDPROC, Proc, nullptr, GetCurrentThreadId());
    }
    ~RelayRecorder() {
        UnhookWindowsHookEx(m_hHook);
        s_pActive = nullptr;
    }
    RelayRecorder(const RelayRecorder&) = delete;
    RelayRecorder& operator=(const RelayRecorder&) = delete;
    std::vector<MSG> m_relayed;

private:
    static LRESULT CALLBACK Proc(int code, WPARAM wParam, LPARAM lParam) {
        const auto* cwp = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (code == HC_ACTION && s_pActive && cwp->hwnd == s_pActive->m_hTip &&
            cwp->message == TTM_RELAYEVENT && cwp->lParam)
            s_pActive->m_relayed.push_back(*reinterpret_cast<const MSG*>(cwp->lParam));
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static RelayRecorder* s_pActive;
    HWND m_hTip;
    HHOOK m_hHook = nullptr;
};
RelayRecorder* RelayRecorder::s_pActive = nullptr;

TEST_F(GameFrame, MessagesGoToTheTooltipsExceptEnterAndEscape) {
    Show();
    HWND full = Item(IDC_GAME_FULLSCREEN);
    RelayRecorder relay(m_pGame->m_pToolTip->m_hWnd);
    struct Case {
        UINT message;
        WPARAM wParam;
        bool relayed;
    };
    const Case cases[] = {
        {WM_MOUSEMOVE, 0, true},        {WM_LBUTTONUP, 0, true},
        {WM_KEYDOWN, VK_RETURN, false}, {WM_KEYDOWN, VK_ESCAPE, false},
        {WM_KEYDOWN, 'A', true},       {WM_KEYUP, VK_RETURN, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("message 0x" + std::to_string(c.message) + " wParam " + std::to_string(c.wParam));
        relay.m_relayed.clear();
        PostMessageW(full, c.message, c.wParam, MAKELPARAM(5, 5));
        PumpQueued();
        bool found = false;
        for (const MSG& m : relay.m_relayed)
            found = found || (m.hwnd == full && m.message == c.message && m.wParam == c.wParam);
        EXPECT_EQ(c.relayed, found);
    }
}

// --- Painting -------------------------------------------------------------------------------

COLORREF PixelOf(HWND hWnd, int x, int y) {
    CClientDC dc(hWnd);
    return GetPixel(dc, x, y);
}

// Bitmap 136 is a vertical gradient, the same in every column.
COLORREF StripBitmapPixel(int y) {
    CBitmap bmp;
    bmp.LoadBitmap(GetModuleHandleW(nullptr), IDB_TITLEBAR);
    CMemoryDC mem(nullptr);
    mem.SelectBitmap(bmp);
    return GetPixel(mem, 33, y);
}

void PaintWholeWindow(HWND hWnd) {
    RedrawWindow(hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

TEST_F(GameFrame, StripIsTheStretchedBitmapBetweenLogoAndButtons) {
    Show();
    for (int state : {1, 2}) {
        SCOPED_TRACE("state " + std::to_string(state));
        SetState(state);
        PaintWholeWindow(Hwnd());
        RECT client;
        GetClientRect(Hwnd(), &client);
        const int serverX = ChildPlacement(Item(IDC_GAME_SERVER)).x;
        for (int x : {150, 300, serverX - 1})
            for (int y : {0, 7, 15, 29})
                EXPECT_EQ(StripBitmapPixel(y), PixelOf(Hwnd(), x, y)) << x << "," << y;
        // The close button draws frame 0 of its strip.
        EXPECT_EQ(RGB(209, 170, 96), PixelOf(Hwnd(), client.right - 32 + 12, 15));
    }
}

TEST_F(GameFrame, FullScreenPaintsNoStrip) {
    Show();
    SetState(1);
    PaintWholeWindow(Hwnd());
    const COLORREF background = PixelOf(Hwnd(), 300, 200);  // below the strip, page hidden
    ASSERT_NE(StripBitmapPixel(15), background);
    SetState(0);
    PaintWholeWindow(Hwnd());
    EXPECT_EQ(background, PixelOf(Hwnd(), 300, 15));
    EXPECT_EQ(background, PixelOf(Hwnd(), 1900, 15));
}

TEST_F(GameFrame, AfterTheBitmapIsReleasedTheStripKeepsTheBackground) {
    Show();
    SetState(2);
    PaintWholeWindow(Hwnd());
    const COLORREF background = PixelOf(Hwnd(), 300, 200);
    ASSERT_EQ(StripBitmapPixel(15), PixelOf(Hwnd(), 300, 15));
    // A system close request runs the close routine and leaves the window open.
    SendMessageW(Hwnd(), WM_CLOSE, 0, 0);
    PumpQueued();
    ASSERT_EQ(nullptr, m_pGame->m_bmpTitleBar.GetSafeHandle());
    for (int state : {2, 1}) {
        SetState(state);
        PaintWholeWindow(Hwnd());
        EXPECT_EQ(background, PixelOf(Hwnd(), 300, 15));
        EXPECT_EQ(background, PixelOf(Hwnd(), 300, 0));
    }
    EXPECT_TRUE(IsWindowVisible(Hwnd()));
    m_watcher.Clear();  // the teardown's close routine reports the hot keys gone
}

// --- The page ---------------------------------------------------------------------------------

TEST_F(GameFrame, FirstCompletedNavigationRevealsThePage) {
    LoopbackHttpServer server;
    ASSERT_TRUE(server.Start());
    server.SetPage(L"/game/", "<html><!--standin: color #208040--><body>game</body></html>");
    StandinClearLog();

    OpenGameDialog(server.Url(L"/game/?client=1&s=7").c_str());
    EXPECT_EQ(m_pGame, theApp.m_pGameDialog);  // the same window, reused
    EXPECT_TRUE(IsWindowVisible(Hwnd()));
    EXPECT_EQ(Hwnd(), GetActiveWindow());
    EXPECT_FALSE(HasVisibleStyle(Browser()));

    ASSERT_TRUE(PumpUntil([&] { return !StandinEventsOf(L"NavigateComplete2").empty(); }));
    PumpQueued();
    EXPECT_TRUE(HasVisibleStyle(Browser()));
    EXPECT_TRUE(IsWindowVisible(Browser()));
    EXPECT_EQ((Placement{0, 30, MaximisedPlacement().cx, MaximisedPlacement().cy - 30}),
              ChildPlacement(Browser()));
    EXPECT_EQ(1u, server.RequestCount(L"/game/"));

    // The page now covers everything below the strip.
    ASSERT_TRUE(PumpUntil([&] {
        PaintWholeWindow(Hwnd());
        return PixelOf(Hwnd(), 400, 300) == RGB(0x20, 0x80, 0x40);
    }));
    EXPECT_EQ(StripBitmapPixel(15), PixelOf(Hwnd(), 300, 15));
}

TEST_F(GameFrame, APageThatNeverArrivesLeavesTheBrowserHidden) {
    LoopbackHttpServer server;
    ASSERT_TRUE(server.Start());
    server.SetResponse(L"/missing/", 404, "nothing here");
    StandinClearLog();
    OpenGameDialog(server.Url(L"/missing/?client=1").c_str());
    ASSERT_TRUE(PumpUntil([&] { return !StandinEventsOf(L"NavigateError").empty(); }));
    PumpQueued();
    EXPECT_EQ(1u, server.RequestCount(L"/missing/"));
    EXPECT_TRUE(StandinEventsOf(L"NavigateComplete2").empty());
    EXPECT_FALSE(HasVisibleStyle(Browser()));
    EXPECT_TRUE(IsWindowVisible(Hwnd()));
    EXPECT_EQ(1, m_pGame->m_nWindowState);
}

// --- Screenshots (run by tools/screenshots/game.sh) -----------------------------------------

// A file opened for writing, closed when it goes.
class CWriteFile {
public:
    explicit CWriteFile(const std::wstring& path)
        : m_h(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~CWriteFile() {
        if (m_h != INVALID_HANDLE_VALUE) CloseHandle(m_h);
    }
    CWriteFile(const CWriteFile&) = delete;
    CWriteFile& operator=(const CWriteFile&) = delete;
    bool Write(const void* data, DWORD size) {
        DWORD written = 0;
        return m_h != INVALID_HANDLE_VALUE && WriteFile(m_h, data, size, &written, nullptr) &&
               written == size;
    }

private:
    HANDLE m_h;
};

// What the screen shows of a window, as a 24-bit BMP file.
bool SaveWindowBitmap(HWND hWnd, const std::wstring& path) {
    RECT rc;
    GetWindowRect(hWnd, &rc);
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    CClientDC screen(nullptr);
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = w;
    header.biHeight = h;
    header.biPlanes = 1;
    header.biBitCount = 24;
    void* bits = nullptr;
    CBitmap dib;
    dib.Attach(CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS,
                                &bits, nullptr, 0));
    if (!bits) return false;
    {
        CMemoryDC mem(screen);
        mem.SelectBitmap(dib);
        BitBlt(mem, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY);
        GdiFlush();
    }
    const DWORD size = static_cast<DWORD>(((w * 3 + 3) / 4) * 4 * h);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + size;
    CWriteFile out(path);
    return out.Write(&file, sizeof file) && out.Write(&header, sizeof header) && out.Write(bits, size);
}

TEST_F(GameFrame, DISABLED_Screenshots) {
    const wchar_t* dir = _wgetenv(L"PZ_SCREENSHOT_DIR");
    ASSERT_NE(nullptr, dir) << "PZ_SCREENSHOT_DIR names the folder for the pictures";
    LoopbackHttpServer server;
    ASSERT_TRUE(server.Start());
    server.SetPage(L"/game/", "<html><!--standin: color #3C5A8C--><body>game</body></html>");
    OpenGameDialog(server.Url(L"/game/?client=1").c_str());
    ASSERT_TRUE(PumpUntil([&] { return HasVisibleStyle(Browser()); }));
    const std::pair<int, const wchar_t*> shots[] = {
        {1, L"game-maximised.bmp"}, {2, L"game-normal.bmp"}, {0, L"game-fullscreen.bmp"}};
    for (const auto& shot : shots) {
        SetState(shot.first);
        SetWindowPos(Hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        PaintWholeWindow(Hwnd());
        PumpUntil([] { return false; }, 300);  // let the page and the buttons settle
        PaintWholeWindow(Hwnd());
        EXPECT_TRUE(SaveWindowBitmap(Hwnd(), std::wstring(dir) + L"\\" + shot.second));
    }
}

}  // namespace
