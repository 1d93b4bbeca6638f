#include "tests/e2e/E2eTest.h"

#include "tests/e2e/Text.h"

namespace {
unsigned short g_portalPort = Portal::kDefaultPort;
}

unsigned short PortalPort() { return g_portalPort; }

void SetPortalPort(unsigned short port) { g_portalPort = port; }

std::wstring Url(const std::wstring& path) {
    return L"http://127.0.0.1" + (g_portalPort == 80 ? std::wstring() : L":" + std::to_wstring(g_portalPort)) + path;
}

std::wstring PortalUrl() { return Url(L"/micro/"); }

std::wstring GameUrl() { return Url(L"/game/?server=1&client=1"); }

Portal& E2eTest::SharedPortal() {
    static Portal portal;
    return portal;
}

void E2eTest::SetUp() {
    ASSERT_TRUE(portal().Started()) << "no portal: " << ToUtf8(portal().Error());
    portal().ClearPages();
    portal().ClearRecords();
    // What an earlier test's program left in the notification area is gone
    // before this one starts (Wine's tray drops the icons of dead windows).
    ASSERT_TRUE(desktop::WaitUntil([] { return desktop::TrayIconCount() == 0; }, kWaitMs))
        << "icons of an earlier program are still in the notification area";
}

void E2eTest::TearDown() { program.Kill(); }

void E2eTest::StartWith(const Page& page) {
    portal().SetPage("/micro/", page.Html());
    ASSERT_TRUE(program.Start(PortalPort())) << "the launcher and its portal dialog did not come up";
}

void E2eTest::StartGame(const std::wstring& url, HWND* game) {
    ASSERT_NO_FATAL_FAILURE(StartWith(Page().Navigate(url)));
    ASSERT_TRUE(program.WaitForGameWindow(kWaitMs, game)) << "no game window for " << Shown(url);
    ASSERT_TRUE(WaitForPortalDecision(url));
}

int E2eTest::PortalObject() const {
    for (const EngineReport& r : SharedPortal().ReportsOf(L"Navigate"))
        if (r.Field(L"url") == PortalUrl() && r.Field(L"by") == L"host") return r.object;
    return 0;
}

std::vector<EngineReport> E2eTest::GameNavigations() const {
    const int portalObject = PortalObject();
    std::vector<EngineReport> result;
    for (const EngineReport& r : SharedPortal().ReportsOf(L"Navigate"))
        if (r.object != portalObject && r.Field(L"by") == L"host") result.push_back(r);
    return result;
}

std::vector<std::wstring> E2eTest::GameNavigationUrls() const {
    std::vector<std::wstring> urls;
    for (const EngineReport& r : GameNavigations()) urls.push_back(r.Field(L"url"));
    return urls;
}

std::vector<std::wstring> E2eTest::FetchedBy(int object) const {
    std::vector<std::wstring> urls;
    for (const EngineReport& r : SharedPortal().ReportsOf(L"Fetch"))
        if (r.object == object) urls.push_back(r.Field(L"url"));
    return urls;
}

std::vector<EngineReport> E2eTest::PortalBeforeNavigate(const std::wstring& url) const {
    return SharedPortal().ReportsWhere(L"BeforeNavigate2", L"url", url, PortalObject());
}

size_t E2eTest::PortalCompletions(const std::wstring& url) const {
    size_t n = 0;
    for (const EngineReport& r : SharedPortal().ReportsWhere(L"NavigateComplete2", L"url", url, PortalObject()))
        n += r.Field(L"pdisp") == L"top" ? 1 : 0;
    return n;
}

bool E2eTest::WaitForPortalDecision(const std::wstring& url) const {
    return SharedPortal().WaitUntil([&] { return PortalObject() != 0 && !PortalBeforeNavigate(url).empty(); },
                                    kWaitMs);
}

bool E2eTest::WaitForPageReport(const std::wstring& text) const {
    return SharedPortal().WaitUntil(
        [&] {
            for (const EngineReport& r : SharedPortal().ReportsOf(L"report"))
                if (r.detail == text) return true;
            return false;
        },
        kWaitMs);
}

