#include "tools/bench/browser_host.h"

#include <oleauto.h>

namespace {

// A BSTR that is freed when it goes out of scope.
class Bstr {
public:
    explicit Bstr(const wchar_t* text) : m_bstr(SysAllocString(text)) {}
    ~Bstr() { SysFreeString(m_bstr); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return m_bstr; }

private:
    BSTR m_bstr;
};

}  // namespace

BrowserHost::~BrowserHost() { Close(); }

STDMETHODIMP BrowserHost::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IOleClientSite)
        *ppv = static_cast<IOleClientSite*>(this);
    else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite)
        *ppv = static_cast<IOleInPlaceSite*>(this);
    else if (riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame)
        *ppv = static_cast<IOleInPlaceFrame*>(this);
    else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    return S_OK;
}

STDMETHODIMP BrowserHost::GetContainer(IOleContainer** ppContainer) {
    if (ppContainer) *ppContainer = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP BrowserHost::GetWindow(HWND* phwnd) {
    if (!phwnd) return E_POINTER;
    *phwnd = m_parent;
    return S_OK;
}

STDMETHODIMP BrowserHost::GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc,
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
        lpFrameInfo->fMDIApp = FALSE;
        lpFrameInfo->hwndFrame = m_parent;
        lpFrameInfo->haccel = nullptr;
        lpFrameInfo->cAccelEntries = 0;
    }
    return S_OK;
}

bool BrowserHost::Create(HWND parent, const RECT& rc) {
    m_parent = parent;
    m_rect = rc;
    if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                m_object.PutVoid())))
        return false;
    ComPtr<IPersistStreamInit> persist;
    if (SUCCEEDED(m_object.As(&persist))) persist->InitNew();
    if (FAILED(m_object->SetClientSite(static_cast<IOleClientSite*>(this)))) return false;
    m_object->SetHostNames(L"PellumoBench", nullptr);
    RECT pos = rc;
    if (FAILED(m_object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(this), 0,
                                parent, &pos)))
        return false;
    return SUCCEEDED(m_object.As(&m_browser));
}

bool BrowserHost::Navigate(const wchar_t* url) {
    if (!m_browser) return false;
    Bstr target(url);
    VARIANT empty;
    VariantInit(&empty);
    return SUCCEEDED(m_browser->Navigate(target.get(), &empty, &empty, &empty, &empty));
}

void BrowserHost::Show(bool show) {
    ComPtr<IOleInPlaceObject> inPlace;
    HWND window = nullptr;
    if (m_object && SUCCEEDED(m_object.As(&inPlace)) && SUCCEEDED(inPlace->GetWindow(&window)) && window)
        ShowWindow(window, show ? SW_SHOW : SW_HIDE);
}

void BrowserHost::Close() {
    m_browser.Reset();
    if (m_object) {
        m_object->Close(OLECLOSE_NOSAVE);
        m_object->SetClientSite(nullptr);
        m_object.Reset();
    }
}
