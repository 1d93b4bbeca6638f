#pragma once
// The client side of one hosted ActiveX control: client site, in-place site
// and frame, control site and ambient properties, with a real reference
// count. It creates the control, activates it in place in the container's
// window, sinks its default event interface into the window's event-sink map,
// and routes the wrapper's MoveWindow/ShowWindow to the control.
//
// Derived sites answer more interfaces through their interface map.
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <cstdarg>
#include <vector>

#include "framework/ComPtr.h"

class COleControlContainer;
class COleEventSink;
class CWnd;
class COleControlSite;

struct CInterfaceMapEntry {
    const IID* piid;
    IUnknown* (*get)(COleControlSite* site);  // the interface, not yet AddRef'd
};
struct CInterfaceMap {
    const CInterfaceMap* base;
    std::vector<CInterfaceMapEntry> entries;
};

class COleControlSite : public IOleClientSite,
                        public IOleInPlaceSite,
                        public IOleInPlaceFrame,
                        public IOleControlSite,
                        public IDispatch {
public:
    explicit COleControlSite(COleControlContainer* pCtrlCont);
    COleControlSite(const COleControlSite&) = delete;
    COleControlSite& operator=(const COleControlSite&) = delete;

    HRESULT CreateControl(REFCLSID clsid, const RECT& rc, UINT id, DWORD style,
                          const BYTE* persisted, DWORD cbPersisted);
    void DestroyControl();

    BOOL ShowWindow(int nCmdShow);
    void MoveWindow(int x, int y, int cx, int cy, BOOL bRepaint);
    void InvokeHelperV(DISPID dispid, WORD wFlags, VARTYPE vtRet, void* pvRet,
                       const BYTE* pbParamInfo, va_list args);
    BOOL TranslateAcceleratorForControl(MSG* pMsg);
    // Called by the event sink for every event the control fires.
    HRESULT OnEvent(DISPID dispid, DISPPARAMS* pParams);

    // Identity and count shared by every interface of the site.
    HRESULT ExternalQueryInterface(REFIID riid, void** ppv);
    ULONG ExternalAddRef();
    ULONG ExternalRelease();
    virtual const CInterfaceMap* GetInterfaceMap() const;

    COleControlContainer* m_pCtrlCont;
    CWnd* m_pWndCtrl = nullptr;  // the wrapper attached to this site, if any
    HWND m_hWnd = nullptr;       // the control's window
    UINT m_nID = 0;
    DWORD m_dwStyle = 0;
    RECT m_rect{};               // in the container's client coordinates
    ComPtr<IOleObject> m_pObject;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IOleClientSite
    STDMETHODIMP SaveObject() override;
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** ppmk) override;
    STDMETHODIMP GetContainer(IOleContainer** ppContainer) override;
    STDMETHODIMP ShowObject() override;
    STDMETHODIMP OnShowWindow(BOOL) override;
    STDMETHODIMP RequestNewObjectLayout() override;
    // IOleWindow (shared by the in-place site and the frame)
    STDMETHODIMP GetWindow(HWND* phwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override;
    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override;
    STDMETHODIMP OnInPlaceActivate() override;
    STDMETHODIMP OnUIActivate() override;
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc,
                                  LPRECT lprcPosRect, LPRECT lprcClipRect,
                                  LPOLEINPLACEFRAMEINFO lpFrameInfo) override;
    STDMETHODIMP Scroll(SIZE) override;
    STDMETHODIMP OnUIDeactivate(BOOL) override;
    STDMETHODIMP OnInPlaceDeactivate() override;
    STDMETHODIMP DiscardUndoState() override;
    STDMETHODIMP DeactivateAndUndo() override;
    STDMETHODIMP OnPosRectChange(LPCRECT lprcPosRect) override;
    // IOleInPlaceUIWindow / IOleInPlaceFrame
    STDMETHODIMP GetBorder(LPRECT) override;
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override;
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override;
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* pActiveObject, LPCOLESTR) override;
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override;
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override;
    STDMETHODIMP RemoveMenus(HMENU) override;
    STDMETHODIMP SetStatusText(LPCOLESTR) override;
    STDMETHODIMP EnableModeless(BOOL) override;
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override;
    // IOleControlSite
    STDMETHODIMP OnControlInfoChanged() override;
    STDMETHODIMP LockInPlaceActive(BOOL) override;
    STDMETHODIMP GetExtendedControl(IDispatch** ppDisp) override;
    STDMETHODIMP TransformCoords(POINTL* pPtlHimetric, POINTF* pPtfContainer, DWORD dwFlags) override;
    STDMETHODIMP TranslateAccelerator(MSG*, DWORD) override;
    STDMETHODIMP OnFocus(BOOL) override;
    STDMETHODIMP ShowPropertyFrame() override;
    // IDispatch: ambient properties
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    STDMETHODIMP Invoke(DISPID dispid, REFIID, LCID, WORD wFlags, DISPPARAMS*, VARIANT* pVarResult,
                        EXCEPINFO*, UINT*) override;

protected:
    virtual ~COleControlSite();

private:
    HWND ContainerWindow() const;
    void AdviseEvents();

    LONG m_cRef = 1;
    ComPtr<IOleInPlaceObject> m_pInPlaceObject;
    ComPtr<IOleInPlaceActiveObject> m_pActiveObject;
    ComPtr<IDispatch> m_pDispatch;
    ComPtr<IConnectionPoint> m_pConnectionPoint;
    COleEventSink* m_pEventSink = nullptr;
    DWORD m_dwEventCookie = 0;
    bool m_bInPlaceActive = false;
};
