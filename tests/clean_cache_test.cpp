// The cache cleaner against the real stores of this Wine prefix: the URL
// cache through WinINet, the cookie folder and the Temporary Internet Files
// folder, and the veil's window with its worker.
//
// Everything that empties folders runs only in a prefix that cannot reach
// outside itself: no drive letter but C: (no Z: mapped to the Linux root),
// and both folders really inside C:\users\. Elsewhere those cases skip and
// say why; tests/clean_cache_test.sh prepares such a prefix and runs them
// there, together with the symbolic links the link cases need (a Windows
// program under Wine cannot make Linux symbolic links itself).
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wininet.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "framework/CWinApp.h"
#include "game/CCleanCacheDlg.h"
#include "game/RealPath.h"
#include "res/resource.h"
#include "tests/support/ModalDriver.h"

namespace {

// The modal loop keeps the code of a quit message it passes on in the
// application's last message: the tests need an application object for that.
CWinApp g_app(L"clean_cache_test");

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr,
                                      0, nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), &s[0], n, nullptr,
                        nullptr);
    return s;
}

std::string Describe(const std::set<std::wstring>& names) {
    std::string s;
    for (const auto& n : names) s += "\n    " + Utf8(n);
    return s.empty() ? " (none)" : s;
}

std::wstring SpecialFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    return SHGetSpecialFolderPathW(nullptr, path, csidl, TRUE) ? path : L"";
}
std::wstring CookieFolder() { return SpecialFolder(CSIDL_COOKIES); }
std::wstring CacheFolder() { return SpecialFolder(CSIDL_INTERNET_CACHE); }

