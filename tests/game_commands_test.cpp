// The game window's behaviour towards the player: the title-strip commands,
// the F10/F11 hot keys and their failure messages, the notification-area
// icon with its menu, quitting and changing the server through the
// confirmation dialog, and the close routine on a live window, after a
// system close request and at exit.
#include "game/CGameDialog.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/CLoginApp.h"
#include "app/WindowSwitching.h"
#include "game/CCleanCacheDlg.h"
#include "launcher/CLoginActiveDlg.h"
#include "launcher/CLoginDlg.h"
#include "res/resource.h"
#include "tests/standin/StandinBrowser.h"
#include "tests/support/GameWindowFixture.h"
#include "tests/support/ModalDriver.h"

using namespace gametest;

namespace {

constexpr DWORD kHotKeyTaken = 1409;  // ERROR_HOTKEY_ALREADY_REGISTERED

// A window of the test that competes for the hot keys.
class HotKeyProbe {
public:
    HotKeyProbe()
        : m_hWnd(CreateWindowExW(0, L"Static", L"probe", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 GetModuleHandleW(nullptr), nullptr)) {}
    ~HotKeyProbe() { DestroyWindow(m_hWnd); }  // gives its hot keys back
    HotKeyProbe(const HotKeyProbe&) = delete;
    HotKeyProbe& operator=(const HotKeyProbe&) = delete;

    // Registers vk without modifiers; 0 on success, else the error.
    DWORD Take(UINT vk) {
        if (RegisterHotKey(m_hWnd, static_cast<int>(vk), 0, vk)) return 0;
        return GetLastError();
    }
    void Give(UINT vk) { UnregisterHotKey(m_hWnd, static_cast<int>(vk)); }
    // Whether vk is free: taken and given back at once.
    bool IsFree(UINT vk) {
        if (Take(vk) != 0) return false;
        Give(vk);
        return true;
    }

private:
    HWND m_hWnd;
};

// Whether the shell still knows an icon of this window and identifier.
bool TrayIconExists(const NOTIFYICONDATAW& record) {
    NOTIFYICONDATAW probe = record;
    probe.uFlags = NIF_TIP;
    return Shell_NotifyIconW(NIM_MODIFY, &probe) != FALSE;
}

// Watches pop-up menus that the game window opens and closes them, either
// choosing the first item or cancelling, as keys pressed in the menu would.
class MenuWatcher {
public:
    enum class Action { Cancel, ChooseFirst };

    explicit MenuWatcher(Action action) : m_action(action) {
        s_pActive = this;
        m_hHook = SetWindowsHookExW(WH_CALLWNDPROC, Proc, nullptr, GetCurrentThreadId());
    }
    ~MenuWatcher() {
        UnhookWindowsHookEx(m_hHook);
        s_pActive = nullptr;
    }
    MenuWatcher(const MenuWatcher&) = delete;
    MenuWatcher& operator=(const MenuWatcher&) = delete;

