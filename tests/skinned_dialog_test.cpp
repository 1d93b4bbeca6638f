// Bitmap-skinned dialog painting on real windows: the background bitmap
// stretched over the client area, see-through statics standing on it in
// their colour, other controls in their default colours, nothing painted
// while minimised. Pixels are read back from the windows' DCs.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "framework/CDataExchange.h"
#include "framework/CWinApp.h"
#include "game/CConfirmDlg.h"
#include "res/resource.h"
#include "skin/CSkinnedDialog.h"
#include "tests/support/ModalDriver.h"

namespace {

// ---- pixels -----------------------------------------------------------------

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

std::ostream& operator<<(std::ostream& os, const Rgb& c) {
    return os << "RGB(" << c.r << ", " << c.g << ", " << c.b << ")";
}

Rgb FromColorRef(COLORREF c) { return {GetRValue(c), GetGValue(c), GetBValue(c)}; }

// A 32-bit top-down picture.
struct Pixels {
    int width = 0, height = 0;
    std::vector<uint32_t> bits;  // 0x00RRGGBB
    Rgb At(int x, int y) const {
        const uint32_t v = bits[static_cast<size_t>(y) * width + x];
        return {static_cast<int>((v >> 16) & 0xFF), static_cast<int>((v >> 8) & 0xFF),
                static_cast<int>(v & 0xFF)};
    }
};

BITMAPINFO TopDown32(int width, int height) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    return bi;
}

Pixels PixelsOfBitmap(HBITMAP hBitmap) {
    Pixels p;
    BITMAP bm{};
    if (!GetObjectW(hBitmap, sizeof(bm), &bm)) return p;
    p.width = bm.bmWidth;
    p.height = bm.bmHeight;
    p.bits.resize(static_cast<size_t>(p.width) * p.height);
    BITMAPINFO bi = TopDown32(p.width, p.height);
    HDC hdc = GetDC(nullptr);
    GetDIBits(hdc, hBitmap, 0, p.height, p.bits.data(), &bi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, hdc);
    return p;
}

// What a window's client area shows now.
Pixels CaptureClient(HWND hWnd) {
    RECT rc{};
    GetClientRect(hWnd, &rc);
    Pixels p;
    p.width = rc.right;
    p.height = rc.bottom;
    BITMAPINFO bi = TopDown32(p.width, p.height);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC mem = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(mem, dib);
    HDC hdc = GetDC(hWnd);
    BitBlt(mem, 0, 0, p.width, p.height, hdc, 0, 0, SRCCOPY);
    ReleaseDC(hWnd, hdc);
    GdiFlush();
    const auto* src = static_cast<const uint32_t*>(bits);
    p.bits.assign(src, src + static_cast<size_t>(p.width) * p.height);
    SelectObject(mem, old);
    DeleteDC(mem);
    DeleteObject(dib);
    return p;
}

Pixels Bitmap177() {
    HBITMAP h = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr),
                                                MAKEINTRESOURCEW(IDB_CONFIRM_BG), IMAGE_BITMAP,
                                                0, 0, LR_CREATEDIBSECTION));
    Pixels p = PixelsOfBitmap(h);
    DeleteObject(h);
    return p;
}

