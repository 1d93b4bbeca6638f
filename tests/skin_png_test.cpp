// PNG images from resources and per-pixel-alpha layered windows.
//
// Besides the holders' visible state, these tests watch the calls that the
// skin code makes into the system (global memory, device contexts, GDI+) by
// redirecting this executable's import slots for the duration of one test:
// the skin code is linked into this executable, so its calls go through them.
#include "res/resource.h"
#include "skin/CGdiPlusPngResource.h"
#include "skin/UpdateLayeredTool.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

HMODULE Self() { return GetModuleHandleW(nullptr); }

std::vector<uint8_t> PngBytes(HMODULE module, WORD id) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
    if (!found)
        return {};
    const auto* p = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
    return p ? std::vector<uint8_t>(p, p + SizeofResource(module, found)) : std::vector<uint8_t>();
}

// --- Watching calls through the import slots ----------------------------------

struct Call {
    std::string name;
    uintptr_t arg;     // first argument
    uintptr_t arg2;    // second argument, where it matters
    uintptr_t result;
};

std::vector<Call>* g_calls = nullptr;

void Record(const char* name, uintptr_t arg, uintptr_t arg2, uintptr_t result) {
    if (g_calls)
        g_calls->push_back(Call{name, arg, arg2, result});
}

template <typename Fn>
Fn Real(const wchar_t* dll, const char* name) {
    HMODULE module = GetModuleHandleW(dll);
    if (!module)
        module = LoadLibraryW(dll);
    return reinterpret_cast<Fn>(GetProcAddress(module, name));
}

using PfnGlobalAlloc = HGLOBAL(WINAPI*)(UINT, SIZE_T);
using PfnGlobalLock = LPVOID(WINAPI*)(HGLOBAL);
using PfnGlobalUnlock = BOOL(WINAPI*)(HGLOBAL);
using PfnGlobalFree = HGLOBAL(WINAPI*)(HGLOBAL);
using PfnLoadLibraryW = HMODULE(WINAPI*)(LPCWSTR);
using PfnGetDC = HDC(WINAPI*)(HWND);
using PfnReleaseDC = int(WINAPI*)(HWND, HDC);
using PfnSetWindowLongW = LONG(WINAPI*)(HWND, int, LONG);
using PfnCreateCompatibleDC = HDC(WINAPI*)(HDC);
using PfnDeleteDC = BOOL(WINAPI*)(HDC);
using PfnCreateCompatibleBitmap = HBITMAP(WINAPI*)(HDC, int, int);
using PfnSelectObject = HGDIOBJ(WINAPI*)(HDC, HGDIOBJ);
using PfnDeleteObject = BOOL(WINAPI*)(HGDIOBJ);
using PfnGdipLoad = int(WINAPI*)(IStream*, void**);
using PfnGdipDispose = int(WINAPI*)(void*);
using PfnGdipFree = void(WINAPI*)(void*);
using PfnGdipCreateFromHDC = int(WINAPI*)(HDC, void**);
using PfnCreateStreamOnHGlobal = HRESULT(WINAPI*)(HGLOBAL, BOOL, IStream**);
using PfnGdipDeleteGraphics = int(WINAPI*)(void*);

struct RealFns {
    PfnGlobalAlloc globalAlloc = Real<PfnGlobalAlloc>(L"kernel32.dll", "GlobalAlloc");
    PfnGlobalLock globalLock = Real<PfnGlobalLock>(L"kernel32.dll", "GlobalLock");
    PfnGlobalUnlock globalUnlock = Real<PfnGlobalUnlock>(L"kernel32.dll", "GlobalUnlock");
    PfnGlobalFree globalFree = Real<PfnGlobalFree>(L"kernel32.dll", "GlobalFree");
    PfnLoadLibraryW loadLibraryW = Real<PfnLoadLibraryW>(L"kernel32.dll", "LoadLibraryW");
    PfnGetDC getDC = Real<PfnGetDC>(L"user32.dll", "GetDC");
    PfnReleaseDC releaseDC = Real<PfnReleaseDC>(L"user32.dll", "ReleaseDC");
    PfnSetWindowLongW setWindowLongW = Real<PfnSetWindowLongW>(L"user32.dll", "SetWindowLongW");
    PfnCreateCompatibleDC createCompatibleDC =
        Real<PfnCreateCompatibleDC>(L"gdi32.dll", "CreateCompatibleDC");
    PfnDeleteDC deleteDC = Real<PfnDeleteDC>(L"gdi32.dll", "DeleteDC");
    PfnCreateCompatibleBitmap createCompatibleBitmap =
        Real<PfnCreateCompatibleBitmap>(L"gdi32.dll", "CreateCompatibleBitmap");
    PfnSelectObject selectObject = Real<PfnSelectObject>(L"gdi32.dll", "SelectObject");
    PfnDeleteObject deleteObject = Real<PfnDeleteObject>(L"gdi32.dll", "DeleteObject");
    PfnGdipLoad gdipLoad = Real<PfnGdipLoad>(L"gdiplus.dll", "GdipLoadImageFromStream");
    PfnGdipDispose gdipDispose = Real<PfnGdipDispose>(L"gdiplus.dll", "GdipDisposeImage");
    PfnGdipFree gdipFree = Real<PfnGdipFree>(L"gdiplus.dll", "GdipFree");
    PfnGdipCreateFromHDC gdipCreateFromHDC =
        Real<PfnGdipCreateFromHDC>(L"gdiplus.dll", "GdipCreateFromHDC");
    PfnGdipDeleteGraphics gdipDeleteGraphics =
        Real<PfnGdipDeleteGraphics>(L"gdiplus.dll", "GdipDeleteGraphics");
    PfnCreateStreamOnHGlobal createStreamOnHGlobal =
        Real<PfnCreateStreamOnHGlobal>(L"ole32.dll", "CreateStreamOnHGlobal");
};

const RealFns& R() {
    static RealFns fns;
    return fns;
}

