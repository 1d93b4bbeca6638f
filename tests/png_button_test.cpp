// The PNG image button on real windows: the frame of its strip that it shows
// in each state (read back from the window's pixels and compared with the
// strip decoded on its own), its size and stacking after SetImage, mouse
// tracking, the hand cursor, double clicks, background erasing, captions,
// the owners' preparation helpers, strips made at run time (a height not
// divisible by four, partial transparency, bytes that do not decode, a
// missing one) and the release of the window DC whichever of the button
// object and its window goes first.
#include "skin/CPngButton.h"
#include "skin/PngButtonSetup.h"

#include <windows.h>
#include <commctrl.h>
#include <objidl.h>
#include <gdiplus.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "framework/CWinApp.h"
#include "framework/DeviceContexts.h"
#include "framework/GdiObjects.h"
#include "res/resource.h"

namespace {

constexpr COLORREF kHostColor = RGB(255, 0, 255);  // the host's background
constexpr COLORREF kSentinel = RGB(1, 254, 3);     // painted to see what is left alone
constexpr UINT kButtonId = 1234;
constexpr POINT kHostAt{200, 150};
constexpr SIZE kHostSize{420, 300};
constexpr RECT kButtonRect{30, 40, 150, 100};  // 120 x 60 before SetImage
constexpr POINT kParkedCursor{1900, 1060};      // far from every test window

// Strips added at run time to a copy of this executable.
constexpr UINT kStrip105 = 4101;      // 20 x 105 RGB: frames 26 high, last row unused
constexpr UINT kStripAlpha = 4102;    // 24 x 96 RGBA with clear and half-clear parts
constexpr UINT kStripGarbage = 4103;  // bytes that are not an image
constexpr UINT kStripMissing = 4242;  // no such resource anywhere

HMODULE Self() { return GetModuleHandleW(nullptr); }

void ParkCursor() { SetCursorPos(kParkedCursor.x, kParkedCursor.y); }

// Dispatches this thread's messages until `done` holds; gives up after a
// few seconds of waiting, leaving the caller to check the condition.
bool PumpUntil(const std::function<bool()>& done, int rounds = 250) {
    for (int i = 0; i < rounds && !done(); ++i) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
    }
    return done();
}

void DrainMessages() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
}

// --- Pixels -----------------------------------------------------------------

struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> rgb;  // 0x00RRGGBB, top row first
    uint32_t At(int x, int y) const { return rgb[static_cast<size_t>(y) * width + x]; }
};

uint32_t ToRgb(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

std::string Hex(uint32_t v) {
    std::ostringstream s;
    s << "0x" << std::hex << v;
    return s.str();
}

// Copies a rectangle of a DC into memory.
Pixels Capture(HDC source, int x, int y, int w, int h) {
    Pixels p;
    p.width = w;
    p.height = h;
    if (w <= 0 || h <= 0)
        return p;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    CBitmap dib;
    dib.Attach(CreateDIBSection(source, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dib.m_hObject || !bits)
        return p;
    {
        CMemoryDC mem(source);
        mem.SelectBitmap(dib);
        BitBlt(mem, 0, 0, w, h, source, x, y, SRCCOPY);
        GdiFlush();
    }
    const auto* px = static_cast<const uint32_t*>(bits);
    p.rgb.assign(px, px + static_cast<size_t>(w) * h);
    for (auto& v : p.rgb)
        v &= 0xFFFFFF;
    return p;
}

SIZE WindowSize(HWND hWnd) {
    RECT rc{};
    GetWindowRect(hWnd, &rc);
    return {rc.right - rc.left, rc.bottom - rc.top};
}

// What the window shows, through its own window DC.
Pixels ReadWindow(HWND hWnd) {
    CClientDC dc(hWnd, true);
    const SIZE size = WindowSize(hWnd);
    return Capture(dc, 0, 0, size.cx, size.cy);
}

void FillWindow(HWND hWnd, COLORREF color) {
    CClientDC dc(hWnd, true);
    CBrush brush;
    brush.CreateSolidBrush(color);
    const SIZE size = WindowSize(hWnd);
    RECT rc{0, 0, size.cx, size.cy};
    FillRect(dc, &rc, brush);
    GdiFlush();
}

::testing::AssertionResult AllPixelsAre(const Pixels& p, COLORREF color) {
    const uint32_t want = ToRgb(color);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            if (p.At(x, y) != want)
                return ::testing::AssertionFailure()
                       << "pixel (" << x << "," << y << ") is " << Hex(p.At(x, y)) << ", not "
                       << Hex(want);
    return ::testing::AssertionSuccess();
}

// --- Strips decoded on their own ------------------------------------------------

struct Strip {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> argb;
    int FrameHeight() const { return height / 4; }
    uint32_t At(int x, int y) const { return argb[static_cast<size_t>(y) * width + x]; }
    bool Ok() const { return width > 0 && height > 0; }
};

std::vector<uint8_t> ResourceBytes(HMODULE module, UINT id) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
    if (!found)
        return {};
    const auto* p = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
    if (!p)
        return {};
    return std::vector<uint8_t>(p, p + SizeofResource(module, found));
}

struct StreamRelease {
    void operator()(IStream* s) const { s->Release(); }
};

Strip DecodeStrip(HMODULE module, UINT id) {
    Strip strip;
    const std::vector<uint8_t> bytes = ResourceBytes(module, id);
    if (bytes.empty())
        return strip;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!block)
        return strip;
    std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    IStream* raw = nullptr;
    if (FAILED(CreateStreamOnHGlobal(block, TRUE, &raw))) {
        GlobalFree(block);
        return strip;
    }
    std::unique_ptr<IStream, StreamRelease> stream(raw);
    Gdiplus::Bitmap bitmap(stream.get());
    if (bitmap.GetLastStatus() != Gdiplus::Ok)
        return strip;
    const int w = static_cast<int>(bitmap.GetWidth()), h = static_cast<int>(bitmap.GetHeight());
    Gdiplus::Rect all(0, 0, w, h);
    Gdiplus::BitmapData data{};
    if (bitmap.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) !=
        Gdiplus::Ok)
        return strip;
    strip.width = w;
    strip.height = h;
    strip.argb.resize(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        std::memcpy(&strip.argb[static_cast<size_t>(y) * w],
                    static_cast<const uint8_t*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride,
                    static_cast<size_t>(w) * 4);
    bitmap.UnlockBits(&data);
    return strip;
}

uint32_t Blend(uint32_t argb, uint32_t under) {
    const uint32_t a = argb >> 24;
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const uint32_t s = (argb >> shift) & 0xFF, u = (under >> shift) & 0xFF;
        out |= ((s * a + u * (255 - a) + 127) / 255) << shift;
    }
    return out;
}

