#include "skin/PngButtonSetup.h"

#include <objidl.h>
#include <gdiplus.h>

#include "skin/CPngButton.h"

void StartGdiplusForButton(CPngButton& button) {
    Gdiplus::GdiplusStartupInput input;
    input.GdiplusVersion = 1;
    input.DebugEventCallback = nullptr;
    input.SuppressBackgroundThread = FALSE;
    input.SuppressExternalCodecs = FALSE;
    if (Gdiplus::GdiplusStartup(&button.m_gdiplusToken, &input, nullptr) != Gdiplus::Ok)
        MessageBoxW(nullptr, L"Initialize GDI+ library failed", L"Error", MB_ICONERROR);
}

void PreparePngButton(CPngButton& button, UINT nPngId) {
    StartGdiplusForButton(button);
    button.SetImage(nPngId);
}
