#pragma once
// How an owning dialog prepares each of its PNG buttons, in OnInitDialog
// after the base OnInitDialog has bound the controls: GDI+ is started once
// per button (the token goes into the button and is never given back), then
// the button loads its strip. An owner that starts GDI+ for all of its
// buttons before loading any image calls the two steps separately.
#include <windows.h>

class CPngButton;

// GdiplusStartup (version 1, no debug callback, background thread and
// external codecs not suppressed, no output) into button.m_gdiplusToken.
// On failure shows "Initialize GDI+ library failed" and carries on.
void StartGdiplusForButton(CPngButton& button);

// StartGdiplusForButton, then button.SetImage(nPngId).
void PreparePngButton(CPngButton& button, UINT nPngId);