// Whether `shown` is frame k of the strip. Opaque pixels must match exactly
// and clear ones must have left `under` (what was shown before) alone;
// half-clear ones are checked, blended over `under`, only when asked, as
// they depend on how many times the frame was drawn.
::testing::AssertionResult ShowsFrame(const Pixels& shown, const Strip& strip, int k,
                                      const Pixels* under = nullptr, bool checkPartial = false) {
    const int fh = strip.FrameHeight();
    if (shown.width != strip.width || shown.height != fh)
        return ::testing::AssertionFailure() << "the button is " << shown.width << "x"
                                             << shown.height << ", one frame is " << strip.width
                                             << "x" << fh;
    int bad = 0;
    std::ostringstream first;
    for (int y = 0; y < fh; ++y) {
        for (int x = 0; x < strip.width; ++x) {
            const uint32_t src = strip.At(x, k * fh + y);
            const uint32_t a = src >> 24;
            const uint32_t got = shown.At(x, y);
            uint32_t want = src & 0xFFFFFF;
            int tolerance = 0;
            if (a < 255) {
                if (!under)
                    return ::testing::AssertionFailure() << "strip has clear pixels; need what lay under";
                if (a == 0) {
                    want = under->At(x, y);
                } else {
                    if (!checkPartial)
                        continue;
                    want = Blend(src, under->At(x, y));
                    tolerance = 3;
                }
            }
            bool same = true;
            for (int shift = 0; shift <= 16; shift += 8) {
                const int d = static_cast<int>((got >> shift) & 0xFF) -
                              static_cast<int>((want >> shift) & 0xFF);
                if (std::abs(d) > tolerance)
                    same = false;
            }
            if (!same && bad++ == 0)
                first << "(" << x << "," << y << ") shows " << Hex(got) << ", frame " << k
                      << " wants " << Hex(want);
        }
    }
    if (bad)
        return ::testing::AssertionFailure() << bad << " pixels differ from frame " << k
                                             << ", first " << first.str();
    return ::testing::AssertionSuccess();
}

// --- Strips made at run time ------------------------------------------------------

uint32_t Crc32(const uint8_t* p, size_t n) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int b = 0; b < 8; ++b)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutBE32(std::vector<uint8_t>& v, uint32_t x) {
    for (int shift = 24; shift >= 0; shift -= 8)
        v.push_back(static_cast<uint8_t>(x >> shift));
}

void PutChunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data) {
    PutBE32(png, static_cast<uint32_t>(data.size()));
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    png.insert(png.end(), body.begin(), body.end());
    PutBE32(png, Crc32(body.data(), body.size()));
}

// A PNG, 8 bits per channel, RGB or RGBA, compressed with stored blocks only.
std::vector<uint8_t> EncodePng(int w, int h, bool alpha,
                               const std::function<uint32_t(int, int)>& argbAt) {
    std::vector<uint8_t> raw;
    for (int y = 0; y < h; ++y) {
        raw.push_back(0);  // no filter
        for (int x = 0; x < w; ++x) {
            const uint32_t c = argbAt(x, y);
            raw.push_back(static_cast<uint8_t>(c >> 16));
            raw.push_back(static_cast<uint8_t>(c >> 8));
            raw.push_back(static_cast<uint8_t>(c));
            if (alpha)
                raw.push_back(static_cast<uint8_t>(c >> 24));
        }
    }
    std::vector<uint8_t> z{0x78, 0x01};
    size_t pos = 0;
    do {
        const size_t n = std::min<size_t>(65535, raw.size() - pos);
        const bool last = pos + n == raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(static_cast<uint8_t>(n));
        z.push_back(static_cast<uint8_t>(n >> 8));
        z.push_back(static_cast<uint8_t>(~n));
        z.push_back(static_cast<uint8_t>(~n >> 8));
        z.insert(z.end(), raw.begin() + pos, raw.begin() + pos + n);
        pos += n;
    } while (pos < raw.size());
    uint32_t s1 = 1, s2 = 0;
    for (uint8_t b : raw) {
        s1 = (s1 + b) % 65521;
        s2 = (s2 + s1) % 65521;
    }
    PutBE32(z, (s2 << 16) | s1);

    std::vector<uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    PutBE32(ihdr, static_cast<uint32_t>(w));
    PutBE32(ihdr, static_cast<uint32_t>(h));
    ihdr.insert(ihdr.end(), {8, static_cast<uint8_t>(alpha ? 6 : 2), 0, 0, 0});
    PutChunk(png, "IHDR", ihdr);
    PutChunk(png, "IDAT", z);
    PutChunk(png, "IEND", {});
    return png;
}

constexpr uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    return (a << 24) | (r << 16) | (g << 8) | b;
}

// 20 x 105: every row differs, so a frame 26 rows high read from the wrong
// rows shows; row 104 belongs to no frame.
uint32_t Strip105Pixel(int x, int y) {
    return Argb(255, (y * 2) & 0xFF, static_cast<uint32_t>(x * 12), static_cast<uint32_t>(255 - y));
}

// 24 x 96, frames 24 high. Frames 0 and 2 are opaque; frame 1 is opaque on
// its left third, half clear (alpha 128) in the middle and clear on the right.
uint32_t StripAlphaPixel(int x, int y) {
    const int k = y / 24, row = y % 24;
    switch (k) {
    case 0: return Argb(255, static_cast<uint32_t>(x * 10), static_cast<uint32_t>(row * 10), 40);
    case 1:
        if (x < 8) return Argb(255, 200, 30, static_cast<uint32_t>(row * 5));
        if (x < 16) return Argb(128, 0, 0, 255);
        return Argb(0, 0, 0, 0);
    case 2: return Argb(255, 10, 220, static_cast<uint32_t>(10 + x * 4));
    default: return Argb(255, 90, 90, 90);
    }
}

// A copy of this executable with the run-time strips added, loaded as data.
class RuntimeStrips {
public:
    static RuntimeStrips& Get() {
        static RuntimeStrips strips;
        return strips;
    }
    HMODULE Module() const { return m_module; }
    const std::string& Problem() const { return m_problem; }

