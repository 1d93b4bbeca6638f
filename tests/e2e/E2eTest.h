#pragma once
// The fixture of every end-to-end test: the shared portal (reset for each
// test), the program under test (killed at the end of each test if it is
// still running), and the steps and checks the scenarios share.
//
// The program's windows change state inside its own event handlers; a
// check made while such a handler still runs could see half a switch. So
// the checks wait for what the program does last in each switch, as the
// stand-in engine reports it: the portal's BeforeNavigate2 report (sent
// when the program's handler has returned) after a game start, the portal's
// Refresh (the last step) after the way back.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/Desktop.h"
#include "tests/e2e/Player.h"
#include "tests/e2e/Portal.h"
#include "tests/e2e/ProgramUnderTest.h"

// Every wait of the driver is bounded by this; a failing test fails within it.
constexpr DWORD kWaitMs = 5000;

// The portal listens on 127.0.0.1, port 80, where the program's portal URL
// http://127.0.0.1/micro/ points. A build made with another portal host
// (PORTAL_HOST=127.0.0.1:PORT) is driven with --portal-port=PORT.
unsigned short PortalPort();
void SetPortalPort(unsigned short port);
// "http://127.0.0.1" (":PORT" unless 80) + path, e.g. Url(L"/game/?client=1").
std::wstring Url(const std::wstring& path);
std::wstring PortalUrl();  // the program's own: Url(L"/micro/")
std::wstring GameUrl();    // a server link: Url(L"/game/?server=1&client=1")

// Control ids of the program.
constexpr int kIdBrowser = 1000;
constexpr int kIdPortalClose = 1005;
constexpr int kIdPortalMinimize = 1006;
constexpr int kIdGameClose = 1001;
constexpr int kIdGameServer = 1008;
constexpr int kIdConfirmOk = 1008;
constexpr int kIdConfirmCancel = 1009;
constexpr int kIdConfirmTitle = 1002;
constexpr UINT kTrayIconId = 128;
constexpr UINT kTrayMessage = 0x465;  // WM_USER + 101
constexpr DWORD kQuitCode = 16;

// The stand-in engine's page colour when a page sets none.
constexpr COLORREF kStandinGrey = RGB(211, 211, 211);

class E2eTest : public ::testing::Test {
public:
    static Portal& SharedPortal();

protected:
    void SetUp() override;
    void TearDown() override;

    Portal& portal() { return SharedPortal(); }

    // Serves `page` as the server list and starts the program.
    void StartWith(const Page& page);
    // Starts the program on a server list that opens `url` at once and
    // waits until the game window is up and the switch is over.
    void StartGame(const std::wstring& url, HWND* game);

    // --- what the stand-in engine reported ------------------------------
    // The stand-in object number of the portal's browser (the object that
    // the program navigated to the portal URL), 0 before it did.
    int PortalObject() const;
    // Navigations the program itself started (by=host) in browsers other
    // than the portal's: the game windows', in order.
    std::vector<EngineReport> GameNavigations() const;
    std::vector<std::wstring> GameNavigationUrls() const;
    // URLs fetched by the stand-in object `object`, in order.
    std::vector<std::wstring> FetchedBy(int object) const;
    // The portal's BeforeNavigate2 reports for `url`.
    std::vector<EngineReport> PortalBeforeNavigate(const std::wstring& url) const;
    // Completed navigations of the portal's top-level page to `url`.
    size_t PortalCompletions(const std::wstring& url) const;
    // Waits until the portal has decided about `url` (its BeforeNavigate2
    // was reported, i.e. the program's handler returned).
    bool WaitForPortalDecision(const std::wstring& url) const;
    // Waits until some page ran its "report TEXT" instruction.
    bool WaitForPageReport(const std::wstring& text) const;
    // Waits until the program has reloaded the portal `count` times.
    bool WaitForPortalRefreshes(size_t count) const;

    // --- the player's steps -------------------------------------------------
    // Clicks a control of the program with the mouse, where it can be seen.
    void ClickControl(HWND parent, int id);
    // Answers the confirmation dialog that is up (or comes up) with `id`,
    // after checking that it asks the question expected (its title line).
    enum class Question { Quit, ChangeServer };
    void AnswerConfirmation(Question asked, int id);
    // Opens the notification-area icon's menu as the shell does on a
    // right-button release over the icon: the icon's callback message,
    // posted to the game window, with the pointer at `where`.
    void OpenTrayMenuByCallback(HWND game, POINT where, HWND* menu);
    // Opens it by a real right-click on the icon in Wine's tray window
    // (possible only where nothing covers the tray window).
    void OpenTrayMenuByRightClick(HWND* menu);
    // Opens the icon's menu by its callback and picks its only item with the
    // keyboard, as a player does: Down until the item shows highlighted,
    // then Enter.
    void PickTrayMenuItemByKeyboard(HWND game, POINT where);
    // The player reloads the server list: a click into the portal's page,
    // then F5, which the browser engine takes as its reload key.
    void ReloadPortal();

    // --- checks of the whole program's state --------------------------------
    // Playing: the game window `game` shown and active, the only one; the
    // launcher and portal hidden; the icon and both hot keys held.
    void ExpectPlaying(HWND game);
    // The server list: launcher and portal shown, the launcher active; no
    // game window, no icon, no hot key.
    void ExpectServerList();
    // After the end: no window of the process, no icon, no hot key.
    void ExpectNothingLeft(DWORD pid);

    ProgramUnderTest program;
};