#define U(x) reinterpret_cast<uintptr_t>(x)
HGLOBAL WINAPI HookGlobalAlloc(UINT flags, SIZE_T size) {
    HGLOBAL h = R().globalAlloc(flags, size);
    Record("GlobalAlloc", flags, size, U(h));
    return h;
}
LPVOID WINAPI HookGlobalLock(HGLOBAL h) {
    LPVOID p = R().globalLock(h);
    Record("GlobalLock", U(h), 0, U(p));
    return p;
}
BOOL WINAPI HookGlobalUnlock(HGLOBAL h) {
    BOOL ok = R().globalUnlock(h);
    Record("GlobalUnlock", U(h), 0, ok);
    return ok;
}
HGLOBAL WINAPI HookGlobalFree(HGLOBAL h) {
    HGLOBAL r = R().globalFree(h);
    Record("GlobalFree", U(h), 0, U(r));
    return r;
}
HMODULE WINAPI HookLoadLibraryW(LPCWSTR name) {
    HMODULE m = R().loadLibraryW(name);
    Record("LoadLibraryW", 0, 0, U(m));
    return m;
}
HDC WINAPI HookGetDC(HWND w) {
    HDC dc = R().getDC(w);
    Record("GetDC", U(w), 0, U(dc));
    return dc;
}
int WINAPI HookReleaseDC(HWND w, HDC dc) {
    int r = R().releaseDC(w, dc);
    Record("ReleaseDC", U(w), U(dc), r);
    return r;
}
LONG WINAPI HookSetWindowLongW(HWND w, int index, LONG value) {
    LONG r = R().setWindowLongW(w, index, value);
    Record("SetWindowLongW", U(w), static_cast<uintptr_t>(value), static_cast<uintptr_t>(r));
    return r;
}
HDC WINAPI HookCreateCompatibleDC(HDC dc) {
    HDC r = R().createCompatibleDC(dc);
    Record("CreateCompatibleDC", U(dc), 0, U(r));
    return r;
}
BOOL WINAPI HookDeleteDC(HDC dc) {
    BOOL r = R().deleteDC(dc);
    Record("DeleteDC", U(dc), 0, r);
    return r;
}
HBITMAP WINAPI HookCreateCompatibleBitmap(HDC dc, int cx, int cy) {
    HBITMAP r = R().createCompatibleBitmap(dc, cx, cy);
    Record("CreateCompatibleBitmap", U(dc), static_cast<uintptr_t>(cx) << 16 | cy, U(r));
    return r;
}
HGDIOBJ WINAPI HookSelectObject(HDC dc, HGDIOBJ obj) {
    HGDIOBJ r = R().selectObject(dc, obj);
    Record("SelectObject", U(dc), U(obj), U(r));
    return r;
}
BOOL WINAPI HookDeleteObject(HGDIOBJ obj) {
    BOOL r = R().deleteObject(obj);
    Record("DeleteObject", U(obj), 0, r);
    return r;
}
int WINAPI HookGdipLoad(IStream* s, void** image) {
    int r = R().gdipLoad(s, image);
    Record("GdipLoadImageFromStream", U(s), image ? U(*image) : 0, static_cast<uintptr_t>(r));
    return r;
}
int WINAPI HookGdipDispose(void* image) {
    int r = R().gdipDispose(image);
    Record("GdipDisposeImage", U(image), 0, static_cast<uintptr_t>(r));
    return r;
}
void WINAPI HookGdipFree(void* p) {
    Record("GdipFree", U(p), 0, 0);
    R().gdipFree(p);
}
int WINAPI HookGdipCreateFromHDC(HDC dc, void** g) {
    int r = R().gdipCreateFromHDC(dc, g);
    Record("GdipCreateFromHDC", U(dc), g ? U(*g) : 0, static_cast<uintptr_t>(r));
    return r;
}
int WINAPI HookGdipDeleteGraphics(void* g) {
    int r = R().gdipDeleteGraphics(g);
    Record("GdipDeleteGraphics", U(g), 0, static_cast<uintptr_t>(r));
    return r;
}
HRESULT WINAPI HookCreateStreamOnHGlobal(HGLOBAL h, BOOL deleteOnRelease, IStream** stream) {
    HRESULT hr = R().createStreamOnHGlobal(h, deleteOnRelease, stream);
    Record("CreateStreamOnHGlobal", U(h), static_cast<uintptr_t>(deleteOnRelease),
           static_cast<uintptr_t>(hr));
    return hr;
}
#undef U

// Redirects every import slot of this executable that holds `real` to `hook`
// while the object lives.
class ImportHook {
public:
    ImportHook(void* real, void* hook) {
        auto* base = reinterpret_cast<uint8_t*>(Self());
        auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
        auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
        const IMAGE_DATA_DIRECTORY& dir =
            nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        if (!dir.VirtualAddress || !real)
            return;
        for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
             imp->Name; ++imp) {
            for (auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
                 slot->u1.Function; ++slot) {
                if (reinterpret_cast<void*>(slot->u1.Function) == real) {
                    Patch(slot, hook);
                    m_slots.push_back(slot);
                }
            }
        }
        m_real = real;
    }
    ~ImportHook() {
        for (auto* slot : m_slots)
            Patch(slot, m_real);
    }
    ImportHook(const ImportHook&) = delete;
    ImportHook& operator=(const ImportHook&) = delete;
    bool active() const { return !m_slots.empty(); }

private:
    static void Patch(IMAGE_THUNK_DATA* slot, void* value) {
        DWORD old = 0;
        VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), PAGE_READWRITE, &old);
        slot->u1.Function = reinterpret_cast<ULONG_PTR>(value);
        VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), old, &old);
    }
    std::vector<IMAGE_THUNK_DATA*> m_slots;
    void* m_real = nullptr;
};

// Records the watched calls made while it lives.
class CallWatch {
public:
    CallWatch() {
        const RealFns& r = R();
        Add(r.globalAlloc, HookGlobalAlloc);
        Add(r.globalLock, HookGlobalLock);
        Add(r.globalUnlock, HookGlobalUnlock);
        Add(r.globalFree, HookGlobalFree);
        Add(r.loadLibraryW, HookLoadLibraryW);
        Add(r.getDC, HookGetDC);
        Add(r.releaseDC, HookReleaseDC);
        Add(r.setWindowLongW, HookSetWindowLongW);
        Add(r.createCompatibleDC, HookCreateCompatibleDC);
        Add(r.deleteDC, HookDeleteDC);
        Add(r.createCompatibleBitmap, HookCreateCompatibleBitmap);
        Add(r.selectObject, HookSelectObject);
        Add(r.deleteObject, HookDeleteObject);
        Add(r.gdipLoad, HookGdipLoad);
        Add(r.gdipDispose, HookGdipDispose);
        Add(r.gdipFree, HookGdipFree);
        Add(r.gdipCreateFromHDC, HookGdipCreateFromHDC);
        Add(r.gdipDeleteGraphics, HookGdipDeleteGraphics);
        Add(r.createStreamOnHGlobal, HookCreateStreamOnHGlobal);
        g_calls = &m_calls;
    }
    ~CallWatch() {
        g_calls = nullptr;
        m_hooks.clear();
    }
    CallWatch(const CallWatch&) = delete;
    CallWatch& operator=(const CallWatch&) = delete;