    ~RuntimeStrips() {
        if (m_module)
            FreeLibrary(m_module);
        if (!m_path.empty())
            DeleteFileW(m_path.c_str());
    }

private:
    RuntimeStrips() {
        wchar_t self[MAX_PATH], temp[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        GetTempPathW(MAX_PATH, temp);
        m_path = std::wstring(temp) + L"png_button_strips_" + std::to_wstring(GetCurrentProcessId()) +
                 L".exe";
        if (!CopyFileW(self, m_path.c_str(), FALSE)) {
            m_problem = "cannot copy the test executable";
            m_path.clear();
            return;
        }
        HANDLE update = BeginUpdateResourceW(m_path.c_str(), FALSE);
        if (!update) {
            m_problem = "BeginUpdateResource failed, error " + std::to_string(GetLastError());
            return;
        }
        const WORD neutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
        const std::vector<uint8_t> s105 = EncodePng(20, 105, false, Strip105Pixel);
        const std::vector<uint8_t> sAlpha = EncodePng(24, 96, true, StripAlphaPixel);
        const char garbage[] = "these bytes are no picture at all, just text";
        bool ok = UpdateResourceW(update, L"PNG", MAKEINTRESOURCEW(kStrip105), neutral,
                                  const_cast<uint8_t*>(s105.data()), static_cast<DWORD>(s105.size())) &&
                  UpdateResourceW(update, L"PNG", MAKEINTRESOURCEW(kStripAlpha), neutral,
                                  const_cast<uint8_t*>(sAlpha.data()), static_cast<DWORD>(sAlpha.size())) &&
                  UpdateResourceW(update, L"PNG", MAKEINTRESOURCEW(kStripGarbage), neutral,
                                  const_cast<char*>(garbage), sizeof(garbage) - 1);
        if (!EndUpdateResourceW(update, ok ? FALSE : TRUE) || !ok) {
            m_problem = "UpdateResource/EndUpdateResource failed, error " + std::to_string(GetLastError());
            return;
        }
        m_module = LoadLibraryExW(m_path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (!m_module)
            m_problem = "the updated copy does not load, error " + std::to_string(GetLastError());
        else if (ResourceBytes(m_module, kStrip105).empty())
            m_problem = "the updated copy lacks the added strips";
    }

    std::wstring m_path;
    HMODULE m_module = nullptr;
    std::string m_problem;
};

// Makes AfxGetResourceHandle() answer `module` while it lives.
class ResourceModuleScope {
public:
    explicit ResourceModuleScope(HMODULE module) {
        if (CWinApp* app = AfxGetApp()) {
            m_app = app;
            m_saved = app->m_hInstance;
        } else {
            m_own = std::make_unique<CWinApp>(L"png button test");
            m_app = m_own.get();
        }
        m_app->m_hInstance = module;
    }
    ~ResourceModuleScope() {
        if (!m_own)
            m_app->m_hInstance = m_saved;
    }
    ResourceModuleScope(const ResourceModuleScope&) = delete;
    ResourceModuleScope& operator=(const ResourceModuleScope&) = delete;

private:
    CWinApp* m_app = nullptr;
    HINSTANCE m_saved = nullptr;
    std::unique_ptr<CWinApp> m_own;
};

HMODULE StripModule(UINT id) {
    return id == kStrip105 || id == kStripAlpha || id == kStripGarbage ? RuntimeStrips::Get().Module()
                                                                       : Self();
}

// --- The host window and its button -------------------------------------------------

LPCWSTR HostClass() {
    static const wchar_t* name = [] {
        static CBrush background;
        background.CreateSolidBrush(kHostColor);
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = Self();
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = background;
        wc.lpszClassName = L"PngButtonTestHost";
        RegisterClassW(&wc);
        return wc.lpszClassName;
    }();
    return name;
}

// A top-level window that counts the notifications of its children.
class CTestHost : public CWnd {
public:
    int Count(UINT code) const {
        int n = 0;
        for (const auto& c : m_commands)
            if (c.first == kButtonId && c.second == code)
                ++n;
        return n;
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_COMMAND && lParam)
            m_commands.push_back({LOWORD(wParam), HIWORD(wParam)});
        if (message == WM_CTLCOLORBTN)
            ++m_nCtlColorBtn;
        if (message == WM_SETCURSOR)
            ++m_nSetCursor;
        return CWnd::WindowProc(message, wParam, lParam);
    }

    std::vector<std::pair<UINT, UINT>> m_commands;  // (control id, notification code)
    int m_nCtlColorBtn = 0;
    int m_nSetCursor = 0;
};

struct ButtonOnHost {
    CTestHost host;
    std::unique_ptr<CPngButton> button = std::make_unique<CPngButton>();
    HWND hButton = nullptr;

    // The host and a plain push button control on it; bound to the
    // CPngButton unless `bind` is false. `before` may add siblings first.
    ::testing::AssertionResult Create(LPCWSTR caption = L"Button1", DWORD style = BS_PUSHBUTTON,
                                      bool bind = true,
                                      const std::function<void(HWND)>& before = nullptr) {
        if (!host.CreateEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, HostClass(), L"png button host",
                           WS_POPUP | WS_VISIBLE, kHostAt.x, kHostAt.y, kHostSize.cx, kHostSize.cy,
                           nullptr, nullptr))
            return ::testing::AssertionFailure() << "no host window";
        if (before)
            before(host);
        hButton = CreateWindowExW(0, L"Button", caption, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style,
                                  kButtonRect.left, kButtonRect.top,
                                  kButtonRect.right - kButtonRect.left,
                                  kButtonRect.bottom - kButtonRect.top, host,
                                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kButtonId)), Self(),
                                  nullptr);
        if (!hButton)
            return ::testing::AssertionFailure() << "no button control";
        if (bind && !button->SubclassWindow(hButton))
            return ::testing::AssertionFailure() << "the button control was not bound";
        UpdateWindow(host);
        return ::testing::AssertionSuccess();
    }

    // The owners' protocol, with strips of the run-time module where needed.
    void Prepare(UINT id) {
        if (StripModule(id) != Self()) {
            ResourceModuleScope scope(StripModule(id));
            PreparePngButton(*button, id);
        } else {
            PreparePngButton(*button, id);
        }
        UpdateWindow(host);
    }

    Pixels Shown() const { return ReadWindow(hButton); }
};

// The DC the button's Graphics draws on.
HDC SurfaceDC(CPngButton& button) {
    if (!button.m_pGraphics)
        return nullptr;
    HDC hdc = button.m_pGraphics->GetHDC();
    button.m_pGraphics->ReleaseHDC(hdc);
    return hdc;
}

class PngButtonTest : public ::testing::Test {
protected:
    void SetUp() override { ParkCursor(); }
    void TearDown() override {
        ParkCursor();
        DrainMessages();
    }
};

// --- Frames shown in each state ---------------------------------------------------------

