#pragma once
// Pieces of the stand-in engine shared by its static library and its DLL.
#include <windows.h>
#include <ole2.h>

namespace standin {

// The process-wide class factory of stand-in browsers (a static object).
IClassFactory* ClassFactory();
// No stand-in object is alive and no one holds a lock on the factory.
bool CanUnload();
// The module the engine is linked into (the test program or the DLL).
HMODULE ThisModule();

}  // namespace standin
