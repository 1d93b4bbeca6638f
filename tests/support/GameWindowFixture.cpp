#include "tests/support/GameWindowFixture.h"

#include "app/CLoginApp.h"
#include "app/WindowSwitching.h"
#include "game/CConfirmDlg.h"
#include "launcher/CLoginActiveDlg.h"
#include "launcher/CLoginDlg.h"
#include "res/resource.h"

namespace gametest {

void GameWindowFixture::SetUp() {
    PrepareProcess();
    EXPECT_EQ(nullptr, theApp.m_pGameDialog) << "left over by an earlier test";
    TearDownGameDialog();
    m_savedWorkArea = WorkArea();
    PumpQueued();
}

void GameWindowFixture::TearDown() {
    // The portal goes first: a page it shows could start another game.
    if (m_pLauncher) {
        delete m_pLauncher->m_pActiveDlg;
        m_pLauncher->m_pActiveDlg = nullptr;
    }
    DestroyGame();
    if (m_pLauncher) {
        // Not the main window any more: its going must not end the loop.
        if (theApp.m_pMainWnd == m_pLauncher) theApp.m_pMainWnd = nullptr;
        delete m_pLauncher;
        m_pLauncher = nullptr;
    }
    theApp.m_pMainWnd = nullptr;
    int code = 0;
    PumpQueued(&code);
    const RECT now = WorkArea();
    if (!EqualRect(&now, &m_savedWorkArea))
        SystemParametersInfoW(SPI_SETWORKAREA, 0, &m_savedWorkArea, 0);
}

void GameWindowFixture::CreateLauncher() {
    m_pLauncher = new CLoginDlg();
    m_pLauncher->Create(IDD_LOGIN_DIALOG, nullptr);
    theApp.m_pMainWnd = m_pLauncher;
    PumpQueued();
}

void GameWindowFixture::CreateGame() {
    m_pGame = GetGameDialog();
    PumpQueued();
}

void GameWindowFixture::DestroyGame() {
    TearDownGameDialog();  // close routine, delete, pointer cleared
    m_pGame = nullptr;
    PumpQueued();
}

void GameWindowFixture::Show() {
    m_pGame->ShowWindow(SW_SHOWNORMAL);
    m_pGame->SetActiveWindow();
    PumpQueued();
}

void GameWindowFixture::SetState(int state) {
    m_pGame->m_nWindowState = state;
    m_pGame->ApplyWindowState();
    PumpQueued();
}

void GameWindowFixture::Command(UINT id) {
    SendMessageW(Hwnd(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Item(static_cast<int>(id))));
    PumpQueued();
}

void GameWindowFixture::HotKey(int id) {
    const UINT vk = id == 1001 ? VK_F10 : VK_F11;
    SendMessageW(Hwnd(), WM_HOTKEY, static_cast<WPARAM>(id), MAKELPARAM(0, vk));
    PumpQueued();
}

bool IsConfirmDialog(HWND hWnd) {
    return dynamic_cast<CConfirmDlg*>(CWnd::FromHandlePermanent(hWnd)) != nullptr;
}

int ConfirmMode(HWND hWnd) {
    auto* dlg = dynamic_cast<CConfirmDlg*>(CWnd::FromHandlePermanent(hWnd));
    return dlg ? dlg->m_nMode : -1;
}

void ClickButton(HWND hDlg, int id) { PostMessageW(GetDlgItem(hDlg, id), BM_CLICK, 0, 0); }

}  // namespace gametest
