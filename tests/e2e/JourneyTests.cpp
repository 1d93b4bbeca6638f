// The player's way through the program: the server list, a game, the way
// back, a second game, and the ways out.
#include <ostream>

#include "tests/e2e/E2eTest.h"
#include "tests/e2e/Text.h"

namespace {

std::wstring SecondGameUrl() { return Url(L"/game/?server=2&client=1"); }

using Journey = E2eTest;

TEST_F(Journey, ServerListGameBackSecondGameAndQuitFromTheTray) {
    portal().SetPage("/game/", Page().Report(L"game page").Html());
    ASSERT_NO_FATAL_FAILURE(StartWith(Page().Navigate(GameUrl())));
    const DWORD pid = program.Pid();
    HWND launcher = program.Launcher();

    // The portal is requested and shown: its first navigation completed and
    // revealed the browser. Its page then follows a server link.
    HWND first = nullptr;
    ASSERT_TRUE(program.WaitForGameWindow(kWaitMs, &first));
    ASSERT_TRUE(WaitForPortalDecision(GameUrl()));
    EXPECT_EQ(1u, portal().PathRequestCount(L"/micro/"));
    EXPECT_EQ(1u, PortalCompletions(PortalUrl()));
    EXPECT_TRUE(GetWindowLongW(program.PortalBrowser(), GWL_STYLE) & WS_VISIBLE);
    // The link opened the game window on exactly its URL, and the portal
    // never loaded it.
    ASSERT_EQ(1u, PortalBeforeNavigate(GameUrl()).size());
    EXPECT_EQ(L"1", PortalBeforeNavigate(GameUrl())[0].Field(L"cancel"));
    EXPECT_EQ(std::vector<std::wstring>{GameUrl()}, GameNavigationUrls());
    ExpectPlaying(first);

    // F10 hides the game and shows it again; nothing else changes.
    player::PressKey(VK_F10);
    EXPECT_TRUE(desktop::WaitUntil([&] { return !IsWindowVisible(first); }, kWaitMs)) << "F10 did not hide the game";
    EXPECT_TRUE(IsWindow(first));
    EXPECT_FALSE(IsWindowVisible(launcher));
    EXPECT_TRUE(desktop::TrayIconExists(first, kTrayIconId));
    player::PressKey(VK_F10);
    EXPECT_TRUE(desktop::WaitUntil([&] { return IsWindowVisible(first) != FALSE; }, kWaitMs))
        << "F10 did not show the game again";
    EXPECT_FALSE(IsWindowVisible(launcher));
    // By now the game page has been fetched once, by the game window only.
    EXPECT_TRUE(portal().WaitUntil([] { return SharedPortal().RequestCount(L"/game/?server=1&client=1") == 1; },
                                   kWaitMs));
    EXPECT_EQ(std::vector<std::wstring>{PortalUrl()}, FetchedBy(PortalObject()));

    // Change server, confirmed: the launcher is back and active, the portal
    // reloaded, the game window with its icon and hot keys gone.
    portal().SetPage("/micro/", Page().Report(L"server list").Html());
    ASSERT_NO_FATAL_FAILURE(ClickControl(first, kIdGameServer));
    ASSERT_NO_FATAL_FAILURE(AnswerConfirmation(Question::ChangeServer, kIdConfirmOk));
    ASSERT_TRUE(WaitForPortalRefreshes(1)) << "the portal was not reloaded";
    EXPECT_FALSE(IsWindow(first));
    ExpectServerList();
    EXPECT_FALSE(desktop::TrayIconExists(first, kTrayIconId));
    EXPECT_TRUE(portal().WaitForRequests(L"/micro/", 2, kWaitMs)) << "no second GET /micro/";
    EXPECT_TRUE(portal().WaitUntil([&] { return PortalCompletions(PortalUrl()) == 2; }, kWaitMs));

    // A second game start builds a new game window with a browser, an icon
    // and hot keys of its own.
    portal().SetPage("/micro/", Page().Navigate(SecondGameUrl()).Html());
    ASSERT_NO_FATAL_FAILURE(ReloadPortal());
    HWND second = nullptr;
    ASSERT_TRUE(program.WaitForGameWindow(kWaitMs, &second)) << "no second game window";
    ASSERT_TRUE(WaitForPortalDecision(SecondGameUrl()));
    EXPECT_NE(first, second);
    ExpectPlaying(second);
    const std::vector<EngineReport> games = GameNavigations();
    ASSERT_EQ(2u, games.size());
    EXPECT_EQ(SecondGameUrl(), games[1].Field(L"url"));
    EXPECT_NE(games[0].object, games[1].object) << "the second game window has a browser of its own";

    // Quit from the icon's menu: the shell's right-button callback opens
    // it, the keyboard picks its only item, the player confirms.
    ASSERT_NO_FATAL_FAILURE(PickTrayMenuItemByKeyboard(second, POINT{800, 400}));
    ASSERT_NO_FATAL_FAILURE(AnswerConfirmation(Question::Quit, kIdConfirmOk));
    EXPECT_EQ(kQuitCode, program.WaitForExit(kWaitMs));
    ExpectNothingLeft(pid);
}

// The ways out, each asked twice: declined first (nothing changes), then
// confirmed (the process ends with code 16 and leaves nothing behind).
enum class Way { PortalCloseButton, GameCloseButton, TrayMenuWhileHidden, TrayMenuByCallback };

struct QuitCase {
    const char* name;
    Way way;
    bool playing;  // a game window is open
};

// Test names and failure messages show the case by its name.
void PrintTo(const QuitCase& c, std::ostream* os) { *os << c.name; }

const QuitCase kQuitCases[] = {
    {"PortalCloseButton", Way::PortalCloseButton, false},
    {"GameCloseButton", Way::GameCloseButton, true},
    {"TrayMenuWhileTheGameIsHidden", Way::TrayMenuWhileHidden, true},
    {"TrayMenuByTheIconsCallback", Way::TrayMenuByCallback, true},
};

class Quit : public E2eTest, public ::testing::WithParamInterface<QuitCase> {
protected:
    // Asks to quit the chosen way, up to the confirmation dialog.
    void AskToQuit(HWND game) {
        HWND menu = nullptr;
        switch (GetParam().way) {
        case Way::PortalCloseButton:
            ASSERT_NO_FATAL_FAILURE(ClickControl(program.PortalDialog(), kIdPortalClose));
            break;
        case Way::GameCloseButton:
            ASSERT_NO_FATAL_FAILURE(ClickControl(game, kIdGameClose));
            break;
        case Way::TrayMenuWhileHidden:
            // The maximised game covers Wine's tray window; hidden by F10,
            // it leaves the icon free for a real right-click.
            if (IsWindowVisible(game)) {
                player::PressKey(VK_F10);
                ASSERT_TRUE(desktop::WaitUntil([&] { return !IsWindowVisible(game); }, kWaitMs));
            }
            ASSERT_NO_FATAL_FAILURE(OpenTrayMenuByRightClick(&menu));
            ASSERT_TRUE(player::ClickOn(menu)) << "the menu item cannot be seen";
            break;
        case Way::TrayMenuByCallback:
            ASSERT_NO_FATAL_FAILURE(OpenTrayMenuByCallback(game, POINT{700, 300}, &menu));
            ASSERT_TRUE(player::ClickOn(menu)) << "the menu item cannot be seen";
            break;
        }
    }