bool E2eTest::WaitForPortalRefreshes(size_t count) const {
    return SharedPortal().WaitUntil(
        [&] {
            return PortalObject() != 0 &&
                   SharedPortal().ReportsWhere(L"Refresh", L"by", L"host", PortalObject()).size() >= count;
        },
        kWaitMs);
}

void E2eTest::ClickControl(HWND parent, int id) {
    HWND control = desktop::ControlById(parent, id);
    ASSERT_TRUE(control) << "no control " << id;
    ASSERT_TRUE(player::ClickOn(control)) << "control " << id << " cannot be seen anywhere on the screen";
}

void E2eTest::AnswerConfirmation(Question asked, int id) {
    HWND confirm = nullptr;
    ASSERT_TRUE(program.WaitForConfirmDialog(kWaitMs, &confirm)) << "no confirmation dialog came up";
    const std::wstring title = desktop::Describe(desktop::ControlById(confirm, kIdConfirmTitle)).text;
    EXPECT_EQ(asked == Question::Quit ? L"关闭游戏" : L"选服", title) << "another question was asked";
    // The player clicks the button where the screen shows it, and the X
    // server routes the click. Under Wine an exposure of the page behind,
    // handled a moment after the question came up, can put that page
    // before the question in the window system's own order while the
    // screen still shows the question on top; an injected click would
    // follow that order and land on the disabled page.
    HWND button = desktop::ControlById(confirm, id);
    ASSERT_TRUE(button) << "no button " << id;
    RECT rc;
    ASSERT_TRUE(GetWindowRect(button, &rc));
    ASSERT_TRUE(player::ClickThroughX(POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2}))
        << "xdotool could not click";
    ASSERT_TRUE(desktop::WaitUntil([&] { return !IsWindow(confirm) || !IsWindowVisible(confirm); }, kWaitMs))
        << "the confirmation dialog stayed up after the click on " << id;
}

void E2eTest::OpenTrayMenuByCallback(HWND game, POINT where, HWND* menu) {
    player::MoveTo(where);
    ASSERT_TRUE(PostMessageW(game, kTrayMessage, kTrayIconId, WM_RBUTTONUP));
    ASSERT_TRUE(desktop::WaitUntil([&] { return (*menu = program.PopupMenu()) != nullptr; }, kWaitMs))
        << "the icon's menu did not come up";
}

namespace {

// Whether the open menu's (only) item is drawn highlighted on the screen:
// most of the row through the middle of the menu has the selection colour.
bool MenuItemHighlighted(HWND menu) {
    RECT rc;
    if (!GetWindowRect(menu, &rc)) return false;
    const int y = (rc.top + rc.bottom) / 2;
    int highlighted = 0, sampled = 0;
    for (int x = rc.left + 4; x < rc.right - 4; x += 2, ++sampled) {
        const COLORREF c = desktop::ScreenPixel(POINT{x, y});
        if (c == GetSysColor(COLOR_HIGHLIGHT) || c == GetSysColor(COLOR_MENUHILIGHT)) ++highlighted;
    }
    return sampled > 0 && highlighted * 2 > sampled;
}

}  // namespace

void E2eTest::PickTrayMenuItemByKeyboard(HWND game, POINT where) {
    // The menu opens at the pointer. Wine reports the pointer's position to
    // the menu whenever the X stacking under it changes, and a report on
    // the menu's frame takes the selection away again (Enter then closes
    // the menu without a choice): so the pointer leaves the menu first.
    // Right after the game window opened, Wine may still lift it in the X
    // stacking, over a menu opened in that moment (the window system's own
    // order keeps the menu on top): the player does not see the menu then
    // and opens it again.
    for (int attempt = 1; attempt <= 3; ++attempt) {
        HWND menu = nullptr;
        ASSERT_NO_FATAL_FAILURE(OpenTrayMenuByCallback(game, where, &menu));
        RECT rc;
        ASSERT_TRUE(GetWindowRect(menu, &rc));
        player::MoveTo(POINT{rc.left - 40, rc.top - 40});
        bool steady = false;
        const DWORD start = GetTickCount();
        while (!steady && GetTickCount() - start < 2000) {
            if (!MenuItemHighlighted(menu)) player::PressKey(VK_DOWN);
            if (!desktop::WaitUntil([&] { return MenuItemHighlighted(menu); }, 500)) continue;
            Sleep(300);
            steady = MenuItemHighlighted(menu);
        }
        if (steady) {
            player::PressKey(VK_RETURN);
            return;
        }
        player::PressKey(VK_ESCAPE);
        ASSERT_TRUE(desktop::WaitUntil([&] { return program.PopupMenu() == nullptr; }, kWaitMs))
            << "Escape did not close the icon's menu";
    }
    FAIL() << "Down never showed the menu's item highlighted";
}