    struct Item {
        UINT id;
        std::wstring text;
        UINT state;
    };
    int m_nMenus = 0;
    HWND m_hOwner = nullptr;
    std::vector<Item> m_items;

private:
    static LRESULT CALLBACK Proc(int code, WPARAM wParam, LPARAM lParam) {
        const auto* cwp = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (code == HC_ACTION && s_pActive && cwp->message == WM_INITMENUPOPUP)
            s_pActive->OnMenu(cwp->hwnd, reinterpret_cast<HMENU>(cwp->wParam));
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    void OnMenu(HWND owner, HMENU menu) {
        ++m_nMenus;
        m_hOwner = owner;
        m_items.clear();
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            wchar_t text[64] = {};
            GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
            m_items.push_back({GetMenuItemID(menu, i), text, GetMenuState(menu, i, MF_BYPOSITION)});
        }
        // Keys for the menu's own loop, which starts right after this.
        if (m_action == Action::ChooseFirst) {
            PostKeyPress(owner, VK_DOWN);
            PostKeyPress(owner, VK_RETURN);
        } else {
            PostKeyPress(owner, VK_ESCAPE);
        }
    }
    static MenuWatcher* s_pActive;
    HHOOK m_hHook = nullptr;
    Action m_action;
};
MenuWatcher* MenuWatcher::s_pActive = nullptr;

class GameCommands : public GameWindowFixture {
protected:
    void SetUp() override {
        GameWindowFixture::SetUp();
        CreateGame();
        ASSERT_NE(nullptr, m_pGame);
        Show();
    }
    LRESULT Tray(WPARAM wParam, LPARAM lParam) {
        const LRESULT result = SendMessageW(Hwnd(), WM_TRAYNOTIFY, wParam, lParam);
        PumpQueued();
        return result;
    }
};

void ExpectAppBox(const SeenMessageBox& box, const std::wstring& text) {
    EXPECT_EQ(text, box.text);
    EXPECT_EQ(L"PellumoZarvotek", box.caption);
    EXPECT_EQ(LoadIconW(nullptr, IDI_EXCLAMATION), box.icon) << "exclamation icon";
}

// --- What the window registers ----------------------------------------------------------

TEST_F(GameCommands, NotificationIconRecordIsFilledAndAdded) {
    const NOTIFYICONDATAW& nid = m_pGame->m_notifyIconData;
    EXPECT_EQ(956u, nid.cbSize);
    EXPECT_EQ(Hwnd(), nid.hWnd);
    EXPECT_EQ(128u, nid.uID);
    EXPECT_EQ(7u, nid.uFlags);
    EXPECT_EQ(0x465u, nid.uCallbackMessage);
    EXPECT_EQ(m_pGame->m_hIcon, nid.hIcon);
    EXPECT_STREQ(L"PellumoZarvotek", nid.szTip);
    EXPECT_EQ(0u, nid.dwState);
    EXPECT_EQ(0u, nid.dwStateMask);
    EXPECT_STREQ(L"", nid.szInfo);
    EXPECT_EQ(0u, nid.uVersion);
    EXPECT_STREQ(L"", nid.szInfoTitle);
    EXPECT_EQ(0u, nid.dwInfoFlags);
    EXPECT_EQ(GUID{}, nid.guidItem);
    EXPECT_EQ(nullptr, nid.hBalloonIcon);
    EXPECT_TRUE(TrayIconExists(nid));
}

TEST_F(GameCommands, BothHotKeysAreHeldWithoutModifiers) {
    HotKeyProbe probe;
    EXPECT_EQ(kHotKeyTaken, probe.Take(VK_F10));
    EXPECT_EQ(kHotKeyTaken, probe.Take(VK_F11));
    EXPECT_EQ(0u, probe.Take(VK_F9));  // nothing else is taken
    probe.Give(VK_F9);
    EXPECT_TRUE(m_watcher.Boxes().empty());
}

struct TakenKeysCase {
    const char* name;
    bool f10;
    bool f11;
};
void PrintTo(const TakenKeysCase& c, std::ostream* os) { *os << c.name; }

class HotKeyAlreadyTaken : public GameWindowFixture,
                           public ::testing::WithParamInterface<TakenKeysCase> {};

TEST_P(HotKeyAlreadyTaken, ReportsEachKeyAndTheWindowStillWorks) {
    const TakenKeysCase& c = GetParam();
    HotKeyProbe probe;
    if (c.f10) {
        ASSERT_EQ(0u, probe.Take(VK_F10));
    }
    if (c.f11) {
        ASSERT_EQ(0u, probe.Take(VK_F11));
    }

    CreateGame();
    ASSERT_TRUE(IsWindow(Hwnd()));
    std::vector<std::wstring> expected;
    if (c.f10) expected.push_back(L"RegisterHotKey F10 false");
    if (c.f11) expected.push_back(L"RegisterHotKey F11 false");
    ASSERT_EQ(expected, m_watcher.Texts());
    for (size_t i = 0; i < expected.size(); ++i) ExpectAppBox(m_watcher.Boxes()[i], expected[i]);

    // Built completely all the same.
    EXPECT_FALSE(IsWindowVisible(Hwnd()));
    EXPECT_EQ(1, m_pGame->m_nWindowState);
    EXPECT_TRUE(TrayIconExists(m_pGame->m_notifyIconData));
    if (!c.f10) {
        EXPECT_EQ(kHotKeyTaken, probe.Take(VK_F10));
    }
    if (!c.f11) {
        EXPECT_EQ(kHotKeyTaken, probe.Take(VK_F11));
    }
    Show();
    Command(IDC_GAME_RESTORE);
    EXPECT_EQ(2, m_pGame->m_nWindowState);
    HotKey(1002);
    EXPECT_EQ(0, m_pGame->m_nWindowState);
    HotKey(1001);
    EXPECT_FALSE(IsWindowVisible(Hwnd()));
    HotKey(1001);
    EXPECT_TRUE(IsWindowVisible(Hwnd()));

    // What it never registered it cannot give back, and says so.
    m_watcher.Clear();
    DestroyGame();
    std::vector<std::wstring> unregister;
    if (c.f10) unregister.push_back(L"UnregisterHotKey F10 false");
    if (c.f11) unregister.push_back(L"UnregisterHotKey F11 false");
    EXPECT_EQ(unregister, m_watcher.Texts());
    if (!(c.f10 && c.f11)) {
        EXPECT_EQ(0u, probe.Take(c.f10 ? VK_F11 : VK_F10)) << "the game window gave its key back";
    }
}

INSTANTIATE_TEST_SUITE_P(Keys, HotKeyAlreadyTaken,
                         ::testing::Values(TakenKeysCase{"F10", true, false},
                                           TakenKeysCase{"F11", false, true},
                                           TakenKeysCase{"Both", true, true}),
                         [](const ::testing::TestParamInfo<TakenKeysCase>& info) {
                             return std::string(info.param.name);
                         });

// --- Visibility: boss key, F10, the icon ---------------------------------------------------

TEST_F(GameCommands, BossHidesAndF10ShowsInTheSameState) {
    for (int state : {1, 2, 0}) {
        SCOPED_TRACE("state " + std::to_string(state));
        SetState(state);
        const Placement placed = WindowPlacement(Hwnd());
        Command(IDC_GAME_BOSS);
        EXPECT_FALSE(IsWindowVisible(Hwnd()));
        EXPECT_EQ(state, m_pGame->m_nWindowState);
        HotKey(1001);
        EXPECT_TRUE(IsWindowVisible(Hwnd()));
        EXPECT_EQ(state, m_pGame->m_nWindowState);
        EXPECT_EQ(placed, WindowPlacement(Hwnd()));
        // The icon's double click works both ways as well.
        EXPECT_EQ(0, Tray(128, WM_LBUTTONDBLCLK));
        EXPECT_FALSE(IsWindowVisible(Hwnd()));
        EXPECT_EQ(0, Tray(128, WM_LBUTTONDBLCLK));
        EXPECT_TRUE(IsWindowVisible(Hwnd()));
        EXPECT_EQ(state, m_pGame->m_nWindowState);
    }
}

TEST_F(GameCommands, F10HidesAMinimisedWindowAndShowsItAgain) {
    Command(IDC_GAME_MINIMIZE);
    ASSERT_TRUE(IsIconic(Hwnd()));
    ASSERT_TRUE(IsWindowVisible(Hwnd()));  // a minimised window counts as visible
    HotKey(1001);
    EXPECT_FALSE(IsWindowVisible(Hwnd()));
    HotKey(1001);
    EXPECT_TRUE(IsWindowVisible(Hwnd()));
    EXPECT_EQ(1, m_pGame->m_nWindowState);
}

TEST_F(GameCommands, OtherHotKeyIdentifiersDoNothing) {
    for (int id : {0, 1000, 1003, 128}) {
        SendMessageW(Hwnd(), WM_HOTKEY, static_cast<WPARAM>(id), MAKELPARAM(0, VK_F10));
        PumpQueued();
        EXPECT_TRUE(IsWindowVisible(Hwnd())) << id;
        EXPECT_EQ(1, m_pGame->m_nWindowState) << id;
    }
}

struct TrayCase {
    WPARAM id;
    LPARAM mouse;
    LRESULT result;
    bool toggles;
};

TEST_F(GameCommands, IconCallbacksAnswerAndActByIdentifierAndMouseMessage) {
    const TrayCase cases[] = {
        {127, WM_LBUTTONDBLCLK, 1, false}, {129, WM_LBUTTONDBLCLK, 1, false},
        {0, WM_RBUTTONUP, 1, false},       {129, WM_RBUTTONUP, 1, false},
        {128, WM_MOUSEMOVE, 0, false},     {128, WM_LBUTTONDOWN, 0, false},
        {128, WM_LBUTTONUP, 0, false},     {128, WM_RBUTTONDOWN, 0, false},
        {128, WM_RBUTTONDBLCLK, 0, false}, {128, WM_LBUTTONDBLCLK, 0, true},
    };
    MenuWatcher menus(MenuWatcher::Action::Cancel);
    for (const TrayCase& c : cases) {
        SCOPED_TRACE("id " + std::to_string(c.id) + " mouse 0x" + std::to_string(c.mouse));
        const bool before = IsWindowVisible(Hwnd()) != FALSE;
        EXPECT_EQ(c.result, Tray(c.id, c.mouse));
        EXPECT_EQ(c.toggles ? !before : before, IsWindowVisible(Hwnd()) != FALSE);
    }
    EXPECT_EQ(0, menus.m_nMenus);  // only WM_RBUTTONUP of icon 128 opens the menu
}

TEST_F(GameCommands, RightClickOnTheIconOpensTheQuitMenu) {
    MenuWatcher menus(MenuWatcher::Action::Cancel);
    ModalDriver confirm({}, IsConfirmDialog);
    EXPECT_EQ(0, Tray(128, WM_RBUTTONUP));
    ASSERT_EQ(1, menus.m_nMenus);
    EXPECT_EQ(Hwnd(), menus.m_hOwner);
    ASSERT_EQ(1u, menus.m_items.size());
    EXPECT_EQ(static_cast<UINT>(ID_TRAY_QUIT), menus.m_items[0].id);
    EXPECT_EQ(L"退出", menus.m_items[0].text);
    EXPECT_EQ(0u, menus.m_items[0].state & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_POPUP));
    // Cancelled: no command, no confirmation.
    EXPECT_FALSE(confirm.Appeared());
    EXPECT_TRUE(IsWindowVisible(Hwnd()));
}

