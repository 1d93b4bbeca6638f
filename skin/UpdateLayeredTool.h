#pragma once
// Per-pixel-alpha painting of layered windows.
//
// The layered-window functions of User32.DLL are looked up once per process
// at run time; callers reach them through GetInstance() and test each pointer
// for null before calling it.
#include <windows.h>

class CGdiPlusPng;

class UpdateLayeredTool {
public:
    using PFN_UPDATELAYEREDWINDOW = BOOL(WINAPI*)(HWND hwnd, HDC hdcDst, POINT* pptDst, SIZE* psize,
                                                  HDC hdcSrc, POINT* pptSrc, COLORREF crKey,
                                                  BLENDFUNCTION* pblend, DWORD dwFlags);
    using PFN_SETLAYEREDWINDOWATTRIBUTES = BOOL(WINAPI*)(HWND hwnd, COLORREF crKey, BYTE bAlpha,
                                                         DWORD dwFlags);

    // The one instance of the process: created on first use, never destroyed.
    static UpdateLayeredTool* GetInstance();

    // Paints `image` at its own size as the whole layered content of `window`.
    // Does nothing when the holder is empty or the window does not exist.
    static void UpdateLayered(HWND window, CGdiPlusPng& image);

    virtual ~UpdateLayeredTool();
    UpdateLayeredTool(const UpdateLayeredTool&) = delete;
    UpdateLayeredTool& operator=(const UpdateLayeredTool&) = delete;

    HMODULE m_hUser32 = nullptr;
    PFN_UPDATELAYEREDWINDOW m_pfnUpdateLayeredWindow = nullptr;
    PFN_SETLAYEREDWINDOWATTRIBUTES m_pfnSetLayeredWindowAttributes = nullptr;

private:
    UpdateLayeredTool() = default;
};
