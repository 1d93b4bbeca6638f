// The program's compiled resources: dialog templates, persisted browser
// state, images, icon, version information and manifest, read back from the
// executable the way the program and the system read them.
#include "res/resource.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

const WORD kLang = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);   // 2052
const wchar_t kBrowserClass[] = L"{8856F961-340A-11D0-A96B-00C04FD705A2}";

HMODULE Self() { return GetModuleHandleW(nullptr); }

// Bytes of a resource in the program's language; empty if there is none.
std::vector<uint8_t> ResourceBytes(LPCWSTR type, LPCWSTR name) {
    HRSRC found = FindResourceExW(Self(), type, name, kLang);
    if (!found)
        return {};
    HGLOBAL loaded = LoadResource(Self(), found);
    const auto* p = static_cast<const uint8_t*>(LockResource(loaded));
    if (!p)
        return {};
    return std::vector<uint8_t>(p, p + SizeofResource(Self(), found));
}

// The image GDI+ decodes from PNG bytes (through a stream over a copy of
// them, which the bitmap keeps alive); null if no stream could be made.
std::unique_ptr<Gdiplus::Bitmap> DecodePng(const std::vector<uint8_t>& bytes) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!block) return nullptr;
    std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    IStream* stream = nullptr;
    if (CreateStreamOnHGlobal(block, TRUE, &stream) != S_OK) {
        GlobalFree(block);
        return nullptr;
    }
    auto bitmap = std::make_unique<Gdiplus::Bitmap>(stream, FALSE);
    stream->Release();
    return bitmap;
}

std::wstring Upper(std::wstring s) {
    for (auto& c : s)
        c = static_cast<wchar_t>(std::towupper(c));
    return s;
}

// --- A reader of extended dialog templates ------------------------------------

class Reader {
public:
    explicit Reader(const std::vector<uint8_t>& bytes) : m_bytes(bytes) {}
    template <typename T>
    T Get() {
        T value{};
        if (m_pos + sizeof(T) > m_bytes.size()) {
            m_bad = true;
            m_pos = m_bytes.size();
            return value;
        }
        std::memcpy(&value, &m_bytes[m_pos], sizeof(T));
        m_pos += sizeof(T);
        return value;
    }
    std::wstring String() {
        std::wstring s;
        for (;;) {
            wchar_t c = Get<wchar_t>();
            if (c == 0 || m_bad)
                return s;
            s += c;
        }
    }
    // sz_Or_Ord: a 0xFFFF-prefixed ordinal becomes "#n".
    std::wstring StringOrOrdinal() {
        if (m_pos + 2 <= m_bytes.size() && m_bytes[m_pos] == 0xFF && m_bytes[m_pos + 1] == 0xFF) {
            Get<WORD>();
            return L"#" + std::to_wstring(Get<WORD>());
        }
        return String();
    }
    void AlignDword() { m_pos = (m_pos + 3) & ~size_t(3); }
    void Skip(size_t n) { m_pos += n; }
    bool bad() const { return m_bad || m_pos > m_bytes.size(); }
    size_t pos() const { return m_pos; }

private:
    const std::vector<uint8_t>& m_bytes;
    size_t m_pos = 0;
    bool m_bad = false;
};

struct Item {
    DWORD id, style, exStyle;
    short x, y, cx, cy;
    std::wstring cls, text;
};

struct Dialog {
    WORD version = 0, signature = 0;
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring menu, cls, title, face;
    WORD pointSize = 0, weight = 0;
    BYTE italic = 0, charset = 0;
    std::vector<Item> items;
    bool bad = true;
};

// Predefined window classes may be stored as ordinals.
std::wstring ClassName(const std::wstring& raw) {
    static const std::map<std::wstring, std::wstring> ordinals = {
        {L"#128", L"BUTTON"}, {L"#129", L"EDIT"}, {L"#130", L"STATIC"},
        {L"#131", L"LISTBOX"}, {L"#132", L"SCROLLBAR"}, {L"#133", L"COMBOBOX"}};
    auto it = ordinals.find(raw);
    return it != ordinals.end() ? it->second : raw;
}

