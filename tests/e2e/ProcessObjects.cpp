#include "tests/e2e/ProcessObjects.h"

#include <map>
#include <vector>

#include "tests/e2e/Desktop.h"
#include "tools/bench/process_figures.h"

namespace process_objects {

// The benchmark's probe reads the same figures; both use one reader.
int GdiObjectCount(HANDLE process) { return figures::GdiObjects(process); }

std::map<int, int> GdiObjectsByType(HANDLE process) {
    std::map<int, int> byType;
    if (figures::GdiObjectTypes(process, &byType) < 0) byType.clear();
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
    return figures::GuiResources(process, which, lastError);
}

int WindowCount(DWORD pid) { return static_cast<int>(desktop::AllWindows(pid).size()); }

}  // namespace process_objects
