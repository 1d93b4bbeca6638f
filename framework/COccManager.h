#pragma once
// The control container manager decides which site class hosts each ActiveX
// control. One manager is installed for the process with
// AfxEnableControlContainer; every dialog's container asks it for sites.
class COleControlContainer;
class COleControlSite;

class COccManager {
public:
    virtual ~COccManager() = default;
    // A new site on the given container (reference count 1, owned by it).
    virtual COleControlSite* CreateSite(COleControlContainer* pCtrlCont);
};

// Installs the manager (a default one when null). Without a call, dialogs
// leave the ActiveX items of their templates out.
void AfxEnableControlContainer(COccManager* pManager = nullptr);
COccManager* AfxGetOccManager();