RECT ChildRect(HWND hDlg, int id) {
    RECT rc{};
    GetWindowRect(GetDlgItem(hDlg, id), &rc);
    MapWindowPoints(nullptr, hDlg, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

bool Inside(const RECT& rc, int x, int y) { return PtInRect(&rc, POINT{x, y}) != FALSE; }

// Moves text-drawn pixels towards the text colour only: each channel lies
// between the background's and the text colour's.
bool IsBlendTowards(const Rgb& px, const Rgb& background, const Rgb& text) {
    auto between = [](int v, int a, int b) { return v >= (a < b ? a : b) && v <= (a < b ? b : a); };
    return between(px.r, background.r, text.r) && between(px.g, background.g, text.g) &&
           between(px.b, background.b, text.b);
}

int Distance(const Rgb& a, const Rgb& b) {
    return abs(a.r - b.r) + abs(a.g - b.g) + abs(a.b - b.b);
}

// How a static stands on the background it is drawn on.
struct StaticLook {
    int differing = 0;       // pixels that are not the background's
    int foreign = 0;         // of those, pixels that are no blend towards the text colour
    int closestToText = 1 << 30;  // distance of the pixel nearest to the text colour
    int rimDiffering = 0;    // of those, pixels in the 3 columns at each side
    int total = 0;
};

// background(x, y) gives what the static should stand on at client (x, y).
template <class Background>
StaticLook LookOfStatic(const Pixels& shot, const RECT& rc, Background background, Rgb text) {
    StaticLook look;
    for (int y = rc.top; y < rc.bottom; ++y) {
        for (int x = rc.left; x < rc.right; ++x) {
            const Rgb px = shot.At(x, y);
            const Rgb bg = background(x, y);
            ++look.total;
            const bool rim = x < rc.left + 3 || x >= rc.right - 3;
            if (px == bg) continue;
            ++look.differing;
            if (rim) ++look.rimDiffering;
            if (!IsBlendTowards(px, bg, text)) ++look.foreign;
            const int d = Distance(px, text);
            if (d < look.closestToText) look.closestToText = d;
        }
    }
    return look;
}

// ---- a dialog skinned with parameters of the test's choosing ----------------

struct SkinSetup {
    const char* name;
    std::vector<int> seeThrough;
    COLORREF text;
    bool keyBrush;  // others get m_brKey (base only for see-through statics)
};

constexpr COLORREF kKeyColor = RGB(0x12, 0x9A, 0x56);

// Template 172 with its plain buttons, skinned as the setup says. The
// background is bitmap 177 unless the test hands over another bitmap.
class CSkinProbeDlg : public CDialogEx {
public:
    CSkinProbeDlg(const SkinSetup& setup, HBITMAP background = nullptr, SIZE client = {256, 110})
        : CDialogEx(IDD_CONFIRM, nullptr),
          m_hGiven(background),
          m_client(client),
          m_skin(*this, m_bmpBackground, setup.seeThrough, setup.text,
                 setup.keyBrush ? &m_brKey : nullptr) {}

    CBitmap m_bmpBackground;
    CBrush m_brKey;

protected:
    BOOL OnInitDialog() override {
        CDialogEx::OnInitDialog();
        if (m_hGiven) m_bmpBackground.Attach(m_hGiven);
        else m_bmpBackground.LoadBitmap(AfxGetResourceHandle(), IDB_CONFIRM_BG);
        m_brKey.CreateSolidBrush(kKeyColor);
        MoveWindow(0, 0, m_client.cx, m_client.cy, TRUE);
        // Short texts well inside their statics leave a clean rim.
        SetDlgItemTextW(m_hWnd, IDC_CONFIRM_TITLE, L"Skin");
        SetDlgItemTextW(m_hWnd, IDC_CONFIRM_MESSAGE, L"Text");
        return TRUE;
    }
    const CMessageMap* GetMessageMap() const override {
        static const CMessageMap map(CDialogEx::GetMessageMap(), {
            msg::Paint(&CSkinProbeDlg::OnPaint),
            msg::CtlColor(&CSkinProbeDlg::OnCtlColor),
        });
        return &map;
    }
    void OnPaint() { m_skin.OnPaint(); }
    HBRUSH OnCtlColor(HDC hDC, HWND hCtl, UINT n) { return m_skin.OnCtlColor(hDC, hCtl, n); }

private:
    HBITMAP m_hGiven;
    SIZE m_client;
    CSkinnedDialog m_skin;
};

const SkinSetup kConfirmLike{"white, both statics, base brush", {1002, 1003}, RGB(255, 255, 255), false};
const SkinSetup kCleanerLike{"cyan, title only, key brush", {1002}, RGB(0, 255, 255), true};
const SkinSetup kTitleOnly{"white, title only, base brush", {1002}, RGB(255, 255, 255), false};

void HideChildren(HWND hDlg) {
    for (HWND h = GetWindow(hDlg, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT))
        ShowWindow(h, SW_HIDE);
}

// Colour of cell (col, row) of a grid bitmap: neighbours always differ.
Rgb GridColor(int cols, int col, int row) {
    const int c = row * cols + col;
    return {(40 + 37 * c) & 0xFF, (230 - 53 * c) & 0xFF, c % 2 ? 200 : 30};
}

// A bitmap of cols x rows cells, each cell x cell pixels of one colour.
HBITMAP MakeGrid(int cols, int rows, int cell) {
    const int w = cols * cell, h = rows * cell;
    BITMAPINFO bi = TopDown32(w, h);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    auto* px = static_cast<uint32_t*>(bits);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgb rgb = GridColor(cols, x / cell, y / cell);
            px[y * w + x] = (static_cast<uint32_t>(rgb.r) << 16) |
                            (static_cast<uint32_t>(rgb.g) << 8) | static_cast<uint32_t>(rgb.b);
        }
    GdiFlush();
    return dib;
}

// ---- the confirmation dialog ------------------------------------------------

TEST(SkinnedPainting, ConfirmationDialogShowsBitmap177UnscaledWithItsTextOnIt) {
    const Pixels bitmap = Bitmap177();
    ASSERT_EQ(256, bitmap.width);
    ASSERT_EQ(110, bitmap.height);
    for (int mode : {0, 1}) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        CConfirmDlg dlg;
        dlg.m_nMode = mode;
        RunModal(dlg, {[&](HWND hDlg) {
            // The template's plain buttons overlap the message; out of the way.
            for (int id : {IDC_CONFIRM_OK, IDC_CONFIRM_CANCEL})
                ShowWindow(GetDlgItem(hDlg, id), SW_HIDE);
            RedrawWindow(hDlg, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            const Pixels shot = CaptureClient(hDlg);
            ASSERT_EQ(256, shot.width);
            ASSERT_EQ(110, shot.height);
            const RECT ok = ChildRect(hDlg, IDC_CONFIRM_OK);
            const RECT cancel = ChildRect(hDlg, IDC_CONFIRM_CANCEL);
            const RECT title = ChildRect(hDlg, IDC_CONFIRM_TITLE);
            const RECT message = ChildRect(hDlg, IDC_CONFIRM_MESSAGE);

            // Everywhere but the controls: the bitmap, pixel for pixel.
            int wrong = 0;
            for (int y = 0; y < 110; ++y)
                for (int x = 0; x < 256; ++x) {
                    if (Inside(ok, x, y) || Inside(cancel, x, y) || Inside(title, x, y) ||
                        Inside(message, x, y))
                        continue;
                    if (!(shot.At(x, y) == bitmap.At(x, y)) && wrong++ < 5)
                        ADD_FAILURE() << "at " << x << ", " << y << ": " << shot.At(x, y)
                                      << " instead of " << bitmap.At(x, y);
                }
            EXPECT_EQ(0, wrong);

            // The statics: white text straight on the bitmap, no box. The
            // message's rectangle runs under the buttons, which are left out;
            // between them no text comes, so nothing but the bitmap may show.
            auto onBitmap = [&](int x, int y) { return bitmap.At(x, y); };
            const struct {
                const char* name;
                RECT rc;
                bool hasText;
            } regions[] = {
                {"title", title, true},
                {"message above the buttons", {message.left, message.top, message.right, ok.top}, true},
                {"message between the buttons", {ok.right, ok.top, cancel.left, message.bottom}, false},
            };
            for (const auto& r : regions) {
                const StaticLook look = LookOfStatic(shot, r.rc, onBitmap, Rgb{255, 255, 255});
                EXPECT_EQ(0, look.foreign) << r.name << ": pixels that are neither bitmap nor white text";
                EXPECT_LT(look.differing, look.total / 2) << r.name << ": a box behind the text";
                if (r.hasText) {
                    EXPECT_GT(look.differing, 20) << r.name << ": no text";
                    EXPECT_LE(look.closestToText, 30) << r.name << ": the text is not white";
                } else {
                    EXPECT_EQ(0, look.differing) << r.name << ": something drawn on the bitmap";
                }
            }
            // The title's text is centred well inside its 100 pixels (its
            // lowest rows are shared with the message's first line).
            const RECT titleAlone{title.left, title.top, title.right, message.top};
            EXPECT_EQ(0, LookOfStatic(shot, titleAlone, onBitmap, Rgb{255, 255, 255}).rimDiffering)
                << "title: something drawn at its sides";
        }});
    }
}

// Paint-related messages a window receives, counted by a call hook.
struct PaintCounts {
    HWND watched = nullptr;
    int ncPaint = 0, eraseBkgnd = 0;
};
PaintCounts g_counts;

LRESULT CALLBACK CountPaintMessages(int code, WPARAM wParam, LPARAM lParam) {
    const auto* m = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && m->hwnd == g_counts.watched) {
        if (m->message == WM_NCPAINT) ++g_counts.ncPaint;
        if (m->message == WM_ERASEBKGND) ++g_counts.eraseBkgnd;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST(SkinnedPainting, NothingIsPaintedWhileMinimised) {
    // Whether a paint request was honoured shows in what stays to be painted:
    // beginning to paint validates the window (and asks for its frame and
    // background first).
    const Pixels bitmap = Bitmap177();
    CConfirmDlg dlg;
    RunModal(dlg, {[&](HWND hDlg) {
        g_counts.watched = hDlg;
        HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, CountPaintMessages, nullptr,
                                       GetCurrentThreadId());
        struct Case {
            const char* name;
            int show;
            bool iconic;
            bool painted;
        } cases[] = {
            {"shown", SW_SHOWNORMAL, false, true},
            {"minimised", SW_MINIMIZE, true, false},
            {"restored", SW_RESTORE, false, true},
        };
        for (const Case& c : cases) {
            ShowWindow(hDlg, c.show);
            PaintNow(hDlg);
            ASSERT_EQ(c.iconic, IsIconic(hDlg) != FALSE) << c.name;
            RedrawWindow(hDlg, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ERASE);
            RECT rc{};
            ASSERT_TRUE(GetUpdateRect(hDlg, &rc, FALSE)) << c.name;
            g_counts.ncPaint = g_counts.eraseBkgnd = 0;
            SendMessageW(hDlg, WM_PAINT, 0, 0);
            EXPECT_EQ(c.painted, !GetUpdateRect(hDlg, &rc, FALSE)) << c.name;
            EXPECT_EQ(c.painted ? 1 : 0, g_counts.ncPaint) << c.name;
            EXPECT_EQ(c.painted ? 1 : 0, g_counts.eraseBkgnd) << c.name;
        }
        UnhookWindowsHookEx(hook);
        // Back from the task bar, the bitmap is there again.
        PaintNow(hDlg);
        const Pixels shot = CaptureClient(hDlg);
        ASSERT_EQ(256, shot.width);
        for (POINT pt : {POINT{2, 2}, POINT{128, 60}, POINT{253, 107}, POINT{20, 80}})
            EXPECT_EQ(bitmap.At(pt.x, pt.y), shot.At(pt.x, pt.y)) << pt.x << ", " << pt.y;
        g_counts.watched = nullptr;
    }});
}

// ---- stretching -------------------------------------------------------------

TEST(SkinnedPainting, BitmapIsStretchedOverTheWholeClientArea) {
    struct Case {
        const char* name;
        int cols, rows, cell;  // grid bitmap; 0 cols: bitmap 187
        SIZE client;
    } cases[] = {
        {"grid 4 x 2 cells of 1 pixel to 256 x 110", 4, 2, 1, {256, 110}},
        {"grid 4 x 2 cells of 1 pixel to 300 x 90", 4, 2, 1, {300, 90}},
        {"grid 8 x 4 cells of 16 pixels shrunk to 64 x 32", 8, 4, 16, {64, 32}},
        {"grid 3 x 5 cells of 10 pixels to 500 x 120", 3, 5, 10, {500, 120}},
        {"bitmap 187 (57 x 40 black) to 640 x 360", 0, 0, 0, {640, 360}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HBITMAP background =
            c.cols ? MakeGrid(c.cols, c.rows, c.cell)
                   : static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr),
                                                     MAKEINTRESOURCEW(IDB_CLEAN_BG),
                                                     IMAGE_BITMAP, 0, 0, 0));
        ASSERT_NE(nullptr, background);
        CSkinProbeDlg dlg(kConfirmLike, background, c.client);
        RunModal(dlg, {[&](HWND hDlg) {
            HideChildren(hDlg);
            PaintNow(hDlg);
            const Pixels shot = CaptureClient(hDlg);
            ASSERT_EQ(c.client.cx, shot.width);
            ASSERT_EQ(c.client.cy, shot.height);
            if (!c.cols) {
                int notBlack = 0;
                for (int y = 0; y < shot.height; ++y)
                    for (int x = 0; x < shot.width; ++x)
                        if (!(shot.At(x, y) == Rgb{0, 0, 0})) ++notBlack;
                EXPECT_EQ(0, notBlack);
                return;
            }
            // Each cell covers its share of the client area; look at its middle.
            for (int row = 0; row < c.rows; ++row)
                for (int col = 0; col < c.cols; ++col) {
                    const int x = (2 * col + 1) * c.client.cx / (2 * c.cols);
                    const int y = (2 * row + 1) * c.client.cy / (2 * c.rows);
                    EXPECT_EQ(GridColor(c.cols, col, row), shot.At(x, y))
                        << "cell " << col << ", " << row << " at " << x << ", " << y;
                }
            // And the corners of the client area belong to the corner cells.
            EXPECT_EQ(GridColor(c.cols, 0, 0), shot.At(0, 0));
            EXPECT_EQ(GridColor(c.cols, c.cols - 1, c.rows - 1),
                      shot.At(shot.width - 1, shot.height - 1));
        }});
    }
}

