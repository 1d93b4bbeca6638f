#include "game/RealPath.h"

#include "game/COwnedHandle.h"

namespace real_path {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE OpenEntry(const std::wstring& path, DWORD access, DWORD flags) {
    HANDLE h = ::CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
    return h == INVALID_HANDLE_VALUE ? nullptr : h;
}

std::wstring FinalPathOf(HANDLE h) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD n = ::GetFinalPathNameByHandleW(h, &buffer[0], static_cast<DWORD>(buffer.size()),
                                                    FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0) return std::wstring();
        if (n < buffer.size()) {
            buffer.resize(n);
            return buffer;
        }
        buffer.assign(n + 1, L'\0');  // n is the size needed, terminator included
    }
    return std::wstring();
}

}  // namespace

std::wstring Resolve(const std::wstring& path) {
    COwnedHandle h(OpenEntry(path, FILE_READ_ATTRIBUTES, 0));
    return h ? FinalPathOf(h.Get()) : std::wstring();
}

std::wstring Child(const std::wstring& realFolder, const wchar_t* name) {
    std::wstring child = realFolder;
    if (child.empty() || child.back() != L'\\') child += L'\\';
    return child += name;
}

bool Same(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool RemoveLinkItself(const std::wstring& path, const std::wstring& expectedRealPath) {
    COwnedHandle h(OpenEntry(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                             FILE_FLAG_OPEN_REPARSE_POINT));
    if (!h) return false;

    // The handle must be the link itself: at the entry's place, and a reparse point.
    const std::wstring opened = FinalPathOf(h.Get());
    if (opened.empty() || !Same(opened, expectedRealPath)) return false;
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!::GetFileInformationByHandleEx(h.Get(), FileAttributeTagInfo, &tag, sizeof(tag)) ||
        !(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;

    // A read-only link cannot be deleted; its own attribute is cleared first.
    if (tag.FileAttributes & FILE_ATTRIBUTE_READONLY) {
        FILE_BASIC_INFO basic{};
        if (::GetFileInformationByHandleEx(h.Get(), FileBasicInfo, &basic, sizeof(basic))) {
            basic.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
            if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
            ::SetFileInformationByHandle(h.Get(), FileBasicInfo, &basic, sizeof(basic));
        }
    }
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return ::SetFileInformationByHandle(h.Get(), FileDispositionInfo, &disposition,
                                        sizeof(disposition)) != FALSE;
}

}  // namespace real_path
