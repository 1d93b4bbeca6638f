#include "tests/e2e/ProcessObjects.h"

#include <winternl.h>

#include <map>
#include <vector>

#include "tests/e2e/Desktop.h"

namespace process_objects {
namespace {

// Offset of GdiSharedHandleTable in a 32-bit process environment block.
constexpr SIZE_T kPebGdiTableOffset = 0x94;

// One entry of the table as Wine lays it out (24 bytes); an entry in use
// has a non-zero object type.
#pragma pack(push, 1)
struct GdiHandleEntry {
    UINT64 object;
    ULONG owner;
    USHORT unique;
    UCHAR type;
    UCHAR flags;
    UINT64 userPointer;
};
#pragma pack(pop)
static_assert(sizeof(GdiHandleEntry) == 24, "Wine's GDI handle entry");
constexpr size_t kGdiMaxHandles = 0x10000;

using QueryInformationProcess = NTSTATUS(WINAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);

bool ReadGdiTable(HANDLE process, std::vector<GdiHandleEntry>* entries) {
    auto query = reinterpret_cast<QueryInformationProcess>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    if (!query) return false;
    PROCESS_BASIC_INFORMATION basic{};
    if (query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0 || !basic.PebBaseAddress)
        return false;
    DWORD table = 0;
    SIZE_T read = 0;
    if (!ReadProcessMemory(process, reinterpret_cast<BYTE*>(basic.PebBaseAddress) + kPebGdiTableOffset, &table,
                           sizeof table, &read) ||
        read != sizeof table || !table)
        return false;
    entries->assign(kGdiMaxHandles, GdiHandleEntry{});
    return ReadProcessMemory(process, reinterpret_cast<void*>(static_cast<UINT_PTR>(table)), entries->data(),
                             entries->size() * sizeof(GdiHandleEntry), &read) &&
           read == entries->size() * sizeof(GdiHandleEntry);
}

}  // namespace

int GdiObjectCount(HANDLE process) {
    std::vector<GdiHandleEntry> entries;
    if (!ReadGdiTable(process, &entries)) return -1;
    int count = 0;
    for (const GdiHandleEntry& e : entries) count += e.type != 0 ? 1 : 0;
    return count;
}

std::map<int, int> GdiObjectsByType(HANDLE process) {
    std::map<int, int> byType;
    std::vector<GdiHandleEntry> entries;
    if (!ReadGdiTable(process, &entries)) return byType;
    for (const GdiHandleEntry& e : entries)
        if (e.type) ++byType[e.type];
    return byType;
}

std::string GdiTypesText(const std::map<int, int>& byType) {
    // Wine's object types, as far as the driver's own objects showed them.
    const std::map<int, const char*> names = {
        {0x01, "DC"}, {kGdiRegion, "region"}, {0x09, "bitmap"}, {0x0a, "font"}, {0x10, "brush or pen"}};
    std::string text;
    for (const auto& [type, n] : byType) {
        auto it = names.find(type);
        if (!text.empty()) text += ", ";
        text += (it != names.end() ? std::string(it->second) : "type " + std::to_string(type)) + " " + std::to_string(n);
    }
    return text.empty() ? "unreadable" : text;
}

DWORD GuiResources(HANDLE process, DWORD which, DWORD* lastError) {
    SetLastError(0);
    const DWORD value = GetGuiResources(process, which);
    *lastError = GetLastError();
    return value;
}

int WindowCount(DWORD pid) { return static_cast<int>(desktop::AllWindows(pid).size()); }

}  // namespace process_objects
