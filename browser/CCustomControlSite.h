#pragma once
// The control site of every hosted browser: the standard site plus
// IDocHostUIHandler, through which pages are shown without a 3-D border,
// scroll bars, context menu or the engine's own menus and toolbars, and get
// the application's external object as window.external.
#include <mshtmhst.h>

#include "framework/COleControlSite.h"

class CCustomControlSite : public COleControlSite {
public:
    explicit CCustomControlSite(COleControlContainer* pCtrlCont);
    const CInterfaceMap* GetInterfaceMap() const override;

    // Shares the site's identity and reference count.
    class XDocHostUIHandler : public IDocHostUIHandler {
    public:
        explicit XDocHostUIHandler(CCustomControlSite* pSite) : m_pSite(pSite) {}
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
        STDMETHODIMP_(ULONG) AddRef() override;
        STDMETHODIMP_(ULONG) Release() override;
        STDMETHODIMP ShowContextMenu(DWORD dwID, POINT* ppt, IUnknown* pcmdtReserved,
                                     IDispatch* pdispReserved) override;
        STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* pInfo) override;
        STDMETHODIMP ShowUI(DWORD dwID, IOleInPlaceActiveObject* pActiveObject,
                            IOleCommandTarget* pCommandTarget, IOleInPlaceFrame* pFrame,
                            IOleInPlaceUIWindow* pDoc) override;
        STDMETHODIMP HideUI() override;
        STDMETHODIMP UpdateUI() override;
        STDMETHODIMP EnableModeless(BOOL fEnable) override;
        STDMETHODIMP OnDocWindowActivate(BOOL fActivate) override;
        STDMETHODIMP OnFrameWindowActivate(BOOL fActivate) override;
        STDMETHODIMP ResizeBorder(LPCRECT prcBorder, IOleInPlaceUIWindow* pUIWindow,
                                  BOOL fRameWindow) override;
        STDMETHODIMP TranslateAccelerator(LPMSG lpMsg, const GUID* pguidCmdGroup,
                                          DWORD nCmdID) override;
        STDMETHODIMP GetOptionKeyPath(LPOLESTR* pchKey, DWORD dw) override;
        STDMETHODIMP GetDropTarget(IDropTarget* pDropTarget, IDropTarget** ppDropTarget) override;
        STDMETHODIMP GetExternal(IDispatch** ppDispatch) override;
        STDMETHODIMP TranslateUrl(DWORD dwTranslate, OLECHAR* pchURLIn,
                                  OLECHAR** ppchURLOut) override;
        STDMETHODIMP FilterDataObject(IDataObject* pDO, IDataObject** ppDORet) override;

    private:
        CCustomControlSite* m_pSite;
    };

    XDocHostUIHandler m_xDocHostUIHandler{this};

protected:
    ~CCustomControlSite() override = default;
};
