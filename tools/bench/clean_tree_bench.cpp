// Empties a folder one way and prints how long that took, for the cache
// cleaner's benchmark (tools/bench_clean.sh):
//
//   clean_tree_bench.exe MODE FOLDER
//     program  the cache cleaner's own folder pass (CCleanCacheDlg::DeleteFolderContents):
//              each entry's real location checked, files deleted with the shell
//     shell    the same walk and shell deletion without the location check
//     checked  the location check with plain DeleteFileW instead of the shell
//     plain    a plain recursive walk: DeleteFileW for files, RemoveDirectoryW for folders
//
// Prints one line "RESULT mode=... seconds=... files=... folders=..." where
// files and folders count what was removed. The folder itself stays.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "game/CCleanCacheDlg.h"
#include "game/RealPath.h"

namespace {

struct Counts {
    long files = 0;
    long folders = 0;
};

void Count(const std::wstring& folder, Counts& c) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"\\*.*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        if (!wcscmp(fd.cFileName, L".") || !wcscmp(fd.cFileName, L"..")) continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ++c.folders;
            Count(folder + L"\\" + fd.cFileName, c);
        } else {
            ++c.files;
        }
    } while (FindNextFileW(h, &fd));
    FindClose(h);
}

void ShellDelete(const std::wstring& path) {
    std::wstring from = path;
    from.push_back(L'\0');
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
    SHFileOperationW(&op);
}

// The walks to compare with. `check` adds the program's location check of
// each entry; `shell` deletes files with the shell instead of DeleteFileW.
void Walk(const std::wstring& folder, const std::wstring& realFolder, bool check, bool shell) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"\\*.*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        if (!wcscmp(fd.cFileName, L".") || !wcscmp(fd.cFileName, L"..")) continue;
        const std::wstring path = folder + L"\\" + fd.cFileName;
        std::wstring real;
        if (check) {
            real = real_path::Resolve(path);
            if (!real_path::Same(real, real_path::Child(realFolder, fd.cFileName))) continue;
        }
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            Walk(path, real, check, shell);
            RemoveDirectoryW(path.c_str());
        } else if (shell) {
            ShellDelete(path);
        } else {
            DeleteFileW(path.c_str());
        }
    } while (FindNextFileW(h, &fd));
    FindClose(h);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: clean_tree_bench.exe program|shell|checked|plain FOLDER\n");
        return 2;
    }
    const std::wstring mode = argv[1], folder = argv[2];
    Counts before, after;
    Count(folder, before);

    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t0);
    if (mode == L"program") {
        CCleanCacheDlg dlg;
        dlg.DeleteFolderContents(folder.c_str());
    } else if (mode == L"shell") {
        Walk(folder, std::wstring(), false, true);
    } else if (mode == L"checked") {
        Walk(folder, real_path::Resolve(folder), true, false);
    } else if (mode == L"plain") {
        Walk(folder, std::wstring(), false, false);
    } else {
        std::fprintf(stderr, "unknown mode\n");
        return 2;
    }
    QueryPerformanceCounter(&t1);
    Count(folder, after);

    const double seconds = double(t1.QuadPart - t0.QuadPart) / double(freq.QuadPart);
    std::printf("RESULT mode=%ls seconds=%.3f files=%ld folders=%ld\n", mode.c_str(), seconds,
                before.files - after.files, before.folders - after.folders);
    std::fflush(stdout);
    return 0;
}