    // Stops recording; the list stays readable.
    void Stop() { g_calls = nullptr; }

    const std::vector<Call>& calls() const { return m_calls; }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const Call& c : m_calls)
            names.push_back(c.name);
        return names;
    }
    // Index of the first call named `name` with first argument `arg` (any if 0).
    int Find(const std::string& name, uintptr_t arg = 0, int from = 0) const {
        for (int i = from; i < static_cast<int>(m_calls.size()); ++i)
            if (m_calls[i].name == name && (arg == 0 || m_calls[i].arg == arg))
                return i;
        return -1;
    }
    int Count(const std::string& name) const {
        return static_cast<int>(std::count_if(m_calls.begin(), m_calls.end(),
                                              [&](const Call& c) { return c.name == name; }));
    }
    // Every watched function was found among this executable's imports.
    bool complete() const {
        return std::all_of(m_hooks.begin(), m_hooks.end(),
                           [](const std::unique_ptr<ImportHook>& h) { return h->active(); });
    }

private:
    template <typename Fn>
    void Add(Fn real, Fn hook) {
        m_hooks.push_back(std::make_unique<ImportHook>(reinterpret_cast<void*>(real),
                                                       reinterpret_cast<void*>(hook)));
    }
    std::vector<std::unique_ptr<ImportHook>> m_hooks;
    std::vector<Call> m_calls;
};

std::string Trace(const CallWatch& watch) {
    std::string s;
    for (const auto& n : watch.Names())
        s += n + " ";
    return s;
}

bool IsFreedBlock(HGLOBAL h) {
    return GlobalFlags(h) == GMEM_INVALID_HANDLE;
}

// --- Loading ------------------------------------------------------------------------

TEST(PngResourceLoad, LauncherImage) {
    CGdiPlusPngResource png;
    EXPECT_EQ(nullptr, png.m_pImage);
    EXPECT_EQ(nullptr, png.m_hBuffer);
    ASSERT_TRUE(png.Load(MAKEINTRESOURCEW(IDB_PNG_LAUNCHER), L"PNG", Self()));
    ASSERT_NE(nullptr, png.m_pImage);
    ASSERT_NE(nullptr, png.m_hBuffer);
    EXPECT_EQ(980u, png.m_pImage->GetWidth());
    EXPECT_EQ(668u, png.m_pImage->GetHeight());

    // The block is a byte-for-byte copy of the resource, locked once.
    std::vector<uint8_t> bytes = PngBytes(Self(), IDB_PNG_LAUNCHER);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(1u, GlobalFlags(png.m_hBuffer) & GMEM_LOCKCOUNT);
    EXPECT_GE(GlobalSize(png.m_hBuffer), bytes.size());
    const void* block = GlobalLock(png.m_hBuffer);
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(0, std::memcmp(block, bytes.data(), bytes.size()));
    GlobalUnlock(png.m_hBuffer);
    EXPECT_EQ(1u, GlobalFlags(png.m_hBuffer) & GMEM_LOCKCOUNT);
}

TEST(PngResourceLoad, EveryPngOfTheProgram) {
    struct Case {
        WORD id;
        UINT width, height;
    };
    const Case cases[] = {{155, 980, 668}, {160, 28, 112}, {162, 24, 96},  {164, 106, 120},
                          {166, 30, 120},  {167, 64, 120}, {168, 29, 120}, {169, 29, 120},
                          {170, 82, 120},  {171, 61, 120}, {175, 74, 104}, {176, 74, 104},
                          {189, 29, 120},  {1000, 87, 120}};
    CGdiPlusPngResource png;
    for (const Case& c : cases) {
        ASSERT_TRUE(png.Load(MAKEINTRESOURCEW(c.id), nullptr, Self())) << c.id;
        EXPECT_EQ(c.width, png.m_pImage->GetWidth()) << c.id;
        EXPECT_EQ(c.height, png.m_pImage->GetHeight()) << c.id;
    }
}

TEST(PngResourceLoad, TypeArgumentIsNotUsed) {
    for (LPCWSTR type : {static_cast<LPCWSTR>(nullptr), static_cast<LPCWSTR>(RT_BITMAP),
                         static_cast<LPCWSTR>(RT_RCDATA), static_cast<LPCWSTR>(L"GIF")}) {
        CGdiPlusPngResource png;
        EXPECT_TRUE(png.Load(MAKEINTRESOURCEW(IDB_PNG_PORTAL_CLOSE), type, Self()));
        ASSERT_NE(nullptr, png.m_pImage);
        EXPECT_EQ(28u, png.m_pImage->GetWidth());
    }
    // A resource of another type is not found even when that type is named.
    CGdiPlusPngResource png;
    EXPECT_FALSE(png.Load(MAKEINTRESOURCEW(IDB_TITLEBAR), RT_BITMAP, Self()));
    EXPECT_EQ(nullptr, png.m_pImage);
    EXPECT_EQ(nullptr, png.m_hBuffer);
}

TEST(PngResourceLoad, MissingResourcesLeaveTheHolderEmpty) {
    const LPCWSTR names[] = {MAKEINTRESOURCEW(4321), MAKEINTRESOURCEW(IDD_LOGIN_DIALOG),
                             MAKEINTRESOURCEW(IDB_TITLEBAR), MAKEINTRESOURCEW(IDR_MAINFRAME),
                             L"NOSUCHPNG"};
    for (LPCWSTR name : names) {
        CGdiPlusPngResource png;
        CallWatch watch;
        EXPECT_FALSE(png.Load(name, L"PNG", Self()));
        watch.Stop();
        EXPECT_EQ(nullptr, png.m_pImage);
        EXPECT_EQ(nullptr, png.m_hBuffer);
        EXPECT_EQ(0, watch.Count("GlobalAlloc")) << "no memory is taken for a missing resource";
    }
}

