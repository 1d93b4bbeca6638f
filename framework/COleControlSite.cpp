#include "framework/COleControlSite.h"

#include <olectl.h>
#include <string>

#include "framework/COleControlContainer.h"
#include "framework/COleEventSink.h"
#include "framework/CWinApp.h"
#include "framework/CWnd.h"

namespace {

// {34A715A0-6587-11D0-924A-0020AFC7AC4D}: the web browser's event interface,
// used when a control does not name its default source interface.
const IID kDIID_DWebBrowserEvents2 = {
    0x34A715A0, 0x6587, 0x11D0, {0x92, 0x4A, 0x00, 0x20, 0xAF, 0xC7, 0xAC, 0x4D}};

// HIMETRIC (0.01 mm) from pixels of the screen.
SIZEL PixelsToHimetric(int cx, int cy) {
    HDC hdc = GetDC(nullptr);
    const int dpiX = GetDeviceCaps(hdc, LOGPIXELSX), dpiY = GetDeviceCaps(hdc, LOGPIXELSY);
    ReleaseDC(nullptr, hdc);
    return {MulDiv(cx, 2540, dpiX), MulDiv(cy, 2540, dpiY)};
}

}  // namespace

COleControlSite::COleControlSite(COleControlContainer* pCtrlCont) : m_pCtrlCont(pCtrlCont) {}

COleControlSite::~COleControlSite() = default;

HWND COleControlSite::ContainerWindow() const {
    return m_pCtrlCont && m_pCtrlCont->m_pWnd ? m_pCtrlCont->m_pWnd->m_hWnd : nullptr;
}

HRESULT COleControlSite::CreateControl(REFCLSID clsid, const RECT& rc, UINT id, DWORD style,
                                       const BYTE* persisted, DWORD cbPersisted) {
    m_nID = id;
    m_dwStyle = style;
    m_rect = rc;
    HWND hWndParent = ContainerWindow();
    if (!hWndParent) return E_UNEXPECTED;

    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                  IID_IOleObject, m_pObject.PutVoid());
    if (FAILED(hr)) return hr;

    m_pObject->SetClientSite(this);

    // Persisted start-up state when the template carries it, else a new object.
    ComPtr<IPersistStreamInit> persist;
    if (SUCCEEDED(m_pObject.As(&persist))) {
        bool loaded = false;
        if (persisted && cbPersisted) {
            HGLOBAL hMem = GlobalAlloc(GMEM_MOVEABLE, cbPersisted);
            if (void* p = hMem ? GlobalLock(hMem) : nullptr) {
                memcpy(p, persisted, cbPersisted);
                GlobalUnlock(hMem);
                ComPtr<IStream> stream;
                if (SUCCEEDED(CreateStreamOnHGlobal(hMem, TRUE, stream.Put()))) {
                    hMem = nullptr;  // the stream owns it now
                    loaded = SUCCEEDED(persist->Load(stream.Get()));
                }
            }
            if (hMem) GlobalFree(hMem);
        }
        if (!loaded) persist->InitNew();
    }

    CWinApp* app = AfxGetApp();
    m_pObject->SetHostNames(app && app->m_pszAppName ? app->m_pszAppName : L"", nullptr);
    OleSetContainedObject(m_pObject.Get(), TRUE);
    SIZEL extent = PixelsToHimetric(rc.right - rc.left, rc.bottom - rc.top);
    m_pObject->SetExtent(DVASPECT_CONTENT, &extent);

    hr = m_pObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, hWndParent, &m_rect);
    if (FAILED(hr)) return hr;

    if (SUCCEEDED(m_pObject.As(&m_pInPlaceObject))) {
        m_pInPlaceObject->GetWindow(&m_hWnd);
        m_pInPlaceObject->SetObjectRects(&m_rect, &m_rect);
    }
    m_pObject.As(&m_pDispatch);
    if (m_hWnd) {
        SetWindowLongPtrW(m_hWnd, GWLP_ID, static_cast<LONG_PTR>(id));
        ::ShowWindow(m_hWnd, (style & WS_VISIBLE) ? SW_SHOWNA : SW_HIDE);
    }
    AdviseEvents();
    return S_OK;
}

