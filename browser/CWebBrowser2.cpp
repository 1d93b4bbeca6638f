#include "browser/CWebBrowser2.h"

#include "framework/COccManager.h"
#include "framework/COleControlContainer.h"
#include "framework/COleControlSite.h"

namespace {
constexpr DISPID kDispIdNavigate = 104;
constexpr DISPID kDispIdRefresh = -550;
}  // namespace

const CLSID& CWebBrowser2::GetClsid() {
    // {8856F961-340A-11D0-A96B-00C04FD705A2}
    static const CLSID clsid = {0x8856F961, 0x340A, 0x11D0,
                                {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
    return clsid;
}

BOOL CWebBrowser2::Create(LPCWSTR, LPCWSTR, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                          UINT nID, void*) {
    if (!pParentWnd || !pParentWnd->m_hWnd || m_pCtrlSite) return FALSE;
    if (!pParentWnd->m_pCtrlCont) {
        COccManager* manager = AfxGetOccManager();
        if (!manager) return FALSE;
        pParentWnd->m_pCtrlCont = new COleControlContainer(pParentWnd, manager);
    }
    COleControlSite* site =
        pParentWnd->m_pCtrlCont->CreateControl(GetClsid(), rect, nID, dwStyle, nullptr, 0);
    if (!site) return FALSE;
    AttachControlSite(site);
    return TRUE;
}

void CWebBrowser2::Navigate(LPCWSTR URL, VARIANT* Flags, VARIANT* TargetFrameName,
                            VARIANT* PostData, VARIANT* Headers) {
    static const BYTE params[] = VTS_BSTR VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT;
    InvokeHelper(kDispIdNavigate, DISPATCH_METHOD, VT_EMPTY, nullptr, params, URL, Flags,
                 TargetFrameName, PostData, Headers);
}

void CWebBrowser2::Refresh() {
    InvokeHelper(kDispIdRefresh, DISPATCH_METHOD, VT_EMPTY, nullptr, nullptr);
}