DWORD Attributes(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }
bool Exists(const std::wstring& path) { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }
bool IsFolder(const std::wstring& path) {
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void MakeFolders(const std::wstring& path) { SHCreateDirectoryExW(nullptr, path.c_str(), nullptr); }

void WriteText(const std::wstring& path, const char* text, DWORD attributes = 0) {
    const size_t slash = path.find_last_of(L'\\');
    if (slash != std::wstring::npos) MakeFolders(path.substr(0, slash));
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h) << Utf8(path) << " error " << GetLastError();
    DWORD written = 0;
    WriteFile(h, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
    CloseHandle(h);
    if (attributes) SetFileAttributesW(path.c_str(), attributes);
}

std::string ReadText(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    char buf[256] = {};
    DWORD read = 0;
    ReadFile(h, buf, sizeof(buf) - 1, &read, nullptr);
    CloseHandle(h);
    return std::string(buf, read);
}

// The test's own view of where an entry really lies (kept apart from the
// code under test): an entry whose path leads elsewhere is a link.
std::wstring FinalPath(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return L"";
    wchar_t buf[1024] = {};
    const DWORD n = GetFinalPathNameByHandleW(h, buf, 1024, FILE_NAME_NORMALIZED);
    CloseHandle(h);
    return n && n < 1024 ? buf : L"";
}
bool IsLinkEntry(const std::wstring& folder, const WIN32_FIND_DATAW& fd) {
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
    const std::wstring real = FinalPath(folder + L"\\" + fd.cFileName);
    const std::wstring expected = FinalPath(folder) + L"\\" + fd.cFileName;
    return real.empty() || lstrcmpiW(real.c_str(), expected.c_str()) != 0;
}

// A file that cannot be deleted because another user of the folder holds it
// (WinINet keeps its index files open and mapped). Asked without deleting:
// the delete-on-close mark is set and taken back before the handle closes.
// A read-only attribute does not count: the cleaner clears it first.
bool IsInUse(const std::wstring& path) {
    const DWORD attributes = Attributes(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    bool inUse = false;
    HANDLE h = CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        inUse = GetLastError() == ERROR_SHARING_VIOLATION;
    } else {
        FILE_DISPOSITION_INFO mark{TRUE};
        inUse = !SetFileInformationByHandle(h, FileDispositionInfo, &mark, sizeof(mark));
        mark.DeleteFile = FALSE;
        SetFileInformationByHandle(h, FileDispositionInfo, &mark, sizeof(mark));
        CloseHandle(h);
    }
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(path.c_str(), attributes);
    return inUse;
}

struct Entry {
    std::wstring name;
    DWORD attributes;
    bool link;
};

// The entries of a folder in the order the file system lists them.
std::vector<Entry> ListFolder(const std::wstring& folder) {
    std::vector<Entry> entries;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"\\*.*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return entries;
    do {
        if (!wcscmp(fd.cFileName, L".") || !wcscmp(fd.cFileName, L"..")) continue;
        entries.push_back({fd.cFileName, fd.dwFileAttributes, IsLinkEntry(folder, fd)});
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return entries;
}

// Everything under a folder, as relative paths; folders end in "\". Links
// are listed, never entered.
void ListTree(const std::wstring& folder, const std::wstring& rel, std::set<std::wstring>& out) {
    for (const Entry& e : ListFolder(folder)) {
        const bool dir = (e.attributes & FILE_ATTRIBUTE_DIRECTORY) && !e.link;
        out.insert(rel + e.name + (dir ? L"\\" : L""));
        if (dir) ListTree(folder + L"\\" + e.name, rel + e.name + L"\\", out);
    }
}
std::set<std::wstring> ListTree(const std::wstring& folder) {
    std::set<std::wstring> out;
    ListTree(folder, L"", out);
    return out;
}

size_t CountFiles(const std::wstring& folder) {
    size_t n = 0;
    for (const auto& rel : ListTree(folder))
        if (rel.back() != L'\\') ++n;
    return n;
}

// Removes what the tests left (desktop.ini files included) so each case
// starts from empty folders. Links are left alone; files in use stay.
void Wipe(const std::wstring& folder) {
    for (const Entry& e : ListFolder(folder)) {
        if (e.link) continue;
        const std::wstring path = folder + L"\\" + e.name;
        SetFileAttributesW(path.c_str(), e.attributes & ~FILE_ATTRIBUTE_READONLY);
        if (e.attributes & FILE_ATTRIBUTE_DIRECTORY) {
            Wipe(path);
            RemoveDirectoryW(path.c_str());
        } else {
            DeleteFileW(path.c_str());
        }
    }
}

// A big tree: `folders` folders of `files` files each.
void MakeBigTree(const std::wstring& root, int folders, int files) {
    for (int d = 0; d < folders; ++d) {
        const std::wstring dir = root + L"\\dir" + std::to_wstring(d);
        MakeFolders(dir);
        for (int f = 0; f < files; ++f) {
            HANDLE h = CreateFileW((dir + L"\\file" + std::to_wstring(f) + L".txt").c_str(),
                                   GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        }
    }
}

// ---- the prefix guard -----------------------------------------------------------

// Empty when the deleting cases may run in this prefix, otherwise why not.
std::string WhyNotSafeToDelete() {
    const DWORD drives = GetLogicalDrives();
    if (drives != (1u << 2)) {
        std::string letters;
        for (int i = 0; i < 26; ++i)
            if (drives & (1u << i)) letters += static_cast<char>('A' + i), letters += ": ";
        return "drives " + letters + "are mapped; only C: may be (a Z: drive reaches the whole "
               "Linux file system)";
    }
    for (const std::wstring& folder : {CookieFolder(), CacheFolder()}) {
        const std::wstring real = FinalPath(folder);
        const std::wstring prefix = L"\\\\?\\C:\\users\\";
        if (folder.empty() || real.size() <= prefix.size() ||
            CompareStringOrdinal(real.c_str(), static_cast<int>(prefix.size()), prefix.c_str(),
                                 static_cast<int>(prefix.size()), TRUE) != CSTR_EQUAL)
            return "the folder " + Utf8(folder) + " lies at " + Utf8(real) +
                   ", not inside C:\\users\\";
    }
    return std::string();
}

#define SKIP_UNLESS_SAFE_TO_DELETE()                                                        \
    do {                                                                                    \
        const std::string why = WhyNotSafeToDelete();                                       \
        if (!why.empty())                                                                   \
            GTEST_SKIP() << "skipped: this case empties the cookie and cache folders and "  \
                            "runs only in a Wine prefix that cannot reach outside itself "  \
                            "(tests/clean_cache_test.sh prepares one): "                    \
                         << why;                                                            \
    } while (0)

// ---- the URL cache --------------------------------------------------------------

struct CacheEntry {
    std::wstring url;
    DWORD type;
};

std::vector<CacheEntry> ListCache() {
    std::vector<CacheEntry> entries;
    DWORD size = 0;
    FindFirstUrlCacheEntryW(nullptr, nullptr, &size);
    std::vector<BYTE> buf(size + sizeof(INTERNET_CACHE_ENTRY_INFOW));
    size = static_cast<DWORD>(buf.size());
    HANDLE h = FindFirstUrlCacheEntryW(nullptr, reinterpret_cast<LPINTERNET_CACHE_ENTRY_INFOW>(buf.data()),
                                       &size);
    if (!h) return entries;
    for (;;) {
        const auto* e = reinterpret_cast<const INTERNET_CACHE_ENTRY_INFOW*>(buf.data());
        entries.push_back({e->lpszSourceUrlName, e->CacheEntryType});
        size = 0;
        FindNextUrlCacheEntryW(h, nullptr, &size);
        buf.assign(size + sizeof(INTERNET_CACHE_ENTRY_INFOW), 0);
        size = static_cast<DWORD>(buf.size());
        if (!FindNextUrlCacheEntryW(h, reinterpret_cast<LPINTERNET_CACHE_ENTRY_INFOW>(buf.data()),
                                    &size))
            break;
    }
    FindCloseUrlCache(h);
    return entries;
}

std::set<std::wstring> CacheUrls() {
    std::set<std::wstring> urls;
    for (const auto& e : ListCache()) urls.insert(e.url);
    return urls;
}

void ClearCache() {
    for (const auto& e : ListCache()) DeleteUrlCacheEntryW(e.url.c_str());
}

bool IsCookieUrl(const std::wstring& url) { return url.compare(0, 7, L"Cookie:") == 0; }

// A committed cache entry with a one-byte local file. Cookie entries (URLs
// "Cookie:user@host/") go to the cookie store, others to the content store.
bool AddCacheEntry(const std::wstring& url) {
    const DWORD type = IsCookieUrl(url) ? COOKIE_CACHE_ENTRY : NORMAL_CACHE_ENTRY;
    wchar_t file[MAX_PATH] = {};
    BOOL created = CreateUrlCacheEntryW(url.c_str(), 0, L"txt", file, 0);
    // Wine's WinINet does not make its content subfolders again once a
    // cleaning has removed them; the name it tried shows which one it picked.
    for (int attempt = 0; !created && file[0] && attempt < 16; ++attempt) {
        std::wstring dir = file;
        dir.resize(dir.find_last_of(L'\\'));
        MakeFolders(dir);
        file[0] = 0;
        created = CreateUrlCacheEntryW(url.c_str(), 0, L"txt", file, 0);
    }
    if (!created) return false;
    HANDLE h = CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    WriteFile(h, "x", 1, &written, nullptr);
    CloseHandle(h);
    FILETIME never{};
    return CommitUrlCacheEntryW(url.c_str(), file, never, never, type, nullptr, 0, nullptr,
                                nullptr) != FALSE;
}

std::wstring CookieUrl(int n) { return L"Cookie:tester@pz" + std::to_wstring(n) + L".example/"; }
std::wstring PageUrl(int n) { return L"http://pz" + std::to_wstring(n) + L".example/page"; }

// ---- what one stopped folder pass removes ---------------------------------------

// With the stop request already made, a pass handles the first entry at each
// level (what is spared does not count) and stops. Fills `removed` with what
// that takes away (relative paths, folders ending in "\"), treating the
// entries in `absent` as gone already; returns whether the folder ends up empty.
bool PredictStoppedPass(const std::wstring& folder, const std::wstring& rel,
                        std::set<std::wstring>& removed,
                        const std::set<std::wstring>& absent = {}) {
    bool handled = false;
    size_t left = 0;
    for (const Entry& e : ListFolder(folder)) {
        const bool dir = (e.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (absent.count(rel + e.name + (dir ? L"\\" : L""))) continue;
        if (e.name == L"desktop.ini" || handled || e.link) {
            ++left;
            handled = handled || e.link;
            continue;
        }
        handled = true;
        const std::wstring path = folder + L"\\" + e.name;
        if (dir) {
            if (PredictStoppedPass(path, rel + e.name + L"\\", removed, absent))
                removed.insert(rel + e.name + L"\\");
            else
                ++left;
        } else if (IsInUse(path)) {
            ++left;
        } else {
            removed.insert(rel + e.name);
        }
    }
    return left == 0;
}

// The local file of a cache entry, relative to `root` (empty if it has none there).
std::wstring LocalFileOf(const std::wstring& url, const std::wstring& root) {
    DWORD size = 0;
    GetUrlCacheEntryInfoW(url.c_str(), nullptr, &size);
    std::vector<BYTE> buf(size + sizeof(INTERNET_CACHE_ENTRY_INFOW));
    size = static_cast<DWORD>(buf.size());
    auto* info = reinterpret_cast<LPINTERNET_CACHE_ENTRY_INFOW>(buf.data());
    if (!GetUrlCacheEntryInfoW(url.c_str(), info, &size) || !info->lpszLocalFileName) return L"";
    const std::wstring file = info->lpszLocalFileName;
    if (file.size() <= root.size() + 1 ||
        CompareStringOrdinal(file.c_str(), static_cast<int>(root.size()), root.c_str(),
                             static_cast<int>(root.size()), TRUE) != CSTR_EQUAL)
        return L"";
    return file.substr(root.size() + 1);
}

std::set<std::wstring> Minus(const std::set<std::wstring>& a, const std::set<std::wstring>& b) {
    std::set<std::wstring> out;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::inserter(out, out.end()));
    return out;
}

// ---- the tree with spared names ---------------------------------------------------

struct TreeFile {
    const wchar_t* rel;
    DWORD attributes;
    bool kept;
};

// Read-only files, nested folders, "desktop.ini" spared at several depths,
// other spellings of it deleted. A folder holding a spared file stays.
const TreeFile kTree[] = {
    {L"plain.txt", 0, false},
    {L"readonly.txt", FILE_ATTRIBUTE_READONLY, false},
    {L"desktop.ini", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, true},
    {L"pz-a\\Desktop.ini", 0, false},
    {L"pz-a\\f1.txt", FILE_ATTRIBUTE_READONLY, false},
    {L"pz-a\\pz-b\\desktop.ini", FILE_ATTRIBUTE_READONLY, true},
    {L"pz-a\\pz-b\\f2.txt", 0, false},
    {L"pz-a\\pz-b\\pz-c\\DESKTOP.INI", 0, false},
    {L"pz-a\\pz-b\\pz-c\\deep.dat", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN, false},
    {L"pz-d\\desktop.ini.bak", 0, false},
    {L"pz-d\\xdesktop.ini", 0, false},
    {L"pz-d\\desktop.inI", 0, false},
    {L"pz-e\\pz-f\\desktop.ini", 0, true},
    {L"pz-e\\pz-f\\gone.txt", FILE_ATTRIBUTE_READONLY, false},
    {L"pz-g\\desktop.ini\\inner.txt", 0, true},  // a folder of that name is spared whole
};

void MakeTree(const std::wstring& root) {
    for (const TreeFile& f : kTree) WriteText(root + L"\\" + f.rel, "tree", f.attributes);
    // A read-only folder is emptied and removed like any other.
    MakeFolders(root + L"\\pz-ro-dir\\pz-inner");
    WriteText(root + L"\\pz-ro-dir\\pz-inner\\x.txt", "x", FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW((root + L"\\pz-ro-dir").c_str(), FILE_ATTRIBUTE_READONLY);
    MakeFolders(root + L"\\pz-empty-dir");
}

// What must stay of the tree: the spared files and the folders holding them.
std::set<std::wstring> KeptOfTree() {
    std::set<std::wstring> kept;
    for (const TreeFile& f : kTree) {
        if (!f.kept) continue;
        std::wstring rel = f.rel;
        kept.insert(rel);
        for (size_t p = rel.find(L'\\'); p != std::wstring::npos; p = rel.find(L'\\', p + 1))
            kept.insert(rel.substr(0, p + 1));
    }
    return kept;
}

// Checks that exactly `kept` remains under root, apart from files held open
// by another user of the folder (WinINet's index files) and their folders.
void ExpectOnlyKept(const std::wstring& root, const std::set<std::wstring>& kept) {
    const std::set<std::wstring> after = ListTree(root);
    std::set<std::wstring> missing = Minus(kept, after), extra;
    std::set<std::wstring> inUse;
    for (const auto& rel : after)
        if (rel.back() != L'\\' && !kept.count(rel) && IsInUse(root + L"\\" + rel)) inUse.insert(rel);
    for (const auto& rel : Minus(after, kept)) {
        if (inUse.count(rel)) continue;
        const bool holdsInUse = rel.back() == L'\\' &&
            std::any_of(inUse.begin(), inUse.end(),
                        [&](const std::wstring& f) { return f.compare(0, rel.size(), rel) == 0; });
        if (!holdsInUse) extra.insert(rel);
    }
    EXPECT_TRUE(missing.empty()) << Utf8(root) << ": gone but should stay:" << Describe(missing);
    EXPECT_TRUE(extra.empty()) << Utf8(root) << ": left but should be gone:" << Describe(extra);
}

// ---- the dialog, watched ---------------------------------------------------------

class WatchedCleanDlg : public CCleanCacheDlg {
public:
    std::function<void(WatchedCleanDlg&)> beforeInit;  // the window exists, nothing set up yet
    std::function<void(WatchedCleanDlg&)> onInit;  // right after the veil's own set-up
    std::function<void(WatchedCleanDlg&)> onStop;  // right after a stop request was made
    std::function<void(WatchedCleanDlg&)> onDone;  // when the worker's message arrives
    int stopRequests = 0;
    COwnedHandle workerCopy;  // the test's own handle of the worker thread
    HANDLE OwnWorkerHandle() const { return m_worker.Get(); }
    using CCleanCacheDlg::OnCtlColor;

protected:
    const CMessageMap* GetMessageMap() const override {
        static const CMessageMap map(CCleanCacheDlg::GetMessageMap(), {
            msg::Raw(WM_CLEANCACHE_DONE, &WatchedCleanDlg::OnDoneWatched),
        });
        return &map;
    }
    LRESULT OnDoneWatched(WPARAM wParam, LPARAM lParam) {
        if (onDone) onDone(*this);
        return OnCleanDone(wParam, lParam);
    }
    BOOL OnInitDialog() override {
        if (beforeInit) beforeInit(*this);
        const BOOL rc = CCleanCacheDlg::OnInitDialog();
        HANDLE copy = nullptr;
        if (m_worker &&
            DuplicateHandle(GetCurrentProcess(), m_worker.Get(), GetCurrentProcess(), &copy,
                            SYNCHRONIZE, FALSE, 0))
            workerCopy.Reset(copy);
        if (onInit) onInit(*this);
        return rc;
    }
    void OnOK() override {
        CCleanCacheDlg::OnOK();
        ++stopRequests;
        if (onStop) onStop(*this);
    }
    void OnCancel() override {
        CCleanCacheDlg::OnCancel();
        ++stopRequests;
        if (onStop) onStop(*this);
    }
};

bool IsRunning(const COwnedHandle& thread) {
    return thread && WaitForSingleObject(thread.Get(), 0) == WAIT_TIMEOUT;
}

// Sets the work area for one case and puts the old one back.
class WorkAreaScope {
public:
    explicit WorkAreaScope(const RECT& rc) {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &m_old, 0);
        SystemParametersInfoW(SPI_SETWORKAREA, 0, const_cast<RECT*>(&rc), 0);
    }
    ~WorkAreaScope() { SystemParametersInfoW(SPI_SETWORKAREA, 0, &m_old, 0); }

private:
    RECT m_old{};
};

// Starts each case from empty stores.
class CleanStores : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_UNLESS_SAFE_TO_DELETE();
        cookies = CookieFolder();
        cache = CacheFolder();
        ClearCache();
        Wipe(cookies);
        Wipe(cache);
    }
    std::wstring cookies, cache;
};

// ==== the URL cache passes (no folders are emptied: these run in any prefix) ====

class UrlCachePass : public ::testing::Test {
protected:
    void SetUp() override { ClearCache(); }
    void TearDown() override { ClearCache(); }
};

TEST_F(UrlCachePass, DeletesItsKindOfEntries) {
    struct Case {
        const char* what;
        int kind;
        bool stopFirst;
        std::vector<std::wstring> urls;
    };
    const std::vector<std::wstring> mixed = {CookieUrl(1), PageUrl(1), CookieUrl(2), PageUrl(2),
                                             CookieUrl(3), PageUrl(3)};
    const std::vector<std::wstring> cookiesOnly = {CookieUrl(4), CookieUrl(5), CookieUrl(6)};
    const std::vector<std::wstring> pagesOnly = {PageUrl(4), PageUrl(5), PageUrl(6)};
    const Case cases[] = {
        {"first pass: cookie entries", 1, false, mixed},
        {"third pass: all other entries", 0, false, mixed},
        {"any other kind: nothing", 2, false, mixed},
        {"stopped cookie pass, cookies only: exactly one", 1, true, cookiesOnly},
        {"stopped other pass, others only: exactly one", 0, true, pagesOnly},
        {"stopped cookie pass, mixed: its first entry only", 1, true, mixed},
        {"stopped other pass, mixed: its first entry only", 0, true, mixed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ClearCache();
        for (const auto& url : c.urls) ASSERT_TRUE(AddCacheEntry(url)) << Utf8(url);
        const std::vector<CacheEntry> before = ListCache();
        ASSERT_EQ(c.urls.size(), before.size());
        for (const auto& e : before)
            EXPECT_EQ(IsCookieUrl(e.url), (e.type & COOKIE_CACHE_ENTRY) != 0) << Utf8(e.url);

        // What should go: every entry of the kind, or with the stop request
        // made beforehand, the first entry listed if it is of the kind.
        auto matches = [&](const CacheEntry& e) {
            const bool cookie = (e.type & COOKIE_CACHE_ENTRY) != 0;
            return (c.kind == 1 && cookie) || (c.kind == 0 && !cookie);
        };
        std::set<std::wstring> expected;
        for (size_t i = 0; i < before.size(); ++i) {
            const bool handled = !c.stopFirst || i == 0;
            if (!(handled && matches(before[i]))) expected.insert(before[i].url);
        }

        CCleanCacheDlg dlg;
        dlg.m_bCancel = c.stopFirst ? TRUE : FALSE;
        EXPECT_TRUE(dlg.DeleteUrlCacheEntries(c.kind));
        const std::set<std::wstring> after = CacheUrls();
        EXPECT_EQ(expected, after) << "left:" << Describe(after) << "\nexpected:" << Describe(expected);
        if (c.stopFirst && c.urls.size() == 3) {
            EXPECT_EQ(2u, after.size());
        }
    }
}

TEST_F(UrlCachePass, EmptyCacheDoesNotStart) {
    ASSERT_TRUE(ListCache().empty());
    CCleanCacheDlg dlg;
    EXPECT_FALSE(dlg.DeleteUrlCacheEntries(0));
    EXPECT_FALSE(dlg.DeleteUrlCacheEntries(1));
}

TEST_F(UrlCachePass, EntryInUseIsSkipped) {
    for (int i = 7; i <= 9; ++i) ASSERT_TRUE(AddCacheEntry(PageUrl(i)));
    // Retrieving an entry's file locks it until it is unlocked.
    const std::wstring locked = PageUrl(8);
    DWORD size = 0;
    RetrieveUrlCacheEntryFileW(locked.c_str(), nullptr, &size, 0);
    std::vector<BYTE> info(size + sizeof(INTERNET_CACHE_ENTRY_INFOW));
    size = static_cast<DWORD>(info.size());
    ASSERT_TRUE(RetrieveUrlCacheEntryFileW(
        locked.c_str(), reinterpret_cast<LPINTERNET_CACHE_ENTRY_INFOW>(info.data()), &size, 0));

    CCleanCacheDlg dlg;
    EXPECT_TRUE(dlg.DeleteUrlCacheEntries(0));
    EXPECT_EQ(std::set<std::wstring>{locked}, CacheUrls());
    UnlockUrlCacheEntryFileW(locked.c_str(), 0);
}

// ==== folder passes ===============================================================

TEST_F(CleanStores, FolderPassSparesOnlyDesktopIni) {
    for (const std::wstring* root : {&cookies, &cache}) {
        SCOPED_TRACE(Utf8(*root));
        MakeTree(*root);
        ASSERT_TRUE(Exists(*root + L"\\pz-a\\Desktop.ini"));
        ASSERT_TRUE(Attributes(*root + L"\\readonly.txt") & FILE_ATTRIBUTE_READONLY);

        CCleanCacheDlg dlg;
        EXPECT_TRUE(dlg.DeleteFolderContents(root->c_str()));

        EXPECT_TRUE(IsFolder(*root)) << "the folder itself stays";
        ExpectOnlyKept(*root, KeptOfTree());
        EXPECT_EQ("tree", ReadText(*root + L"\\pz-a\\pz-b\\desktop.ini"));
    }
}

TEST_F(CleanStores, FolderPassOnMissingFolderFails) {
    CCleanCacheDlg dlg;
    EXPECT_FALSE(dlg.DeleteFolderContents((cookies + L"\\pz-not-there").c_str()));
    EXPECT_TRUE(dlg.DeleteFolderContents(cookies.c_str()));  // empty but listable
}

TEST_F(CleanStores, StoppedFolderPassHandlesFirstEntryOfEachLevel) {
    // Several shapes, so that the first entry listed is sometimes a file,
    // sometimes a folder, sometimes a spared name.
    const std::vector<std::vector<std::wstring>> shapes = {
        {L"a.txt", L"b.txt", L"c.txt"},
        {L"pz-x\\pz-y\\one.txt", L"pz-x\\pz-y\\two.txt", L"pz-x\\three.txt", L"top.txt"},
        {L"desktop.ini", L"pz-only\\single.txt", L"pz-only2\\desktop.ini", L"z.txt"},
        {L"pz-deep\\pz-1\\pz-2\\leaf.txt", L"pz-deep2\\leaf.txt"},
    };
    // In a folder of its own inside the cache folder, so that the cache's
    // own entries do not come first.
    const std::wstring root = cache + L"\\pz-shapes";
    for (size_t s = 0; s < shapes.size(); ++s) {
        SCOPED_TRACE("shape " + std::to_string(s));
        Wipe(root);
        MakeFolders(root);
        for (const auto& rel : shapes[s]) WriteText(root + L"\\" + rel, "s", FILE_ATTRIBUTE_READONLY);
        const std::set<std::wstring> before = ListTree(root);
        std::set<std::wstring> removed;
        PredictStoppedPass(root, L"", removed);
        ASSERT_FALSE(removed.empty());

        CCleanCacheDlg dlg;
        dlg.m_bCancel = TRUE;
        EXPECT_TRUE(dlg.DeleteFolderContents(root.c_str()));
        const std::set<std::wstring> after = ListTree(root);
        EXPECT_EQ(Minus(before, removed), after) << "removed:" << Describe(Minus(before, after))
                                                 << "\nexpected removed:" << Describe(removed);
    }
}

// Wine's recycle bin is the Linux desktop's trash under $XDG_DATA_HOME, which
// no drive letter reaches: this case runs only where that lies inside the
// prefix (tests/clean_cache_test.sh sets it so).
std::string WhyNoRecycleBinHere() {
    wchar_t data[MAX_PATH] = {}, prefix[MAX_PATH] = {};
    GetEnvironmentVariableW(L"XDG_DATA_HOME", data, MAX_PATH);
    GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH);
    const std::wstring d = data, p = std::wstring(prefix) + L"/";
    if (!prefix[0] || d.compare(0, p.size(), p) != 0)
        return "XDG_DATA_HOME (" + Utf8(d) + ") does not lie inside WINEPREFIX (" +
               Utf8(prefix) + ")";
    return std::string();
}

TEST_F(CleanStores, DeletedFilesSkipTheRecycleBin) {
    const std::string why = WhyNoRecycleBinHere();
    if (!why.empty())
        GTEST_SKIP() << "skipped: the recycle bin would lie outside the prefix: " << why;
    SHQUERYRBINFO before{sizeof(before)}, after{sizeof(after)};
    const bool haveBin = SUCCEEDED(SHQueryRecycleBinW(L"C:\\", &before));
    WriteText(cookies + L"\\pz-bin\\one.txt", "1");
    WriteText(cookies + L"\\two.txt", "2");
    CCleanCacheDlg dlg;
    dlg.DeleteFolderContents(cookies.c_str());
    EXPECT_FALSE(Exists(cookies + L"\\two.txt"));
    if (!haveBin) GTEST_SKIP() << "no recycle bin to look into";
    ASSERT_TRUE(SUCCEEDED(SHQueryRecycleBinW(L"C:\\", &after)));
    EXPECT_EQ(before.i64NumItems, after.i64NumItems);
}

// ==== the veil ======================================================================

RECT ClientRectOf(HWND hParent, HWND hChild) {
    RECT rc{};
    GetWindowRect(hChild, &rc);
    MapWindowPoints(nullptr, hParent, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

TEST_F(CleanStores, VeilCoversWorkAreaSizedFromScreenOrigin) {
    const int cxScreen = GetSystemMetrics(SM_CXSCREEN), cyScreen = GetSystemMetrics(SM_CYSCREEN);
    const RECT areas[] = {
        {0, 0, cxScreen, cyScreen},
        {100, 50, cxScreen - 120, cyScreen - 80},  // shifted on both axes
        {0, 40, cxScreen, cyScreen},               // taskbar at the top
        {120, 0, cxScreen, cyScreen},              // taskbar on the left
    };
    for (const RECT& area : areas) {
        SCOPED_TRACE("work area " + std::to_string(area.left) + "," + std::to_string(area.top) +
                     " - " + std::to_string(area.right) + "," + std::to_string(area.bottom));
        WorkAreaScope scope(area);
        RECT seen{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &seen, 0);
        ASSERT_TRUE(EqualRect(&seen, &area)) << "this system does not take the work area";

        WatchedCleanDlg dlg;
        bool inited = false;
        dlg.onInit = [&](WatchedCleanDlg& d) {
            inited = true;
            RECT rc{}, client{};
            GetWindowRect(d.m_hWnd, &rc);
            GetClientRect(d.m_hWnd, &client);
            EXPECT_EQ(0, rc.left);
            EXPECT_EQ(0, rc.top);
            EXPECT_EQ(area.right - area.left, rc.right - rc.left);
            EXPECT_EQ(area.bottom - area.top, rc.bottom - rc.top);
            EXPECT_EQ(rc.right - rc.left, client.right) << "no frame, no caption";
            EXPECT_EQ(rc.bottom - rc.top, client.bottom);

            const DWORD ex = static_cast<DWORD>(GetWindowLongW(d.m_hWnd, GWL_EXSTYLE));
            EXPECT_TRUE(ex & WS_EX_TOOLWINDOW) << "no taskbar button";
            EXPECT_FALSE(ex & WS_EX_APPWINDOW);
            EXPECT_TRUE(ex & WS_EX_LAYERED);
            COLORREF key = 0;
            BYTE alpha = 0;
            DWORD flags = 0;
            ASSERT_TRUE(GetLayeredWindowAttributes(d.m_hWnd, &key, &alpha, &flags));
            EXPECT_EQ(RGB(255, 0, 0), key);
            EXPECT_EQ(150, alpha);
            EXPECT_EQ(static_cast<DWORD>(LWA_COLORKEY | LWA_ALPHA), flags);
            EXPECT_EQ(RGB(255, 0, 0), d.m_crKey);

            // The status line, centred in the veil.
            HWND hStatus = d.GetDlgItem(IDC_CLEAN_STATUS);
            ASSERT_EQ(hStatus, d.m_stStatus.m_hWnd);
            const RECT st = ClientRectOf(d.m_hWnd, hStatus);
            EXPECT_LE(std::abs((st.left + st.right) - client.right), 1);
            EXPECT_LE(std::abs((st.top + st.bottom) - client.bottom), 1);
            wchar_t text[64] = {};
            GetWindowTextW(hStatus, text, 64);
            EXPECT_STREQ(L"缓存清理中,请稍后(按ESC取消)...", text);

            BITMAP bm{};
            ASSERT_TRUE(d.m_bmpBackground.GetBitmap(&bm));
            EXPECT_EQ(57, bm.bmWidth);
            EXPECT_EQ(40, bm.bmHeight);
        };
        EXPECT_EQ(IDOK, dlg.DoModal());
        EXPECT_TRUE(inited);
        EXPECT_EQ(nullptr, dlg.m_hThread);
    }
}

TEST_F(CleanStores, VeilPaintsBlackWithCyanStatusLine) {
    WatchedCleanDlg dlg;
    HBRUSH dialogBrush = nullptr, frameBrush = nullptr, statusBrush = nullptr;
    COLORREF corner = CLR_INVALID, middle = CLR_INVALID;
    int cyan = 0, red = 0;
    bool visible = false;
    // Looked at when the worker's message arrives: the veil is up and
    // shown by then, whatever the worker's speed.
    dlg.onDone = [&](WatchedCleanDlg& d) {
        HWND hDlg = d.m_hWnd;
        HWND hStatus = GetDlgItem(hDlg, IDC_CLEAN_STATUS);
        visible = IsWindowVisible(hDlg) != FALSE;
        RedrawWindow(hDlg, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        PaintNow(hDlg);
        HDC hdc = GetDC(hDlg);
        dialogBrush = d.OnCtlColor(hdc, hDlg, CTLCOLOR_DLG);
        frameBrush = d.OnCtlColor(hdc, GetDlgItem(hDlg, IDC_CLEAN_FRAME), CTLCOLOR_STATIC);
        RECT client{};
        GetClientRect(hDlg, &client);
        corner = GetPixel(hdc, 3, 3);
        middle = GetPixel(hdc, client.right / 2, client.bottom / 4);
        const RECT st = ClientRectOf(hDlg, hStatus);
        for (int y = st.top; y < st.bottom; ++y)
            for (int x = st.left; x < st.right; ++x) {
                const COLORREF c = GetPixel(hdc, x, y);
                if (c == RGB(0, 255, 255)) ++cyan;
                if (c == RGB(255, 0, 0)) ++red;
            }
        ReleaseDC(hDlg, hdc);
        HDC hdcStatic = GetDC(hStatus);
        statusBrush = d.OnCtlColor(hdcStatic, hStatus, CTLCOLOR_STATIC);
        ReleaseDC(hStatus, hdcStatic);
    };
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_TRUE(visible);
    EXPECT_EQ(static_cast<HBRUSH>(dlg.m_brKey), dialogBrush);
    EXPECT_EQ(static_cast<HBRUSH>(dlg.m_brKey), frameBrush);
    EXPECT_EQ(GetStockObject(NULL_BRUSH), statusBrush);
    EXPECT_EQ(RGB(0, 0, 0), corner);
    EXPECT_EQ(RGB(0, 0, 0), middle);
    EXPECT_GT(cyan, 20) << "the status text is drawn in cyan";
    EXPECT_EQ(0, red) << "no key colour shows around the text";
    LOGBRUSH lb{};
    GetObjectW(dlg.m_brKey, sizeof(lb), &lb);
    EXPECT_EQ(RGB(255, 0, 0), lb.lbColor);
}

TEST_F(CleanStores, RunEmptiesBothStoresAndEndsItself) {
    MakeTree(cookies);
    MakeTree(cache);
    for (int i = 10; i < 13; ++i) {
        ASSERT_TRUE(AddCacheEntry(CookieUrl(i)));
        ASSERT_TRUE(AddCacheEntry(PageUrl(i)));
    }
    WatchedCleanDlg dlg;
    bool done = false;
    dlg.onDone = [&](WatchedCleanDlg&) { done = true; };
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_TRUE(done) << "the veil ended on the worker's message";
    EXPECT_EQ(0, dlg.stopRequests);
    EXPECT_EQ(nullptr, dlg.m_hThread) << "the worker closed its handle before the veil ended";
    // Its message is its last step: the thread itself ends a moment later.
    ASSERT_TRUE(dlg.workerCopy);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(dlg.workerCopy.Get(), 5000)) << "the worker did not end by itself";
    EXPECT_TRUE(CacheUrls().empty()) << Describe(CacheUrls());
    EXPECT_TRUE(IsFolder(cookies));
    EXPECT_TRUE(IsFolder(cache));
    ExpectOnlyKept(cookies, KeptOfTree());
    ExpectOnlyKept(cache, KeptOfTree());
}

TEST_F(CleanStores, NothingToDeleteEndsByItself) {
    WatchedCleanDlg dlg;
    bool shown = false, done = false;
    dlg.onInit = [&](WatchedCleanDlg&) { shown = true; };
    dlg.onDone = [&](WatchedCleanDlg&) { done = true; };
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_TRUE(shown);
    EXPECT_TRUE(done) << "the veil ended on the worker's message";
    EXPECT_EQ(0, dlg.stopRequests);
    EXPECT_EQ(nullptr, dlg.m_hThread);
    EXPECT_FALSE(dlg.m_bCancel);
}

// Enter, Esc and closing the veil all ask the worker to stop; the veil stays
// until the worker has ended, and ends with IDOK.
TEST_F(CleanStores, StopRequestWaitsForTheWorker) {
    struct Case {
        const char* what;
        std::function<void(HWND)> request;
    } cases[] = {
        {"Esc", [](HWND h) { PostKeyPress(h, VK_ESCAPE); }},
        {"Enter", [](HWND h) { PostKeyPress(h, VK_RETURN); }},
        {"WM_CLOSE", [](HWND h) { PostMessageW(h, WM_CLOSE, 0, 0); }},
        {"IDCANCEL", [](HWND h) { PostMessageW(h, WM_COMMAND, IDCANCEL, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ClearCache();
        Wipe(cookies);
        Wipe(cache);
        MakeBigTree(cookies + L"\\pz-big", 30, 50);
        const size_t bigFiles = CountFiles(cookies + L"\\pz-big");
        MakeTree(cache);
        for (int i = 20; i < 23; ++i) ASSERT_TRUE(AddCacheEntry(PageUrl(i)));
        // The passes after the request handle their first entries only: the
        // third deletes the first cache entry listed (and that entry's file
        // inside the cache folder), the fourth the first entry of each level
        // of the cache folder.
        const std::set<std::wstring> cacheBefore = ListTree(cache);
        const std::vector<CacheEntry> urlsBefore = ListCache();
        ASSERT_EQ(3u, urlsBefore.size());
        std::set<std::wstring> cacheRemoved;
        const std::wstring firstFile = LocalFileOf(urlsBefore[0].url, cache);
        ASSERT_FALSE(firstFile.empty());
        cacheRemoved.insert(firstFile);
        PredictStoppedPass(cache, L"", cacheRemoved, {firstFile});

        WatchedCleanDlg dlg;
        bool runningAtRequest = false;
        size_t bigLeftAtRequest = 0;
        dlg.onInit = [&](WatchedCleanDlg& d) { c.request(d.m_hWnd); };
        dlg.onStop = [&](WatchedCleanDlg& d) {
            runningAtRequest = IsRunning(d.workerCopy);
            bigLeftAtRequest = CountFiles(cookies + L"\\pz-big");
        };
        int requestsWhenDone = -1;
        dlg.onDone = [&](WatchedCleanDlg& d) { requestsWhenDone = d.stopRequests; };
        EXPECT_EQ(IDOK, dlg.DoModal());
        EXPECT_EQ(1, requestsWhenDone) << "the veil ended before the worker's message came";
        EXPECT_EQ(1, dlg.stopRequests);
        EXPECT_TRUE(dlg.m_bCancel);
        ASSERT_TRUE(runningAtRequest) << "the request came after the work was done";
        ASSERT_GT(bigLeftAtRequest, 0u) << "the request came after the cookie folder's pass";
        EXPECT_EQ(nullptr, dlg.m_hThread) << "the veil ended before the worker had";

        EXPECT_GT(CountFiles(cookies + L"\\pz-big"), bigFiles / 2) << "the cookie pass went on";
        std::set<std::wstring> urlsLeft = {urlsBefore[1].url, urlsBefore[2].url};
        EXPECT_EQ(urlsLeft, CacheUrls()) << "the third pass handles its first entry only";
        EXPECT_EQ(Minus(cacheBefore, cacheRemoved), ListTree(cache))
            << "expected removed:" << Describe(cacheRemoved);
    }
}

// A quit message while the veil is up ends the modal loop before the worker
// has finished: the destructor waits for the worker, and the quit code goes on.
TEST_F(CleanStores, QuitWhileWorkingWaitsForWorkerInDestructor) {
    MakeBigTree(cookies + L"\\pz-big", 30, 50);
    const size_t bigFiles = CountFiles(cookies + L"\\pz-big");
    COwnedHandle worker;
    HWND hVeil = nullptr;
    bool runningAtReturn = false;
    INT_PTR rc = 0;
    {
        WatchedCleanDlg dlg;
        dlg.onInit = [&](WatchedCleanDlg& d) {
            hVeil = d.m_hWnd;
            PostQuitMessage(23);
        };
        rc = dlg.DoModal();
        worker.Reset(dlg.workerCopy.Release());
        runningAtReturn = IsRunning(worker);
        EXPECT_FALSE(IsWindow(hVeil)) << "the veil's window is gone once DoModal returns";
    }
    ASSERT_TRUE(worker);
    EXPECT_EQ(-1, rc) << "the modal loop ended by the quit message";
    EXPECT_TRUE(runningAtReturn) << "the worker had finished before the quit arrived";
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(worker.Get(), 0))
        << "the destructor left the worker running";

    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(23u, msg.wParam);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_CLEANCACHE_DONE, WM_CLEANCACHE_DONE, PM_REMOVE));
    EXPECT_GT(CountFiles(cookies + L"\\pz-big"), bigFiles / 2) << "the stop request was not seen";
}

// A process whose veil is ended by a quit message exits with that code, the
// worker stopped and waited for on the way out.
TEST_F(CleanStores, QuitWhileWorkingExitsWithItsCode) {
    if (GetEnvironmentVariableW(L"PZ_CLEAN_CHILD", nullptr, 0)) {
        // In the child: the program's own shutdown sequence, cut down.
        MakeBigTree(cookies + L"\\pz-big", 20, 50);
        {
            WatchedCleanDlg dlg;
            dlg.onInit = [](WatchedCleanDlg&) { PostQuitMessage(37); };
            dlg.DoModal();
        }
        while (AfxPumpMessage()) {
        }
        fflush(stdout);
        ExitProcess(static_cast<UINT>(g_app.ExitInstance()));
    }
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring cmd = L"\"" + std::wstring(exe) +
                       L"\" --gtest_filter=CleanStores.QuitWhileWorkingExitsWithItsCode";
    SetEnvironmentVariableW(L"PZ_CLEAN_CHILD", L"1");
    STARTUPINFOW si{sizeof(si)};
    PROCESS_INFORMATION pi{};
    const BOOL started = CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr,
                                        nullptr, &si, &pi);
    SetEnvironmentVariableW(L"PZ_CLEAN_CHILD", nullptr);
    ASSERT_TRUE(started) << GetLastError();
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(37u, code);
}

DWORD WINAPI NoOpThread(LPVOID) { return 0; }

// No worker thread can be made: the veil ends at once, as if it had finished.
TEST_F(CleanStores, NoWorkerEndsAtOnce) {
    WriteText(cookies + L"\\stays.txt", "s");
    const RECT tiny{0, 0, 64, 64};  // a small veil needs little memory
    WorkAreaScope scope(tiny);
    std::vector<void*> reserved;
    bool threadsFail = false, inited = false, hadWorker = true;
    WatchedCleanDlg dlg;
    // Once the window exists, all address space that could hold a thread's
    // stack is taken, so that starting the worker fails for real; it is
    // given back as soon as the veil's set-up is over.
    dlg.beforeInit = [&](WatchedCleanDlg&) {
        for (size_t size : {256u << 20, 64u << 20, 16u << 20, 4u << 20, 1u << 20, 256u << 10})
            while (void* r = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS))
                reserved.push_back(r);
        DWORD tid = 0;
        HANDLE probe = CreateThread(nullptr, 0, NoOpThread, nullptr, CREATE_SUSPENDED, &tid);
        threadsFail = probe == nullptr;
        if (probe) {
            ResumeThread(probe);
            WaitForSingleObject(probe, INFINITE);
            CloseHandle(probe);
        }
    };
    dlg.onInit = [&](WatchedCleanDlg& d) {
        for (void* r : reserved) VirtualFree(r, 0, MEM_RELEASE);
        reserved.clear();
        inited = true;
        hadWorker = d.OwnWorkerHandle() != nullptr || d.m_hThread != nullptr;
    };
    const INT_PTR rc = dlg.DoModal();
    for (void* r : reserved) VirtualFree(r, 0, MEM_RELEASE);
    if (!threadsFail) GTEST_SKIP() << "threads could still be made with the address space taken";
    EXPECT_TRUE(inited);
    EXPECT_FALSE(hadWorker);
    EXPECT_EQ(IDOK, rc);
    EXPECT_EQ(0, dlg.stopRequests);
    EXPECT_TRUE(Exists(cookies + L"\\stays.txt")) << "nothing is deleted without a worker";
}

// ==== links =========================================================================
//
// tests/clean_cache_test.sh makes these Linux symbolic links before it runs
// this suite (a Windows program under Wine cannot), all pointing into
// C:\pz-clean-canary\, outside both folders but inside the prefix:
//   <cookies>\pz-link-dir        -> canary\full   (holds canary.txt and sub\deep.txt)
//   <cookies>\pz-link-empty      -> canary\empty  (an empty folder)
//   <cookies>\pz-real\pz-link-file     -> canary\file.txt
//   <cookies>\pz-real\pz-link-readonly -> canary\readonly.txt (read-only)
//   <cache>\pz-link-dir          -> canary\full
//   <cache>\pz-real\pz-link-up   -> the cache folder's own parent
// The cleaner must leave everything in the canary as it was.

const wchar_t kCanary[] = L"C:\\pz-clean-canary";

struct LinkCase {
    bool cookies;  // else the cache folder
    const wchar_t* rel;
    std::wstring target;  // final path it leads to
};

std::vector<LinkCase> ExpectedLinks() {
    const std::wstring c = std::wstring(L"\\\\?\\") + kCanary;
    std::wstring cacheParent = FinalPath(CacheFolder());
    cacheParent.resize(cacheParent.find_last_of(L'\\'));
    return {
        {true, L"pz-link-dir", c + L"\\full"},
        {true, L"pz-link-empty", c + L"\\empty"},
        {true, L"pz-real\\pz-link-file", c + L"\\file.txt"},
        {true, L"pz-real\\pz-link-readonly", c + L"\\readonly.txt"},
        {false, L"pz-link-dir", c + L"\\full"},
        {false, L"pz-real\\pz-link-up", cacheParent},
    };
}

class CleanStoresLinks : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_UNLESS_SAFE_TO_DELETE();
        cookies = CookieFolder();
        cache = CacheFolder();
        for (const LinkCase& l : ExpectedLinks()) {
            const std::wstring path = (l.cookies ? cookies : cache) + L"\\" + l.rel;
            if (lstrcmpiW(FinalPath(path).c_str(), l.target.c_str()) != 0)
                GTEST_SKIP() << "skipped: the symbolic link " << Utf8(path) << " to "
                             << Utf8(l.target) << " is not there; tests/clean_cache_test.sh makes it";
        }
        ClearCache();
        Wipe(cookies);  // leaves the links alone
        Wipe(cache);
    }
    std::wstring cookies, cache;
};