TEST_F(GameCommands, QuitFromTheIconMenuOfAHiddenWindowAsksFirst) {
    Command(IDC_GAME_BOSS);
    ASSERT_FALSE(IsWindowVisible(Hwnd()));
    {
        MenuWatcher menus(MenuWatcher::Action::ChooseFirst);
        ModalDriver confirm({[](HWND d) {
                                EXPECT_EQ(0, ConfirmMode(d));
                                ClickButton(d, IDC_CONFIRM_CANCEL);
                            }},
                            IsConfirmDialog);
        EXPECT_EQ(0, Tray(128, WM_RBUTTONUP));
        int code = -1;
        EXPECT_TRUE(PumpQueued(&code));
        EXPECT_EQ(1, menus.m_nMenus);
        EXPECT_TRUE(confirm.Appeared());
        EXPECT_FALSE(confirm.LeftOpen());
        EXPECT_FALSE(IsWindowVisible(Hwnd()));  // cancelled: as it was
    }
    {
        MenuWatcher menus(MenuWatcher::Action::ChooseFirst);
        ModalDriver confirm({[](HWND d) { ClickButton(d, IDC_CONFIRM_OK); }}, IsConfirmDialog);
        const LRESULT result = SendMessageW(Hwnd(), WM_TRAYNOTIFY, 128, WM_RBUTTONUP);
        EXPECT_EQ(0, result);
        int code = -1;
        EXPECT_FALSE(PumpQueued(&code)) << "the application ends";
        EXPECT_EQ(16, code);
        EXPECT_TRUE(confirm.Appeared());
    }
}