    void ExpectUnchanged(HWND game, bool gameShown) {
        EXPECT_TRUE(program.Running());
        EXPECT_EQ(nullptr, program.ConfirmDialog());
        if (!GetParam().playing) {
            EXPECT_TRUE(IsWindowVisible(program.Launcher()));
            EXPECT_TRUE(IsWindowVisible(program.PortalDialog()));
            EXPECT_TRUE(program.GameWindows().empty());
            return;
        }
        EXPECT_EQ(std::vector<HWND>{game}, program.GameWindows());
        EXPECT_EQ(gameShown, IsWindowVisible(game) != FALSE);
        EXPECT_FALSE(IsWindowVisible(program.Launcher()));
        EXPECT_TRUE(desktop::TrayIconExists(game, kTrayIconId));
        EXPECT_EQ(1, desktop::TrayIconCount());
        EXPECT_EQ(desktop::HotKey::Taken, desktop::HotKeyState(VK_F10));
        EXPECT_EQ(desktop::HotKey::Taken, desktop::HotKeyState(VK_F11));
        EXPECT_EQ(1u, GameNavigations().size());
        EXPECT_EQ(1u, portal().PathRequestCount(L"/micro/"));
    }
};

TEST_P(Quit, DeclinedChangesNothingConfirmedEndsWithCode16) {
    HWND game = nullptr;
    if (GetParam().playing) {
        ASSERT_NO_FATAL_FAILURE(StartGame(GameUrl(), &game));
    } else {
        ASSERT_NO_FATAL_FAILURE(StartWith(Page().Report(L"server list")));
        ASSERT_TRUE(portal().WaitUntil([&] { return PortalCompletions(PortalUrl()) == 1; }, kWaitMs));
    }
    const DWORD pid = program.Pid();

    ASSERT_NO_FATAL_FAILURE(AskToQuit(game));
    const bool gameShown = game && IsWindowVisible(game);
    ASSERT_NO_FATAL_FAILURE(AnswerConfirmation(Question::Quit, kIdConfirmCancel));
    ExpectUnchanged(game, gameShown);

    ASSERT_NO_FATAL_FAILURE(AskToQuit(game));
    ASSERT_NO_FATAL_FAILURE(AnswerConfirmation(Question::Quit, kIdConfirmOk));
    EXPECT_EQ(kQuitCode, program.WaitForExit(kWaitMs));
    ExpectNothingLeft(pid);
}

INSTANTIATE_TEST_SUITE_P(Ways, Quit, ::testing::ValuesIn(kQuitCases),
                         [](const ::testing::TestParamInfo<QuitCase>& info) { return std::string(info.param.name); });

// Declining a server change keeps the game exactly as it was.
TEST_F(Journey, DeclinedServerChangeKeepsTheGame) {
    HWND game = nullptr;
    ASSERT_NO_FATAL_FAILURE(StartGame(GameUrl(), &game));
    ASSERT_NO_FATAL_FAILURE(ClickControl(game, kIdGameServer));
    ASSERT_NO_FATAL_FAILURE(AnswerConfirmation(Question::ChangeServer, kIdConfirmCancel));
    ExpectPlaying(game);
    EXPECT_TRUE(portal().ReportsOf(L"Refresh").empty()) << "the portal was reloaded";
    EXPECT_EQ(1u, portal().PathRequestCount(L"/micro/"));
}

// WM_CLOSE to the launcher (as the task switcher sends it) ends the program
// at once, without any confirmation, whether a game is open or not.
class CloseLauncher : public E2eTest, public ::testing::WithParamInterface<bool> {};

TEST_P(CloseLauncher, EndsTheProgramWithoutConfirmation) {
    HWND game = nullptr;
    if (GetParam()) {
        ASSERT_NO_FATAL_FAILURE(StartGame(GameUrl(), &game));
    } else {
        ASSERT_NO_FATAL_FAILURE(StartWith(Page().Report(L"server list")));
    }
    const DWORD pid = program.Pid();
    ASSERT_TRUE(PostMessageW(program.Launcher(), WM_CLOSE, 0, 0));
    bool confirmationSeen = false;
    const bool ended = desktop::WaitUntil(
        [&] {
            confirmationSeen = confirmationSeen || program.ConfirmDialog() != nullptr;
            return !program.Running();
        },
        kWaitMs);
    ASSERT_TRUE(ended) << "the program did not end";
    EXPECT_FALSE(confirmationSeen);
    // The modal loop ended by EndDialog, not by a confirmed quit.
    EXPECT_NE(kQuitCode, program.WaitForExit(0));
    ExpectNothingLeft(pid);
}

INSTANTIATE_TEST_SUITE_P(Launcher, CloseLauncher, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "WhilePlaying" : "FromTheServerList");
                         });

}  // namespace