std::set<std::wstring> CanaryState() {
    std::set<std::wstring> state;
    for (const auto& rel : ListTree(kCanary)) {
        const std::wstring path = std::wstring(kCanary) + L"\\" + rel;
        std::wstring line = rel;
        if (rel.back() != L'\\') {
            const std::string text = ReadText(path);
            line += L" = " + std::wstring(text.begin(), text.end());
        }
        if (Attributes(path) & FILE_ATTRIBUTE_READONLY) line += L" (read-only)";
        state.insert(line);
    }
    return state;
}

TEST_F(CleanStoresLinks, ResolvesLinksToWhereTheyLead) {
    for (const LinkCase& l : ExpectedLinks()) {
        const std::wstring path = (l.cookies ? cookies : cache) + L"\\" + l.rel;
        SCOPED_TRACE(Utf8(path));
        EXPECT_TRUE(real_path::Same(l.target, real_path::Resolve(path)));
        const std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
        const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
        EXPECT_FALSE(real_path::Same(real_path::Child(real_path::Resolve(folder), name.c_str()),
                                     real_path::Resolve(path)));
    }
    // An ordinary entry lies at its own place.
    WriteText(cookies + L"\\pz-real\\plain.txt", "p");
    EXPECT_TRUE(real_path::Same(real_path::Child(real_path::Resolve(cookies + L"\\pz-real"), L"plain.txt"),
                                real_path::Resolve(cookies + L"\\pz-real\\plain.txt")));
}

