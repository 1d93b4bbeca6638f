#pragma once
// The program's control container manager: every ActiveX control that any
// dialog creates sits in a CCustomControlSite.
#include "framework/COccManager.h"

class CCustomOccManager : public COccManager {
public:
    ~CCustomOccManager() override = default;
    COleControlSite* CreateSite(COleControlContainer* pCtrlCont) override;
};