TEST(SkinnedPainting, StretchFollowsTheClientAreaWhenTheDialogIsResized) {
    const Pixels bitmap = Bitmap177();
    struct Case {
        int factor;
    } cases[] = {{1}, {2}, {3}};
    CSkinProbeDlg dlg(kConfirmLike);
    RunModal(dlg, {[&](HWND hDlg) {
        HideChildren(hDlg);
        for (const Case& c : cases) {
            SCOPED_TRACE("x" + std::to_string(c.factor));
            SetWindowPos(hDlg, nullptr, 0, 0, 256 * c.factor, 110 * c.factor,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            InvalidateRect(hDlg, nullptr, FALSE);
            PaintNow(hDlg);
            const Pixels shot = CaptureClient(hDlg);
            ASSERT_EQ(256 * c.factor, shot.width);
            int wrong = 0;
            for (int y = 0; y < 110; y += 3)
                for (int x = 0; x < 256; x += 3)
                    for (int d : {0, c.factor - 1}) {
                        const Rgb px = shot.At(x * c.factor + d, y * c.factor + d);
                        if (!(px == bitmap.At(x, y)) && wrong++ < 5)
                            ADD_FAILURE() << "bitmap pixel " << x << ", " << y << " shows as "
                                          << px << " instead of " << bitmap.At(x, y);
                    }
            EXPECT_EQ(0, wrong);
        }
    }});
}

// ---- see-through statics and the other controls ------------------------------

TEST(SkinnedPainting, ControlColourAnswersFollowTheParameters) {
    const HBRUSH nullBrush = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    constexpr COLORREF kMarker = RGB(9, 8, 7);  // what the DC held before the request
    struct Case {
        const SkinSetup* setup;
        int id;     // 0: the dialog itself
        UINT message;
        enum { Null, Base, Key } brush;
        COLORREF text;  // text colour afterwards; kMarker: untouched
        bool transparent;
        bool baseRan;   // the base handling set the DC's background colour
    } cases[] = {
        {&kConfirmLike, 1002, WM_CTLCOLORSTATIC, Case::Null, RGB(255, 255, 255), true, true},
        {&kConfirmLike, 1003, WM_CTLCOLORSTATIC, Case::Null, RGB(255, 255, 255), true, true},
        {&kConfirmLike, 1008, WM_CTLCOLORBTN, Case::Base, 0, false, true},
        {&kConfirmLike, 0, WM_CTLCOLORDLG, Case::Base, 0, false, true},
        {&kTitleOnly, 1003, WM_CTLCOLORSTATIC, Case::Base, 0, false, true},
        {&kCleanerLike, 1002, WM_CTLCOLORSTATIC, Case::Null, RGB(0, 255, 255), true, true},
        {&kCleanerLike, 1003, WM_CTLCOLORSTATIC, Case::Key, kMarker, false, false},
        {&kCleanerLike, 1009, WM_CTLCOLORBTN, Case::Key, kMarker, false, false},
        {&kCleanerLike, 0, WM_CTLCOLORDLG, Case::Key, kMarker, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.setup->name) + ", control " + std::to_string(c.id));
        CSkinProbeDlg dlg(*c.setup);
        RunModal(dlg, {[&](HWND hDlg) {
            PaintNow(hDlg);
            HWND hCtl = c.id ? GetDlgItem(hDlg, c.id) : hDlg;
            const Pixels screen = CaptureClient(hDlg);
            // The control's DC: a surface of its size, all marker colour.
            RECT rcCtl = c.id ? ChildRect(hDlg, c.id) : RECT{0, 0, screen.width, screen.height};
            const int w = rcCtl.right - rcCtl.left, h = rcCtl.bottom - rcCtl.top;
            BITMAPINFO bi = TopDown32(w, h);
            void* bits = nullptr;
            HBITMAP surface = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
            auto* px = static_cast<uint32_t*>(bits);
            std::fill(px, px + w * h, 0x00090807u);  // kMarker as 0x00RRGGBB
            HDC hdc = CreateCompatibleDC(nullptr);
            HGDIOBJ oldSurface = SelectObject(hdc, surface);
            // The default answer, as the dialog's own procedure gives it.
            HDC probe = CreateCompatibleDC(nullptr);
            const auto base = reinterpret_cast<HBRUSH>(
                DefDlgProcW(hDlg, c.message, reinterpret_cast<WPARAM>(probe),
                            reinterpret_cast<LPARAM>(hCtl)));
            const COLORREF baseText = GetTextColor(probe);
            const COLORREF baseBk = GetBkColor(probe);
            DeleteDC(probe);
            ASSERT_NE(kMarker, baseBk);

            SetTextColor(hdc, kMarker);
            SetBkColor(hdc, kMarker);
            SetBkMode(hdc, OPAQUE);
            const auto answer = reinterpret_cast<HBRUSH>(SendMessageW(
                hDlg, c.message, reinterpret_cast<WPARAM>(hdc), reinterpret_cast<LPARAM>(hCtl)));
            switch (c.brush) {
            case Case::Null: EXPECT_EQ(nullBrush, answer); break;
            case Case::Base: EXPECT_EQ(base, answer); break;
            case Case::Key: EXPECT_EQ(static_cast<HBRUSH>(dlg.m_brKey), answer); break;
            }
            EXPECT_EQ(c.transparent ? TRANSPARENT : OPAQUE, GetBkMode(hdc));
            if (c.brush == Case::Base) EXPECT_EQ(baseText, GetTextColor(hdc));
            else EXPECT_EQ(c.text, GetTextColor(hdc));
            EXPECT_EQ(c.baseRan ? baseBk : kMarker, GetBkColor(hdc));

            // A see-through static's DC received what the dialog shows under
            // it; the others' DCs were not drawn on.
            GdiFlush();
            int wrong = 0;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const uint32_t v = px[y * w + x];
                    const Rgb got{static_cast<int>((v >> 16) & 0xFF),
                                  static_cast<int>((v >> 8) & 0xFF), static_cast<int>(v & 0xFF)};
                    const Rgb want = c.brush == Case::Null
                                         ? screen.At(rcCtl.left + x, rcCtl.top + y)
                                         : FromColorRef(kMarker);
                    if (!(got == want) && wrong++ < 3)
                        ADD_FAILURE() << "DC pixel " << x << ", " << y << ": " << got
                                      << " instead of " << want;
                }
            EXPECT_EQ(0, wrong);
            SelectObject(hdc, oldSurface);
            DeleteObject(surface);
            DeleteDC(hdc);
        }});
    }
}

