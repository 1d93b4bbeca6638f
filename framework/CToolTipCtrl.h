#pragma once
// The common tooltip control: a popup owned by its window; tools are other
// windows (identified by handle), fed mouse messages through RelayEvent.
#include "framework/CWnd.h"

class CToolTipCtrl : public CWnd {
public:
    BOOL Create(CWnd* pParentWnd, DWORD dwStyle = 0);
    BOOL AddTool(CWnd* pWnd, LPCWSTR text);
    void RelayEvent(MSG* pMsg);
};