TEST_F(CleanStoresLinks, FolderPassesNeverReachThroughLinks) {
    // Ordinary entries around the links go as usual.
    WriteText(cookies + L"\\plain.txt", "p", FILE_ATTRIBUTE_READONLY);
    WriteText(cookies + L"\\pz-real\\a.txt", "a", FILE_ATTRIBUTE_READONLY);
    WriteText(cookies + L"\\pz-real\\pz-sub\\b.txt", "b");
    WriteText(cache + L"\\pz-real\\c.txt", "c");
    WriteText(cache + L"\\d.txt", "d");
    const std::set<std::wstring> canaryBefore = CanaryState();
    ASSERT_FALSE(canaryBefore.empty());
    std::set<std::wstring> outside;  // what lies next to the cache folder
    for (const Entry& e : ListFolder(cache + L"\\..")) outside.insert(e.name);

    WatchedCleanDlg dlg;
    EXPECT_EQ(IDOK, dlg.DoModal());

    EXPECT_EQ(canaryBefore, CanaryState()) << "now:" << Describe(CanaryState());
    std::set<std::wstring> outsideAfter;
    for (const Entry& e : ListFolder(cache + L"\\..")) outsideAfter.insert(e.name);
    EXPECT_EQ(outside, outsideAfter);
    for (const wchar_t* gone : {L"\\plain.txt", L"\\pz-real\\a.txt", L"\\pz-real\\pz-sub"})
        EXPECT_FALSE(Exists(cookies + gone)) << Utf8(gone);
    for (const wchar_t* gone : {L"\\pz-real\\c.txt", L"\\d.txt"}) EXPECT_FALSE(Exists(cache + gone));
    // A link goes only where it can be removed without following it (not
    // under Wine); if it is still there, it still leads where it did.
    for (const LinkCase& l : ExpectedLinks()) {
        const std::wstring path = (l.cookies ? cookies : cache) + L"\\" + l.rel;
        if (Exists(path)) {
            EXPECT_TRUE(real_path::Same(l.target, FinalPath(path))) << Utf8(path);
        }
    }
}

TEST_F(CleanStoresLinks, LinksAreNotRemovedThroughTheirTargets) {
    // Directly: the link to an empty folder, which removing it by path would
    // take away under Wine.
    const std::set<std::wstring> canaryBefore = CanaryState();
    ASSERT_TRUE(canaryBefore.count(L"empty\\"));
    const std::wstring link = cookies + L"\\pz-link-empty";
    const bool removed = real_path::RemoveLinkItself(
        link, real_path::Child(real_path::Resolve(cookies), L"pz-link-empty"));
    EXPECT_EQ(canaryBefore, CanaryState());
    EXPECT_NE(removed, Exists(link)) << "removed " << removed;
    CCleanCacheDlg dlg;
    dlg.DeleteFolderContents(cookies.c_str());
    EXPECT_EQ(canaryBefore, CanaryState());
}

}  // namespace