Dialog ParseDialog(const std::vector<uint8_t>& bytes) {
    Dialog d;
    Reader r(bytes);
    d.version = r.Get<WORD>();
    d.signature = r.Get<WORD>();
    r.Get<DWORD>();   // help id
    d.exStyle = r.Get<DWORD>();
    d.style = r.Get<DWORD>();
    const WORD count = r.Get<WORD>();
    d.x = r.Get<short>();
    d.y = r.Get<short>();
    d.cx = r.Get<short>();
    d.cy = r.Get<short>();
    d.menu = r.StringOrOrdinal();
    d.cls = r.StringOrOrdinal();
    d.title = r.String();
    if (d.style & DS_SETFONT) {
        d.pointSize = r.Get<WORD>();
        d.weight = r.Get<WORD>();
        d.italic = r.Get<BYTE>();
        d.charset = r.Get<BYTE>();
        d.face = r.String();
    }
    for (WORD i = 0; i < count && !r.bad(); ++i) {
        r.AlignDword();
        Item it{};
        r.Get<DWORD>();   // help id
        it.exStyle = r.Get<DWORD>();
        it.style = r.Get<DWORD>();
        it.x = r.Get<short>();
        it.y = r.Get<short>();
        it.cx = r.Get<short>();
        it.cy = r.Get<short>();
        it.id = r.Get<DWORD>();
        it.cls = ClassName(Upper(r.StringOrOrdinal()));
        it.text = r.StringOrOrdinal();
        const WORD extra = r.Get<WORD>();
        r.Skip(extra);
        d.items.push_back(it);
    }
    d.bad = r.bad() || d.items.size() != count;
    return d;
}

// --- Expected templates ----------------------------------------------------------

struct ExpectedItem {
    DWORD id;
    const wchar_t* cls;
    const wchar_t* text;
    DWORD style, exStyle;
    short x, y, cx, cy;
};

struct ExpectedDialog {
    WORD id;
    DWORD style, exStyle;
    short cx, cy;
    const wchar_t* face;
    WORD pointSize, weight;
    BYTE charset;
    std::vector<ExpectedItem> items;
};

const ExpectedDialog kDialogs[] = {
    {IDD_LOGIN_DIALOG, 0x9000004C, 0x00040000, 561, 386, L"MS Shell Dlg", 9, 0, 1, {}},
    {IDD_GAME_DIALOG, 0x8008004C, 0x00040080, 256, 110, L"MS Shell Dlg", 8, 0, 1,
     {
         {1000, kBrowserClass, L"", 0x40010000, 0, 7, 71, 441, 192},
         {1002, L"STATIC", L"Static", 0x50020200, 0, -1, -1, -1, -1},
         {1001, L"BUTTON", L"X", 0x50010000, 0, -1, -1, -1, -1},
         {1009, L"BUTTON", L"max", 0x50010000, 0, -1, -1, -1, -1},
         {1003, L"BUTTON", L"-", 0x50010000, 0, -1, -1, -1, -1},
         {1004, L"BUTTON", L"full", 0x50010000, 0, -1, -1, -1, -1},
         {1005, L"BUTTON", L"boss", 0x50010000, 0, -1, -1, -1, -1},
         {1007, L"BUTTON", L"refresh", 0x50010000, 0, -1, -1, -1, -1},
         {1008, L"BUTTON", L"server", 0x50010000, 0, -1, -1, -1, -1},
         {1006, L"BUTTON", L"clean", 0x50010000, 0, -1, -1, -1, -1},
         {1011, L"BUTTON", L"normal", 0x50010000, 0, -1, -1, -1, -1},
     }},
    {IDD_LOGIN_ACTIVE, 0x9000004C, 0, 387, 333, L"MS Shell Dlg", 9, 0, 1,
     {
         {1005, L"BUTTON", L"", 0x5001018B, WS_EX_TRANSPARENT, 366, 0, 14, 16},
         {1006, L"BUTTON", L"", 0x5001008B, WS_EX_TRANSPARENT, 347, 0, 13, 14},
         {1000, kBrowserClass, L"", 0x40000000, 0, 0, 17, 372, 265},
     }},
    {IDD_CONFIRM, WS_POPUP | WS_VISIBLE | WS_SYSMENU | DS_SETFONT | DS_3DLOOK, 0, 256, 110,
     L"宋体", 10, 400, GB2312_CHARSET,
     {
         {1002, L"STATIC", L"Static", WS_CHILD | WS_VISIBLE | WS_GROUP | SS_CENTER,
          WS_EX_TRANSPARENT, 35, 7, 76, 9},
         {1008, L"BUTTON", L"Button1", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 18, 35, 50, 14},
         {1009, L"BUTTON", L"Button2", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 80, 35, 50, 14},
         {1003, L"STATIC", L"确定要退出游戏吗？", WS_CHILD | WS_VISIBLE | WS_GROUP | SS_CENTER,
          WS_EX_TRANSPARENT, 16, 17, 110, 24},
     }},
    {IDD_CLEAN_CACHE, WS_POPUP | WS_VISIBLE | DS_SETFONT | DS_3DLOOK, 0, 256, 111, L"宋体", 10,
     400, GB2312_CHARSET,
     {
         {1002, L"STATIC", L"缓存清理中,请稍后(按ESC取消)...",
          WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, WS_EX_TRANSPARENT, 64, 65, 123, 9},
         {1009, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_BLACKFRAME, 0, 105, 29, 35, 28},
     }},
};

