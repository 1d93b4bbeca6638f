#include "framework/COleControlContainer.h"

#include "framework/CDialogTemplate.h"
#include "framework/COccManager.h"
#include "framework/COleControlSite.h"
#include "framework/CWnd.h"

COleControlContainer::COleControlContainer(CWnd* pWnd, COccManager* pManager)
    : m_pWnd(pWnd), m_pManager(pManager) {}

COleControlContainer::~COleControlContainer() { DestroyControls(); }

bool COleControlContainer::CreateControl(const COleDialogItem& item) {
    RECT rc = item.rcDialogUnits;
    MapDialogRect(m_pWnd->m_hWnd, &rc);
    const BYTE* data = item.hasPersistedState ? item.persistedState.data() : nullptr;
    return CreateControl(item.clsid, rc, item.id, item.style, data,
                         static_cast<DWORD>(item.persistedState.size())) != nullptr;
}

COleControlSite* COleControlContainer::CreateControl(REFCLSID clsid, const RECT& rc, UINT id,
                                                     DWORD style, const BYTE* persisted,
                                                     DWORD cbPersisted) {
    if (!m_pManager) return nullptr;
    COleControlSite* site = m_pManager->CreateSite(this);
    if (!site) return nullptr;
    if (FAILED(site->CreateControl(clsid, rc, id, style, persisted, cbPersisted))) {
        site->DestroyControl();
        site->Release();
        return nullptr;
    }
    m_sites.push_back(site);
    return site;
}

COleControlSite* COleControlContainer::FindSite(UINT id) const {
    for (COleControlSite* site : m_sites)
        if (site->m_nID == id) return site;
    return nullptr;
}

BOOL COleControlContainer::TranslateAccelerator(MSG* pMsg) {
    for (COleControlSite* site : m_sites) {
        if (site->m_hWnd && (pMsg->hwnd == site->m_hWnd || IsChild(site->m_hWnd, pMsg->hwnd))) {
            return site->TranslateAcceleratorForControl(pMsg);
        }
    }
    return FALSE;
}

void COleControlContainer::DestroyControls() {
    std::vector<COleControlSite*> sites;
    sites.swap(m_sites);
    for (COleControlSite* site : sites) {
        site->DestroyControl();
        site->Release();
    }
}
