#pragma once
// Counting what a process holds of the window system, from outside it.
//
// GetGuiResources is what Windows offers for this, but under Wine it is a
// stub: it answers 0 for GDI and USER objects alike and sets
// ERROR_CALL_NOT_IMPLEMENTED. So the driver measures in two other ways:
//   - GDI objects: Wine keeps every process's GDI handles in a table in the
//     process's own memory, published, as on Windows, in the process
//     environment block (PEB::GdiSharedHandleTable). The driver reads that
//     table with ReadProcessMemory and counts the entries in use (bitmaps,
//     brushes, fonts, DCs, regions... and the stock objects).
//   - USER objects: the process's windows, top-level, message-only and all
//     their descendants. Menus, icons and cursors are USER objects too but
//     cannot be seen from outside under Wine; they are not in this count.
#include <windows.h>

#include <map>
#include <string>

namespace process_objects {

// GDI objects in use in `process` (opened with PROCESS_QUERY_INFORMATION
// and PROCESS_VM_READ); -1 if the table cannot be read.
int GdiObjectCount(HANDLE process);
// The same by Wine's object type (empty if unreadable), and as text
// ("DC 48, region 35, bitmap 32, ...") for the log.
constexpr int kGdiRegion = 0x04;
std::map<int, int> GdiObjectsByType(HANDLE process);
std::string GdiTypesText(const std::map<int, int>& byType);
// What GetGuiResources answers, and its last error, for the report.
DWORD GuiResources(HANDLE process, DWORD which, DWORD* lastError);
// Windows of the process (see above).
int WindowCount(DWORD pid);

}  // namespace process_objects
