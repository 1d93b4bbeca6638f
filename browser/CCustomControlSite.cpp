#include "browser/CCustomControlSite.h"

#include "app/CLoginApp.h"
#include "browser/CImpIDispatch.h"

CCustomControlSite::CCustomControlSite(COleControlContainer* pCtrlCont)
    : COleControlSite(pCtrlCont) {}

const CInterfaceMap* CCustomControlSite::GetInterfaceMap() const {
    static const CInterfaceMap map{
        COleControlSite::GetInterfaceMap(),
        {{&IID_IDocHostUIHandler, [](COleControlSite* site) -> IUnknown* {
              return &static_cast<CCustomControlSite*>(site)->m_xDocHostUIHandler;
          }}}};
    return &map;
}

using XHandler = CCustomControlSite::XDocHostUIHandler;

STDMETHODIMP XHandler::QueryInterface(REFIID riid, void** ppv) {
    return m_pSite->ExternalQueryInterface(riid, ppv);
}
STDMETHODIMP_(ULONG) XHandler::AddRef() { return m_pSite->ExternalAddRef(); }
STDMETHODIMP_(ULONG) XHandler::Release() { return m_pSite->ExternalRelease(); }

// S_OK: the host "showed" the menu, so the engine shows none.
STDMETHODIMP XHandler::ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) { return S_OK; }

STDMETHODIMP XHandler::GetHostInfo(DOCHOSTUIINFO* pInfo) {
    if (!pInfo) return E_POINTER;
    pInfo->dwFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_SCROLL_NO;
    pInfo->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    return S_OK;
}

STDMETHODIMP XHandler::ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*,
                              IOleInPlaceFrame*, IOleInPlaceUIWindow*) {
    return S_OK;
}
STDMETHODIMP XHandler::HideUI() { return S_OK; }
STDMETHODIMP XHandler::UpdateUI() { return S_OK; }
STDMETHODIMP XHandler::EnableModeless(BOOL) { return E_NOTIMPL; }
STDMETHODIMP XHandler::OnDocWindowActivate(BOOL) { return E_NOTIMPL; }
STDMETHODIMP XHandler::OnFrameWindowActivate(BOOL) { return E_NOTIMPL; }
STDMETHODIMP XHandler::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return E_NOTIMPL; }
// S_FALSE: every keystroke goes on to the engine.
STDMETHODIMP XHandler::TranslateAccelerator(LPMSG, const GUID*, DWORD) { return S_FALSE; }
STDMETHODIMP XHandler::GetOptionKeyPath(LPOLESTR*, DWORD) { return E_NOTIMPL; }
STDMETHODIMP XHandler::GetDropTarget(IDropTarget*, IDropTarget**) { return E_NOTIMPL; }

STDMETHODIMP XHandler::GetExternal(IDispatch** ppDispatch) {
    if (!ppDispatch) return E_POINTER;
    // The external object lives from start-up until every browser is gone;
    // should its creation have failed, pages simply get no external object.
    IDispatch* external = theApp.m_pDispatch;
    *ppDispatch = external;
    if (!external) return E_NOTIMPL;
    external->AddRef();
    return S_OK;
}

STDMETHODIMP XHandler::TranslateUrl(DWORD, OLECHAR*, OLECHAR**) { return E_NOTIMPL; }
STDMETHODIMP XHandler::FilterDataObject(IDataObject*, IDataObject**) { return E_NOTIMPL; }