void E2eTest::OpenTrayMenuByRightClick(HWND* menu) {
    HWND tray = desktop::TrayWindow();
    ASSERT_TRUE(tray) << "no Wine System Tray window";
    std::vector<HWND> icons = desktop::Descendants(tray);
    ASSERT_EQ(1u, icons.size()) << "expected exactly the program's icon in the tray";
    POINT where;
    ASSERT_TRUE(player::VisiblePointOf(icons[0], &where)) << "the icon is covered";
    player::RightClick(where);
    ASSERT_TRUE(desktop::WaitUntil([&] { return (*menu = program.PopupMenu()) != nullptr; }, kWaitMs))
        << "the icon's menu did not come up";
}

void E2eTest::ReloadPortal() {
    HWND browser = program.PortalBrowser();
    ASSERT_TRUE(browser);
    ASSERT_TRUE(player::ClickOn(browser)) << "the portal's page cannot be seen";
    player::PressKey(VK_F5);
}

void E2eTest::ExpectPlaying(HWND game) {
    ASSERT_TRUE(IsWindow(game));
    EXPECT_TRUE(IsWindowVisible(game));
    EXPECT_FALSE(IsWindowVisible(program.Launcher()));
    EXPECT_FALSE(IsWindowVisible(program.PortalDialog()));
    EXPECT_EQ(game, GetForegroundWindow());
    EXPECT_EQ(std::vector<HWND>{game}, program.GameWindows());
    EXPECT_TRUE(desktop::TrayIconExists(game, kTrayIconId));
    EXPECT_EQ(1, desktop::TrayIconCount());
    EXPECT_EQ(desktop::HotKey::Taken, desktop::HotKeyState(VK_F10));
    EXPECT_EQ(desktop::HotKey::Taken, desktop::HotKeyState(VK_F11));
}

void E2eTest::ExpectServerList() {
    HWND launcher = program.Launcher();
    ASSERT_TRUE(launcher);
    EXPECT_TRUE(IsWindowVisible(launcher));
    EXPECT_FALSE(IsIconic(launcher));
    EXPECT_TRUE(IsWindowVisible(program.PortalDialog()));
    EXPECT_EQ(launcher, GetForegroundWindow());
    EXPECT_TRUE(program.GameWindows().empty());
    EXPECT_EQ(0, desktop::TrayIconCount());
    EXPECT_EQ(desktop::HotKey::Free, desktop::HotKeyState(VK_F10));
    EXPECT_EQ(desktop::HotKey::Free, desktop::HotKeyState(VK_F11));
}

void E2eTest::ExpectNothingLeft(DWORD pid) {
    EXPECT_TRUE(desktop::WaitUntil([&] { return desktop::TopLevelWindows(pid).empty(); }, kWaitMs))
        << desktop::TopLevelWindows(pid).size() << " windows of the program are left";
    EXPECT_TRUE(desktop::MessageOnlyWindows(pid).empty());
    EXPECT_TRUE(desktop::WaitUntil([] { return desktop::TrayIconCount() == 0; }, kWaitMs))
        << "an icon is left in the notification area";
    EXPECT_EQ(desktop::HotKey::Free, desktop::HotKeyState(VK_F10));
    EXPECT_EQ(desktop::HotKey::Free, desktop::HotKeyState(VK_F11));
}