class DialogTemplateTest : public ::testing::TestWithParam<ExpectedDialog> {};

TEST_P(DialogTemplateTest, CompiledTemplateMatches) {
    const ExpectedDialog& e = GetParam();
    std::vector<uint8_t> bytes = ResourceBytes(RT_DIALOG, MAKEINTRESOURCEW(e.id));
    ASSERT_FALSE(bytes.empty()) << "dialog " << e.id;
    Dialog d = ParseDialog(bytes);
    ASSERT_FALSE(d.bad) << "dialog " << e.id;

    EXPECT_EQ(1, d.version);
    EXPECT_EQ(0xFFFF, d.signature) << "not an extended template";
    EXPECT_EQ(e.style, d.style) << std::hex << "dialog " << std::dec << e.id;
    EXPECT_EQ(e.exStyle, d.exStyle) << std::hex << "dialog " << std::dec << e.id;
    EXPECT_EQ(0, d.x);
    EXPECT_EQ(0, d.y);
    EXPECT_EQ(e.cx, d.cx);
    EXPECT_EQ(e.cy, d.cy);
    EXPECT_EQ(L"", d.menu);
    EXPECT_EQ(L"", d.cls);
    EXPECT_EQ(L"", d.title);
    EXPECT_EQ(std::wstring(e.face), d.face);
    EXPECT_EQ(e.pointSize, d.pointSize);
    EXPECT_EQ(e.weight, d.weight);
    EXPECT_EQ(0, d.italic);
    EXPECT_EQ(e.charset, d.charset);

    ASSERT_EQ(e.items.size(), d.items.size()) << "dialog " << e.id;
    for (size_t i = 0; i < e.items.size(); ++i) {
        const ExpectedItem& x = e.items[i];
        const Item& it = d.items[i];
        SCOPED_TRACE(testing::Message() << "dialog " << e.id << " item " << i << " (" << x.id << ")");
        EXPECT_EQ(x.id, it.id);
        EXPECT_EQ(Upper(x.cls), it.cls);
        EXPECT_EQ(std::wstring(x.text), it.text);
        EXPECT_EQ(x.style, it.style) << std::hex << it.style;
        EXPECT_EQ(x.style & WS_VISIBLE, it.style & WS_VISIBLE);
        EXPECT_EQ(x.exStyle, it.exStyle);
        if (x.x >= 0) {
            EXPECT_EQ(x.x, it.x);
            EXPECT_EQ(x.y, it.y);
            EXPECT_EQ(x.cx, it.cx);
            EXPECT_EQ(x.cy, it.cy);
        } else {
            // Placed at run time; the template only keeps it inside the dialog.
            EXPECT_GE(it.x, 0);
            EXPECT_GE(it.y, 0);
            EXPECT_LE(it.x + it.cx, e.cx);
            EXPECT_LE(it.y + it.cy, e.cy);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Templates, DialogTemplateTest, ::testing::ValuesIn(kDialogs),
                         [](const testing::TestParamInfo<ExpectedDialog>& info) {
                             return "Dialog" + std::to_string(info.param.id);
                         });

TEST(DialogTemplate, BrowserItemsStartHidden) {
    for (WORD id : {IDD_GAME_DIALOG, IDD_LOGIN_ACTIVE}) {
        Dialog d = ParseDialog(ResourceBytes(RT_DIALOG, MAKEINTRESOURCEW(id)));
        ASSERT_FALSE(d.bad);
        int browsers = 0;
        for (const Item& it : d.items) {
            if (it.id == IDC_BROWSER) {
                ++browsers;
                EXPECT_EQ(0u, it.style & WS_VISIBLE) << "dialog " << id;
                EXPECT_NE(0u, it.style & WS_CHILD) << "dialog " << id;
                EXPECT_EQ(Upper(kBrowserClass), it.cls);
            }
        }
        EXPECT_EQ(1, browsers) << "dialog " << id;
    }
    // The game window itself starts hidden too.
    Dialog game = ParseDialog(ResourceBytes(RT_DIALOG, MAKEINTRESOURCEW(IDD_GAME_DIALOG)));
    EXPECT_EQ(0u, game.style & WS_VISIBLE);
}

// Dialogs without a browser item come up as real windows with their texts.
INT_PTR CALLBACK QuietProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

TEST(DialogTemplate, SmallDialogsCreateWithTheirTexts) {
    struct Case {
        WORD dialog;
        WORD item;
        const wchar_t* text;
    };
    const Case cases[] = {
        {IDD_CONFIRM, IDC_CONFIRM_MESSAGE, L"确定要退出游戏吗？"},
        {IDD_CONFIRM, IDC_CONFIRM_TITLE, L"Static"},
        {IDD_CONFIRM, IDC_CONFIRM_OK, L"Button1"},
        {IDD_CLEAN_CACHE, IDC_CLEAN_STATUS, L"缓存清理中,请稍后(按ESC取消)..."},
    };
    for (const Case& c : cases) {
        HWND dlg = CreateDialogParamW(Self(), MAKEINTRESOURCEW(c.dialog), nullptr, QuietProc, 0);
        ASSERT_NE(nullptr, dlg) << c.dialog;
        HWND item = GetDlgItem(dlg, c.item);
        ASSERT_NE(nullptr, item) << c.dialog << "/" << c.item;
        wchar_t text[128] = {};
        GetWindowTextW(item, text, 128);
        EXPECT_EQ(std::wstring(c.text), text) << c.dialog << "/" << c.item;
        EXPECT_TRUE(IsWindowVisible(dlg));
        DestroyWindow(dlg);
    }
    HWND launcher = CreateDialogParamW(Self(), MAKEINTRESOURCEW(IDD_LOGIN_DIALOG), nullptr,
                                       QuietProc, 0);
    ASSERT_NE(nullptr, launcher);
    EXPECT_EQ(nullptr, GetWindow(launcher, GW_CHILD));
    EXPECT_NE(0, GetWindowLongW(launcher, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_EQ(0, GetWindowLongW(launcher, GWL_STYLE) & WS_CAPTION);
    DestroyWindow(launcher);
}

// --- Dialog-initialisation data -----------------------------------------------------

struct DlgInitCase {
    WORD dialog;
    DWORD cx, cy;
};

class DlgInitTest : public ::testing::TestWithParam<DlgInitCase> {};

TEST_P(DlgInitTest, OneBrowserStateEntry) {
    const DlgInitCase& c = GetParam();
    std::vector<uint8_t> bytes = ResourceBytes(MAKEINTRESOURCEW(RT_DLGINIT_DATA),
                                               MAKEINTRESOURCEW(c.dialog));
    ASSERT_EQ(2u + 2u + 4u + 160u + 2u, bytes.size());
    Reader r(bytes);
    EXPECT_EQ(IDC_BROWSER, r.Get<WORD>());
    EXPECT_EQ(0x0376, r.Get<WORD>());
    EXPECT_EQ(160u, r.Get<DWORD>());
    EXPECT_EQ(0u, r.Get<DWORD>());
    EXPECT_EQ(0x4Cu, r.Get<DWORD>());
    EXPECT_EQ(c.cx, r.Get<DWORD>()) << "HIMETRIC width";
    EXPECT_EQ(c.cy, r.Get<DWORD>()) << "HIMETRIC height";
    r.Skip(160 - 16);
    EXPECT_EQ(0, r.Get<WORD>()) << "terminator";
    EXPECT_FALSE(r.bad());
}

INSTANTIATE_TEST_SUITE_P(Browsers, DlgInitTest,
                         ::testing::Values(DlgInitCase{IDD_GAME_DIALOG, 17515, 8255},
                                           DlgInitCase{IDD_LOGIN_ACTIVE, 17224, 12277}));

TEST(DlgInit, OnlyTheBrowserDialogsHaveOne) {
    for (WORD id : {IDD_LOGIN_DIALOG, IDD_CONFIRM, IDD_CLEAN_CACHE})
        EXPECT_EQ(nullptr, FindResourceW(Self(), MAKEINTRESOURCEW(id),
                                         MAKEINTRESOURCEW(RT_DLGINIT_DATA)))
            << id;
}

// --- PNG images ------------------------------------------------------------------------

struct PngCase {
    WORD id;
    UINT width, height;
    bool alpha;
};

const PngCase kPngs[] = {
    {IDB_PNG_LAUNCHER, 980, 668, true},  {IDB_PNG_PORTAL_CLOSE, 28, 112, true},
    {IDB_PNG_PORTAL_MIN, 24, 96, true},  {IDB_PNG_BOSS, 106, 120, false},
    {IDB_PNG_CLOSE, 30, 120, false},     {IDB_PNG_FULLSCREEN, 64, 120, false},
    {IDB_PNG_MAXIMIZE, 29, 120, false},  {IDB_PNG_MINIMIZE, 29, 120, false},
    {IDB_PNG_REFRESH, 82, 120, false},   {IDB_PNG_SERVER, 61, 120, false},
    {IDB_PNG_RESTORE, 29, 120, false},   {IDB_PNG_CLEAN, 87, 120, false},
    {IDB_PNG_OK, 74, 104, false},        {IDB_PNG_CANCEL, 74, 104, false},
};

uint32_t BigEndian32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

class PngResourceTest : public ::testing::TestWithParam<PngCase> {};

TEST_P(PngResourceTest, SizeAndChannels) {
    const PngCase& c = GetParam();
    std::vector<uint8_t> bytes = ResourceBytes(L"PNG", MAKEINTRESOURCEW(c.id));
    ASSERT_GT(bytes.size(), 33u) << c.id;

    // The file's own header: signature, then IHDR with size, depth and colour type.
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    ASSERT_EQ(0, std::memcmp(bytes.data(), kSignature, 8)) << c.id;
    ASSERT_EQ(0, std::memcmp(bytes.data() + 12, "IHDR", 4)) << c.id;
    EXPECT_EQ(c.width, BigEndian32(bytes.data() + 16)) << c.id;
    EXPECT_EQ(c.height, BigEndian32(bytes.data() + 20)) << c.id;
    EXPECT_EQ(8, bytes[24]) << "bits per channel, PNG " << c.id;
    EXPECT_EQ(c.alpha ? 6 : 2, bytes[25]) << "colour type (6 RGBA, 2 RGB), PNG " << c.id;

    // And as GDI+ decodes it.
    std::unique_ptr<Gdiplus::Bitmap> bitmap = DecodePng(bytes);
    ASSERT_NE(nullptr, bitmap) << c.id;
    ASSERT_EQ(Gdiplus::Ok, bitmap->GetLastStatus()) << c.id;
    EXPECT_EQ(c.width, bitmap->GetWidth()) << c.id;
    EXPECT_EQ(c.height, bitmap->GetHeight()) << c.id;
    EXPECT_EQ(c.alpha, Gdiplus::IsAlphaPixelFormat(bitmap->GetPixelFormat()) != FALSE) << c.id;
}

INSTANTIATE_TEST_SUITE_P(Images, PngResourceTest, ::testing::ValuesIn(kPngs),
                         [](const testing::TestParamInfo<PngCase>& info) {
                             return "Png" + std::to_string(info.param.id);
                         });

TEST(PngResource, LauncherArtworkShape) {
    std::vector<uint8_t> bytes = ResourceBytes(L"PNG", MAKEINTRESOURCEW(IDB_PNG_LAUNCHER));
    ASSERT_FALSE(bytes.empty());
    std::unique_ptr<Gdiplus::Bitmap> decoded = DecodePng(bytes);
    ASSERT_NE(nullptr, decoded);
    Gdiplus::Bitmap& bitmap = *decoded;
    ASSERT_EQ(Gdiplus::Ok, bitmap.GetLastStatus());
    Gdiplus::Rect all(0, 0, 980, 668);
    Gdiplus::BitmapData data{};
    ASSERT_EQ(Gdiplus::Ok, bitmap.LockBits(&all, Gdiplus::ImageLockModeRead,
                                           PixelFormat32bppARGB, &data));
    size_t clear = 0, partial = 0, holesInBrowserArea = 0;
    for (int y = 0; y < 668; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(
            static_cast<const uint8_t*>(data.Scan0) + y * data.Stride);
        for (int x = 0; x < 980; ++x) {
            const uint32_t a = row[x] >> 24;
            clear += a == 0;
            partial += a != 0 && a != 255;
            // The portal page's browser rectangle lies wholly on the opaque panel.
            if (x >= 270 && x < 901 && y >= 141 && y < 585 && a != 255)
                ++holesInBrowserArea;
        }
    }
    bitmap.UnlockBits(&data);
    const double total = 980.0 * 668.0;
    EXPECT_EQ(0u, holesInBrowserArea);
    EXPECT_GT(clear / total, 0.15) << "a fully transparent margin gives the shape";
    EXPECT_LT(clear / total, 0.35);
    EXPECT_GT(partial, 0u) << "soft edges";
    EXPECT_LT(partial / total, 0.10);
}

// --- Bitmaps -----------------------------------------------------------------------------

struct BitmapCase {
    WORD id;
    LONG width, height;
    WORD bits;
};

class BitmapResourceTest : public ::testing::TestWithParam<BitmapCase> {};

TEST_P(BitmapResourceTest, SizeAndDepth) {
    const BitmapCase& c = GetParam();
    // As the dialogs load it.
    HBITMAP ddb = LoadBitmapW(Self(), MAKEINTRESOURCEW(c.id));
    ASSERT_NE(nullptr, ddb) << c.id;
    BITMAP bm{};
    ASSERT_EQ(int(sizeof(bm)), GetObjectW(ddb, sizeof(bm), &bm));
    EXPECT_EQ(c.width, bm.bmWidth) << c.id;
    EXPECT_EQ(c.height, bm.bmHeight) << c.id;
    DeleteObject(ddb);

    // The stored depth.
    HBITMAP dib = static_cast<HBITMAP>(
        LoadImageW(Self(), MAKEINTRESOURCEW(c.id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ASSERT_NE(nullptr, dib) << c.id;
    DIBSECTION ds{};
    ASSERT_EQ(int(sizeof(ds)), GetObjectW(dib, sizeof(ds), &ds));
    EXPECT_EQ(c.width, ds.dsBmih.biWidth) << c.id;
    EXPECT_EQ(c.height, std::labs(ds.dsBmih.biHeight)) << c.id;
    EXPECT_EQ(c.bits, ds.dsBmih.biBitCount) << c.id;
    DeleteObject(dib);
}

INSTANTIATE_TEST_SUITE_P(Bitmaps, BitmapResourceTest,
                         ::testing::Values(BitmapCase{IDB_TITLEBAR, 66, 30, 24},
                                           BitmapCase{IDB_LOGO, 144, 30, 24},
                                           BitmapCase{IDB_CONFIRM_BG, 256, 110, 24},
                                           BitmapCase{IDB_CLEAN_BG, 57, 40, 8}),
                         [](const testing::TestParamInfo<BitmapCase>& info) {
                             return "Bitmap" + std::to_string(info.param.id);
                         });

TEST(BitmapResource, CleanerBackgroundIsAllBlack) {
    HBITMAP bmp = LoadBitmapW(Self(), MAKEINTRESOURCEW(IDB_CLEAN_BG));
    ASSERT_NE(nullptr, bmp);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = 57;
    bi.bmiHeader.biHeight = -40;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    std::vector<uint32_t> pixels(57 * 40, 0xDEADBEEF);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(40, GetDIBits(screen, bmp, 0, 40, pixels.data(), &bi, DIB_RGB_COLORS));
    ReleaseDC(nullptr, screen);
    DeleteObject(bmp);
    size_t notBlack = 0;
    for (uint32_t p : pixels)
        notBlack += (p & 0x00FFFFFF) != 0;
    EXPECT_EQ(0u, notBlack);
}

// --- Icon ---------------------------------------------------------------------------------

#pragma pack(push, 2)
struct GroupIconDir {
    WORD reserved, type, count;
};
struct GroupIconEntry {
    BYTE width, height, colors, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

TEST(IconResource, OneImageOf64By64At32Bits) {
    std::vector<uint8_t> group = ResourceBytes(RT_GROUP_ICON, MAKEINTRESOURCEW(IDR_MAINFRAME));
    ASSERT_GE(group.size(), sizeof(GroupIconDir) + sizeof(GroupIconEntry));
    GroupIconDir dir;
    std::memcpy(&dir, group.data(), sizeof(dir));
    EXPECT_EQ(1, dir.type);
    ASSERT_EQ(1, dir.count);
    GroupIconEntry entry;
    std::memcpy(&entry, group.data() + sizeof(dir), sizeof(entry));
    EXPECT_EQ(64, entry.width);
    EXPECT_EQ(64, entry.height);
    EXPECT_EQ(32, entry.bitCount);

    HICON icon = static_cast<HICON>(
        LoadImageW(Self(), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    ASSERT_NE(nullptr, icon);
    DestroyIcon(icon);
    icon = static_cast<HICON>(
        LoadImageW(Self(), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, 64, 64, 0));
    ASSERT_NE(nullptr, icon);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    ASSERT_NE(nullptr, info.hbmColor);
    BITMAP bm{};
    GetObjectW(info.hbmColor, sizeof(bm), &bm);
    EXPECT_EQ(64, bm.bmWidth);
    EXPECT_EQ(64, bm.bmHeight);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);

    // The window icon as the windows load it.
    EXPECT_NE(nullptr, LoadIconW(Self(), MAKEINTRESOURCEW(IDR_MAINFRAME)));
}

// --- Version information ------------------------------------------------------------------

// One node of the version resource: key, value bytes and children.
struct VersionNode {
    std::wstring key;
    std::vector<uint8_t> value;
    WORD type = 0;
    std::vector<VersionNode> children;
};

bool ParseVersionNode(const uint8_t* base, size_t size, size_t& pos, VersionNode& node) {
    auto align = [](size_t p) { return (p + 3) & ~size_t(3); };
    pos = align(pos);
    if (pos + 6 > size)
        return false;
    const size_t start = pos;
    WORD length, valueLength;
    std::memcpy(&length, base + pos, 2);
    std::memcpy(&valueLength, base + pos + 2, 2);
    std::memcpy(&node.type, base + pos + 4, 2);
    const size_t end = start + length;
    if (length < 6 || end > size)
        return false;
    pos += 6;
    while (pos + 2 <= end) {
        wchar_t c;
        std::memcpy(&c, base + pos, 2);
        pos += 2;
        if (c == 0)
            break;
        node.key += c;
    }
    pos = align(pos);
    const size_t valueBytes = node.type == 1 ? size_t(valueLength) * 2 : valueLength;
    if (pos + valueBytes > end)
        return false;
    node.value.assign(base + pos, base + pos + valueBytes);
    pos += valueBytes;
    while (align(pos) < end) {
        VersionNode child;
        if (!ParseVersionNode(base, end, pos, child))
            return false;
        node.children.push_back(child);
    }
    pos = end;
    return true;
}

const VersionNode* Child(const VersionNode& node, const std::wstring& key) {
    for (const auto& c : node.children)
        if (c.key == key)
            return &c;
    return nullptr;
}

std::wstring Text(const VersionNode& node) {
    std::wstring s(reinterpret_cast<const wchar_t*>(node.value.data()), node.value.size() / 2);
    while (!s.empty() && s.back() == 0)
        s.pop_back();
    return s;
}

TEST(VersionResource, ProductAndTranslation) {
    std::vector<uint8_t> bytes = ResourceBytes(RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO));
    ASSERT_FALSE(bytes.empty());
    VersionNode root;
    size_t pos = 0;
    ASSERT_TRUE(ParseVersionNode(bytes.data(), bytes.size(), pos, root));
    EXPECT_EQ(L"VS_VERSION_INFO", root.key);
    ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), root.value.size());
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, root.value.data(), sizeof(fixed));
    EXPECT_EQ(0xFEEF04BDu, fixed.dwSignature);
    EXPECT_EQ(0x00010000u, fixed.dwFileVersionMS);
    EXPECT_EQ(0u, fixed.dwFileVersionLS);
    EXPECT_EQ(0x00010000u, fixed.dwProductVersionMS);
    EXPECT_EQ(DWORD(VFT_APP), fixed.dwFileType);

    const VersionNode* strings = Child(root, L"StringFileInfo");
    ASSERT_NE(nullptr, strings);
    const VersionNode* table = Child(*strings, L"080404b0");
    ASSERT_NE(nullptr, table);
    struct Field {
        const wchar_t* key;
        const wchar_t* value;
    };
    for (const Field& f : {Field{L"ProductName", L"PellumoZarvotek"},
                           Field{L"OriginalFilename", L"PellumoZarvotek.exe"},
                           Field{L"FileVersion", L"1.0.0.0"},
                           Field{L"ProductVersion", L"1.0.0.0"}}) {
        const VersionNode* v = Child(*table, f.key);
        ASSERT_NE(nullptr, v) << testing::PrintToString(std::wstring(f.key));
        EXPECT_EQ(std::wstring(f.value), Text(*v));
    }
    const VersionNode* description = Child(*table, L"FileDescription");
    ASSERT_NE(nullptr, description);
    EXPECT_FALSE(Text(*description).empty());

    const VersionNode* vars = Child(root, L"VarFileInfo");
    ASSERT_NE(nullptr, vars);
    const VersionNode* translation = Child(*vars, L"Translation");
    ASSERT_NE(nullptr, translation);
    ASSERT_EQ(4u, translation->value.size());
    WORD pair[2];
    std::memcpy(pair, translation->value.data(), 4);
    EXPECT_EQ(0x0804, pair[0]);
    EXPECT_EQ(1200, pair[1]);
}

// --- Manifest -------------------------------------------------------------------------------

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
    reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
    return TRUE;
}

TEST(ManifestResource, OneManifestAskingForCommonControls6) {
    std::vector<WORD> languages;
    EnumResourceLanguagesW(Self(), RT_MANIFEST, MAKEINTRESOURCEW(1), CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    ASSERT_EQ((std::vector<WORD>{kLang}), languages) << "exactly one manifest, in 2052";

    std::vector<uint8_t> bytes = ResourceBytes(RT_MANIFEST, MAKEINTRESOURCEW(1));
    std::string xml(bytes.begin(), bytes.end());
    for (const char* needle :
         {"Microsoft.Windows.Common-Controls", "version=\"6.0.0.0\"", "6595b64144ccf1df",
          "level=\"asInvoker\"", "uiAccess=\"false\"", ">true</dpiAware>",
          ">system</dpiAwareness>",
          "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",    // Windows 7
          "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) { // Windows 10 and 11
        EXPECT_NE(std::string::npos, xml.find(needle)) << needle;
    }
}

TEST(ManifestResource, CommonControls6AreActive) {
    // The process's manifest redirects the common controls, loaded by name, to
    // the side-by-side assembly of version 6.
    HMODULE comctl = LoadLibraryW(L"comctl32.dll");
    ASSERT_NE(nullptr, comctl);
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(comctl, path, MAX_PATH);
    std::wstring lower(path);
    for (auto& c : lower)
        c = static_cast<wchar_t>(std::towlower(c));
    EXPECT_NE(std::wstring::npos, lower.find(L"\\winsxs\\")) << testing::PrintToString(lower);
    EXPECT_NE(std::wstring::npos, lower.find(L"microsoft.windows.common-controls_6595b64144ccf1df_6."))
        << testing::PrintToString(lower);
    // (Wine's version 6 library still reports 5.81 from DllGetVersion, so the
    // assembly it comes from is what tells the versions apart.)
    FreeLibrary(comctl);
}

// --- Every resource in the program's language -------------------------------------------------

struct Census {
    std::map<std::wstring, int> count;   // "type/name" -> languages seen
    std::vector<std::wstring> foreign;   // resources in another language
};

std::wstring Id(LPCWSTR p) {
    return IS_INTRESOURCE(p) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(p)) : p;
}

BOOL CALLBACK CensusLanguage(HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR param) {
    auto* census = reinterpret_cast<Census*>(param);
    std::wstring key = Id(type) + L"/" + Id(name);
    census->count[key]++;
    if (language != kLang)
        census->foreign.push_back(key + L" lang " + std::to_wstring(language));
    return TRUE;
}

BOOL CALLBACK CensusName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param) {
    EnumResourceLanguagesW(module, type, name, CensusLanguage, param);
    return TRUE;
}

BOOL CALLBACK CensusType(HMODULE module, LPWSTR type, LONG_PTR param) {
    EnumResourceNamesW(module, type, CensusName, param);
    return TRUE;
}

TEST(ResourceLanguage, EveryResourceIsSimplifiedChinese) {
    Census census;
    EnumResourceTypesW(Self(), CensusType, reinterpret_cast<LONG_PTR>(&census));
    EXPECT_TRUE(census.foreign.empty()) << testing::PrintToString(census.foreign);

    std::vector<std::wstring> expected = {L"#5/#102", L"#5/#131", L"#5/#132", L"#5/#172",
                                          L"#5/#173", L"#240/#131", L"#240/#132",
                                          L"#14/#128", L"#2/#136", L"#2/#141", L"#2/#177",
                                          L"#2/#187", L"#24/#1", L"#16/#1"};
    for (int id : {155, 160, 162, 164, 166, 167, 168, 169, 170, 171, 175, 176, 189, 1000})
        expected.push_back(L"PNG/#" + std::to_wstring(id));
    for (const auto& key : expected)
        EXPECT_EQ(1, census.count[key]) << testing::PrintToString(key);
}

}  // namespace