enum class Act {
    None, MouseMove, MouseHover, MouseLeave, LButtonDown, LButtonUp, LButtonDblClk,
    PushState, ReleaseState, SpaceDown, SpaceUp,
    DragOutside, DragInside, LButtonUpOutside,  // with the left button held
};

void Apply(HWND b, Act act) {
    const LPARAM inside = MAKELPARAM(3, 3);
    const LPARAM outside = MAKELPARAM(200, 200);  // right of and below every strip
    switch (act) {
    case Act::None: break;
    case Act::MouseMove: SendMessageW(b, WM_MOUSEMOVE, 0, inside); break;
    case Act::MouseHover: SendMessageW(b, WM_MOUSEHOVER, 0, inside); break;
    case Act::MouseLeave: SendMessageW(b, WM_MOUSELEAVE, 0, 0); break;
    case Act::LButtonDown: SendMessageW(b, WM_LBUTTONDOWN, MK_LBUTTON, inside); break;
    case Act::LButtonUp: SendMessageW(b, WM_LBUTTONUP, 0, inside); break;
    case Act::LButtonDblClk: SendMessageW(b, WM_LBUTTONDBLCLK, MK_LBUTTON, inside); break;
    case Act::PushState: SendMessageW(b, BM_SETSTATE, TRUE, 0); break;
    case Act::ReleaseState: SendMessageW(b, BM_SETSTATE, FALSE, 0); break;
    case Act::SpaceDown: SendMessageW(b, WM_KEYDOWN, VK_SPACE, 0x00390001); break;
    case Act::SpaceUp: SendMessageW(b, WM_KEYUP, VK_SPACE, static_cast<LPARAM>(0xC0390001u)); break;
    case Act::DragOutside: SendMessageW(b, WM_MOUSEMOVE, MK_LBUTTON, outside); break;
    case Act::DragInside: SendMessageW(b, WM_MOUSEMOVE, MK_LBUTTON, inside); break;
    case Act::LButtonUpOutside: SendMessageW(b, WM_LBUTTONUP, 0, outside); break;
    }
    UpdateWindow(b);
}

struct Step {
    const char* what;
    Act act;
    int frame;
    BOOL hover;
    BOOL tracking;
    int clicks;  // BN_CLICKED so far
};

const Step kStateSteps[] = {
    {"first paint", Act::None, 0, FALSE, FALSE, 0},
    {"first move only arms tracking", Act::MouseMove, 0, FALSE, TRUE, 0},
    {"second move", Act::MouseMove, 0, FALSE, TRUE, 0},
    {"hover", Act::MouseHover, 1, TRUE, TRUE, 0},
    {"press", Act::LButtonDown, 2, TRUE, TRUE, 0},
    {"release while resting", Act::LButtonUp, 1, TRUE, TRUE, 1},
    {"second press of a double click", Act::LButtonDblClk, 2, TRUE, TRUE, 1},
    {"second release", Act::LButtonUp, 1, TRUE, TRUE, 2},
    {"leave", Act::MouseLeave, 0, FALSE, FALSE, 2},
    {"next visit arms again", Act::MouseMove, 0, FALSE, TRUE, 2},
    {"pushed state without hover", Act::PushState, 2, FALSE, TRUE, 2},
    {"pushed state ends", Act::ReleaseState, 0, FALSE, TRUE, 2},
    {"space bar down", Act::SpaceDown, 2, FALSE, TRUE, 2},
    {"space bar up", Act::SpaceUp, 0, FALSE, TRUE, 3},
    {"hover again", Act::MouseHover, 1, TRUE, TRUE, 3},
    {"pressed wins over hover", Act::PushState, 2, TRUE, TRUE, 3},
    {"release back to hover", Act::ReleaseState, 1, TRUE, TRUE, 3},
    {"leave again", Act::MouseLeave, 0, FALSE, FALSE, 3},
    {"another visit", Act::MouseMove, 0, FALSE, TRUE, 3},
    {"resting", Act::MouseHover, 1, TRUE, TRUE, 3},
    {"press before dragging", Act::LButtonDown, 2, TRUE, TRUE, 3},
    {"dragged off while pressed", Act::DragOutside, 1, TRUE, TRUE, 3},
    {"dragged back", Act::DragInside, 2, TRUE, TRUE, 3},
    {"dragged off again", Act::DragOutside, 1, TRUE, TRUE, 3},
    {"released off the button: no click", Act::LButtonUpOutside, 1, TRUE, TRUE, 3},
    {"final leave", Act::MouseLeave, 0, FALSE, FALSE, 3},
};

struct StripCase {
    const char* name;
    UINT id;
    int width;
    int height;
};

const StripCase kStrips[] = {
    {"Png160", 160, 28, 112},  {"Png162", 162, 24, 96},   {"Png164", 164, 106, 120},
    {"Png166", 166, 30, 120},  {"Png167", 167, 64, 120},  {"Png168", 168, 29, 120},
    {"Png169", 169, 29, 120},  {"Png170", 170, 82, 120},  {"Png171", 171, 61, 120},
    {"Png189", 189, 29, 120},  {"Png1000", 1000, 87, 120}, {"Png175", 175, 74, 104},
    {"Png176", 176, 74, 104},  {"RunTime105High", kStrip105, 20, 105},
    {"RunTimeAlpha", kStripAlpha, 24, 96},
};

class PngButtonStrip : public PngButtonTest, public ::testing::WithParamInterface<StripCase> {
protected:
    void SetUp() override {
        PngButtonTest::SetUp();
        if (StripModule(GetParam().id) == nullptr)
            GTEST_SKIP() << "no run-time strips: " << RuntimeStrips::Get().Problem();
    }
};

TEST_P(PngButtonStrip, ShowsTheFrameOfEachState) {
    const StripCase& c = GetParam();
    const Strip strip = DecodeStrip(StripModule(c.id), c.id);
    ASSERT_TRUE(strip.Ok());
    ASSERT_EQ(strip.width, c.width);
    ASSERT_EQ(strip.height, c.height);

    ButtonOnHost h;
    ASSERT_TRUE(h.Create(L"Button1"));
    h.Prepare(c.id);
    ASSERT_NE(h.button->m_pImage, nullptr);
    ASSERT_NE(h.button->m_pGraphics, nullptr);

    Pixels before = h.Shown();
    for (const Step& step : kStateSteps) {
        SCOPED_TRACE(step.what);
        Apply(h.hButton, step.act);
        const Pixels shown = h.Shown();
        EXPECT_TRUE(ShowsFrame(shown, strip, step.frame, &before));
        EXPECT_EQ(h.button->m_bHover, step.hover);
        EXPECT_EQ(h.button->m_bTracking, step.tracking);
        EXPECT_EQ(h.host.Count(BN_CLICKED), step.clicks);
        before = shown;
    }
    EXPECT_EQ(h.host.Count(BN_DOUBLECLICKED), 0);
}