void COleControlSite::AdviseEvents() {
    ComPtr<IConnectionPointContainer> cpc;
    if (FAILED(m_pObject.As(&cpc))) return;
    IID iid = kDIID_DWebBrowserEvents2;
    ComPtr<IProvideClassInfo2> classInfo;
    if (SUCCEEDED(m_pObject.As(&classInfo)))
        classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &iid);
    if (FAILED(cpc->FindConnectionPoint(iid, m_pConnectionPoint.Put()))) return;
    m_pEventSink = new COleEventSink(this, iid);
    if (FAILED(m_pConnectionPoint->Advise(m_pEventSink, &m_dwEventCookie))) {
        m_dwEventCookie = 0;
        m_pConnectionPoint.Reset();
    }
}

void COleControlSite::DestroyControl() {
    if (m_pEventSink) m_pEventSink->Detach();
    if (m_pConnectionPoint && m_dwEventCookie) m_pConnectionPoint->Unadvise(m_dwEventCookie);
    m_dwEventCookie = 0;
    m_pConnectionPoint.Reset();
    if (m_pEventSink) {
        m_pEventSink->Release();
        m_pEventSink = nullptr;
    }
    if (m_pInPlaceObject && m_bInPlaceActive) m_pInPlaceObject->InPlaceDeactivate();
    m_pActiveObject.Reset();
    m_pInPlaceObject.Reset();
    m_pDispatch.Reset();
    if (m_pObject) {
        m_pObject->Close(OLECLOSE_NOSAVE);
        m_pObject->SetClientSite(nullptr);
        m_pObject.Reset();
    }
    if (m_pWndCtrl) {
        m_pWndCtrl->m_hWnd = nullptr;
        m_pWndCtrl->m_pCtrlSite = nullptr;
        m_pWndCtrl = nullptr;
    }
    m_hWnd = nullptr;
    m_pCtrlCont = nullptr;
}

BOOL COleControlSite::ShowWindow(int nCmdShow) {
    if (!m_hWnd) return FALSE;
    const BOOL wasVisible = ::IsWindowVisible(m_hWnd);
    ::ShowWindow(m_hWnd, nCmdShow);
    if (nCmdShow == SW_HIDE) m_dwStyle &= ~WS_VISIBLE;
    else m_dwStyle |= WS_VISIBLE;
    return wasVisible;
}

void COleControlSite::MoveWindow(int x, int y, int cx, int cy, BOOL bRepaint) {
    m_rect = {x, y, x + cx, y + cy};
    if (m_pObject) {
        SIZEL extent = PixelsToHimetric(cx, cy);
        m_pObject->SetExtent(DVASPECT_CONTENT, &extent);
    }
    if (m_pInPlaceObject) m_pInPlaceObject->SetObjectRects(&m_rect, &m_rect);
    else if (m_hWnd) ::MoveWindow(m_hWnd, x, y, cx, cy, bRepaint);
    if (m_hWnd && bRepaint) ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void COleControlSite::InvokeHelperV(DISPID dispid, WORD wFlags, VARTYPE vtRet, void* pvRet,
                                    const BYTE* pbParamInfo, va_list args) {
    if (!m_pDispatch) return;
    std::vector<VARIANTARG> argv;
    for (const BYTE* p = pbParamInfo; p && *p; ++p) {
        VARIANTARG v;
        VariantInit(&v);
        switch (*p) {
        case VT_BSTR:
            v.vt = VT_BSTR;
            v.bstrVal = SysAllocString(va_arg(args, LPCWSTR));
            break;
        case VT_I4:
            v.vt = VT_I4;
            v.lVal = va_arg(args, long);
            break;
        case VT_BOOL:
            v.vt = VT_BOOL;
            v.boolVal = va_arg(args, BOOL) ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        case VT_DISPATCH:
            v.vt = VT_DISPATCH;
            v.pdispVal = va_arg(args, IDispatch*);  // borrowed
            break;
        case VT_VARIANT | 0x40:  // VTS_PVARIANT
            v.vt = VT_VARIANT | VT_BYREF;
            v.pvarVal = va_arg(args, VARIANT*);
            break;
        default:
            return;  // an argument type this program never passes
        }
        argv.push_back(v);
    }
    // DISPPARAMS hold the arguments last to first.
    std::vector<VARIANTARG> reversed(argv.rbegin(), argv.rend());
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                      static_cast<UINT>(reversed.size()), 0};
    DISPID named = DISPID_PROPERTYPUT;
    if (wFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        params.rgdispidNamedArgs = &named;
        params.cNamedArgs = 1;
    }
    VARIANT result;
    VariantInit(&result);
    m_pDispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, wFlags, &params,
                        vtRet == VT_EMPTY ? nullptr : &result, nullptr, nullptr);
    if (vtRet != VT_EMPTY && pvRet && SUCCEEDED(VariantChangeType(&result, &result, 0, vtRet))) {
        switch (vtRet) {
        case VT_BSTR: *static_cast<BSTR*>(pvRet) = result.bstrVal; result.vt = VT_EMPTY; break;
        case VT_I4: *static_cast<long*>(pvRet) = result.lVal; break;
        case VT_BOOL: *static_cast<BOOL*>(pvRet) = result.boolVal != VARIANT_FALSE; break;
        default: break;
        }
    }
    VariantClear(&result);
    for (VARIANTARG& v : argv)
        if (v.vt == VT_BSTR) SysFreeString(v.bstrVal);
}

