#pragma once
// Painting of a minimised window: the icon centred in the client area.
#include <windows.h>

// Where the icon goes: ((width - SM_CXICON + 1) / 2, (height - SM_CYICON + 1) / 2),
// each division rounding toward zero.
POINT IconicIconOrigin(const RECT& client, int cxIcon, int cyIcon);

// Begins painting, erases the icon background and draws hIcon centred.
void PaintIconic(HWND hWnd, HICON hIcon);
