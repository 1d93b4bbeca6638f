// The game-start rule at work in the real program: whatever URL the portal
// page is about to load, a case-sensitive "client=1" anywhere in it opens
// the game window on exactly that URL and the portal never fetches it;
// anything else loads in the portal.
#include <algorithm>

#include <ostream>

#include "tests/e2e/E2eTest.h"
#include "tests/e2e/Text.h"

namespace {

struct UrlCase {
    const char* name;
    const wchar_t* path;  // on the portal's server
    bool intercepted;
};

// Test names and failure messages show the case by its name.
void PrintTo(const UrlCase& c, std::ostream* os) { *os << c.name; }

const UrlCase kUrlCases[] = {
    {"LastOfSeveralParameters", L"/game/?lang=zh&area=3&client=1", true},
    {"FirstOfSeveralParameters", L"/game/?client=1&area=3", true},
    {"StartOfALongerValue", L"/game/?server=7&client=10", true},
    {"EndOfALongerName", L"/game/?server=7&xclient=1", true},
    {"InTheFragment", L"/game/?server=7#client=1", true},
    {"InThePath", L"/game/client=1/start", true},
    {"UpperCase", L"/list/?server=7&CLIENT=1", false},
    {"Capitalised", L"/list/?server=7&Client=1", false},
    {"EqualsSignPercentEncoded", L"/list/?server=7&client%3D1", false},
    {"LowerCasePercentEncoding", L"/list/?server=7&client%3d1", false},
    {"OtherClientNumber", L"/list/?server=7&client=2", false},
};

class InterceptionRule : public E2eTest, public ::testing::WithParamInterface<UrlCase> {};

TEST_P(InterceptionRule, GameWindowGetsExactlyTheUrlOrThePortalLoadsIt) {
    const std::wstring url = Url(GetParam().path);
    portal().SetPage("/game/", Page().Report(L"game page").Html());
    portal().SetPage("/list/", Page().Report(L"list page").Html());
    ASSERT_NO_FATAL_FAILURE(StartWith(Page().Navigate(url)));
    ASSERT_TRUE(WaitForPortalDecision(url));
    const std::vector<EngineReport> decision = PortalBeforeNavigate(url);
    ASSERT_EQ(1u, decision.size());

    if (GetParam().intercepted) {
        EXPECT_EQ(L"1", decision[0].Field(L"cancel"));
        HWND game = nullptr;
        ASSERT_TRUE(program.WaitForGameWindow(kWaitMs, &game));
        EXPECT_EQ(std::vector<std::wstring>{url}, GameNavigationUrls());
        ExpectPlaying(game);
        // The game window loads it; the portal does not.
        ASSERT_TRUE(portal().WaitUntil([&] { return !FetchedBy(GameNavigations()[0].object).empty(); }, kWaitMs));
        EXPECT_EQ(std::vector<std::wstring>{url}, FetchedBy(GameNavigations()[0].object));
        EXPECT_EQ(std::vector<std::wstring>{PortalUrl()}, FetchedBy(PortalObject()));
    } else {
        EXPECT_EQ(L"0", decision[0].Field(L"cancel"));
        ASSERT_TRUE(portal().WaitUntil([&] { return PortalCompletions(url) == 1; }, kWaitMs))
            << "the portal did not load " << Shown(url);
        EXPECT_EQ((std::vector<std::wstring>{PortalUrl(), url}), FetchedBy(PortalObject()));
        EXPECT_TRUE(program.GameWindows().empty());
        EXPECT_TRUE(GameNavigations().empty());
        EXPECT_TRUE(IsWindowVisible(program.Launcher()));
        EXPECT_EQ(0, desktop::TrayIconCount());
    }
}

INSTANTIATE_TEST_SUITE_P(Urls, InterceptionRule, ::testing::ValuesIn(kUrlCases),
                         [](const ::testing::TestParamInfo<UrlCase>& info) { return std::string(info.param.name); });

// A frame of the portal page is watched like the page itself: a frame
// heading for a game URL is stopped and the game window gets the URL;
// a frame heading elsewhere loads.
class FrameNavigation : public E2eTest, public ::testing::WithParamInterface<UrlCase> {};

TEST_P(FrameNavigation, IsInterceptedLikeThePage) {
    const std::wstring url = Url(GetParam().path);
    portal().SetPage("/list/", Page().Report(L"frame page").Html());
    ASSERT_NO_FATAL_FAILURE(StartWith(Page().Frame(L"servers", url)));
    ASSERT_TRUE(WaitForPortalDecision(url));
    const std::vector<EngineReport> decision = PortalBeforeNavigate(url);
    ASSERT_EQ(1u, decision.size());
    EXPECT_EQ(L"frame:servers", decision[0].Field(L"pdisp"));
    EXPECT_EQ(L"servers", decision[0].Field(L"frame"));

    if (GetParam().intercepted) {
        EXPECT_EQ(L"1", decision[0].Field(L"cancel"));
        HWND game = nullptr;
        ASSERT_TRUE(program.WaitForGameWindow(kWaitMs, &game));
        EXPECT_EQ(std::vector<std::wstring>{url}, GameNavigationUrls());
        ExpectPlaying(game);
        // The frame was not navigated.
        EXPECT_EQ(std::vector<std::wstring>{PortalUrl()}, FetchedBy(PortalObject()));
        EXPECT_TRUE(portal().ReportsWhere(L"NavigateComplete2", L"pdisp", L"frame:servers").empty());
    } else {
        EXPECT_EQ(L"0", decision[0].Field(L"cancel"));
        ASSERT_TRUE(portal().WaitUntil(
            [&] { return !portal().ReportsWhere(L"NavigateComplete2", L"pdisp", L"frame:servers").empty(); },
            kWaitMs));
        EXPECT_EQ((std::vector<std::wstring>{PortalUrl(), url}), FetchedBy(PortalObject()));
        EXPECT_TRUE(program.GameWindows().empty());
    }
}

const UrlCase kFrameCases[] = {
    {"ToAGameUrl", L"/game/?server=4&client=1", true},
    {"ToAnotherPage", L"/list/?server=4", false},
};

INSTANTIATE_TEST_SUITE_P(Frames, FrameNavigation, ::testing::ValuesIn(kFrameCases),
                         [](const ::testing::TestParamInfo<UrlCase>& info) { return std::string(info.param.name); });

using Interception = E2eTest;

// Only the portal's browser is watched: the game page may go wherever it
// likes, "client=1" or not, top level or frame.
TEST_F(Interception, NavigationsInsideTheGameWindowAreNeverIntercepted) {
    const std::wstring next = Url(L"/game/next?client=1");
    const std::wstring chat = Url(L"/game/chat?room=2&client=1");
    portal().SetPage("/game/", Page().Frame(L"chat", chat).Navigate(next).Html());
    portal().SetPage("/game/next", Page().Report(L"next page").Html());
    portal().SetPage("/game/chat", Page().Report(L"chat frame").Html());
    HWND game = nullptr;
    ASSERT_NO_FATAL_FAILURE(StartGame(GameUrl(), &game));
    ASSERT_EQ(1u, GameNavigations().size());
    const int gameObject = GameNavigations()[0].object;

    ASSERT_TRUE(portal().WaitUntil(
        [&] {
            return !portal().ReportsWhere(L"NavigateComplete2", L"url", next, gameObject).empty() &&
                   !portal().ReportsWhere(L"NavigateComplete2", L"url", chat, gameObject).empty();
        },
        kWaitMs))
        << "the game page's own navigations did not complete";
    for (const std::wstring& url : {next, chat}) {
        const std::vector<EngineReport> decided = portal().ReportsWhere(L"BeforeNavigate2", L"url", url, gameObject);
        ASSERT_EQ(1u, decided.size()) << Shown(url);
        EXPECT_EQ(L"0", decided[0].Field(L"cancel")) << Shown(url);
        EXPECT_TRUE(PortalBeforeNavigate(url).empty()) << "the portal saw " << Shown(url);
    }
    EXPECT_EQ((std::vector<std::wstring>{GameUrl(), chat, next}), FetchedBy(gameObject));
    EXPECT_EQ(std::vector<std::wstring>{GameUrl()}, GameNavigationUrls());
    ExpectPlaying(game);
}

// A second game URL from the (hidden) portal while the game window exists
// navigates that same window again: no second window, browser or icon.
TEST_F(Interception, SecondGameUrlReusesTheGameWindowWithOneIcon) {
    const std::wstring second = Url(L"/game/?server=2&client=1");
    portal().SetPage("/game/", Page().Report(L"game page").Html());
    ASSERT_NO_FATAL_FAILURE(StartWith(Page().Navigate(GameUrl()).Navigate(second)));
    ASSERT_TRUE(WaitForPortalDecision(second));
    HWND game = nullptr;
    ASSERT_TRUE(program.WaitForGameWindow(kWaitMs, &game));

    const std::vector<EngineReport> games = GameNavigations();
    ASSERT_EQ(2u, games.size());
    EXPECT_EQ(GameUrl(), games[0].Field(L"url"));
    EXPECT_EQ(second, games[1].Field(L"url"));
    EXPECT_EQ(games[0].object, games[1].object) << "the second URL went to another browser";
    EXPECT_EQ(2u, portal().ReportsOf(L"created").size()) << "browsers made: the portal's and one game window's";
    ExpectPlaying(game);  // one game window, one icon, both hot keys
}

}  // namespace
