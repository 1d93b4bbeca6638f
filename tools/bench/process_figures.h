#pragma once
// What the probe reads about another process from outside it: memory, CPU
// time, and the window-system objects it holds.
//
// GDI and USER objects: Windows answers GetGuiResources; Wine 8 has it as a
// stub that answers 0 and sets ERROR_CALL_NOT_IMPLEMENTED (GuiResources
// reports what it answers, so the table can show it). The probe counts
// instead:
//   - GDI objects: the entries in use in the process's GDI handle table,
//     which Wine keeps in the process's own memory and publishes, as Windows
//     does, in the process environment block (GdiSharedHandleTable); read
//     with ReadProcessMemory. Stock objects are included.
//   - USER objects: the process's windows - top-level, message-only and all
//     their descendants. Menus, icons and cursors, also USER objects, cannot
//     be seen from outside under Wine and are not in the count.
#include <windows.h>

#include <map>
#include <vector>

namespace figures {

struct Memory {
    bool ok = false;
    SIZE_T workingSet = 0, peakWorkingSet = 0, privateBytes = 0;
};
Memory ReadMemory(HANDLE process);

// User plus kernel time of all the process's threads so far, in ms; -1 if
// it cannot be read.
double CpuMs(HANDLE process);

// GDI objects in use (see above); -1 if the table cannot be read.
int GdiObjects(HANDLE process);
// The same, and how many there are of each object type (the table's type byte).
int GdiObjectTypes(HANDLE process, std::map<int, int>* types);
// Windows of the process (see above).
int Windows(DWORD processId);
std::vector<HWND> WindowList(DWORD processId);
// What GetGuiResources answers for `which` (GR_GDIOBJECTS, GR_USEROBJECTS),
// with the last error it left.
DWORD GuiResources(HANDLE process, DWORD which, DWORD* lastError);

}  // namespace figures
