#pragma once
// The ActiveX controls of one window: creates them through the installed
// manager's sites, finds them by control id, routes keys to the in-place
// active one and tears them all down before the window goes away.
#include <windows.h>
#include <vector>

class CWnd;
class COccManager;
class COleControlSite;
struct COleDialogItem;

class COleControlContainer {
public:
    COleControlContainer(CWnd* pWnd, COccManager* pManager);
    ~COleControlContainer();
    COleControlContainer(const COleControlContainer&) = delete;
    COleControlContainer& operator=(const COleControlContainer&) = delete;

    // Creates the control of a template item; false (and no site kept) on failure.
    bool CreateControl(const COleDialogItem& item);
    // Creates a control at a pixel rectangle of the window's client area.
    COleControlSite* CreateControl(REFCLSID clsid, const RECT& rc, UINT id, DWORD style,
                                   const BYTE* persisted, DWORD cbPersisted);
    COleControlSite* FindSite(UINT id) const;
    const std::vector<COleControlSite*>& Sites() const { return m_sites; }
    BOOL TranslateAccelerator(MSG* pMsg);
    void DestroyControls();

    CWnd* m_pWnd;  // the window that hosts the controls

private:
    COccManager* m_pManager;
    std::vector<COleControlSite*> m_sites;  // one reference each
};
