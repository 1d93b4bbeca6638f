#include "browser/CCustomOccManager.h"

#include "browser/CCustomControlSite.h"

COleControlSite* CCustomOccManager::CreateSite(COleControlContainer* pCtrlCont) {
    return new CCustomControlSite(pCtrlCont);
}