BOOL COleControlSite::TranslateAcceleratorForControl(MSG* pMsg) {
    if (!m_pActiveObject) return FALSE;
    return m_pActiveObject->TranslateAccelerator(pMsg) == S_OK;
}

HRESULT COleControlSite::OnEvent(DISPID dispid, DISPPARAMS* pParams) {
    if (!m_pCtrlCont || !m_pCtrlCont->m_pWnd) return S_OK;
    HRESULT hr = S_OK;
    m_pCtrlCont->m_pWnd->OnEvent(m_nID, dispid, pParams, &hr);
    return hr;
}

// ---- identity --------------------------------------------------------------

const CInterfaceMap* COleControlSite::GetInterfaceMap() const {
    static const CInterfaceMap map{nullptr, {}};
    return &map;
}

HRESULT COleControlSite::ExternalQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    IUnknown* found = nullptr;
    if (riid == IID_IUnknown || riid == IID_IOleClientSite)
        found = static_cast<IOleClientSite*>(this);
    else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite)
        found = static_cast<IOleInPlaceSite*>(this);
    else if (riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame)
        found = static_cast<IOleInPlaceFrame*>(this);
    else if (riid == IID_IOleControlSite)
        found = static_cast<IOleControlSite*>(this);
    else if (riid == IID_IDispatch)
        found = static_cast<IDispatch*>(this);
    for (const CInterfaceMap* map = GetInterfaceMap(); map && !found; map = map->base)
        for (const CInterfaceMapEntry& e : map->entries)
            if (*e.piid == riid) { found = e.get(this); break; }
    if (!found) return E_NOINTERFACE;
    found->AddRef();
    *ppv = found;
    return S_OK;
}

ULONG COleControlSite::ExternalAddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_cRef)); }