TEST(PngResourceLoad, FailedLoadEmptiesALoadedHolder) {
    CGdiPlusPngResource png;
    ASSERT_TRUE(png.Load(MAKEINTRESOURCEW(IDB_PNG_LAUNCHER), nullptr, Self()));
    HGLOBAL first = png.m_hBuffer;
    EXPECT_FALSE(png.Load(MAKEINTRESOURCEW(4321), nullptr, Self()));
    EXPECT_EQ(nullptr, png.m_pImage);
    EXPECT_EQ(nullptr, png.m_hBuffer);
    EXPECT_TRUE(IsFreedBlock(first));
}

TEST(PngResourceLoad, LoadingTwiceReleasesTheFirstImageAndBlockFirst) {
    CGdiPlusPngResource png;
    ASSERT_TRUE(png.Load(MAKEINTRESOURCEW(IDB_PNG_LAUNCHER), nullptr, Self()));
    Gdiplus::Image* firstImage = png.m_pImage;
    HGLOBAL firstBlock = png.m_hBuffer;

    CallWatch watch;
    ASSERT_TRUE(watch.complete()) << "an import of the skin code was not found";
    ASSERT_TRUE(png.Load(MAKEINTRESOURCEW(IDB_PNG_PORTAL_MIN), nullptr, Self()));
    watch.Stop();

    ASSERT_NE(nullptr, png.m_pImage);
    EXPECT_EQ(24u, png.m_pImage->GetWidth());
    EXPECT_EQ(96u, png.m_pImage->GetHeight());

    // The first image is disposed of and deleted, then its block unlocked and
    // freed, and only then is the new block taken.
    const int dispose = watch.Find("GdipDisposeImage");
    const int freeImage = watch.Find("GdipFree", reinterpret_cast<uintptr_t>(firstImage));
    const int unlock = watch.Find("GlobalUnlock", reinterpret_cast<uintptr_t>(firstBlock));
    const int freeBlock = watch.Find("GlobalFree", reinterpret_cast<uintptr_t>(firstBlock));
    const int alloc = watch.Find("GlobalAlloc");
    EXPECT_GE(dispose, 0) << Trace(watch);
    EXPECT_GT(freeImage, dispose) << Trace(watch);
    EXPECT_GT(unlock, freeImage) << Trace(watch);
    EXPECT_GT(freeBlock, unlock) << Trace(watch);
    EXPECT_GT(alloc, freeBlock) << Trace(watch);
    ASSERT_GE(alloc, 0);
    EXPECT_EQ(static_cast<uintptr_t>(GMEM_MOVEABLE), watch.calls()[alloc].arg);
    EXPECT_EQ(PngBytes(Self(), IDB_PNG_PORTAL_MIN).size(), watch.calls()[alloc].arg2);
    // The stream runs over the new block and does not own it.
    const int stream = watch.Find("CreateStreamOnHGlobal", watch.calls()[alloc].result);
    EXPECT_GT(stream, alloc) << Trace(watch);
    EXPECT_EQ(static_cast<uintptr_t>(FALSE), stream >= 0 ? watch.calls()[stream].arg2 : 99);

    // The old handle is gone, unless the heap gave the very same handle back.
    if (png.m_hBuffer != firstBlock) {
        EXPECT_TRUE(IsFreedBlock(firstBlock));
    }
    EXPECT_EQ(1u, GlobalFlags(png.m_hBuffer) & GMEM_LOCKCOUNT);
    EXPECT_EQ(PngBytes(Self(), IDB_PNG_PORTAL_MIN).size(), GlobalSize(png.m_hBuffer));
}

TEST(PngResourceLoad, DestructionDisposesTheImageThenFreesTheBlock) {
    auto png = std::make_unique<CGdiPlusPngResource>();
    ASSERT_TRUE(png->Load(MAKEINTRESOURCEW(IDB_PNG_LAUNCHER), nullptr, Self()));
    HGLOBAL block = png->m_hBuffer;
    Gdiplus::Image* image = png->m_pImage;

    CallWatch watch;
    ASSERT_TRUE(watch.complete());
    png.reset();
    watch.Stop();

    const int dispose = watch.Find("GdipDisposeImage");
    const int freeImage = watch.Find("GdipFree", reinterpret_cast<uintptr_t>(image));
    const int unlock = watch.Find("GlobalUnlock", reinterpret_cast<uintptr_t>(block));
    const int freeBlock = watch.Find("GlobalFree", reinterpret_cast<uintptr_t>(block));
    EXPECT_EQ(0, dispose) << Trace(watch);
    EXPECT_GT(freeImage, dispose) << Trace(watch);
    EXPECT_GT(unlock, freeImage) << Trace(watch);
    EXPECT_GT(freeBlock, unlock) << Trace(watch);
    EXPECT_TRUE(IsFreedBlock(block));
}

TEST(PngResourceLoad, EmptyReleasesAndCanBeRepeated) {
    CGdiPlusPngResource png;
    png.Empty();
    EXPECT_EQ(nullptr, png.m_pImage);
    ASSERT_TRUE(png.Load(MAKEINTRESOURCEW(IDB_PNG_OK), nullptr, Self()));
    HGLOBAL block = png.m_hBuffer;
    png.Empty();
    EXPECT_EQ(nullptr, png.m_pImage);
    EXPECT_EQ(nullptr, png.m_hBuffer);
    EXPECT_TRUE(IsFreedBlock(block));
    png.Empty();
    EXPECT_EQ(nullptr, png.m_hBuffer);
    ASSERT_TRUE(png.Load(MAKEINTRESOURCEW(IDB_PNG_OK), nullptr, Self()));
    EXPECT_EQ(74u, png.m_pImage->GetWidth());
}

// A copy of this executable with undecodable "PNG" resources added, opened as
// a data file.
class CorruptPngModule {
public:
    static constexpr WORD kText = 4242;        // not a PNG at all
    static constexpr WORD kBadHeader = 4243;   // PNG signature, garbage after it

