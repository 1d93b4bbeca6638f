#pragma once
// A game window made as the program makes it (GetGameDialog: created from
// template 131, hidden), with every message box it raises watched, and torn
// down as the program tears it down (close routine, then delete).
// Optionally a real launcher (CLoginDlg with its portal page dialog) is the
// application's main window and so the game window's owner.
#include <windows.h>
#include <gtest/gtest.h>

#include <memory>

#include "game/CGameDialog.h"
#include "tests/support/GameWindowTesting.h"
#include "tests/support/MessageBoxWatcher.h"

class CLoginDlg;

namespace gametest {

class GameWindowFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The launcher as main window, created before the game window
    // (call from SetUp of a derived fixture, before CreateGame).
    void CreateLauncher();
    void CreateGame();
    // The game window goes as on the way back: close routine, delete.
    void DestroyGame();

    // Shows the window as window switching does, then runs the queue.
    void Show();
    // Puts the window into a state and applies it.
    void SetState(int state);
    // A button's command as its click sends it.
    void Command(UINT id);
    // The hot key message the system sends for F10 (1001) or F11 (1002).
    void HotKey(int id);

    HWND Hwnd() const { return m_pGame ? m_pGame->m_hWnd : nullptr; }
    HWND Item(int id) const { return GetDlgItem(Hwnd(), id); }

    MessageBoxWatcher m_watcher;
    CGameDialog* m_pGame = nullptr;
    CLoginDlg* m_pLauncher = nullptr;
    RECT m_savedWorkArea{};
};

// True for a window of a confirmation dialog (CConfirmDlg).
bool IsConfirmDialog(HWND hWnd);
// The confirmation dialog's mode, or -1.
int ConfirmMode(HWND hWnd);
// Clicks a button of a dialog as a mouse click would (BM_CLICK, posted).
void ClickButton(HWND hDlg, int id);

}  // namespace gametest
