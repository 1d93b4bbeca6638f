#pragma once
// A dialog template read from the resources, split into what the system's
// dialog manager can create (ordinary controls) and the ActiveX items (those
// whose class is a class-identifier text "{...}"), which our control
// container creates itself after the dialog window exists.
#include <windows.h>
#include <string>
#include <vector>

struct COleDialogItem {
    UINT id = 0;
    CLSID clsid{};
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT rcDialogUnits{};            // x, y, x + cx, y + cy in dialog units
    std::vector<BYTE> persistedState;  // from the dialog-initialisation resource
    bool hasPersistedState = false;
};

class CDialogTemplate {
public:
    // Loads template nID (RT_DIALOG) and its dialog-initialisation data
    // (resource type 240, same id) from the module. False if missing/invalid.
    bool Load(HINSTANCE hModule, UINT nID);
    // Parses a template in memory (DLGTEMPLATE or DLGTEMPLATEEX).
    bool Parse(const BYTE* data, size_t size);
    // Adds dialog-initialisation data: entries of {WORD id, WORD msg,
    // DWORD length, bytes}, ended by a zero WORD.
    void ApplyInitData(const BYTE* data, size_t size);

    // The template without the ActiveX items, ready for CreateDialogIndirect.
    const DLGTEMPLATE* GetCreatableTemplate() const {
        return reinterpret_cast<const DLGTEMPLATE*>(m_stripped.data());
    }
    const std::vector<COleDialogItem>& GetOleItems() const { return m_oleItems; }

private:
    std::vector<BYTE> m_stripped;  // DWORD-aligned copy
    std::vector<COleDialogItem> m_oleItems;
};

// The message a dialog-initialisation entry uses for a control's persisted
// stream state.
constexpr WORD kOccLoadFromStream = 0x0376;