    CorruptPngModule() {
        wchar_t self[MAX_PATH] = {}, dir[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        GetTempPathW(MAX_PATH, dir);
        m_path = std::wstring(dir) + L"pz_corrupt_png_" + std::to_wstring(GetCurrentProcessId()) +
                 L".exe";
        if (!CopyFileW(self, m_path.c_str(), FALSE))
            return;
        HANDLE update = BeginUpdateResourceW(m_path.c_str(), FALSE);
        if (!update)
            return;
        static const char text[] = "this is not an image, only some text in a PNG resource";
        std::vector<uint8_t> badHeader = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        for (int i = 0; i < 120; ++i)
            badHeader.push_back(static_cast<uint8_t>(i * 37 + 11));
        const WORD lang = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
        bool ok = UpdateResourceW(update, L"PNG", MAKEINTRESOURCEW(kText), lang,
                                  const_cast<char*>(text), sizeof(text)) &&
                  UpdateResourceW(update, L"PNG", MAKEINTRESOURCEW(kBadHeader), lang,
                                  badHeader.data(), static_cast<DWORD>(badHeader.size()));
        if (!EndUpdateResourceW(update, !ok) || !ok)
            return;
        m_module = LoadLibraryExW(m_path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    }
    ~CorruptPngModule() {
        if (m_module)
            FreeLibrary(m_module);
        if (!m_path.empty())
            DeleteFileW(m_path.c_str());
    }
    CorruptPngModule(const CorruptPngModule&) = delete;
    CorruptPngModule& operator=(const CorruptPngModule&) = delete;
    HMODULE module() const { return m_module; }

private:
    std::wstring m_path;
    HMODULE m_module = nullptr;
};

TEST(PngResourceLoad, UndecodableBytesFailAndFreeTheBlock) {
    CorruptPngModule corrupt;
    ASSERT_NE(nullptr, corrupt.module());
    // The data file still carries the program's own images.
    {
        CGdiPlusPngResource png;
        ASSERT_TRUE(png.Load(MAKEINTRESOURCEW(IDB_PNG_LAUNCHER), nullptr, corrupt.module()));
        EXPECT_EQ(980u, png.m_pImage->GetWidth());
    }
    for (WORD id : {CorruptPngModule::kText, CorruptPngModule::kBadHeader}) {
        SCOPED_TRACE(id);
        ASSERT_FALSE(PngBytes(corrupt.module(), id).empty());
        CGdiPlusPngResource png;
        CallWatch watch;
        ASSERT_TRUE(watch.complete());
        EXPECT_FALSE(png.Load(MAKEINTRESOURCEW(id), nullptr, corrupt.module()));
        watch.Stop();
        EXPECT_EQ(nullptr, png.m_pImage);
        EXPECT_EQ(nullptr, png.m_hBuffer);

        const int alloc = watch.Find("GlobalAlloc");
        ASSERT_GE(alloc, 0) << Trace(watch);
        const uintptr_t block = watch.calls()[alloc].result;
        EXPECT_EQ(PngBytes(corrupt.module(), id).size(), watch.calls()[alloc].arg2);
        const int decode = watch.Find("GdipLoadImageFromStream");
        const int unlock = watch.Find("GlobalUnlock", block);
        const int freeBlock = watch.Find("GlobalFree", block);
        EXPECT_GT(decode, alloc) << Trace(watch);
        EXPECT_NE(0u, watch.calls()[decode].result) << "GDI+ decoded it after all";
        EXPECT_GT(unlock, decode) << Trace(watch);
        EXPECT_GT(freeBlock, unlock) << Trace(watch);
        EXPECT_TRUE(IsFreedBlock(reinterpret_cast<HGLOBAL>(block)));
    }
}

// --- The layered-window tool ----------------------------------------------------------

TEST(UpdateLayeredTool, OneInstanceWithTheUser32Functions) {
    CallWatch watch;
    UpdateLayeredTool* first = UpdateLayeredTool::GetInstance();
    UpdateLayeredTool* second = UpdateLayeredTool::GetInstance();
    watch.Stop();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(first, second);
    EXPECT_LE(watch.Count("LoadLibraryW"), 1) << "User32.DLL is loaded once per process";

    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    EXPECT_EQ(user32, first->m_hUser32);
    ASSERT_NE(nullptr, first->m_pfnUpdateLayeredWindow);
    ASSERT_NE(nullptr, first->m_pfnSetLayeredWindowAttributes);
    EXPECT_EQ(reinterpret_cast<FARPROC>(first->m_pfnUpdateLayeredWindow),
              GetProcAddress(user32, "UpdateLayeredWindow"));
    EXPECT_EQ(reinterpret_cast<FARPROC>(first->m_pfnSetLayeredWindowAttributes),
              GetProcAddress(user32, "SetLayeredWindowAttributes"));
}

HWND g_clicked = nullptr;   // the last test window that received a left button press

LRESULT CALLBACK PlainProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_LBUTTONDOWN)
        g_clicked = w;
    if (m == WM_MOUSEACTIVATE)
        return MA_NOACTIVATE;
    return DefWindowProcW(w, m, wp, lp);
}

bool UnderWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Presses and releases the left mouse button at a screen point, as the user
// does. Under Wine the click goes through the X server (xdotool): Wine's own
// hit testing does not look at layered pixels, the X server's input shape does.
void ClickAt(POINT pt) {
    if (UnderWine()) {
        std::wstring cmd = L"/usr/bin/xdotool mousemove " + std::to_wstring(pt.x) + L" " +
                           std::to_wstring(pt.y) + L" click 1";
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi{};
        if (CreateProcessW(L"Z:\\usr\\bin\\xdotool", &cmd[0], nullptr, nullptr, FALSE, 0, nullptr,
                           nullptr, &si, &pi)) {
            if (pi.hThread)
                CloseHandle(pi.hThread);
            if (pi.hProcess)
                CloseHandle(pi.hProcess);
        }
    } else {
        SetCursorPos(pt.x, pt.y);
        INPUT in[2] = {};
        in[0].type = in[1].type = INPUT_MOUSE;
        in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
        in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
        SendInput(2, in, sizeof(INPUT));
    }
}