TEST(SkinnedPainting, SeeThroughStaticsStandOnTheBitmapOthersKeepDefaultColours) {
    const Pixels bitmap = Bitmap177();
    const Rgb face = FromColorRef(GetSysColor(COLOR_3DFACE));
    struct Case {
        const SkinSetup* setup;
        int id;
        enum { OnBitmap, OnFace, OnKey } stands;
    } cases[] = {
        {&kConfirmLike, 1002, Case::OnBitmap}, {&kConfirmLike, 1003, Case::OnBitmap},
        {&kTitleOnly, 1002, Case::OnBitmap},   {&kTitleOnly, 1003, Case::OnFace},
        {&kCleanerLike, 1002, Case::OnBitmap}, {&kCleanerLike, 1003, Case::OnKey},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.setup->name) + ", control " + std::to_string(c.id));
        CSkinProbeDlg dlg(*c.setup);
        RunModal(dlg, {[&](HWND hDlg) {
            // The template's plain buttons overlap the message; out of the way.
            for (int id : {IDC_CONFIRM_OK, IDC_CONFIRM_CANCEL})
                ShowWindow(GetDlgItem(hDlg, id), SW_HIDE);
            RedrawWindow(hDlg, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            const Pixels shot = CaptureClient(hDlg);
            ASSERT_EQ(256, shot.width);
            const RECT rc = ChildRect(hDlg, c.id);
            ASSERT_LE(rc.right, 256);
            ASSERT_LE(rc.bottom, 110);
            const Rgb text = c.stands == Case::OnBitmap
                                 ? FromColorRef(c.setup->text)
                                 : FromColorRef(GetSysColor(COLOR_WINDOWTEXT));
            const Rgb fill = c.stands == Case::OnFace ? face : FromColorRef(kKeyColor);
            auto background = [&](int x, int y) {
                return c.stands == Case::OnBitmap ? bitmap.At(x, y) : fill;
            };
            const StaticLook look = LookOfStatic(shot, rc, background, text);
            EXPECT_EQ(0, look.rimDiffering) << "the static's sides do not show its background";
            EXPECT_GT(look.differing, 10) << "no text";
            EXPECT_LT(look.differing, look.total / 2);
            if (c.stands == Case::OnBitmap) {
                EXPECT_EQ(0, look.foreign) << "pixels that are neither bitmap nor text";
                EXPECT_LE(look.closestToText, 30) << "the text is not in the dialog's colour";
            } else {
                EXPECT_LE(look.closestToText, 60) << "the text is not in the default colour";
            }
        }});
    }
}

}  // namespace
