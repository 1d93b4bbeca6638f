#include "tools/bench/process_figures.h"

#include <psapi.h>
#include <winternl.h>

#include <map>
#include <vector>

namespace figures {
namespace {

// Offset of GdiSharedHandleTable in a 32-bit process environment block.
constexpr SIZE_T kPebGdiTableOffset = 0x94;

// One entry of the table as Wine lays it out (24 bytes); an entry in use has
// a non-zero object type.
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
static_assert(sizeof(GdiHandleEntry) == 24, "a GDI handle table entry");
constexpr size_t kGdiMaxHandles = 0x10000;

using QueryInformationProcess = NTSTATUS(WINAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);

double FileTimeMs(const FILETIME& t) {
    ULARGE_INTEGER v;
    v.LowPart = t.dwLowDateTime;
    v.HighPart = t.dwHighDateTime;
    return static_cast<double>(v.QuadPart) / 10000.0;
}

struct WindowCollector {
    DWORD processId;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM lParam) {
    reinterpret_cast<WindowCollector*>(lParam)->windows.push_back(hwnd);
    return TRUE;
}

void AddWithDescendants(WindowCollector& collector, HWND hwnd) {
    collector.windows.push_back(hwnd);
    // EnumChildWindows walks all descendants, not only the direct children.
    EnumChildWindows(hwnd, CollectChild, reinterpret_cast<LPARAM>(&collector));
}

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM lParam) {
    auto* collector = reinterpret_cast<WindowCollector*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == collector->processId) AddWithDescendants(*collector, hwnd);
    return TRUE;
}

}  // namespace

Memory ReadMemory(HANDLE process) {
    Memory memory;
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters))) {
        memory.ok = true;
        memory.workingSet = counters.WorkingSetSize;
        memory.peakWorkingSet = counters.PeakWorkingSetSize;
        memory.privateBytes = counters.PrivateUsage;
    }
    return memory;
}

double CpuMs(HANDLE process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return -1;
    return FileTimeMs(kernel) + FileTimeMs(user);
}

int GdiObjects(HANDLE process) {
    std::map<int, int> types;
    return GdiObjectTypes(process, &types);
}

int GdiObjectTypes(HANDLE process, std::map<int, int>* types) {
    types->clear();
    auto query = reinterpret_cast<QueryInformationProcess>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    if (!query) return -1;
    PROCESS_BASIC_INFORMATION basic{};
    if (query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0 || !basic.PebBaseAddress)
        return -1;
    DWORD table = 0;
    SIZE_T read = 0;
    if (!ReadProcessMemory(process, reinterpret_cast<BYTE*>(basic.PebBaseAddress) + kPebGdiTableOffset, &table,
                           sizeof table, &read) ||
        read != sizeof table || !table)
        return -1;
    std::vector<GdiHandleEntry> entries(kGdiMaxHandles);
    if (!ReadProcessMemory(process, reinterpret_cast<void*>(static_cast<UINT_PTR>(table)), entries.data(),
                           entries.size() * sizeof(GdiHandleEntry), &read) ||
        read != entries.size() * sizeof(GdiHandleEntry))
        return -1;
    int count = 0;
    for (const GdiHandleEntry& e : entries) {
        if (!e.type) continue;
        ++count;
        ++(*types)[e.type];
    }
    return count;
}

int Windows(DWORD processId) { return static_cast<int>(WindowList(processId).size()); }

std::vector<HWND> WindowList(DWORD processId) {
    WindowCollector collector{processId, {}};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&collector));
    for (HWND h = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); h;
         h = FindWindowExW(HWND_MESSAGE, h, nullptr, nullptr)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        if (pid == processId) AddWithDescendants(collector, h);
    }
    return collector.windows;
}

DWORD GuiResources(HANDLE process, DWORD which, DWORD* lastError) {
    SetLastError(0);
    const DWORD value = GetGuiResources(process, which);
    *lastError = GetLastError();
    return value;
}

}  // namespace figures
