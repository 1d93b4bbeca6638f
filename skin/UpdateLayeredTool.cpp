#include "skin/UpdateLayeredTool.h"

#include "skin/CGdiPlusPng.h"

namespace {

// The window's own device context, released on scope exit.
class WindowDC {
public:
    explicit WindowDC(HWND window) : m_hWnd(window), m_hDC(GetDC(window)) {}
    ~WindowDC() {
        if (m_hDC)
            ReleaseDC(m_hWnd, m_hDC);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC get() const { return m_hDC; }

private:
    HWND m_hWnd;
    HDC m_hDC;
};

// A memory device context, deleted on scope exit.
class MemoryDC {
public:
    explicit MemoryDC(HDC compatible) : m_hDC(CreateCompatibleDC(compatible)) {}
    ~MemoryDC() {
        if (m_hDC)
            DeleteDC(m_hDC);
    }
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;
    HDC get() const { return m_hDC; }

private:
    HDC m_hDC;
};

// A bitmap selected into a device context: on scope exit the previous bitmap
// is selected back and this one deleted.
class SelectedBitmap {
public:
    SelectedBitmap(HDC dc, HBITMAP bitmap)
        : m_hDC(dc), m_hBitmap(bitmap),
          m_hOld(bitmap ? static_cast<HBITMAP>(SelectObject(dc, bitmap)) : nullptr) {}
    ~SelectedBitmap() {
        if (m_hOld)
            SelectObject(m_hDC, m_hOld);
        if (m_hBitmap)
            DeleteObject(m_hBitmap);
    }
    SelectedBitmap(const SelectedBitmap&) = delete;
    SelectedBitmap& operator=(const SelectedBitmap&) = delete;

private:
    HDC m_hDC;
    HBITMAP m_hBitmap;
    HBITMAP m_hOld;
};

}  // namespace

UpdateLayeredTool* UpdateLayeredTool::GetInstance() {
    static UpdateLayeredTool* s_pInstance = nullptr;
    if (s_pInstance)
        return s_pInstance;

    auto* tool = new UpdateLayeredTool();
    tool->m_hUser32 = LoadLibraryW(L"User32.DLL");
    if (tool->m_hUser32) {
        tool->m_pfnUpdateLayeredWindow = reinterpret_cast<PFN_UPDATELAYEREDWINDOW>(
            GetProcAddress(tool->m_hUser32, "UpdateLayeredWindow"));
        tool->m_pfnSetLayeredWindowAttributes = reinterpret_cast<PFN_SETLAYEREDWINDOWATTRIBUTES>(
            GetProcAddress(tool->m_hUser32, "SetLayeredWindowAttributes"));
    }
    // Kept even without the module: later calls do not try again.
    s_pInstance = tool;
    return s_pInstance;
}

UpdateLayeredTool::~UpdateLayeredTool() {
    if (m_hUser32)
        FreeLibrary(m_hUser32);
}

void UpdateLayeredTool::UpdateLayered(HWND window, CGdiPlusPng& image) {
    if (!image.m_pImage || !IsWindow(window))
        return;

    WindowDC windowDC(window);

    RECT rcWindow{};
    GetWindowRect(window, &rcWindow);
    POINT ptDst{rcWindow.left, rcWindow.top};

    MemoryDC memoryDC(windowDC.get());

    const int width = static_cast<int>(image.m_pImage->GetWidth());
    const int height = static_cast<int>(image.m_pImage->GetHeight());

    SelectedBitmap bitmap(memoryDC.get(), CreateCompatibleBitmap(windowDC.get(), width, height));

    {
        Gdiplus::Graphics graphics(memoryDC.get());
        const Gdiplus::Point corners[3] = {{0, 0}, {width, 0}, {0, height}};
        graphics.DrawImage(image.m_pImage, corners, 3);
        graphics.Flush(Gdiplus::FlushIntentionSync);

        const LONG exStyle = GetWindowLongW(window, GWL_EXSTYLE);
        if (!(exStyle & WS_EX_LAYERED))
            SetWindowLongW(window, GWL_EXSTYLE, exStyle | WS_EX_LAYERED);

        BLENDFUNCTION blend{};
        blend.BlendOp = AC_SRC_OVER;
        blend.BlendFlags = 0;
        blend.SourceConstantAlpha = 255;
        blend.AlphaFormat = AC_SRC_ALPHA;

        UpdateLayeredTool* tool = GetInstance();
        if (tool->m_pfnUpdateLayeredWindow) {
            SIZE size{width, height};
            POINT ptSrc{0, 0};
            tool->m_pfnUpdateLayeredWindow(window, windowDC.get(), &ptDst, &size, memoryDC.get(),
                                           &ptSrc, 0, &blend, ULW_ALPHA);
        }
    }   // the Graphics object goes first, then the bitmap, the memory DC, the window DC
}
