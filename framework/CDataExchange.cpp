#include "framework/CDataExchange.h"

#include "framework/CDialog.h"
#include "framework/COleControlContainer.h"

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
    if (rControl.m_hWnd || rControl.m_pCtrlSite) return;  // bound once
    CDialog* dlg = pDX->m_pDlgWnd;
    if (dlg->m_pCtrlCont) {
        if (COleControlSite* site = dlg->m_pCtrlCont->FindSite(static_cast<UINT>(nIDC))) {
            rControl.AttachControlSite(site);
            return;
        }
    }
    rControl.SubclassDlgItem(static_cast<UINT>(nIDC), dlg);
}
