#pragma once
// The IDispatch a hosted control fires its events into. It forwards every
// event to its site while the site is attached; the site detaches it before
// it lets go of the control, so late events from the control go nowhere.
#include <windows.h>
#include <oaidl.h>

class COleControlSite;

class COleEventSink final : public IDispatch {
public:
    COleEventSink(COleControlSite* pSite, REFIID iidEvents);
    COleEventSink(const COleEventSink&) = delete;
    COleEventSink& operator=(const COleEventSink&) = delete;
    void Detach() { m_pSite = nullptr; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    STDMETHODIMP Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* pParams, VARIANT*,
                        EXCEPINFO*, UINT*) override;

private:
    ~COleEventSink() = default;
    LONG m_cRef = 1;
    COleControlSite* m_pSite;
    IID m_iidEvents;
};
