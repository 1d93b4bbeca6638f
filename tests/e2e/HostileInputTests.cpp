// Odd and hostile input at the game-start rule in the real program: URLs of
// a megabyte, and a storm of a thousand navigations. The program survives,
// keeps one game window at most, and the rule stays exact.
//
// URLs with unpaired surrogates or embedded null characters cannot travel
// this way: pages are UTF-8, which has no encoding for a lone surrogate
// (Wine turns such bytes into U+FFFD), and a page's URL text ends at its
// first null. Those are tested in-process (portal_intercept_test.cpp),
// where the event's arguments are made by hand.
#include <string>
#include <vector>

#include <ostream>

#include "tests/e2e/E2eTest.h"
#include "tests/e2e/Text.h"

namespace {

constexpr size_t kMegabyte = 1024 * 1024;
// Bound of the storm: a thousand navigations with their reports.
constexpr DWORD kStormWaitMs = 120000;

std::wstring Padding(size_t n) {
    std::wstring pad;
    pad.reserve(n);
    for (size_t i = 0; i < n; ++i) pad += static_cast<wchar_t>(L'a' + i % 26);
    return pad;
}

struct LongUrlCase {
    const char* name;
    std::wstring path;  // on the portal's server
    bool intercepted;
};

// Test names and failure messages show the case by its name.
void PrintTo(const LongUrlCase& c, std::ostream* os) { *os << c.name; }

std::vector<LongUrlCase> LongUrlCases() {
    const std::wstring pad = Padding(kMegabyte);
    return {
        {"TokenAtTheEnd", L"/game/?pad=" + pad + L"&client=1", true},
        {"TokenAtTheStart", L"/game/?client=1&pad=" + pad, true},
        {"OtherCaseAtTheEnd", L"/list/?pad=" + pad + L"&CLIENT=1", false},
        {"TokenCutOffAtTheEnd", L"/list/?pad=" + pad + L"&client=", false},
    };
}

class LongUrl : public E2eTest, public ::testing::WithParamInterface<LongUrlCase> {};

TEST_P(LongUrl, OfAMegabyteFollowsTheRuleExactly) {
    const std::wstring url = Url(GetParam().path);
    ASSERT_GT(url.size(), kMegabyte);
    portal().SetPage("/game/", Page().Report(L"game page").Html());
    portal().SetPage("/list/", Page().Report(L"list page").Html());
    ASSERT_NO_FATAL_FAILURE(StartWith(Page().Navigate(url)));
    ASSERT_TRUE(WaitForPortalDecision(url)) << "no decision about the long URL";
    const std::vector<EngineReport> decision = PortalBeforeNavigate(url);
    ASSERT_EQ(1u, decision.size());
    const std::wstring& target = GetParam().path;

    if (GetParam().intercepted) {
        EXPECT_EQ(L"1", decision[0].Field(L"cancel"));
        HWND game = nullptr;
        ASSERT_TRUE(program.WaitForGameWindow(kWaitMs, &game));
        const std::vector<std::wstring> games = GameNavigationUrls();
        ASSERT_EQ(1u, games.size());
        EXPECT_EQ(url.size(), games[0].size());
        EXPECT_TRUE(games[0] == url) << "the game window got another URL";
        EXPECT_EQ(std::vector<std::wstring>{PortalUrl()}, FetchedBy(PortalObject()));
        ExpectPlaying(game);
    } else {
        EXPECT_EQ(L"0", decision[0].Field(L"cancel"));
        ASSERT_TRUE(portal().WaitUntil([&] { return PortalCompletions(url) == 1; }, kWaitMs));
        EXPECT_EQ(1u, portal().RequestCount(target)) << "the portal's request did not arrive whole";
        EXPECT_TRUE(program.GameWindows().empty());
        EXPECT_TRUE(GameNavigations().empty());
    }
    EXPECT_TRUE(program.Running());
}

INSTANTIATE_TEST_SUITE_P(Megabyte, LongUrl, ::testing::ValuesIn(LongUrlCases()),
                         [](const ::testing::TestParamInfo<LongUrlCase>& info) { return std::string(info.param.name); });

using HostileInput = E2eTest;

// A thousand navigations from one page, game URLs and look-alikes in turn.
// Every game URL reaches the one game window, in order; no look-alike does,
// each of those loads in the portal; one game window, one icon, no crash.
TEST_F(HostileInput, StormOfAThousandNavigations) {
    constexpr int kNavigations = 1000;
    const wchar_t* const lookAlikes[] = {L"&Client=1", L"&CLIENT=1", L"&client%3D1", L"&client=2", L"&cl1ent=1"};
    Page storm;
    std::vector<std::wstring> games, others;
    for (int i = 0; i < kNavigations; ++i) {
        const std::wstring n = std::to_wstring(i);
        if (i % 2 == 0) {
            games.push_back(Url(L"/game/?n=") + n + (i % 4 == 0 ? L"&client=1" : L"&client=10"));
            storm.Navigate(games.back());
        } else {
            others.push_back(Url(L"/list/?n=") + n + lookAlikes[i / 2 % 5]);
            storm.Navigate(others.back());
        }
    }
    portal().SetPage("/game/", Page().Html());
    portal().SetPage("/list/", Page().Html());
    ASSERT_NO_FATAL_FAILURE(StartWith(storm));

    ASSERT_TRUE(portal().WaitUntil(
        [&] {
            return GameNavigations().size() >= games.size() &&
                   portal().ReportsWhere(L"BeforeNavigate2", L"url", others.back(), PortalObject()).size() == 1 &&
                   FetchedBy(PortalObject()).size() >= 1 + others.size();
        },
        kStormWaitMs))
        << GameNavigations().size() << " game navigations, " << FetchedBy(PortalObject()).size() - 1
        << " portal loads so far";

    EXPECT_EQ(games, GameNavigationUrls());
    int gameObject = 0;
    for (const EngineReport& r : GameNavigations()) {
        if (!gameObject) gameObject = r.object;
        EXPECT_EQ(gameObject, r.object) << "a game URL went to a second browser";
    }
    std::vector<std::wstring> portalLoads = FetchedBy(PortalObject());
    ASSERT_FALSE(portalLoads.empty());
    portalLoads.erase(portalLoads.begin());  // the server list itself
    EXPECT_EQ(others, portalLoads);
    for (const std::wstring& url : games) {
        const std::vector<EngineReport> d = PortalBeforeNavigate(url);
        ASSERT_EQ(1u, d.size()) << Shown(url);
        EXPECT_EQ(L"1", d[0].Field(L"cancel")) << Shown(url);
    }
    EXPECT_EQ(2u, portal().ReportsOf(L"created").size()) << "browsers made: the portal's and one game window's";
    HWND game = program.GameWindow();
    ASSERT_TRUE(game);
    ExpectPlaying(game);
    EXPECT_TRUE(program.Running());
}

}  // namespace
