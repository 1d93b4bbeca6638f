#pragma once
// Switching between the launcher (server list) and the game window: at most
// one game window exists, owned by the launcher, held in theApp.
#include <windows.h>

class CGameDialog;

// The game window, created hidden on first use.
CGameDialog* GetGameDialog();
// Opens the game on a URL: navigates the game window there, shows and
// activates it and hides the launcher (and with it the portal page).
void OpenGameDialog(LPCWSTR url);
// Back to the server list: the game window goes, the launcher comes back
// active and its portal page is reloaded.
void ReturnToLauncher();
// Runs the game window's close routine and deletes it (also at shutdown).
void TearDownGameDialog();