// The window that the click at `pt` reaches (null if none of ours did). The
// click arrives asynchronously; the wait ends as soon as it is there.
HWND ClickedWindow(POINT pt) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
    g_clicked = nullptr;
    ClickAt(pt);
    const ULONGLONG deadline = GetTickCount64() + 10000;
    while (!g_clicked && GetTickCount64() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }
    return g_clicked;
}

const wchar_t* WindowClass(COLORREF background) {
    static std::vector<std::wstring> names;
    std::wstring name = L"PzSkinTest" + std::to_wstring(background);
    for (const auto& n : names)
        if (n == name)
            return n.c_str();
    WNDCLASSW wc{};
    wc.lpfnWndProc = PlainProc;
    wc.hInstance = Self();
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = CreateSolidBrush(background);
    names.push_back(name);
    wc.lpszClassName = names.back().c_str();
    RegisterClassW(&wc);
    return names.back().c_str();
}

// A top-level popup window, destroyed with the object.
class Popup {
public:
    Popup(COLORREF background, int x, int y, int cx, int cy, DWORD exStyle = WS_EX_TOOLWINDOW) {
        m_hWnd = CreateWindowExW(exStyle, WindowClass(background), L"", WS_POPUP, x, y, cx, cy,
                                 nullptr, nullptr, Self(), nullptr);
    }
    ~Popup() { Destroy(); }
    Popup(const Popup&) = delete;
    Popup& operator=(const Popup&) = delete;
    void Destroy() {
        if (m_hWnd)
            DestroyWindow(m_hWnd);
        m_hWnd = nullptr;
    }
    HWND hwnd() const { return m_hWnd; }

private:
    HWND m_hWnd = nullptr;
};

void Pump() {
    MSG msg;
    for (int round = 0; round < 5; ++round) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(30);
    }
}

TEST(UpdateLayered, DestroyedWindowIsLeftAlone) {
    CGdiPlusPngResource png;
    ASSERT_TRUE(png.Load(MAKEINTRESOURCEW(IDB_PNG_LAUNCHER), nullptr, Self()));
    Popup popup(RGB(0, 0, 0), 0, 0, 980, 668);
    HWND gone = popup.hwnd();
    ASSERT_NE(nullptr, gone);
    popup.Destroy();
    ASSERT_FALSE(IsWindow(gone));

    CallWatch watch;
    ASSERT_TRUE(watch.complete());
    UpdateLayeredTool::UpdateLayered(gone, png);
    UpdateLayeredTool::UpdateLayered(nullptr, png);
    watch.Stop();
    EXPECT_TRUE(watch.calls().empty()) << Trace(watch);
    EXPECT_NE(nullptr, png.m_pImage) << "the image is untouched";
}

TEST(UpdateLayered, EmptyHolderChangesNothing) {
    Popup popup(RGB(0, 0, 0), 40, 40, 200, 100);
    ASSERT_NE(nullptr, popup.hwnd());
    ShowWindow(popup.hwnd(), SW_SHOWNOACTIVATE);
    const LONG before = GetWindowLongW(popup.hwnd(), GWL_EXSTYLE);
    RECT rcBefore{};
    GetWindowRect(popup.hwnd(), &rcBefore);

    CGdiPlusPngResource empty;
    CGdiPlusPngResource failed;
    EXPECT_FALSE(failed.Load(MAKEINTRESOURCEW(4321), nullptr, Self()));
    CallWatch watch;
    UpdateLayeredTool::UpdateLayered(popup.hwnd(), empty);
    UpdateLayeredTool::UpdateLayered(popup.hwnd(), failed);
    watch.Stop();

    EXPECT_TRUE(watch.calls().empty()) << Trace(watch);
    EXPECT_EQ(before, GetWindowLongW(popup.hwnd(), GWL_EXSTYLE));
    EXPECT_EQ(0, GetWindowLongW(popup.hwnd(), GWL_EXSTYLE) & WS_EX_LAYERED);
    RECT rcAfter{};
    GetWindowRect(popup.hwnd(), &rcAfter);
    EXPECT_TRUE(EqualRect(&rcBefore, &rcAfter));
}

// The PNG's own pixel, straight (not premultiplied) ARGB.
struct Pixel {
    BYTE a, r, g, b;
};

class Artwork {
public:
    Artwork() {
        std::vector<uint8_t> bytes = PngBytes(Self(), IDB_PNG_LAUNCHER);
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
        std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
        GlobalUnlock(block);
        IStream* stream = nullptr;
        CreateStreamOnHGlobal(block, TRUE, &stream);
        m_bitmap = new Gdiplus::Bitmap(stream, FALSE);
        stream->Release();
    }
    ~Artwork() { delete m_bitmap; }
    Artwork(const Artwork&) = delete;
    Artwork& operator=(const Artwork&) = delete;
    bool ok() const { return m_bitmap && m_bitmap->GetLastStatus() == Gdiplus::Ok; }
    Pixel At(int x, int y) const {
        Gdiplus::Color c;
        m_bitmap->GetPixel(x, y, &c);
        return Pixel{c.GetA(), c.GetR(), c.GetG(), c.GetB()};
    }

private:
    Gdiplus::Bitmap* m_bitmap = nullptr;
};

// The arguments of the last call of the looked-up UpdateLayeredWindow, which
// the tests route through this recorder on their way to the real function.
struct LayeredCall {
    int count = 0;
    HWND hwnd = nullptr;
    HDC dst = nullptr, src = nullptr;
    POINT ptDst{-1, -1}, ptSrc{-1, -1};
    SIZE size{-1, -1};
    COLORREF key = 0xFFFFFFFF;
    BLENDFUNCTION blend{9, 9, 9, 9};
    DWORD flags = 0;
    BOOL nullDst = FALSE, nullSize = FALSE, nullSrc = FALSE, nullBlend = FALSE;
};
LayeredCall g_layered;
UpdateLayeredTool::PFN_UPDATELAYEREDWINDOW g_realUpdateLayeredWindow = nullptr;

