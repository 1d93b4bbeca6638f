#pragma once
// Binding of dialog controls to member objects (DDX_Control): an ordinary
// control is subclassed by its object; a hosted ActiveX control is attached
// to its wrapper through its control site.
#include "framework/CWnd.h"

class CDialog;

class CDataExchange {
public:
    CDataExchange(CDialog* pDlgWnd, BOOL bSaveAndValidate)
        : m_pDlgWnd(pDlgWnd), m_bSaveAndValidate(bSaveAndValidate) {}
    CDialog* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
};

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