ULONG COleControlSite::ExternalRelease() {
    LONG n = InterlockedDecrement(&m_cRef);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

STDMETHODIMP COleControlSite::QueryInterface(REFIID riid, void** ppv) { return ExternalQueryInterface(riid, ppv); }
STDMETHODIMP_(ULONG) COleControlSite::AddRef() { return ExternalAddRef(); }
STDMETHODIMP_(ULONG) COleControlSite::Release() { return ExternalRelease(); }

// ---- IOleClientSite ---------------------------------------------------------

STDMETHODIMP COleControlSite::SaveObject() { return S_OK; }
STDMETHODIMP COleControlSite::GetMoniker(DWORD, DWORD, IMoniker** ppmk) {
    if (ppmk) *ppmk = nullptr;
    return E_NOTIMPL;
}
STDMETHODIMP COleControlSite::GetContainer(IOleContainer** ppContainer) {
    if (!ppContainer) return E_POINTER;
    *ppContainer = nullptr;
    return E_NOINTERFACE;
}
STDMETHODIMP COleControlSite::ShowObject() { return S_OK; }
STDMETHODIMP COleControlSite::OnShowWindow(BOOL) { return S_OK; }
STDMETHODIMP COleControlSite::RequestNewObjectLayout() { return E_NOTIMPL; }

// ---- IOleWindow / IOleInPlaceSite -------------------------------------------

STDMETHODIMP COleControlSite::GetWindow(HWND* phwnd) {
    if (!phwnd) return E_POINTER;
    *phwnd = ContainerWindow();
    return *phwnd ? S_OK : E_FAIL;
}
STDMETHODIMP COleControlSite::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }
STDMETHODIMP COleControlSite::CanInPlaceActivate() { return ContainerWindow() ? S_OK : S_FALSE; }
STDMETHODIMP COleControlSite::OnInPlaceActivate() {
    m_bInPlaceActive = true;
    return S_OK;
}
STDMETHODIMP COleControlSite::OnUIActivate() { return S_OK; }
STDMETHODIMP COleControlSite::GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc,
                                               LPRECT lprcPosRect, LPRECT lprcClipRect,
                                               LPOLEINPLACEFRAMEINFO lpFrameInfo) {
    if (ppFrame) {
        *ppFrame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
    }
    if (ppDoc) *ppDoc = nullptr;
    if (lprcPosRect) *lprcPosRect = m_rect;
    if (lprcClipRect) *lprcClipRect = m_rect;
    if (lpFrameInfo) {
        lpFrameInfo->cb = sizeof(OLEINPLACEFRAMEINFO);
        lpFrameInfo->fMDIApp = FALSE;
        lpFrameInfo->hwndFrame = ContainerWindow();
        lpFrameInfo->haccel = nullptr;
        lpFrameInfo->cAccelEntries = 0;
    }
    return S_OK;
}
STDMETHODIMP COleControlSite::Scroll(SIZE) { return E_NOTIMPL; }
STDMETHODIMP COleControlSite::OnUIDeactivate(BOOL) { return S_OK; }
STDMETHODIMP COleControlSite::OnInPlaceDeactivate() {
    m_bInPlaceActive = false;
    m_pActiveObject.Reset();
    return S_OK;
}
STDMETHODIMP COleControlSite::DiscardUndoState() { return S_OK; }
STDMETHODIMP COleControlSite::DeactivateAndUndo() { return S_OK; }
STDMETHODIMP COleControlSite::OnPosRectChange(LPCRECT lprcPosRect) {
    if (!lprcPosRect) return E_POINTER;
    m_rect = *lprcPosRect;
    if (m_pInPlaceObject) m_pInPlaceObject->SetObjectRects(&m_rect, &m_rect);
    return S_OK;
}

// ---- IOleInPlaceUIWindow / IOleInPlaceFrame ------------------------------------

STDMETHODIMP COleControlSite::GetBorder(LPRECT) { return INPLACE_E_NOTOOLSPACE; }
STDMETHODIMP COleControlSite::RequestBorderSpace(LPCBORDERWIDTHS) { return INPLACE_E_NOTOOLSPACE; }
STDMETHODIMP COleControlSite::SetBorderSpace(LPCBORDERWIDTHS) { return S_OK; }
STDMETHODIMP COleControlSite::SetActiveObject(IOleInPlaceActiveObject* pActiveObject, LPCOLESTR) {
    m_pActiveObject.Reset();
    if (pActiveObject) {
        pActiveObject->AddRef();
        m_pActiveObject = ComPtr<IOleInPlaceActiveObject>::Attach(pActiveObject);
    }
    return S_OK;
}
STDMETHODIMP COleControlSite::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) { return S_OK; }
STDMETHODIMP COleControlSite::SetMenu(HMENU, HOLEMENU, HWND) { return S_OK; }
STDMETHODIMP COleControlSite::RemoveMenus(HMENU) { return S_OK; }
STDMETHODIMP COleControlSite::SetStatusText(LPCOLESTR) { return S_OK; }
STDMETHODIMP COleControlSite::EnableModeless(BOOL) { return S_OK; }
STDMETHODIMP COleControlSite::TranslateAccelerator(LPMSG, WORD) { return S_FALSE; }