BOOL WINAPI RecordUpdateLayeredWindow(HWND hwnd, HDC dst, POINT* ptDst, SIZE* size, HDC src,
                                      POINT* ptSrc, COLORREF key, BLENDFUNCTION* blend,
                                      DWORD flags) {
    LayeredCall& c = g_layered;
    ++c.count;
    c.hwnd = hwnd;
    c.dst = dst;
    c.src = src;
    c.nullDst = !ptDst;
    c.nullSize = !size;
    c.nullSrc = !ptSrc;
    c.nullBlend = !blend;
    if (ptDst)
        c.ptDst = *ptDst;
    if (ptSrc)
        c.ptSrc = *ptSrc;
    if (size)
        c.size = *size;
    if (blend)
        c.blend = *blend;
    c.key = key;
    c.flags = flags;
    return g_realUpdateLayeredWindow(hwnd, dst, ptDst, size, src, ptSrc, key, blend, flags);
}

// Routes the tool's UpdateLayeredWindow through the recorder while it lives.
class LayeredRecorder {
public:
    LayeredRecorder() {
        UpdateLayeredTool* tool = UpdateLayeredTool::GetInstance();
        g_realUpdateLayeredWindow = tool->m_pfnUpdateLayeredWindow;
        g_layered = LayeredCall{};
        tool->m_pfnUpdateLayeredWindow = RecordUpdateLayeredWindow;
    }
    ~LayeredRecorder() {
        UpdateLayeredTool::GetInstance()->m_pfnUpdateLayeredWindow = g_realUpdateLayeredWindow;
    }
    LayeredRecorder(const LayeredRecorder&) = delete;
    LayeredRecorder& operator=(const LayeredRecorder&) = delete;
};

TEST(UpdateLayered, PaintsTheImageAsPerPixelAlphaContent) {
    Artwork art;
    ASSERT_TRUE(art.ok());

    // The browser area of the portal page lies on the opaque panel.
    for (POINT p : {POINT{270, 141}, POINT{900, 141}, POINT{270, 584}, POINT{900, 584},
                    POINT{585, 363}})
        EXPECT_EQ(255, art.At(p.x, p.y).a) << p.x << "," << p.y;

    // Opaque points with different colours, and fully transparent points.
    std::vector<POINT> opaque, clear;
    for (int y = 60; y < 640 && opaque.size() < 8; y += 73)
        for (int x = 75; x < 940 && opaque.size() < 8; x += 111)
            if (art.At(x, y).a == 255)
                opaque.push_back(POINT{x, y});
    for (int y = 1; y < 668 && clear.size() < 4; y += 37)
        for (int x = 1; x < 980 && clear.size() < 4; x += 53)
            if (art.At(x, y).a == 0)
                clear.push_back(POINT{x, y});
    ASSERT_GE(opaque.size(), 4u);
    ASSERT_GE(clear.size(), 2u);

    const int left = 120, top = 90;
    const COLORREF below = RGB(0, 128, 255);
    Popup under(below, left - 20, top - 20, 1020, 708);
    ASSERT_NE(nullptr, under.hwnd());
    ShowWindow(under.hwnd(), SW_SHOWNOACTIVATE);
    UpdateWindow(under.hwnd());

    CGdiPlusPngResource png;
    ASSERT_TRUE(png.Load(MAKEINTRESOURCEW(IDB_PNG_LAUNCHER), nullptr, Self()));
    Popup layered(RGB(255, 0, 255), left, top, 980, 668, WS_EX_TOOLWINDOW | WS_EX_TOPMOST);
    ASSERT_NE(nullptr, layered.hwnd());
    ShowWindow(layered.hwnd(), SW_SHOWNOACTIVATE);
    Pump();

    CallWatch watch;
    ASSERT_TRUE(watch.complete());
    {
        LayeredRecorder recorder;
        UpdateLayeredTool::UpdateLayered(layered.hwnd(), png);
    }
    watch.Stop();
    Pump();

    // The window became layered, keeping its other extended styles, its place and size.
    const LONG exStyle = GetWindowLongW(layered.hwnd(), GWL_EXSTYLE);
    EXPECT_NE(0, exStyle & WS_EX_LAYERED);
    EXPECT_NE(0, exStyle & WS_EX_TOOLWINDOW);
    EXPECT_NE(0, exStyle & WS_EX_TOPMOST);
    RECT rc{};
    GetWindowRect(layered.hwnd(), &rc);
    EXPECT_EQ(left, rc.left);
    EXPECT_EQ(top, rc.top);
    EXPECT_EQ(980, rc.right - rc.left);
    EXPECT_EQ(668, rc.bottom - rc.top);

    // Every device context, bitmap and Graphics object taken is given back,
    // Graphics first, then the bitmap, the memory DC, the window DC.
    const auto& calls = watch.calls();
    const int getDC = watch.Find("GetDC", reinterpret_cast<uintptr_t>(layered.hwnd()));
    ASSERT_GE(getDC, 0) << Trace(watch);
    const uintptr_t windowDC = calls[getDC].result;
    const int memDC = watch.Find("CreateCompatibleDC", windowDC);
    ASSERT_GT(memDC, getDC) << Trace(watch);
    const uintptr_t memoryDC = calls[memDC].result;
    const int bmp = watch.Find("CreateCompatibleBitmap", windowDC);
    ASSERT_GT(bmp, memDC) << Trace(watch);
    EXPECT_EQ((980u << 16) | 668u, calls[bmp].arg2);
    const uintptr_t bitmap = calls[bmp].result;
    const int graphics = watch.Find("GdipCreateFromHDC", memoryDC);
    ASSERT_GT(graphics, bmp) << Trace(watch);
    const int layeredStyle = watch.Find("SetWindowLongW", reinterpret_cast<uintptr_t>(layered.hwnd()));
    EXPECT_GT(layeredStyle, graphics) << Trace(watch);
    const int deleteGraphics = watch.Find("GdipDeleteGraphics", calls[graphics].arg2);
    EXPECT_GT(deleteGraphics, layeredStyle) << Trace(watch);
    int reselect = -1;
    for (int i = deleteGraphics; i >= 0 && i < static_cast<int>(calls.size()); ++i)
        if (calls[i].name == "SelectObject" && calls[i].arg == memoryDC && calls[i].result == bitmap)
            reselect = i;
    EXPECT_GT(reselect, deleteGraphics) << Trace(watch);
    const int deleteBitmap = watch.Find("DeleteObject", bitmap);
    EXPECT_GT(deleteBitmap, reselect) << Trace(watch);
    const int deleteDC = watch.Find("DeleteDC", memoryDC);
    EXPECT_GT(deleteDC, deleteBitmap) << Trace(watch);
    const int releaseDC = watch.Find("ReleaseDC", reinterpret_cast<uintptr_t>(layered.hwnd()));
    EXPECT_GT(releaseDC, deleteDC) << Trace(watch);
    EXPECT_EQ(windowDC, releaseDC >= 0 ? calls[releaseDC].arg2 : 0);

    // One call of UpdateLayeredWindow: window DC to window position, memory DC
    // from its origin, the image's size, no colour key, per-pixel alpha.
    const LayeredCall& ulw = g_layered;
    ASSERT_EQ(1, ulw.count);
    EXPECT_EQ(layered.hwnd(), ulw.hwnd);
    EXPECT_EQ(windowDC, reinterpret_cast<uintptr_t>(ulw.dst));
    EXPECT_EQ(memoryDC, reinterpret_cast<uintptr_t>(ulw.src));
    ASSERT_FALSE(ulw.nullDst || ulw.nullSize || ulw.nullSrc || ulw.nullBlend);
    EXPECT_EQ(left, ulw.ptDst.x);
    EXPECT_EQ(top, ulw.ptDst.y);
    EXPECT_EQ(980, ulw.size.cx);
    EXPECT_EQ(668, ulw.size.cy);
    EXPECT_EQ(0, ulw.ptSrc.x);
    EXPECT_EQ(0, ulw.ptSrc.y);
    EXPECT_EQ(0u, ulw.key);
    EXPECT_EQ(AC_SRC_OVER, ulw.blend.BlendOp);
    EXPECT_EQ(0, ulw.blend.BlendFlags);
    EXPECT_EQ(255, ulw.blend.SourceConstantAlpha);
    EXPECT_EQ(AC_SRC_ALPHA, ulw.blend.AlphaFormat);
    EXPECT_EQ(static_cast<DWORD>(ULW_ALPHA), ulw.flags);

    // What the screen shows: the image where it is opaque, the window below
    // where it is fully transparent; clicks there reach the window below.
    HDC screen = GetDC(nullptr);
    for (POINT p : opaque) {
        const Pixel px = art.At(p.x, p.y);
        const COLORREF shown = GetPixel(screen, left + p.x, top + p.y);
        EXPECT_EQ(RGB(px.r, px.g, px.b), shown) << "opaque point " << p.x << "," << p.y;
        EXPECT_EQ(layered.hwnd(), WindowFromPoint(POINT{left + p.x, top + p.y}))
            << p.x << "," << p.y;
    }
    for (POINT p : clear) {
        const COLORREF shown = GetPixel(screen, left + p.x, top + p.y);
        EXPECT_EQ(below, shown) << "transparent point " << p.x << "," << p.y;
    }
    ReleaseDC(nullptr, screen);

    // A click on an opaque pixel reaches the layered window, one on a fully
    // transparent pixel the window below.
    EXPECT_EQ(layered.hwnd(), ClickedWindow(POINT{left + opaque[0].x, top + opaque[0].y}));
    EXPECT_EQ(under.hwnd(), ClickedWindow(POINT{left + clear[0].x, top + clear[0].y}));
    EXPECT_EQ(under.hwnd(), ClickedWindow(POINT{left + clear[1].x, top + clear[1].y}));
    EXPECT_EQ(layered.hwnd(), ClickedWindow(POINT{left + opaque[1].x, top + opaque[1].y}));

    // The content stays after the holder is released: the system keeps it.
    png.Empty();
    Pump();
    screen = GetDC(nullptr);
    const Pixel px = art.At(opaque[0].x, opaque[0].y);
    EXPECT_EQ(RGB(px.r, px.g, px.b), GetPixel(screen, left + opaque[0].x, top + opaque[0].y));
    ReleaseDC(nullptr, screen);
}

