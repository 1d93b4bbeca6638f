#include "app/WindowSwitching.h"

#include "app/CLoginApp.h"
#include "game/CGameDialog.h"
#include "launcher/CLoginActiveDlg.h"
#include "launcher/CLoginDlg.h"
#include "res/resource.h"

CGameDialog* GetGameDialog() {
    if (theApp.m_pGameDialog) return theApp.m_pGameDialog;
    theApp.m_pGameDialog = new CGameDialog();
    // No parent: the launcher, the main window, becomes the owner.
    theApp.m_pGameDialog->Create(IDD_GAME_DIALOG, nullptr);
    theApp.m_pGameDialog->ShowWindow(SW_HIDE);
    return theApp.m_pGameDialog;
}

void OpenGameDialog(LPCWSTR url) {
    CGameDialog* game = GetGameDialog();
    VARIANT empty;
    VariantInit(&empty);
    game->m_browser.Navigate(url, &empty, &empty, &empty, &empty);
    game->ShowWindow(SW_SHOWNORMAL);
    game->SetActiveWindow();
    if (CWnd* launcher = theApp.m_pMainWnd) launcher->ShowWindow(SW_HIDE);
}

void TearDownGameDialog() {
    if (CGameDialog* game = theApp.m_pGameDialog) {
        theApp.m_pGameDialog = nullptr;
        game->OnClose();
        delete game;
    }
}

void ReturnToLauncher() {
    TearDownGameDialog();
    auto* launcher = static_cast<CLoginDlg*>(theApp.m_pMainWnd);
    if (!launcher) return;
    launcher->ShowWindow(SW_SHOWNORMAL);
    launcher->SetActiveWindow();
    if (launcher->m_pActiveDlg) launcher->m_pActiveDlg->m_browser.Refresh();
}