// ---- IOleControlSite ----------------------------------------------------------

STDMETHODIMP COleControlSite::OnControlInfoChanged() { return S_OK; }
STDMETHODIMP COleControlSite::LockInPlaceActive(BOOL) { return E_NOTIMPL; }
STDMETHODIMP COleControlSite::GetExtendedControl(IDispatch** ppDisp) {
    if (!ppDisp) return E_POINTER;
    *ppDisp = nullptr;
    return E_NOTIMPL;
}
STDMETHODIMP COleControlSite::TransformCoords(POINTL* pPtlHimetric, POINTF* pPtfContainer, DWORD dwFlags) {
    if (!pPtlHimetric || !pPtfContainer) return E_POINTER;
    HDC hdc = GetDC(nullptr);
    const float dpiX = static_cast<float>(GetDeviceCaps(hdc, LOGPIXELSX));
    const float dpiY = static_cast<float>(GetDeviceCaps(hdc, LOGPIXELSY));
    ReleaseDC(nullptr, hdc);
    if (dwFlags & XFORMCOORDS_HIMETRICTOCONTAINER) {
        pPtfContainer->x = pPtlHimetric->x * dpiX / 2540.0f;
        pPtfContainer->y = pPtlHimetric->y * dpiY / 2540.0f;
    } else if (dwFlags & XFORMCOORDS_CONTAINERTOHIMETRIC) {
        pPtlHimetric->x = static_cast<LONG>(pPtfContainer->x * 2540.0f / dpiX);
        pPtlHimetric->y = static_cast<LONG>(pPtfContainer->y * 2540.0f / dpiY);
    } else {
        return E_INVALIDARG;
    }
    return S_OK;
}
STDMETHODIMP COleControlSite::TranslateAccelerator(MSG*, DWORD) { return S_FALSE; }
STDMETHODIMP COleControlSite::OnFocus(BOOL) { return S_OK; }
STDMETHODIMP COleControlSite::ShowPropertyFrame() { return E_NOTIMPL; }

// ---- IDispatch: ambient properties ---------------------------------------------

STDMETHODIMP COleControlSite::GetTypeInfoCount(UINT* pctinfo) {
    if (!pctinfo) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}
STDMETHODIMP COleControlSite::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo) *ppTInfo = nullptr;
    return E_NOTIMPL;
}
STDMETHODIMP COleControlSite::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}
STDMETHODIMP COleControlSite::Invoke(DISPID dispid, REFIID, LCID, WORD wFlags, DISPPARAMS*,
                                     VARIANT* pVarResult, EXCEPINFO*, UINT*) {
    if (!(wFlags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    if (!pVarResult) return E_POINTER;
    VariantInit(pVarResult);
    switch (dispid) {
    case DISPID_AMBIENT_USERMODE:
        pVarResult->vt = VT_BOOL;
        pVarResult->boolVal = VARIANT_TRUE;
        return S_OK;
    case DISPID_AMBIENT_UIDEAD:
    case DISPID_AMBIENT_SHOWHATCHING:
    case DISPID_AMBIENT_SHOWGRABHANDLES:
    case DISPID_AMBIENT_MESSAGEREFLECT:
    case DISPID_AMBIENT_SUPPORTSMNEMONICS:
        pVarResult->vt = VT_BOOL;
        pVarResult->boolVal = VARIANT_FALSE;
        return S_OK;
    case DISPID_AMBIENT_LOCALEID:
        pVarResult->vt = VT_I4;
        pVarResult->lVal = static_cast<LONG>(GetUserDefaultLCID());
        return S_OK;
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}
