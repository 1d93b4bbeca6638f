#include "framework/COccManager.h"

#include "framework/COleControlSite.h"

namespace {
COccManager* g_pOccManager = nullptr;
}

COleControlSite* COccManager::CreateSite(COleControlContainer* pCtrlCont) {
    return new COleControlSite(pCtrlCont);
}

void AfxEnableControlContainer(COccManager* pManager) {
    if (g_pOccManager) return;  // installed once; kept until the process ends
    static COccManager defaultManager;
    g_pOccManager = pManager ? pManager : &defaultManager;
}

COccManager* AfxGetOccManager() { return g_pOccManager; }
