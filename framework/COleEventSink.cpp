#include "framework/COleEventSink.h"

#include "framework/COleControlSite.h"

COleEventSink::COleEventSink(COleControlSite* pSite, REFIID iidEvents)
    : m_pSite(pSite), m_iidEvents(iidEvents) {}

STDMETHODIMP COleEventSink::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == m_iidEvents) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) COleEventSink::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_cRef)); }

STDMETHODIMP_(ULONG) COleEventSink::Release() {
    LONG n = InterlockedDecrement(&m_cRef);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

STDMETHODIMP COleEventSink::GetTypeInfoCount(UINT* pctinfo) {
    if (!pctinfo) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

STDMETHODIMP COleEventSink::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo) *ppTInfo = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP COleEventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

STDMETHODIMP COleEventSink::Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* pParams,
                                   VARIANT*, EXCEPINFO*, UINT*) {
    if (!m_pSite) return S_OK;
    // Keep both alive while a handler runs: it may tear the dialog down.
    AddRef();
    COleControlSite* site = m_pSite;
    site->ExternalAddRef();
    HRESULT hr = site->OnEvent(dispid, pParams);
    site->ExternalRelease();
    Release();
    return hr;
}