// --- Quit and change server --------------------------------------------------------------------

struct AnswerCase {
    const char* name;
    ModalDriver::Step answer;
    bool confirmed;
};
void PrintTo(const AnswerCase& c, std::ostream* os) { *os << c.name; }

const AnswerCase kAnswers[] = {
    {"Ok", [](HWND d) { ClickButton(d, IDC_CONFIRM_OK); }, true},
    {"Cancel", [](HWND d) { ClickButton(d, IDC_CONFIRM_CANCEL); }, false},
    {"Escape", [](HWND d) { PostKeyPress(GetFocus() ? GetFocus() : d, VK_ESCAPE); }, false},
    {"AltF4", [](HWND d) { PostKeyPress(GetFocus() ? GetFocus() : d, VK_F4, true); }, false},
};

class QuitButton : public GameCommands, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(QuitButton, EndsTheApplicationOnlyWhenConfirmed) {
    const AnswerCase& c = GetParam();
    SetState(2);
    int mode = -1;
    ModalDriver confirm({[&mode](HWND d) { mode = ConfirmMode(d); }, c.answer}, IsConfirmDialog);
    ClickButton(Hwnd(), IDC_GAME_CLOSE);
    int code = -1;
    const bool running = PumpQueued(&code);
    EXPECT_TRUE(confirm.Appeared());
    EXPECT_FALSE(confirm.LeftOpen());
    EXPECT_EQ(0, mode);
    EXPECT_EQ(!c.confirmed, running);
    if (c.confirmed) {
        EXPECT_EQ(16, code);
    }
    // The window itself is left as it was either way.
    EXPECT_TRUE(IsWindowVisible(Hwnd()));
    EXPECT_EQ(2, m_pGame->m_nWindowState);
    EXPECT_TRUE(m_watcher.Boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(Answers, QuitButton, ::testing::ValuesIn(kAnswers),
                         [](const ::testing::TestParamInfo<AnswerCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(GameCommands, CancelledServerChangeLeavesEverythingAsItWas) {
    for (const AnswerCase& c : kAnswers) {
        if (c.confirmed) continue;
        SCOPED_TRACE(c.name);
        int mode = -1;
        ModalDriver confirm({[&mode](HWND d) { mode = ConfirmMode(d); }, c.answer}, IsConfirmDialog);
        ClickButton(Hwnd(), IDC_GAME_SERVER);
        EXPECT_TRUE(PumpQueued());
        EXPECT_TRUE(confirm.Appeared());
        EXPECT_EQ(1, mode);
        EXPECT_EQ(m_pGame, theApp.m_pGameDialog);
        EXPECT_TRUE(IsWindowVisible(Hwnd()));
        EXPECT_EQ(1, m_pGame->m_nWindowState);
        HotKeyProbe probe;
        EXPECT_EQ(kHotKeyTaken, probe.Take(VK_F10));
        EXPECT_TRUE(TrayIconExists(m_pGame->m_notifyIconData));
    }
    EXPECT_TRUE(m_watcher.Boxes().empty());
}

// --- The other buttons ---------------------------------------------------------------------------

TEST_F(GameCommands, MinimiseButtonMinimises) {
    Command(IDC_GAME_MINIMIZE);
    EXPECT_TRUE(IsIconic(Hwnd()));
    EXPECT_EQ(1, m_pGame->m_nWindowState);
}

TEST_F(GameCommands, RefreshReloadsThePageInPlace) {
    for (int state : {1, 2}) {
        SetState(state);
        const Placement placed = WindowPlacement(Hwnd());
        StandinClearLog();
        ClickButton(Hwnd(), IDC_GAME_REFRESH);
        PumpQueued();
        EXPECT_EQ(1u, StandinEventsOf(L"Refresh").size());
        EXPECT_EQ(state, m_pGame->m_nWindowState);
        EXPECT_EQ(placed, WindowPlacement(Hwnd()));
        EXPECT_TRUE(HasVisibleStyle(Item(IDC_GAME_LOGO)));
    }
}

// Keeps the cache cleaner from coming up (and from cleaning anything): its
// window is refused at creation, after the framework has bound it.
class CleanerVeto {
public:
    CleanerVeto() {
        s_pActive = this;
        m_hHook = SetWindowsHookExW(WH_CBT, Proc, nullptr, GetCurrentThreadId());
    }
    ~CleanerVeto() {
        UnhookWindowsHookEx(m_hHook);
        s_pActive = nullptr;
    }
    CleanerVeto(const CleanerVeto&) = delete;
    CleanerVeto& operator=(const CleanerVeto&) = delete;
    int m_nRefused = 0;
    HWND m_hOwner = nullptr;

private:
    static LRESULT CALLBACK Proc(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HCBT_CREATEWND && s_pActive) {
            auto* wnd = CWnd::FromHandlePermanent(reinterpret_cast<HWND>(wParam));
            if (dynamic_cast<CCleanCacheDlg*>(wnd)) {
                ++s_pActive->m_nRefused;
                s_pActive->m_hOwner = reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs->hwndParent;
                return 1;
            }
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static CleanerVeto* s_pActive;
    HHOOK m_hHook = nullptr;
};
CleanerVeto* CleanerVeto::s_pActive = nullptr;

TEST_F(GameCommands, CleanButtonRunsTheCacheCleaner) {
    CleanerVeto veto;
    Command(IDC_GAME_CLEAN);
    EXPECT_EQ(1, veto.m_nRefused);
    // Nothing else changes, whatever the cleaner answers.
    EXPECT_TRUE(IsWindowVisible(Hwnd()));
    EXPECT_EQ(1, m_pGame->m_nWindowState);
    EXPECT_TRUE(IsWindowEnabled(Hwnd()));
}

// --- The close routine ---------------------------------------------------------------------------

struct CloseRequestCase {
    const char* name;
    UINT message;
    WPARAM wParam;
};
void PrintTo(const CloseRequestCase& c, std::ostream* os) { *os << c.name; }

const CloseRequestCase kCloseRequests[] = {
    {"WmClose", WM_CLOSE, 0},
    {"ScClose", WM_SYSCOMMAND, SC_CLOSE},
};

class SystemClose : public GameCommands, public ::testing::WithParamInterface<CloseRequestCase> {};

TEST_P(SystemClose, LeavesTheWindowOpenWithoutHotKeysAndIcon) {
    const CloseRequestCase& c = GetParam();
    SetState(2);
    const NOTIFYICONDATAW record = m_pGame->m_notifyIconData;
    PostMessageW(Hwnd(), c.message, c.wParam, 0);
    EXPECT_TRUE(PumpQueued());

    EXPECT_TRUE(IsWindow(Hwnd()));
    EXPECT_TRUE(IsWindowVisible(Hwnd()));
    EXPECT_EQ(2, m_pGame->m_nWindowState);
    EXPECT_TRUE(m_watcher.Boxes().empty());
    EXPECT_EQ(nullptr, m_pGame->m_bmpTitleBar.GetSafeHandle());
    HotKeyProbe probe;
    EXPECT_TRUE(probe.IsFree(VK_F10));
    EXPECT_TRUE(probe.IsFree(VK_F11));
    NOTIFYICONDATAW again = record;
    EXPECT_FALSE(Shell_NotifyIconW(NIM_DELETE, &again)) << "the icon is gone already";
    // Still working.
    Command(IDC_GAME_MAXIMIZE);
    EXPECT_EQ(1, m_pGame->m_nWindowState);

    // The close routine of the way back finds nothing to give back.
    DestroyGame();
    EXPECT_EQ((std::vector<std::wstring>{L"UnregisterHotKey F10 false", L"UnregisterHotKey F11 false"}),
              m_watcher.Texts());
    for (const SeenMessageBox& box : m_watcher.Boxes()) ExpectAppBox(box, box.text);
}

INSTANTIATE_TEST_SUITE_P(Requests, SystemClose, ::testing::ValuesIn(kCloseRequests),
                         [](const ::testing::TestParamInfo<CloseRequestCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(GameCommands, TheCloseRoutinePassesOnlyACloseRequestOn) {
    // Called directly it has no message to pass on: no IDCANCEL follows.
    m_pGame->OnClose();
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, Hwnd(), WM_COMMAND, WM_COMMAND, PM_NOREMOVE));
    // As the WM_CLOSE handler the dialog's default handling turns the
    // request into IDCANCEL.
    SendMessageW(Hwnd(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(PeekMessageW(&msg, Hwnd(), WM_COMMAND, WM_COMMAND, PM_REMOVE));
    EXPECT_EQ(static_cast<WPARAM>(MAKEWPARAM(IDCANCEL, BN_CLICKED)), msg.wParam);
    DispatchMessageW(&msg);
    EXPECT_TRUE(IsWindowVisible(Hwnd()));
    // Twice closed, the second run reported both keys.
    EXPECT_EQ((std::vector<std::wstring>{L"UnregisterHotKey F10 false", L"UnregisterHotKey F11 false"}),
              m_watcher.Texts());
    m_watcher.Clear();
}

TEST_F(GameCommands, TheCloseRoutineOnALiveWindowGivesEverythingBackSilently) {
    const NOTIFYICONDATAW record = m_pGame->m_notifyIconData;
    m_pGame->OnClose();
    PumpQueued();
    EXPECT_TRUE(m_watcher.Boxes().empty());
    HotKeyProbe probe;
    EXPECT_TRUE(probe.IsFree(VK_F10));
    EXPECT_TRUE(probe.IsFree(VK_F11));
    EXPECT_FALSE(TrayIconExists(record));
    EXPECT_EQ(nullptr, m_pGame->m_bmpTitleBar.GetSafeHandle());
    EXPECT_TRUE(IsWindow(Hwnd()));  // neither destroyed
    EXPECT_EQ(m_pGame, theApp.m_pGameDialog);  // nor deleted
    m_watcher.Clear();
}

// Runs the queued messages in order up to and including the first `message`
// to hWnd; false if there was none.
bool DispatchThrough(HWND hWnd, UINT message) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        const bool last = msg.hwnd == hWnd && msg.message == message;
        if (!AfxPreTranslateMessage(&msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (last) return true;
    }
    return false;
}

// --- With the launcher as the owner ------------------------------------------------------------------

// The real launcher (and its portal page dialog) is the main window, so the
// game window is owned by it and the way back has somewhere to go. The
// portal page is whatever the portal host serves (nothing, or a live portal
// that may start a game by itself), so the way back is looked at right
// where the change-server click's handling ends.
class GameWithLauncher : public GameWindowFixture {
protected:
    void SetUp() override {
        GameWindowFixture::SetUp();
        CreateLauncher();
        ASSERT_TRUE(IsWindow(m_pLauncher->m_hWnd));
        ASSERT_NE(nullptr, m_pLauncher->m_pActiveDlg);
        CreateGame();
        ASSERT_NE(nullptr, m_pGame);
        // As a game start leaves them.
        Show();
        m_pLauncher->ShowWindow(SW_HIDE);
        PumpQueued();
    }
    HWND Launcher() const { return m_pLauncher->m_hWnd; }
    HWND Portal() const { return m_pLauncher->m_pActiveDlg->m_hWnd; }

    void ChangeServer() {
        m_hGame = Hwnd();
        m_record = m_pGame->m_notifyIconData;
        StandinClearLog();
        ModalDriver confirm({[](HWND d) {
                                EXPECT_EQ(1, ConfirmMode(d));
                                ClickButton(d, IDC_CONFIRM_OK);
                            }},
                            IsConfirmDialog);
        HWND button = GetDlgItem(m_hGame, IDC_GAME_SERVER);
        ClickButton(m_hGame, IDC_GAME_SERVER);
        // Looked at as the click's handling leaves things: whatever the
        // reloaded portal page does next is the portal's business.
        ASSERT_TRUE(DispatchThrough(button, BM_CLICK));
        EXPECT_TRUE(confirm.Appeared());
        EXPECT_FALSE(confirm.LeftOpen());
        m_pGame = nullptr;  // deleted on the way back
    }

    void ExpectBackAtTheLauncher() {
        EXPECT_EQ(nullptr, theApp.m_pGameDialog);
        EXPECT_FALSE(IsWindow(m_hGame));
        EXPECT_TRUE(IsWindowVisible(Launcher()));
        EXPECT_TRUE(IsWindowVisible(Portal()));
        EXPECT_EQ(Launcher(), GetActiveWindow());
        EXPECT_EQ(1u, StandinEventsOf(L"Refresh").size()) << "the portal page is reloaded";
        HotKeyProbe probe;
        EXPECT_TRUE(probe.IsFree(VK_F10));
        EXPECT_TRUE(probe.IsFree(VK_F11));
        NOTIFYICONDATAW again = m_record;
        EXPECT_FALSE(Shell_NotifyIconW(NIM_DELETE, &again));
    }

    HWND m_hGame = nullptr;
    NOTIFYICONDATAW m_record{};
};

TEST_F(GameWithLauncher, TheGameWindowIsOwnedByTheLauncher) {
    EXPECT_EQ(Launcher(), GetWindow(Hwnd(), GW_OWNER));
    EXPECT_FALSE(IsWindowVisible(Launcher()));
    EXPECT_FALSE(IsWindowVisible(Portal()));
}

TEST_F(GameWithLauncher, ConfirmedServerChangeReturnsToTheLauncher) {
    ChangeServer();
    EXPECT_TRUE(m_watcher.Boxes().empty());
    ExpectBackAtTheLauncher();
}

TEST_F(GameWithLauncher, ServerChangeAfterASystemCloseReportsBothKeysAndStillReturns) {
    for (const CloseRequestCase& c : kCloseRequests) {
        SCOPED_TRACE(c.name);
        if (!m_pGame) {
            CreateGame();
            Show();
            m_pLauncher->ShowWindow(SW_HIDE);
            PumpQueued();
        }
        PostMessageW(Hwnd(), c.message, c.wParam, 0);
        EXPECT_TRUE(PumpQueued());
        ASSERT_TRUE(IsWindowVisible(Hwnd()));
        ASSERT_TRUE(m_watcher.Boxes().empty());

        ChangeServer();
        EXPECT_EQ((std::vector<std::wstring>{L"UnregisterHotKey F10 false",
                                             L"UnregisterHotKey F11 false"}),
                  m_watcher.Texts());
        for (const SeenMessageBox& box : m_watcher.Boxes()) ExpectAppBox(box, box.text);
        ExpectBackAtTheLauncher();
        m_watcher.Clear();
    }
}

TEST_F(GameWithLauncher, ANewGameAfterTheWayBackGetsNewRegistrations) {
    ChangeServer();
    ExpectBackAtTheLauncher();
    CreateGame();
    ASSERT_NE(nullptr, m_pGame);
    EXPECT_NE(m_hGame, Hwnd());
    HotKeyProbe probe;
    EXPECT_EQ(kHotKeyTaken, probe.Take(VK_F10));
    EXPECT_EQ(kHotKeyTaken, probe.Take(VK_F11));
    EXPECT_TRUE(TrayIconExists(m_pGame->m_notifyIconData));
    EXPECT_TRUE(m_watcher.Boxes().empty());
}

TEST_F(GameWithLauncher, AtExitTheCloseRoutineRunsSilentlyOnTheGoneWindow) {
    const HWND hGame = Hwnd();
    // The launcher's modal loop ends by destroying it, and its owned game
    // window with it; the application then runs the game's close routine.
    ::DestroyWindow(Launcher());
    EXPECT_FALSE(IsWindow(hGame));
    EXPECT_EQ(nullptr, m_pGame->m_hWnd);
    EXPECT_EQ(nullptr, theApp.m_pMainWnd);
    TearDownGameDialog();
    m_pGame = nullptr;
    EXPECT_TRUE(m_watcher.Boxes().empty());
    int code = -1;
    EXPECT_FALSE(PumpQueued(&code)) << "the launcher's going ends the loop";
    EXPECT_EQ(0, code);
    HotKeyProbe probe;
    EXPECT_TRUE(probe.IsFree(VK_F10));
    EXPECT_TRUE(probe.IsFree(VK_F11));
}

}  // namespace