TEST(UpdateLayered, WithoutTheFunctionTheWindowIsOnlyMadeLayered) {
    Popup popup(RGB(0, 0, 0), 30, 30, 24, 96);
    ASSERT_NE(nullptr, popup.hwnd());
    CGdiPlusPngResource png;
    ASSERT_TRUE(png.Load(MAKEINTRESOURCEW(IDB_PNG_PORTAL_MIN), nullptr, Self()));
    UpdateLayeredTool* tool = UpdateLayeredTool::GetInstance();
    const auto real = tool->m_pfnUpdateLayeredWindow;
    tool->m_pfnUpdateLayeredWindow = nullptr;
    CallWatch watch;
    UpdateLayeredTool::UpdateLayered(popup.hwnd(), png);
    watch.Stop();
    tool->m_pfnUpdateLayeredWindow = real;
    EXPECT_NE(0, GetWindowLongW(popup.hwnd(), GWL_EXSTYLE) & WS_EX_LAYERED);
    EXPECT_EQ(1, watch.Count("ReleaseDC")) << Trace(watch);
    EXPECT_EQ(1, watch.Count("DeleteDC")) << Trace(watch);
    EXPECT_EQ(1, watch.Count("GdipDeleteGraphics")) << Trace(watch);
}

TEST(UpdateLayered, AlreadyLayeredWindowKeepsItsStyle) {
    Popup popup(RGB(0, 0, 0), 30, 30, 28, 112, WS_EX_TOOLWINDOW | WS_EX_LAYERED);
    ASSERT_NE(nullptr, popup.hwnd());
    CGdiPlusPngResource png;
    ASSERT_TRUE(png.Load(MAKEINTRESOURCEW(IDB_PNG_PORTAL_CLOSE), nullptr, Self()));
    CallWatch watch;
    UpdateLayeredTool::UpdateLayered(popup.hwnd(), png);
    watch.Stop();
    EXPECT_EQ(0, watch.Count("SetWindowLongW")) << "the style is only written when needed";
    EXPECT_EQ(WS_EX_TOOLWINDOW | WS_EX_LAYERED,
              GetWindowLongW(popup.hwnd(), GWL_EXSTYLE) & (WS_EX_TOOLWINDOW | WS_EX_LAYERED));
    EXPECT_EQ(1, watch.Count("GetDC"));
    EXPECT_EQ(1, watch.Count("ReleaseDC"));
}

}  // namespace
