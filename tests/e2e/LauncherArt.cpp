#include "tests/e2e/LauncherArt.h"

#include <objidl.h>
#include <gdiplus.h>

namespace {

constexpr int kLauncherPng = 155;

class Module {
public:
    explicit Module(HMODULE h) : h_(h) {}
    ~Module() {
        if (h_) FreeLibrary(h_);
    }
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;
    HMODULE get() const { return h_; }

private:
    HMODULE h_;
};

}  // namespace

bool LauncherArt::Load(const std::wstring& executable) {
    Module module(LoadLibraryExW(executable.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!module.get()) return false;
    HRSRC res = FindResourceW(module.get(), MAKEINTRESOURCEW(kLauncherPng), L"PNG");
    if (!res) return false;
    const DWORD size = SizeofResource(module.get(), res);
    const void* data = LockResource(LoadResource(module.get(), res));
    if (!data || !size) return false;

    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!copy) return false;
    memcpy(GlobalLock(copy), data, size);
    GlobalUnlock(copy);
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(copy, TRUE, &stream))) {
        GlobalFree(copy);
        return false;
    }
    Gdiplus::GpBitmap* bitmap = nullptr;
    const bool decoded = Gdiplus::DllExports::GdipCreateBitmapFromStream(stream, &bitmap) == Gdiplus::Ok;
    stream->Release();
    if (!decoded) return false;
    UINT w = 0, h = 0;
    Gdiplus::DllExports::GdipGetImageWidth(bitmap, &w);
    Gdiplus::DllExports::GdipGetImageHeight(bitmap, &h);
    width_ = static_cast<int>(w);
    height_ = static_cast<int>(h);
    argb_.assign(static_cast<size_t>(w) * h, 0);
    Gdiplus::Rect rect(0, 0, static_cast<INT>(w), static_cast<INT>(h));
    Gdiplus::BitmapData locked{};
    locked.Width = w;
    locked.Height = h;
    locked.Stride = static_cast<INT>(w * 4);
    locked.PixelFormat = PixelFormat32bppARGB;
    locked.Scan0 = argb_.data();
    const bool ok = Gdiplus::DllExports::GdipBitmapLockBits(bitmap, &rect,
                                                            Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf,
                                                            PixelFormat32bppARGB, &locked) == Gdiplus::Ok;
    if (ok) Gdiplus::DllExports::GdipBitmapUnlockBits(bitmap, &locked);
    Gdiplus::DllExports::GdipDisposeImage(bitmap);
    return ok;
}

COLORREF LauncherArt::ColourAt(int x, int y) const {
    const DWORD p = argb_[static_cast<size_t>(y) * width_ + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

BYTE LauncherArt::AlphaAt(int x, int y) const { return static_cast<BYTE>(argb_[static_cast<size_t>(y) * width_ + x] >> 24); }