INSTANTIATE_TEST_SUITE_P(Strips, PngButtonStrip, ::testing::ValuesIn(kStrips),
                         [](const ::testing::TestParamInfo<StripCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_P(PngButtonStrip, TakesTheSizeOfOneFrameInPlace) {
    const StripCase& c = GetParam();
    ButtonOnHost h;
    ASSERT_TRUE(h.Create());
    RECT placed{};
    GetWindowRect(h.hButton, &placed);
    h.Prepare(c.id);
    EXPECT_EQ(h.button->m_nImageWidth, c.width);
    EXPECT_EQ(h.button->m_nImageHeight, c.height);
    EXPECT_EQ(h.button->m_nFrameHeight, c.height / 4);
    RECT now{};
    GetWindowRect(h.hButton, &now);
    EXPECT_EQ(now.left, placed.left);
    EXPECT_EQ(now.top, placed.top);
    EXPECT_EQ(now.right - now.left, c.width);
    EXPECT_EQ(now.bottom - now.top, c.height / 4);
}

// --- Half-clear pixels and the background that is never erased ---------------------------

TEST_F(PngButtonTest, ClearPartsShowTheFrameDrawnLastAndHalfClearOnesBlendOverIt) {
    if (!RuntimeStrips::Get().Module())
        GTEST_SKIP() << "no run-time strips: " << RuntimeStrips::Get().Problem();
    const Strip strip = DecodeStrip(RuntimeStrips::Get().Module(), kStripAlpha);
    ASSERT_TRUE(strip.Ok());
    ASSERT_EQ(strip.At(12, 24) >> 24, 128u);  // the decoder kept the half-clear part
    ASSERT_EQ(strip.At(20, 24) >> 24, 0u);

    struct Case {
        const char* what;
        Act before;        // brings the frame that frame 1 is then drawn over
        bool quietHover;   // hover set without painting, so that `draw` paints once
        Act draw;          // paints frame 1 exactly once
        int underFrame;
    };
    const Case cases[] = {
        {"hover over the normal frame", Act::None, false, Act::MouseHover, 0},
        {"release of the space bar over the pressed frame", Act::SpaceDown, true, Act::SpaceUp, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ButtonOnHost h;
        ASSERT_TRUE(h.Create());
        h.Prepare(kStripAlpha);
        Apply(h.hButton, c.before);
        const Pixels under = h.Shown();
        ASSERT_TRUE(ShowsFrame(under, strip, c.underFrame));
        if (c.quietHover) {
            SendMessageW(h.hButton, WM_MOUSEHOVER, 0, 0);
            ValidateRect(h.hButton, nullptr);
        }
        Apply(h.hButton, c.draw);
        EXPECT_TRUE(ShowsFrame(h.Shown(), strip, 1, &under, true));
    }
}

TEST_F(PngButtonTest, EraseBackgroundAnswersTrueAndPaintsNothing) {
    struct Case {
        const char* what;
        bool bind;
        bool erases;
    };
    const Case cases[] = {
        {"the PNG button", true, false},
        // The platform's own owner-drawn button does erase: what the PNG button prevents.
        {"an unbound owner-drawn button", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ButtonOnHost h;
        ASSERT_TRUE(h.Create(L"Button1", c.bind ? BS_PUSHBUTTON : BS_OWNERDRAW, c.bind));
        if (c.bind)
            h.Prepare(166);
        const SIZE size = WindowSize(h.hButton);
        CClientDC screen(h.hButton);
        CBitmap target;
        target.Attach(CreateCompatibleBitmap(screen, size.cx, size.cy));
        CMemoryDC mem(screen);
        mem.SelectBitmap(target);
        CBrush sentinel;
        sentinel.CreateSolidBrush(kSentinel);
        RECT all{0, 0, size.cx, size.cy};
        FillRect(mem, &all, sentinel);

        const int askedBefore = h.host.m_nCtlColorBtn;
        const LRESULT result = SendMessageW(h.hButton, WM_ERASEBKGND, reinterpret_cast<WPARAM>(static_cast<HDC>(mem)), 0);
        const Pixels after = Capture(mem, 0, 0, size.cx, size.cy);
        if (c.erases) {
            EXPECT_FALSE(AllPixelsAre(after, kSentinel));
        } else {
            EXPECT_EQ(result, TRUE);
            EXPECT_TRUE(AllPixelsAre(after, kSentinel));
            EXPECT_EQ(h.host.m_nCtlColorBtn, askedBefore) << "a background brush was asked for";
        }
    }
}

// --- Captions, focus and the default-button style ------------------------------------------

TEST_F(PngButtonTest, NeverDrawsCaptionFocusOrDefaultMark) {
    struct Case {
        LPCWSTR caption;
        DWORD style;
        UINT id;
    };
    const Case cases[] = {
        {L"X", BS_PUSHBUTTON, 166},
        {L"max", BS_PUSHBUTTON, 168},
        {L"Button1", BS_DEFPUSHBUTTON, 175},
        {L"WWWWWWWWWWWWWWWWWWWW", BS_PUSHBUTTON, 176},
        {L"还原确定取消", BS_DEFPUSHBUTTON | BS_NOTIFY, 175},
        {L"", BS_PUSHBUTTON, 160},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "strip " << c.id << ", style " << c.style);
        const Strip strip = DecodeStrip(Self(), c.id);
        ButtonOnHost h;
        ASSERT_TRUE(h.Create(c.caption, c.style));
        h.Prepare(c.id);
        EXPECT_TRUE(ShowsFrame(h.Shown(), strip, 0));
        SetFocus(h.hButton);
        InvalidateRect(h.hButton, nullptr, TRUE);
        UpdateWindow(h.hButton);
        EXPECT_EQ(GetFocus(), h.hButton);
        EXPECT_TRUE(ShowsFrame(h.Shown(), strip, 0)) << "focused";
        Apply(h.hButton, Act::PushState);
        EXPECT_TRUE(ShowsFrame(h.Shown(), strip, 2)) << "pushed and focused";
        Apply(h.hButton, Act::ReleaseState);
        // The caption is still the template's: only never drawn.
        wchar_t text[64] = {};
        GetWindowTextW(h.hButton, text, 64);
        EXPECT_STREQ(text, c.caption);
        EXPECT_EQ(GetWindowLongW(h.hButton, GWL_STYLE) & BS_TYPEMASK, static_cast<LONG>(BS_OWNERDRAW));
    }
}

// The frame goes to the button's own surface: neither the DC nor the
// rectangle of the owner-draw notification plays a part.
TEST_F(PngButtonTest, DrawItemDrawsThroughItsOwnSurfaceOnly) {
    const Strip strip = DecodeStrip(Self(), 166);
    ButtonOnHost h;
    ASSERT_TRUE(h.Create());
    h.Prepare(166);
    CClientDC screen(h.hButton);
    CBitmap target;
    target.Attach(CreateCompatibleBitmap(screen, 40, 40));
    CMemoryDC mem(screen);
    mem.SelectBitmap(target);
    CBrush sentinel;
    sentinel.CreateSolidBrush(kSentinel);
    RECT all{0, 0, 40, 40};
    FillRect(mem, &all, sentinel);

    struct Case {
        UINT state;
        UINT action;
        int frame;
    };
    const Case cases[] = {
        {ODS_SELECTED, ODA_SELECT, 2},
        {0, ODA_DRAWENTIRE, 0},
        {ODS_SELECTED | ODS_FOCUS | ODS_DEFAULT, ODA_FOCUS, 2},
        {ODS_FOCUS | ODS_DISABLED, ODA_DRAWENTIRE, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "state " << c.state << ", action " << c.action);
        DRAWITEMSTRUCT dis{};
        dis.CtlType = ODT_BUTTON;
        dis.CtlID = kButtonId;
        dis.itemAction = c.action;
        dis.itemState = c.state;
        dis.hwndItem = h.hButton;
        dis.hDC = mem;
        dis.rcItem = {5, 5, 12, 9};
        h.button->DrawItem(&dis);
        GdiFlush();
        EXPECT_TRUE(AllPixelsAre(Capture(mem, 0, 0, 40, 40), kSentinel)) << "drew on the given DC";
        EXPECT_TRUE(ShowsFrame(h.Shown(), strip, c.frame));
    }
}

// --- Clicks ----------------------------------------------------------------------------

TEST_F(PngButtonTest, DoubleClickGivesTwoClicksAndNoDoubleClick) {
    struct Case {
        const char* what;
        DWORD style;
        bool bind;
        int clicked;
        int doubleClicked;
    };
    const Case cases[] = {
        {"push button", BS_PUSHBUTTON, true, 2, 0},
        {"default push button", BS_DEFPUSHBUTTON, true, 2, 0},
        {"push button with notifications", BS_PUSHBUTTON | BS_NOTIFY, true, 2, 0},
        // What the platform does without the PNG button: one click and a double click.
        {"unbound owner-drawn button", BS_OWNERDRAW, false, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ButtonOnHost h;
        ASSERT_TRUE(h.Create(L"Button1", c.style, c.bind));
        if (c.bind)
            h.Prepare(166);
        for (Act act : {Act::LButtonDown, Act::LButtonUp, Act::LButtonDblClk, Act::LButtonUp})
            Apply(h.hButton, act);
        EXPECT_EQ(h.host.Count(BN_CLICKED), c.clicked);
        EXPECT_EQ(h.host.Count(BN_DOUBLECLICKED), c.doubleClicked);
    }
}

// --- Cursor ------------------------------------------------------------------------------

TEST_F(PngButtonTest, ShowsTheHandCursorWhateverTheHitTestAndMessage) {
    const HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);
    const HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    ASSERT_NE(hand, arrow);
    struct Case {
        WORD hitTest;
        WORD message;
    };
    const Case cases[] = {
        {HTCLIENT, WM_MOUSEMOVE}, {HTCLIENT, WM_LBUTTONDOWN}, {HTCLIENT, WM_RBUTTONDOWN},
        {HTNOWHERE, WM_MOUSEMOVE}, {HTBORDER, 0}, {static_cast<WORD>(HTERROR), WM_LBUTTONDOWN},
    };
    ButtonOnHost h;
    ASSERT_TRUE(h.Create());
    h.Prepare(166);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "hit test " << static_cast<short>(c.hitTest)
                                          << ", message " << c.message);
        SetCursor(arrow);
        ASSERT_EQ(GetCursor(), arrow);
        const int parentAsked = h.host.m_nSetCursor;
        const LRESULT result = SendMessageW(h.hButton, WM_SETCURSOR,
                                            reinterpret_cast<WPARAM>(h.hButton),
                                            MAKELPARAM(c.hitTest, c.message));
        EXPECT_EQ(result, TRUE);
        EXPECT_EQ(GetCursor(), hand);
        EXPECT_EQ(h.host.m_nSetCursor, parentAsked) << "the parent was asked for a cursor";
    }
}

// --- Mouse tracking --------------------------------------------------------------------------

TRACKMOUSEEVENT QueryTracking() {
    TRACKMOUSEEVENT tme{};
    tme.cbSize = sizeof(tme);
    tme.dwFlags = TME_QUERY;
    TrackMouseEvent(&tme);
    return tme;
}

TEST_F(PngButtonTest, ArmsTrackingOncePerVisit) {
    ButtonOnHost h;
    ASSERT_TRUE(h.Create());
    h.Prepare(166);
    // The platform keeps a request only for the window under the pointer.
    RECT rc{};
    GetWindowRect(h.hButton, &rc);
    SetCursorPos(rc.left + 5, rc.top + 5);
    ASSERT_EQ(WindowFromPoint(POINT{rc.left + 5, rc.top + 5}), h.hButton);

    SendMessageW(h.hButton, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_TRUE(h.button->m_bTracking);
    TRACKMOUSEEVENT armed = QueryTracking();
    EXPECT_EQ(armed.hwndTrack, h.hButton);
    EXPECT_EQ(armed.dwFlags & (TME_HOVER | TME_LEAVE), static_cast<DWORD>(TME_HOVER | TME_LEAVE));
    EXPECT_EQ(armed.dwHoverTime, 1u);

    // A request of our own with a hover time of its own: a second request by
    // the button would replace it.
    TRACKMOUSEEVENT marker{sizeof(marker), TME_HOVER | TME_LEAVE, h.hButton, 4321};
    ASSERT_TRUE(TrackMouseEvent(&marker));
    ASSERT_EQ(QueryTracking().dwHoverTime, 4321u);
    SendMessageW(h.hButton, WM_MOUSEMOVE, 0, MAKELPARAM(6, 6));
    SendMessageW(h.hButton, WM_MOUSEMOVE, 0, MAKELPARAM(7, 6));
    EXPECT_TRUE(h.button->m_bTracking);
    EXPECT_EQ(QueryTracking().dwHoverTime, 4321u) << "the button asked again during one visit";

    // Leaving ends the visit; the next move asks again.
    SendMessageW(h.hButton, WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(h.button->m_bTracking);
    EXPECT_FALSE(h.button->m_bHover);
    SendMessageW(h.hButton, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_TRUE(h.button->m_bTracking);
    EXPECT_EQ(QueryTracking().dwHoverTime, 1u);

    TRACKMOUSEEVENT cancel{sizeof(cancel), TME_CANCEL | TME_HOVER | TME_LEAVE, h.hButton, 0};
    TrackMouseEvent(&cancel);
}

TEST_F(PngButtonTest, RealPointerRestingThenLeaving) {
    const Strip strip = DecodeStrip(Self(), 166);
    ButtonOnHost h;
    ASSERT_TRUE(h.Create());
    h.Prepare(166);
    EXPECT_TRUE(ShowsFrame(h.Shown(), strip, 0));

    RECT rc{};
    GetWindowRect(h.hButton, &rc);
    SetCursorPos((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    EXPECT_TRUE(PumpUntil([&] { return h.button->m_bHover == TRUE; }))
        << "no hover notification with the pointer resting on the button";
    EXPECT_TRUE(h.button->m_bTracking);
    UpdateWindow(h.hButton);
    EXPECT_TRUE(ShowsFrame(h.Shown(), strip, 1));
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));

    ParkCursor();
    EXPECT_TRUE(PumpUntil([&] { return h.button->m_bTracking == FALSE; }))
        << "no leave notification after the pointer went away";
    EXPECT_FALSE(h.button->m_bHover);
    UpdateWindow(h.hButton);
    EXPECT_TRUE(ShowsFrame(h.Shown(), strip, 0));
}

// --- Stacking, moving, replacing ------------------------------------------------------------

TEST_F(PngButtonTest, SetImageBringsTheButtonToTheTopOfItsSiblings) {
    HWND sibling = nullptr;
    ButtonOnHost h;
    ASSERT_TRUE(h.Create(L"Button1", BS_PUSHBUTTON, true, [&](HWND host) {
        sibling = CreateWindowExW(0, L"Static", L"under", WS_CHILD | WS_VISIBLE, 20, 30, 60, 40,
                                  host, nullptr, Self(), nullptr);
    }));
    ASSERT_NE(sibling, nullptr);
    ASSERT_EQ(GetWindow(h.host, GW_CHILD), sibling) << "precondition: the button starts below";
    h.Prepare(166);
    EXPECT_EQ(GetWindow(h.host, GW_CHILD), h.hButton);
    EXPECT_EQ(GetWindow(h.hButton, GW_HWNDNEXT), sibling);
}

TEST_F(PngButtonTest, MovedLaterKeepsDrawingWithTheSameSurface) {
    const Strip strip = DecodeStrip(Self(), 166);
    ButtonOnHost h;
    ASSERT_TRUE(h.Create());
    h.Prepare(166);
    Gdiplus::Graphics* const surface = h.button->m_pGraphics;
    const HDC surfaceDC = SurfaceDC(*h.button);

    MoveWindow(h.hButton, 200, 150, 30, 30, TRUE);
    UpdateWindow(h.host);
    Apply(h.hButton, Act::PushState);
    EXPECT_EQ(h.button->m_pGraphics, surface);
    EXPECT_EQ(SurfaceDC(*h.button), surfaceDC);
    CClientDC hostDC(h.host);
    EXPECT_TRUE(ShowsFrame(Capture(hostDC, 200, 150, 30, 30), strip, 2)) << "at the new place";
    EXPECT_TRUE(AllPixelsAre(Capture(hostDC, kButtonRect.left, kButtonRect.top, 30, 30), kHostColor))
        << "the old place";
}

TEST_F(PngButtonTest, SecondSetImageReplacesImageAndSurface) {
    const Strip strip = DecodeStrip(Self(), 175);
    ButtonOnHost h;
    ASSERT_TRUE(h.Create());
    h.Prepare(166);
    const HDC first = SurfaceDC(*h.button);
    ASSERT_NE(first, nullptr);
    h.button->SetImage(175);
    UpdateWindow(h.host);
    EXPECT_EQ(h.button->m_nImageWidth, 74);
    EXPECT_EQ(h.button->m_nFrameHeight, 26);
    EXPECT_EQ(WindowSize(h.hButton).cx, 74);
    EXPECT_EQ(WindowSize(h.hButton).cy, 26);
    Apply(h.hButton, Act::MouseHover);
    EXPECT_TRUE(ShowsFrame(h.Shown(), strip, 1));
    const HDC second = SurfaceDC(*h.button);
    if (second != first) {
        EXPECT_EQ(ReleaseDC(h.hButton, first), 0) << "the first window DC was kept";
    }
}

// --- Missing and undecodable strips ------------------------------------------------------------

TEST_F(PngButtonTest, MissingStripLeavesTheButtonAloneAndDrawsNothing) {
    ASSERT_TRUE(ResourceBytes(Self(), kStripMissing).empty());
    ButtonOnHost h;
    ASSERT_TRUE(h.Create());
    h.Prepare(kStripMissing);
    EXPECT_EQ(h.button->m_pImage, nullptr);
    EXPECT_EQ(h.button->m_pGraphics, nullptr);
    EXPECT_EQ(h.button->m_nImageWidth, 0);
    EXPECT_EQ(h.button->m_nFrameHeight, 0);
    EXPECT_EQ(WindowSize(h.hButton).cx, kButtonRect.right - kButtonRect.left);
    EXPECT_EQ(WindowSize(h.hButton).cy, kButtonRect.bottom - kButtonRect.top);

    FillWindow(h.hButton, kSentinel);
    for (Act act : {Act::None, Act::MouseMove, Act::MouseHover, Act::PushState, Act::ReleaseState}) {
        InvalidateRect(h.hButton, nullptr, TRUE);
        Apply(h.hButton, act);
        EXPECT_TRUE(AllPixelsAre(h.Shown(), kSentinel));
    }
}

TEST_F(PngButtonTest, UndecodableStripShrinksTheButtonAndDrawsNothing) {
    if (!RuntimeStrips::Get().Module())
        GTEST_SKIP() << "no run-time strips: " << RuntimeStrips::Get().Problem();
    ButtonOnHost h;
    ASSERT_TRUE(h.Create());
    h.Prepare(kStripGarbage);
    ASSERT_NE(h.button->m_pImage, nullptr) << "the image object exists without a picture";
    EXPECT_NE(h.button->m_pImage->GetLastStatus(), Gdiplus::Ok);
    EXPECT_EQ(h.button->m_nImageWidth, 0);
    EXPECT_EQ(h.button->m_nImageHeight, 0);
    EXPECT_EQ(h.button->m_nFrameHeight, 0);
    EXPECT_EQ(WindowSize(h.hButton).cx, 0);
    EXPECT_EQ(WindowSize(h.hButton).cy, 0);
    EXPECT_NE(h.button->m_pGraphics, nullptr);

    // The owner may still give it a size: nothing is drawn there either.
    MoveWindow(h.hButton, kButtonRect.left, kButtonRect.top, 40, 40, TRUE);
    UpdateWindow(h.host);
    FillWindow(h.hButton, kSentinel);
    for (Act act : {Act::None, Act::MouseHover, Act::PushState, Act::ReleaseState}) {
        InvalidateRect(h.hButton, nullptr, TRUE);
        Apply(h.hButton, act);
        EXPECT_TRUE(AllPixelsAre(h.Shown(), kSentinel));
    }
    DRAWITEMSTRUCT dis{};
    dis.CtlType = ODT_BUTTON;
    dis.CtlID = kButtonId;
    dis.itemAction = ODA_DRAWENTIRE;
    dis.itemState = ODS_SELECTED;
    dis.hwndItem = h.hButton;
    h.button->DrawItem(&dis);
    EXPECT_TRUE(AllPixelsAre(h.Shown(), kSentinel));
}

// --- The owners' preparation helpers -----------------------------------------------------------------

TEST_F(PngButtonTest, PrepareStartsGdiplusIntoTheButtonThenLoads) {
    const Strip strip = DecodeStrip(Self(), 166);
    ButtonOnHost h;
    ASSERT_TRUE(h.Create());
    ASSERT_EQ(h.button->m_gdiplusToken, 0u);
    PreparePngButton(*h.button, 166);
    UpdateWindow(h.host);
    EXPECT_NE(h.button->m_gdiplusToken, 0u);
    EXPECT_EQ(WindowSize(h.hButton).cx, 30);
    EXPECT_EQ(WindowSize(h.hButton).cy, 30);
    EXPECT_TRUE(ShowsFrame(h.Shown(), strip, 0));
}

// The portal page's order: GDI+ for both buttons first, then both images,
// then the owner's placement.
TEST_F(PngButtonTest, StartingBothButtonsBeforeLoadingEither) {
    const Strip minimize = DecodeStrip(Self(), IDB_PNG_PORTAL_MIN);
    const Strip close = DecodeStrip(Self(), IDB_PNG_PORTAL_CLOSE);
    ButtonOnHost h;
    ASSERT_TRUE(h.Create());
    HWND hClose = CreateWindowExW(0, L"Button", L"X", WS_CHILD | WS_VISIBLE, 200, 40, 50, 50, h.host,
                                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kButtonId + 1)),
                                  Self(), nullptr);
    CPngButton closeButton;
    ASSERT_TRUE(closeButton.SubclassWindow(hClose));

    StartGdiplusForButton(*h.button);
    StartGdiplusForButton(closeButton);
    EXPECT_NE(h.button->m_gdiplusToken, 0u);
    EXPECT_NE(closeButton.m_gdiplusToken, 0u);
    EXPECT_EQ(h.button->m_pImage, nullptr) << "no image before SetImage";
    h.button->SetImage(IDB_PNG_PORTAL_MIN);
    closeButton.SetImage(IDB_PNG_PORTAL_CLOSE);
    h.button->MoveWindow(100, 90, 24, 24, TRUE);
    closeButton.MoveWindow(142, 82, 28, 28, TRUE);
    UpdateWindow(h.host);
    EXPECT_TRUE(ShowsFrame(h.Shown(), minimize, 0));
    EXPECT_TRUE(ShowsFrame(ReadWindow(hClose), close, 0));
    Apply(hClose, Act::PushState);
    EXPECT_TRUE(ShowsFrame(ReadWindow(hClose), close, 2));
    EXPECT_TRUE(ShowsFrame(h.Shown(), minimize, 0)) << "one button's state is its own";
}

// --- Whichever goes first: the object or its window ----------------------------------------------------

TEST_F(PngButtonTest, ObjectOutlivingItsWindowLeavesTheReclaimedDCAlone) {
    ButtonOnHost h;
    ASSERT_TRUE(h.Create());
    h.Prepare(166);
    const HDC held = SurfaceDC(*h.button);
    ASSERT_NE(held, nullptr);

    // As in a dialog: the windows go first, the member objects after.
    h.host.DestroyWindow();
    EXPECT_FALSE(IsWindow(h.hButton));
    EXPECT_EQ(h.button->m_hWnd, nullptr);

    // The system took the button's DC back; have it handed to another window.
    HWND other = CreateWindowExW(WS_EX_TOOLWINDOW, HostClass(), L"other", WS_POPUP, 0, 0, 10, 10,
                                 nullptr, nullptr, Self(), nullptr);
    ASSERT_NE(other, nullptr);
    std::vector<HDC> taken;
    bool reused = false;
    for (int i = 0; i < 64 && !reused; ++i) {
        taken.push_back(GetDC(other));
        reused = taken.back() == held;
    }
    h.button.reset();
    if (reused) {
        EXPECT_EQ(ReleaseDC(other, held), 1) << "the button gave back a DC that was no longer its own";
        taken.pop_back();
    } else {
        ADD_FAILURE() << "the platform never handed the reclaimed DC out again";
    }
    for (HDC dc : taken)
        ReleaseDC(other, dc);
    DestroyWindow(other);
}

TEST_F(PngButtonTest, WindowOutlivingTheObjectGetsItsDCBack) {
    ButtonOnHost h;
    ASSERT_TRUE(h.Create());
    h.Prepare(166);
    const HDC held = SurfaceDC(*h.button);
    ASSERT_NE(held, nullptr);
    ASSERT_EQ(h.button->UnsubclassWindow(), h.hButton);
    h.button.reset();
    ASSERT_TRUE(IsWindow(h.hButton));
    EXPECT_EQ(ReleaseDC(h.hButton, held), 0) << "the window DC was not given back";
}

TEST_F(PngButtonTest, ObjectGoingFirstTakesItsWindowWithIt) {
    ButtonOnHost h;
    ASSERT_TRUE(h.Create());
    h.Prepare(166);
    h.button.reset();
    EXPECT_FALSE(IsWindow(h.hButton));
    UpdateWindow(h.host);
    EXPECT_TRUE(IsWindow(h.host));
}

}  // namespace
