// The stand-in browser engine, driven directly by a minimal host written
// here: a client site with in-place site, frame and document UI handler on a
// plain top-level window, an event sink, and a loopback page server.
#include <windows.h>
#include <ole2.h>
#include <exdisp.h>
#include <mshtmhst.h>
#include <ocidl.h>
#include <olectl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/standin/StandinBrowser.h"
#include "tests/support/LoopbackHttpServer.h"

namespace {

constexpr DWORD kWaitMs = 8000;
constexpr DISPID kNavigate = 104;
constexpr DISPID kRefresh = -550;
constexpr DISPID kBeforeNavigate2 = 250;
constexpr DISPID kNavigateComplete2 = 252;
constexpr DISPID kDocumentComplete = 259;
constexpr DISPID kNavigateError = 271;
constexpr DISPID kExternalDispid = 12345;
// {A6EF9860-C720-11D0-9337-00A0C90DCAA9}
const IID kIidDispatchEx = {0xa6ef9860, 0xc720, 0x11d0, {0x93, 0x37, 0x00, 0xa0, 0xc9, 0x0d, 0xca, 0xa9}};

template <class T>
class Com {
public:
    Com() = default;
    ~Com() { Reset(); }
    Com(const Com& o) : p_(o.p_) {
        if (p_) p_->AddRef();
    }
    Com& operator=(const Com& o) {
        if (o.p_) o.p_->AddRef();
        Reset();
        p_ = o.p_;
        return *this;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T** put() {
        Reset();
        return &p_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    void Reset() {
        if (p_) {
            T* p = p_;
            p_ = nullptr;
            p->Release();
        }
    }
    static Com From(T* p) {
        Com c;
        c.p_ = p;
        if (p) p->AddRef();
        return c;
    }

private:
    T* p_ = nullptr;
};

// Same COM object (identity through IUnknown).
bool SameObject(IUnknown* a, IUnknown* b) {
    if (!a || !b) return false;
    Com<IUnknown> ua, ub;
    a->QueryInterface(IID_IUnknown, ua.putVoid());
    b->QueryInterface(IID_IUnknown, ub.putVoid());
    return ua.get() == ub.get();
}

std::wstring Field(const StandinEvent& e, const wchar_t* key) { return StandinDetailValue(e.detail, key); }

// Kinds of the log, in order, restricted to those named.
std::vector<std::wstring> KindsAmong(const std::vector<StandinEvent>& log, const std::vector<std::wstring>& wanted) {
    std::vector<std::wstring> result;
    for (const auto& e : log) {
        for (const auto& w : wanted) {
            if (e.kind == w) {
                result.push_back(e.kind + L" " + Field(e, L"pdisp"));
                break;
            }
        }
    }
    return result;
}

// ---------------------------------------------------------------------------
// The script external object the host hands out (one property "xxyyzz").

class TestExternal final : public IDispatch {
public:
    LONG count = 0;
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IDispatch) return E_NOINTERFACE;
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++count); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--count); }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT n, LCID, DISPID* ids) override {
        HRESULT hr = S_OK;
        for (UINT i = 0; i < n; ++i) {
            if (wcscmp(names[i], L"xxyyzz") == 0) {
                ids[i] = kExternalDispid;
            } else {
                ids[i] = DISPID_UNKNOWN;
                hr = DISP_E_UNKNOWNNAME;
            }
        }
        return hr;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                        UINT*) override {
        if (id == kExternalDispid && (flags & DISPATCH_PROPERTYGET) && result) {
            VariantInit(result);
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocString(L"Vjaxkm");
        }
        return S_OK;
    }
};

// ---------------------------------------------------------------------------
// The host: client site, in-place site and frame, document UI handler.

class TestSite final : public IOleClientSite,
                       public IOleInPlaceSite,
                       public IOleInPlaceFrame,
                       public IDocHostUIHandler {
public:
    TestSite(HWND hwnd, bool withHandler) : hwnd_(hwnd), withHandler_(withHandler) {}

    // Answers of the handler.
    HRESULT contextMenuAnswer = S_OK;
    HRESULT acceleratorAnswer = S_FALSE;
    TestExternal* external = nullptr;
    // What the object did.
    int inPlaceActivated = 0, inPlaceDeactivated = 0, uiActivated = 0, uiDeactivated = 0;
    int hostInfoCalls = 0, externalCalls = 0, contextMenuCalls = 0, acceleratorCalls = 0;
    UINT lastAcceleratorKey = 0;
    Com<IOleInPlaceActiveObject> activeObject;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IOleClientSite)
            *ppv = static_cast<IOleClientSite*>(this);
        else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite)
            *ppv = static_cast<IOleInPlaceSite*>(this);
        else if (riid == IID_IOleInPlaceFrame || riid == IID_IOleInPlaceUIWindow)
            *ppv = static_cast<IOleInPlaceFrame*>(this);
        else if (riid == IID_IDocHostUIHandler && withHandler_)
            *ppv = static_cast<IDocHostUIHandler*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++ref_); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG n = --ref_;
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** mk) override {
        *mk = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** c) override {
        *c = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (site and frame)
    STDMETHODIMP GetWindow(HWND* h) override {
        *h = hwnd_;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override {
        ++inPlaceActivated;
        return S_OK;
    }
    STDMETHODIMP OnUIActivate() override {
        ++uiActivated;
        return S_OK;
    }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override {
        *frame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        *doc = nullptr;
        *pos = sitePos;
        *clip = sitePos;
        info->fMDIApp = FALSE;
        info->hwndFrame = hwnd_;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override {
        ++uiDeactivated;
        return S_OK;
    }
    STDMETHODIMP OnInPlaceDeactivate() override {
        ++inPlaceDeactivated;
        return S_OK;
    }
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow / IOleInPlaceFrame
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override {
        activeObject = Com<IOleInPlaceActiveObject>::From(object);
        return S_OK;
    }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return E_NOTIMPL; }  // frame and handler
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IDocHostUIHandler
    STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override {
        ++contextMenuCalls;
        return contextMenuAnswer;
    }
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override {
        ++hostInfoCalls;
        info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_SCROLL_NO;
        info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
        return S_OK;
    }
    STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                        IOleInPlaceUIWindow*) override {
        return S_OK;
    }
    STDMETHODIMP HideUI() override { return S_OK; }
    STDMETHODIMP UpdateUI() override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(LPMSG msg, const GUID*, DWORD) override {
        ++acceleratorCalls;
        lastAcceleratorKey = static_cast<UINT>(msg->wParam);
        return acceleratorAnswer;
    }
    STDMETHODIMP GetOptionKeyPath(LPOLESTR*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget**) override { return E_NOTIMPL; }
    STDMETHODIMP GetExternal(IDispatch** disp) override {
        ++externalCalls;
        *disp = external;
        if (external) external->AddRef();
        return external ? S_OK : E_NOTIMPL;
    }
    STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP FilterDataObject(IDataObject*, IDataObject**) override { return E_NOTIMPL; }

    RECT sitePos{10, 20, 410, 320};

private:
    ~TestSite() = default;
    LONG ref_ = 1;
    HWND hwnd_;
    bool withHandler_;
};

// ---------------------------------------------------------------------------
// The event sink: records every event with its argument types and cancels
// navigations whose URL contains a given text.

struct SeenEvent {
    DISPID id = 0;
    std::vector<VARTYPE> types;   // in declaration order (first argument first)
    VARTYPE urlType = VT_EMPTY;   // type inside the URL VARIANT*
    std::wstring url;
    std::wstring frameName;       // BeforeNavigate2's TargetFrameName
    LONG status = 0;              // NavigateError's status code
    Com<IDispatch> pdisp;
};

class TestSink final : public IDispatch {
public:
    std::vector<SeenEvent> seen;
    std::wstring cancelWhenContains;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IDispatch && riid != DIID_DWebBrowserEvents2) return E_NOINTERFACE;
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++ref_); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG n = --ref_;
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) override {
        SeenEvent e;
        e.id = id;
        for (UINT i = 0; i < p->cArgs; ++i) e.types.push_back(p->rgvarg[p->cArgs - 1 - i].vt);
        auto arg = [&](UINT index) -> VARIANT& { return p->rgvarg[p->cArgs - 1 - index]; };
        if (p->cArgs >= 2) {
            if (arg(0).vt == VT_DISPATCH) e.pdisp = Com<IDispatch>::From(arg(0).pdispVal);
            if (arg(1).vt == (VT_BYREF | VT_VARIANT)) {
                e.urlType = arg(1).pvarVal->vt;
                if (e.urlType == VT_BSTR) e.url = arg(1).pvarVal->bstrVal;
            }
        }
        if (id == kBeforeNavigate2 && p->cArgs == 7) {
            VARIANT* frame = arg(3).pvarVal;
            if (frame && frame->vt == VT_BSTR && frame->bstrVal) e.frameName = frame->bstrVal;
            if (!cancelWhenContains.empty() && e.url.find(cancelWhenContains) != std::wstring::npos)
                *arg(6).pboolVal = VARIANT_TRUE;
        }
        if (id == kNavigateError && p->cArgs == 5 && arg(3).vt == (VT_BYREF | VT_VARIANT))
            e.status = arg(3).pvarVal->lVal;
        seen.push_back(e);
        return S_OK;
    }

    size_t Count(DISPID id) const {
        size_t n = 0;
        for (const auto& e : seen) n += e.id == id;
        return n;
    }
    std::vector<const SeenEvent*> Of(DISPID id) const {
        std::vector<const SeenEvent*> r;
        for (const auto& e : seen) {
            if (e.id == id) r.push_back(&e);
        }
        return r;
    }

private:
    LONG ref_ = 1;
};

// ---------------------------------------------------------------------------

class HostWindow {
public:
    HostWindow() {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        wc.lpszClassName = L"StandinTestHost";
        RegisterClassExW(&wc);
        hwnd_ = CreateWindowExW(0, L"StandinTestHost", L"stand-in host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 640,
                                480, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    ~HostWindow() {
        if (hwnd_) DestroyWindow(hwnd_);
    }
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;
    HWND get() const { return hwnd_; }

private:
    HWND hwnd_ = nullptr;
};

// The 160-byte persisted state our dialogs carry for the browser control.
std::vector<unsigned char> PersistedState(DWORD cx, DWORD cy) {
    std::vector<unsigned char> block(160, 0);
    DWORD head[4] = {0, 0x4C, cx, cy};
    memcpy(block.data(), head, sizeof head);
    return block;
}

Com<IStream> StreamOf(const std::vector<unsigned char>& bytes) {
    Com<IStream> stream;
    CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
    ULONG written = 0;
    stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    LARGE_INTEGER zero{};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    return stream;
}

// Navigate as our browser wrapper calls it: a BSTR and four VARIANT* that all
// point at one empty VARIANT.
HRESULT CallNavigate(IDispatch* browser, const std::wstring& url, bool urlByVariantRef = false) {
    VARIANT empty;
    VariantInit(&empty);
    VARIANT urlVariant;
    VariantInit(&urlVariant);
    urlVariant.vt = VT_BSTR;
    urlVariant.bstrVal = SysAllocString(url.c_str());
    VARIANT args[5];
    for (int i = 0; i < 4; ++i) {
        VariantInit(&args[i]);
        args[i].vt = VT_BYREF | VT_VARIANT;
        args[i].pvarVal = &empty;
    }
    VariantInit(&args[4]);
    if (urlByVariantRef) {
        args[4].vt = VT_BYREF | VT_VARIANT;
        args[4].pvarVal = &urlVariant;
    } else {
        args[4].vt = VT_BSTR;
        args[4].bstrVal = urlVariant.bstrVal;
    }
    DISPPARAMS params{args, nullptr, 5, 0};
    HRESULT hr = browser->Invoke(kNavigate, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                                 nullptr, nullptr);
    VariantClear(&urlVariant);
    return hr;
}

HRESULT CallRefresh(IDispatch* browser) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    return browser->Invoke(kRefresh, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr,
                           nullptr);
}

// A stand-in browser hosted in a window, with a sink and a page server.
class StandinHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        StandinClearLog();
        ASSERT_TRUE(server.Start());
        ASSERT_TRUE(window.get());
        site = new TestSite(window.get(), true);
        site->external = &external;
        ASSERT_EQ(S_OK, StandinCreateInstance(IID_IOleObject, reinterpret_cast<void**>(object.put())));
        ASSERT_EQ(S_OK, object->QueryInterface(IID_IDispatch, dispatch.putVoid()));
    }

    void TearDown() override {
        if (cookie && point) point->Unadvise(cookie);
        point.Reset();
        if (object) {
            Com<IOleInPlaceObject> inPlace;
            if (SUCCEEDED(object->QueryInterface(IID_IOleInPlaceObject, inPlace.putVoid())))
                inPlace->InPlaceDeactivate();
            object->Close(OLECLOSE_NOSAVE);
            object->SetClientSite(nullptr);
        }
        dispatch.Reset();
        object.Reset();
        if (sink) {
            sink->seen.clear();
            sink->Release();
            sink = nullptr;
        }
        if (site) {
            site->activeObject.Reset();
            site->Release();
            site = nullptr;
        }
        EXPECT_EQ(0, StandinLiveObjects());
        EXPECT_EQ(0, external.count);
    }

    // The order that works for the WebBrowser control.
    void Activate() {
        ASSERT_EQ(S_OK, object->SetClientSite(site));
        Com<IPersistStreamInit> persist;
        ASSERT_EQ(S_OK, object->QueryInterface(IID_IPersistStreamInit, persist.putVoid()));
        ASSERT_EQ(S_OK, persist->InitNew());
        RECT rc = site->sitePos;
        ASSERT_EQ(S_OK, object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site, 0, window.get(), &rc));
    }

    void AdviseSink() {
        sink = new TestSink();
        Com<IConnectionPointContainer> container;
        ASSERT_EQ(S_OK, object->QueryInterface(IID_IConnectionPointContainer, container.putVoid()));
        ASSERT_EQ(S_OK, container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.put()));
        ASSERT_EQ(S_OK, point->Advise(sink, &cookie));
        ASSERT_NE(0u, cookie);
    }

    HWND BrowserWindow() {
        Com<IOleWindow> ow;
        HWND hwnd = nullptr;
        if (SUCCEEDED(object->QueryInterface(IID_IOleWindow, ow.putVoid()))) ow->GetWindow(&hwnd);
        return hwnd;
    }

    bool WaitForEvents(DISPID id, size_t count) {
        return StandinPumpUntil([&] { return sink->Count(id) >= count; }, kWaitMs);
    }

    LoopbackHttpServer server;
    HostWindow window;
    TestExternal external;
    TestSite* site = nullptr;
    TestSink* sink = nullptr;
    Com<IOleObject> object;
    Com<IDispatch> dispatch;
    Com<IConnectionPoint> point;
    DWORD cookie = 0;
};

// ---------------------------------------------------------------------------
// Creation and COM surface.

TEST(StandinCreation, RegisteredClassObjectAnswersCoCreateInstance) {
    StandinClearLog();
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, StandinRegisterClassObject(&cookie));
    Com<IUnknown> unknown;
    HRESULT hr = CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, unknown.putVoid());
    ASSERT_EQ(S_OK, hr);
    EXPECT_TRUE(StandinIsStandin(unknown.get()));
    EXPECT_EQ(1u, StandinEventsOf(L"created").size());
    EXPECT_EQ(1, StandinLiveObjects());
    unknown.Reset();
    EXPECT_EQ(0, StandinLiveObjects());
    EXPECT_EQ(1u, StandinEventsOf(L"destroyed").size());
    ASSERT_EQ(S_OK, StandinRevokeClassObject(cookie));

    // Without the registration the class is the system's again.
    hr = CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, unknown.putVoid());
    if (SUCCEEDED(hr)) {
        EXPECT_FALSE(StandinIsStandin(unknown.get()));
    }
    unknown.Reset();
    EXPECT_EQ(0, StandinLiveObjects());
}

TEST(StandinCreation, InterfacesAndReferenceCounts) {
    Com<IUnknown> unknown;
    ASSERT_EQ(S_OK, StandinCreateInstance(IID_IUnknown, unknown.putVoid()));
    struct Case {
        const IID* iid;
        bool supported;
    };
    const Case cases[] = {
        {&IID_IOleObject, true},           {&IID_IOleWindow, true},
        {&IID_IOleInPlaceObject, true},    {&IID_IOleInPlaceActiveObject, true},
        {&IID_IPersist, true},             {&IID_IPersistStreamInit, true},
        {&IID_IDispatch, true},            {&IID_IConnectionPointContainer, true},
        {&IID_IProvideClassInfo, true},    {&IID_IProvideClassInfo2, true},
        {&IID_IOleControl, true},          {&IID_IWebBrowser2, false},
        {&IID_IPersistStorage, false},     {&IID_IViewObject, false},
        {&kIidDispatchEx, false},         {&IID_IClassFactory, false},
    };
    for (const Case& c : cases) {
        void* p = reinterpret_cast<void*>(1);
        HRESULT hr = unknown->QueryInterface(*c.iid, &p);
        if (c.supported) {
            ASSERT_EQ(S_OK, hr);
            ASSERT_NE(nullptr, p);
            auto* u = static_cast<IUnknown*>(p);
            EXPECT_TRUE(SameObject(u, unknown.get()));
            u->Release();
        } else {
            EXPECT_EQ(E_NOINTERFACE, hr);
            EXPECT_EQ(nullptr, p);
        }
    }
    EXPECT_EQ(E_POINTER, unknown->QueryInterface(IID_IOleObject, nullptr));

    // AddRef/Release are real: two more references, then back.
    EXPECT_EQ(2u, unknown->AddRef());
    EXPECT_EQ(3u, unknown->AddRef());
    EXPECT_EQ(2u, unknown->Release());
    EXPECT_EQ(1u, unknown->Release());

    Com<IOleObject> ole;
    ASSERT_EQ(S_OK, unknown->QueryInterface(IID_IOleObject, ole.putVoid()));
    DWORD misc = 0;
    ASSERT_EQ(S_OK, ole->GetMiscStatus(DVASPECT_CONTENT, &misc));
    EXPECT_TRUE(misc & OLEMISC_SETCLIENTSITEFIRST);
    EXPECT_TRUE(misc & OLEMISC_INSIDEOUT);
    EXPECT_TRUE(misc & OLEMISC_ACTIVATEWHENVISIBLE);
    CLSID clsid{};
    ASSERT_EQ(S_OK, ole->GetUserClassID(&clsid));
    EXPECT_TRUE(IsEqualCLSID(CLSID_WebBrowser, clsid));

    Com<IProvideClassInfo2> info;
    ASSERT_EQ(S_OK, unknown->QueryInterface(IID_IProvideClassInfo2, info.putVoid()));
    GUID events{};
    ASSERT_EQ(S_OK, info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events));
    EXPECT_TRUE(IsEqualGUID(DIID_DWebBrowserEvents2, events));
    EXPECT_EQ(E_POINTER, info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, nullptr));

    Com<IConnectionPointContainer> cpc;
    ASSERT_EQ(S_OK, unknown->QueryInterface(IID_IConnectionPointContainer, cpc.putVoid()));
    Com<IConnectionPoint> cp;
    EXPECT_EQ(CONNECT_E_NOCONNECTION, cpc->FindConnectionPoint(IID_IPropertyNotifySink, cp.put()));
    EXPECT_FALSE(cp);
    ASSERT_EQ(S_OK, cpc->FindConnectionPoint(DIID_DWebBrowserEvents2, cp.put()));
    IID iid{};
    ASSERT_EQ(S_OK, cp->GetConnectionInterface(&iid));
    EXPECT_TRUE(IsEqualIID(DIID_DWebBrowserEvents2, iid));
    Com<IConnectionPointContainer> back;
    ASSERT_EQ(S_OK, cp->GetConnectionPointContainer(back.put()));
    EXPECT_TRUE(SameObject(back.get(), unknown.get()));

    // Names of the two methods our wrapper calls.
    Com<IDispatch> disp;
    ASSERT_EQ(S_OK, unknown->QueryInterface(IID_IDispatch, disp.putVoid()));
    struct Name {
        const wchar_t* name;
        HRESULT hr;
        DISPID id;
    };
    const Name names[] = {{L"Navigate", S_OK, 104}, {L"Refresh", S_OK, -550}, {L"GoBack", DISP_E_UNKNOWNNAME, -1}};
    for (const Name& n : names) {
        LPOLESTR text = const_cast<LPOLESTR>(n.name);
        DISPID id = 0;
        EXPECT_EQ(n.hr, disp->GetIDsOfNames(IID_NULL, &text, 1, LOCALE_USER_DEFAULT, &id)) << n.name;
        EXPECT_EQ(n.id, id) << n.name;
    }

    back.Reset();
    cp.Reset();
    cpc.Reset();
    info.Reset();
    ole.Reset();
    disp.Reset();
    unknown.Reset();
    EXPECT_EQ(0, StandinLiveObjects());
}

TEST(StandinCreation, LoadsPersistedStateAndInitNew) {
    struct Case {
        std::vector<unsigned char> bytes;
        const wchar_t* size;
        const wchar_t* cx;
        const wchar_t* cy;
        const wchar_t* head;
    };
    const Case cases[] = {
        {PersistedState(17224, 12277), L"160", L"17224", L"12277", L"000000004C00000048430000F52F0000"},
        {PersistedState(17515, 8255), L"160", L"17515", L"8255", L"000000004C0000006B4400003F200000"},
        {std::vector<unsigned char>(20, 0x41), L"20", L"", L"", L"41414141414141414141414141414141"},
    };
    for (const Case& c : cases) {
        StandinClearLog();
        Com<IPersistStreamInit> persist;
        ASSERT_EQ(S_OK, StandinCreateInstance(IID_IPersistStreamInit, persist.putVoid()));
        Com<IStream> stream = StreamOf(c.bytes);
        ASSERT_EQ(S_OK, persist->Load(stream.get()));
        auto loads = StandinEventsOf(L"Load");
        ASSERT_EQ(1u, loads.size());
        EXPECT_EQ(c.size, Field(loads[0], L"bytes"));
        EXPECT_EQ(c.cx, Field(loads[0], L"cx"));
        EXPECT_EQ(c.cy, Field(loads[0], L"cy"));
        EXPECT_EQ(c.head, Field(loads[0], L"head"));
        if (c.bytes.size() == 160) {
            Com<IOleObject> ole;
            ASSERT_EQ(S_OK, persist->QueryInterface(IID_IOleObject, ole.putVoid()));
            SIZEL extent{};
            ASSERT_EQ(S_OK, ole->GetExtent(DVASPECT_CONTENT, &extent));
            EXPECT_EQ(std::stol(c.cx), extent.cx);
            EXPECT_EQ(std::stol(c.cy), extent.cy);
        }
    }
    StandinClearLog();
    Com<IPersistStreamInit> fresh;
    ASSERT_EQ(S_OK, StandinCreateInstance(IID_IPersistStreamInit, fresh.putVoid()));
    EXPECT_EQ(S_OK, fresh->InitNew());
    EXPECT_EQ(1u, StandinEventsOf(L"InitNew").size());
    EXPECT_EQ(0u, StandinEventsOf(L"Load").size());
}

// ---------------------------------------------------------------------------
// Activation in the host's window.

TEST_F(StandinHostTest, ActivatesInPlaceAsAChildOfTheSiteWindow) {
    Activate();
    HWND hwnd = BrowserWindow();
    ASSERT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(window.get(), GetParent(hwnd));
    EXPECT_TRUE(GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_EQ(1, site->inPlaceActivated);
    RECT rc;
    GetWindowRect(hwnd, &rc);
    MapWindowPoints(nullptr, window.get(), reinterpret_cast<POINT*>(&rc), 2);
    EXPECT_EQ(site->sitePos.left, rc.left);
    EXPECT_EQ(site->sitePos.top, rc.top);
    EXPECT_EQ(site->sitePos.right, rc.right);
    EXPECT_EQ(site->sitePos.bottom, rc.bottom);

    // A real engine asks for the host's UI settings once at activation.
    EXPECT_EQ(1, site->hostInfoCalls);
    auto infos = StandinEventsOf(L"GetHostInfo");
    ASSERT_EQ(1u, infos.size());
    EXPECT_EQ(L"0x0000000C", Field(infos[0], L"flags"));
    EXPECT_EQ(L"0", Field(infos[0], L"dblclk"));
    EXPECT_EQ(L"activate", Field(infos[0], L"when"));
    auto sets = StandinEventsOf(L"SetClientSite");
    ASSERT_EQ(1u, sets.size());
    EXPECT_EQ(L"yes", Field(sets[0], L"handler"));

    // Placement through SetObjectRects.
    Com<IOleInPlaceObject> inPlace;
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IOleInPlaceObject, inPlace.putVoid()));
    RECT pos{5, 6, 205, 156};
    ASSERT_EQ(S_OK, inPlace->SetObjectRects(&pos, &pos));
    GetWindowRect(hwnd, &rc);
    MapWindowPoints(nullptr, window.get(), reinterpret_cast<POINT*>(&rc), 2);
    EXPECT_EQ(5, rc.left);
    EXPECT_EQ(6, rc.top);
    EXPECT_EQ(205, rc.right);
    EXPECT_EQ(156, rc.bottom);
    auto moves = StandinEventsOf(L"SetObjectRects");
    ASSERT_EQ(1u, moves.size());
    EXPECT_EQ(L"5,6,205,156", Field(moves[0], L"pos"));

    // Hide, show, UI activation.
    struct VerbCase {
        LONG verb;
        bool visible;
    };
    const VerbCase verbs[] = {{OLEIVERB_HIDE, false}, {OLEIVERB_SHOW, true}, {OLEIVERB_HIDE, false},
                              {OLEIVERB_INPLACEACTIVATE, true}};
    for (const VerbCase& v : verbs) {
        EXPECT_EQ(S_OK, object->DoVerb(v.verb, nullptr, site, 0, window.get(), nullptr));
        EXPECT_EQ(v.visible, IsWindowVisible(hwnd) != FALSE) << v.verb;
    }
    EXPECT_EQ(1, site->inPlaceActivated);
    EXPECT_EQ(S_OK, object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, site, 0, window.get(), nullptr));
    EXPECT_EQ(1, site->uiActivated);
    ASSERT_TRUE(site->activeObject);
    EXPECT_TRUE(SameObject(site->activeObject.get(), object.get()));

    // Deactivation takes the window away and tells the site.
    ASSERT_EQ(S_OK, inPlace->InPlaceDeactivate());
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(1, site->uiDeactivated);
    EXPECT_EQ(1, site->inPlaceDeactivated);
    EXPECT_FALSE(site->activeObject);
    HWND none = reinterpret_cast<HWND>(1);
    EXPECT_EQ(E_FAIL, inPlace->GetWindow(&none));
    EXPECT_EQ(nullptr, none);
    ASSERT_EQ(S_OK, object->Close(OLECLOSE_NOSAVE));
    EXPECT_EQ(1u, StandinEventsOf(L"Close").size());
}

TEST_F(StandinHostTest, PaintsItsPageColour) {
    server.SetPage(L"/blue/", "<html><!--standin: color #2040C0--></html>");
    AdviseSink();
    Activate();
    HWND hwnd = BrowserWindow();
    auto pixel = [&] {
        RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        HDC dc = GetDC(hwnd);
        COLORREF c = GetPixel(dc, 200, 200);
        ReleaseDC(hwnd, dc);
        return c;
    };
    EXPECT_EQ(RGB(211, 211, 211), pixel());
    ASSERT_EQ(S_OK, CallNavigate(dispatch.get(), server.Url(L"/blue/")));
    ASSERT_TRUE(WaitForEvents(kDocumentComplete, 1));
    EXPECT_EQ(RGB(0x20, 0x40, 0xC0), pixel());
}

// ---------------------------------------------------------------------------
// Navigation.

TEST_F(StandinHostTest, NavigateRaisesBeforeNavigate2ThenFetchesThenCompletes) {
    server.SetPage(L"/micro/", "<html><body>portal</body></html>");
    AdviseSink();
    Activate();
    for (bool byRef : {false, true}) {
        SCOPED_TRACE(byRef ? "URL as VARIANT*" : "URL as BSTR");
        sink->seen.clear();
        const size_t fetchesBefore = server.RequestCount(L"/micro/");
        const std::wstring url = server.Url(L"/micro/") + (byRef ? L"?b=1" : L"?b=0");
        ASSERT_EQ(S_OK, CallNavigate(dispatch.get(), url, byRef));

        // BeforeNavigate2 inside the call; nothing fetched or completed yet.
        ASSERT_EQ(1u, sink->seen.size());
        const SeenEvent& before = sink->seen[0];
        EXPECT_EQ(kBeforeNavigate2, before.id);
        const std::vector<VARTYPE> beforeTypes = {VT_DISPATCH,          VT_BYREF | VT_VARIANT, VT_BYREF | VT_VARIANT,
                                                  VT_BYREF | VT_VARIANT, VT_BYREF | VT_VARIANT, VT_BYREF | VT_VARIANT,
                                                  VT_BYREF | VT_BOOL};
        EXPECT_EQ(beforeTypes, before.types);
        EXPECT_EQ(VT_BSTR, before.urlType);
        EXPECT_EQ(url, before.url);
        EXPECT_TRUE(SameObject(before.pdisp.get(), object.get()));
        EXPECT_EQ(fetchesBefore, server.RequestCount(L"/micro/"));

        ASSERT_TRUE(WaitForEvents(kDocumentComplete, 1));
        EXPECT_EQ(fetchesBefore + 1, server.RequestCount(L"/micro/"));
        ASSERT_EQ(3u, sink->seen.size());
        const std::vector<VARTYPE> completeTypes = {VT_DISPATCH, VT_BYREF | VT_VARIANT};
        for (size_t i = 1; i < 3; ++i) {
            const SeenEvent& e = sink->seen[i];
            EXPECT_EQ(i == 1 ? kNavigateComplete2 : kDocumentComplete, e.id);
            EXPECT_EQ(completeTypes, e.types);
            EXPECT_EQ(VT_BSTR, e.urlType);
            EXPECT_EQ(url, e.url);
            EXPECT_TRUE(SameObject(e.pdisp.get(), object.get()));
        }
    }

    // The log holds the same story, with the fetch between the events.
    auto log = StandinPeekLog();
    std::vector<std::wstring> story;
    for (const auto& e : log) {
        if (e.kind == L"Navigate" || e.kind == L"BeforeNavigate2" || e.kind == L"Fetch" ||
            e.kind == L"NavigateComplete2" || e.kind == L"DocumentComplete")
            story.push_back(e.kind);
    }
    const std::vector<std::wstring> once = {L"Navigate", L"BeforeNavigate2", L"Fetch", L"NavigateComplete2",
                                            L"DocumentComplete"};
    std::vector<std::wstring> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(twice, story);
    auto fetches = StandinEventsOf(L"Fetch");
    ASSERT_EQ(2u, fetches.size());
    EXPECT_EQ(L"200", Field(fetches[0], L"status"));
    EXPECT_EQ(server.Url(L"/micro/?b=0"), Field(fetches[0], L"url"));

    // Reports reached the page's server, including those made before its
    // first page (creation, activation).
    ASSERT_TRUE(server.WaitForReport(L"DocumentComplete", kWaitMs, 2));
    EXPECT_EQ(1u, server.ReportsOf(L"created").size());
    EXPECT_EQ(1u, server.ReportsOf(L"InPlaceActivate").size());
    auto reportedBefore = server.ReportsOf(L"BeforeNavigate2");
    ASSERT_EQ(2u, reportedBefore.size());
    EXPECT_EQ(L"0", StandinDetailValue(reportedBefore[0].detail, L"cancel"));
    EXPECT_EQ(log[0].object, reportedBefore[0].object);
}

TEST_F(StandinHostTest, CancelInBeforeNavigate2PreventsTheFetch) {
    server.SetPage(L"/micro/", "<html>portal</html>");
    server.SetPage(L"/game/", "<html>game</html>");
    AdviseSink();
    Activate();
    sink->cancelWhenContains = L"client=1";
    ASSERT_EQ(S_OK, CallNavigate(dispatch.get(), server.Url(L"/game/?client=1")));
    ASSERT_EQ(1u, sink->Count(kBeforeNavigate2));
    // A later navigation that goes ahead: once it is complete, the cancelled
    // one would have been fetched long before.
    ASSERT_EQ(S_OK, CallNavigate(dispatch.get(), server.Url(L"/micro/")));
    ASSERT_TRUE(WaitForEvents(kDocumentComplete, 1));
    EXPECT_EQ(0u, server.RequestCount(L"/game/"));
    EXPECT_EQ(1u, server.RequestCount(L"/micro/"));
    EXPECT_EQ(1u, sink->Count(kNavigateComplete2));
    auto befores = StandinEventsOf(L"BeforeNavigate2");
    ASSERT_EQ(2u, befores.size());
    EXPECT_EQ(L"1", Field(befores[0], L"cancel"));
    EXPECT_EQ(L"0", Field(befores[1], L"cancel"));
    EXPECT_EQ(1u, StandinEventsOf(L"Fetch").size());
}

TEST_F(StandinHostTest, PageNavigationsAndFramesUseTheirOwnBrowserObjects) {
    server.SetPage(L"/portal/",
                   "<html>\n<!--standin: frame list /list/-->\n<!--standin: frame news /news/-->\n"
                   "<!--standin: frame list /game/?client=1-->\n<!--standin: report top-done-->\n</html>");
    server.SetPage(L"/list/", "<html><!--standin: report from-list--></html>");
    server.SetPage(L"/news/", "<html>news</html>");
    server.SetPage(L"/game/", "<html>game</html>");
    AdviseSink();
    Activate();
    sink->cancelWhenContains = L"client=1";
    ASSERT_EQ(S_OK, CallNavigate(dispatch.get(), server.Url(L"/portal/")));
    ASSERT_TRUE(StandinWaitForEvent(L"report", kWaitMs, 2));
    ASSERT_TRUE(WaitForEvents(kDocumentComplete, 3));

    auto befores = sink->Of(kBeforeNavigate2);
    ASSERT_EQ(4u, befores.size());
    EXPECT_TRUE(SameObject(befores[0]->pdisp.get(), object.get()));
    EXPECT_EQ(L"", befores[0]->frameName);
    // Frames: distinct objects, one per name, stand-ins too.
    EXPECT_FALSE(SameObject(befores[1]->pdisp.get(), object.get()));
    EXPECT_TRUE(StandinIsStandin(befores[1]->pdisp.get()));
    EXPECT_EQ(L"list", befores[1]->frameName);
    EXPECT_EQ(server.Url(L"/list/"), befores[1]->url);
    EXPECT_EQ(L"news", befores[2]->frameName);
    EXPECT_FALSE(SameObject(befores[2]->pdisp.get(), befores[1]->pdisp.get()));
    EXPECT_FALSE(SameObject(befores[2]->pdisp.get(), object.get()));
    EXPECT_EQ(L"list", befores[3]->frameName);
    EXPECT_TRUE(SameObject(befores[3]->pdisp.get(), befores[1]->pdisp.get()));

    // The cancelled frame navigation fetched nothing; the others completed
    // with their own frame objects.
    EXPECT_EQ(0u, server.RequestCount(L"/game/"));
    EXPECT_EQ(1u, server.RequestCount(L"/list/"));
    EXPECT_EQ(1u, server.RequestCount(L"/news/"));
    auto completes = sink->Of(kNavigateComplete2);
    ASSERT_EQ(3u, completes.size());
    EXPECT_TRUE(SameObject(completes[0]->pdisp.get(), object.get()));
    EXPECT_TRUE(SameObject(completes[1]->pdisp.get(), befores[1]->pdisp.get()));
    EXPECT_EQ(server.Url(L"/list/"), completes[1]->url);
    EXPECT_TRUE(SameObject(completes[2]->pdisp.get(), befores[2]->pdisp.get()));

    // Frames finish before their page; a frame's own instructions run.
    const std::vector<std::wstring> order = KindsAmong(
        StandinPeekLog(), {L"BeforeNavigate2", L"NavigateComplete2", L"DocumentComplete", L"report"});
    const std::vector<std::wstring> expected = {
        L"BeforeNavigate2 top",        L"NavigateComplete2 top",   L"BeforeNavigate2 frame:list",
        L"NavigateComplete2 frame:list", L"report ",              L"DocumentComplete frame:list",
        L"BeforeNavigate2 frame:news", L"NavigateComplete2 frame:news", L"DocumentComplete frame:news",
        L"BeforeNavigate2 frame:list", L"report ",                 L"DocumentComplete top"};
    EXPECT_EQ(expected, order);
    auto reports = StandinEventsOf(L"report");
    ASSERT_EQ(2u, reports.size());
    EXPECT_EQ(L"from-list", reports[0].detail);
    EXPECT_EQ(L"top-done", reports[1].detail);

    // A page's "navigate" moves the top level, through BeforeNavigate2.
    server.SetPage(L"/hop/", "<html><!--standin: navigate /news/--></html>");
    sink->seen.clear();
    ASSERT_EQ(S_OK, CallNavigate(dispatch.get(), server.Url(L"/hop/")));
    ASSERT_TRUE(WaitForEvents(kDocumentComplete, 2));
    auto hops = sink->Of(kBeforeNavigate2);
    ASSERT_EQ(2u, hops.size());
    EXPECT_EQ(server.Url(L"/news/"), hops[1]->url);
    EXPECT_TRUE(SameObject(hops[1]->pdisp.get(), object.get()));
    EXPECT_EQ(2u, server.RequestCount(L"/news/"));
}

TEST_F(StandinHostTest, RefreshFetchesAgainWithoutBeforeNavigate2) {
    server.SetPage(L"/micro/", "<html><!--standin: report loaded--></html>");
    AdviseSink();
    Activate();
    // Nothing to refresh yet.
    ASSERT_EQ(S_OK, CallRefresh(dispatch.get()));
    ASSERT_EQ(S_OK, CallNavigate(dispatch.get(), server.Url(L"/micro/")));
    ASSERT_TRUE(WaitForEvents(kDocumentComplete, 1));
    ASSERT_EQ(S_OK, CallRefresh(dispatch.get()));
    EXPECT_EQ(1u, sink->Count(kDocumentComplete));
    ASSERT_TRUE(WaitForEvents(kDocumentComplete, 2));
    EXPECT_EQ(2u, server.RequestCount(L"/micro/"));
    EXPECT_EQ(1u, sink->Count(kBeforeNavigate2));
    EXPECT_EQ(2u, sink->Count(kNavigateComplete2));
    EXPECT_EQ(2u, StandinEventsOf(L"report").size());  // the page ran again
    auto refreshes = StandinEventsOf(L"Refresh");
    ASSERT_EQ(2u, refreshes.size());
    EXPECT_EQ(L"", Field(refreshes[0], L"url"));
    EXPECT_EQ(server.Url(L"/micro/"), Field(refreshes[1], L"url"));
}

TEST_F(StandinHostTest, FailedFetchRaisesNavigateError) {
    server.SetResponse(L"/gone/", 404, "<html>gone</html>");
    AdviseSink();
    Activate();
    LoopbackHttpServer closed;
    ASSERT_TRUE(closed.Start());
    const std::wstring nowhere = closed.Url(L"/x/");
    closed.Stop();
    struct Case {
        std::wstring url;
        LONG status;
    };
    const Case cases[] = {{server.Url(L"/gone/"), 404},
                          {nowhere, static_cast<LONG>(0x800C0004)},
                          {L"http://example.invalid/", static_cast<LONG>(0x800C0002)}};
    size_t n = 0;
    for (const Case& c : cases) {
        ASSERT_EQ(S_OK, CallNavigate(dispatch.get(), c.url));
        ASSERT_TRUE(WaitForEvents(kNavigateError, ++n)) << c.url.c_str();
        auto errors = sink->Of(kNavigateError);
        const std::vector<VARTYPE> types = {VT_DISPATCH, VT_BYREF | VT_VARIANT, VT_BYREF | VT_VARIANT,
                                            VT_BYREF | VT_VARIANT, VT_BYREF | VT_BOOL};
        EXPECT_EQ(types, errors.back()->types);
        EXPECT_EQ(c.url, errors.back()->url);
        EXPECT_EQ(c.status, errors.back()->status);
    }
    EXPECT_EQ(0u, sink->Count(kNavigateComplete2));
    EXPECT_EQ(0u, sink->Count(kDocumentComplete));
}

TEST_F(StandinHostTest, UnadvisedSinksHearNothing) {
    server.SetPage(L"/micro/", "<html>portal</html>");
    AdviseSink();
    Activate();
    TestSink* second = new TestSink();
    DWORD secondCookie = 0;
    ASSERT_EQ(S_OK, point->Advise(second, &secondCookie));
    EXPECT_NE(cookie, secondCookie);
    EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(secondCookie + 100));
    ASSERT_EQ(S_OK, CallNavigate(dispatch.get(), server.Url(L"/micro/")));
    ASSERT_TRUE(WaitForEvents(kDocumentComplete, 1));
    EXPECT_EQ(3u, second->seen.size());
    ASSERT_EQ(S_OK, point->Unadvise(secondCookie));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(secondCookie));
    ASSERT_EQ(S_OK, CallNavigate(dispatch.get(), server.Url(L"/micro/")));
    ASSERT_TRUE(WaitForEvents(kDocumentComplete, 2));
    EXPECT_EQ(3u, second->seen.size());
    second->seen.clear();
    second->Release();
}

// ---------------------------------------------------------------------------
// Page instructions that call the host.

TEST_F(StandinHostTest, PageInstructionsCallTheHostAndAreReported) {
    server.SetPage(L"/micro/",
                   "<html>\n<!--standin: external xxyyzz-->\n<!--standin: external nothere-->\n"
                   "<!--standin: contextmenu-->\n<!--standin: hostinfo-->\n<!--standin: key TAB-->\n"
                   "<!--standin: report all-done-->\n</html>");
    AdviseSink();
    Activate();
    ASSERT_EQ(S_OK, CallNavigate(dispatch.get(), server.Url(L"/micro/")));
    ASSERT_TRUE(WaitForEvents(kDocumentComplete, 1));

    EXPECT_EQ(2, site->externalCalls);
    EXPECT_EQ(0, external.count);  // every reference handed out came back
    auto externals = StandinEventsOf(L"GetExternal");
    ASSERT_EQ(2u, externals.size());
    struct ExternalCase {
        const wchar_t* name;
        const wchar_t* ids;
        const wchar_t* dispid;
        const wchar_t* value;
    };
    const ExternalCase ec[] = {{L"xxyyzz", L"0x00000000", L"12345", L"Vjaxkm"},
                               {L"nothere", L"0x80020006", L"-1", L""}};
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(ec[i].name, Field(externals[i], L"name"));
        EXPECT_EQ(L"0x00000000", Field(externals[i], L"hr"));
        EXPECT_EQ(ec[i].ids, Field(externals[i], L"ids"));
        EXPECT_EQ(ec[i].dispid, Field(externals[i], L"dispid"));
        EXPECT_EQ(ec[i].value, Field(externals[i], L"value"));
        EXPECT_EQ(L"0", Field(externals[i], L"release"));
    }
    EXPECT_EQ(L"8", Field(externals[0], L"vt"));
    EXPECT_EQ(L"0x00000000", Field(externals[0], L"invoke"));

    EXPECT_EQ(1, site->contextMenuCalls);
    auto menus = StandinEventsOf(L"ShowContextMenu");
    ASSERT_EQ(1u, menus.size());
    EXPECT_EQ(L"suppressed", Field(menus[0], L"menu"));
    EXPECT_EQ(L"0x00000000", Field(menus[0], L"hr"));

    EXPECT_EQ(2, site->hostInfoCalls);  // activation and page
    auto infos = StandinEventsOf(L"GetHostInfo");
    ASSERT_EQ(2u, infos.size());
    EXPECT_EQ(L"page", Field(infos[1], L"when"));
    EXPECT_EQ(L"0x0000000C", Field(infos[1], L"flags"));

    EXPECT_EQ(1, site->acceleratorCalls);
    EXPECT_EQ(static_cast<UINT>(VK_TAB), site->lastAcceleratorKey);
    auto keys = StandinEventsOf(L"TranslateAccelerator");
    ASSERT_EQ(1u, keys.size());
    EXPECT_EQ(L"0x00000001", Field(keys[0], L"handler"));
    EXPECT_EQ(L"9", Field(keys[0], L"vk"));
    EXPECT_EQ(L"page", Field(keys[0], L"when"));

    // The same observations reached the server before the page completed.
    ASSERT_TRUE(server.WaitForReport(L"DocumentComplete", kWaitMs));
    auto reported = server.Reports();
    std::vector<std::wstring> kinds;
    for (const auto& r : reported) {
        if (r.kind == L"GetExternal" || r.kind == L"ShowContextMenu" || r.kind == L"TranslateAccelerator" ||
            r.kind == L"report" || r.kind == L"DocumentComplete" ||
            (r.kind == L"GetHostInfo" && StandinDetailValue(r.detail, L"when") == L"page"))
            kinds.push_back(r.kind);
    }
    const std::vector<std::wstring> expectedKinds = {L"GetExternal",          L"GetExternal", L"ShowContextMenu",
                                                     L"GetHostInfo",          L"TranslateAccelerator",
                                                     L"report",               L"DocumentComplete"};
    EXPECT_EQ(expectedKinds, kinds);
    auto reportedExternals = server.ReportsOf(L"GetExternal");
    ASSERT_EQ(2u, reportedExternals.size());
    EXPECT_EQ(L"Vjaxkm", StandinDetailValue(reportedExternals[0].detail, L"value"));
    EXPECT_EQ(L"all-done", server.ReportsOf(L"report").at(0).detail);
}

TEST_F(StandinHostTest, ContextMenuIsTheEnginesOwnUnlessTheHostHandlesIt) {
    Activate();
    HWND hwnd = BrowserWindow();
    struct Case {
        HRESULT answer;
        const wchar_t* menu;
    };
    const Case cases[] = {{S_OK, L"suppressed"}, {S_FALSE, L"shown"}, {E_NOTIMPL, L"shown"}};
    size_t n = 0;
    for (const Case& c : cases) {
        site->contextMenuAnswer = c.answer;
        SendMessageW(hwnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hwnd), MAKELPARAM(120, 130));
        auto menus = StandinEventsOf(L"ShowContextMenu");
        ASSERT_EQ(++n, menus.size());
        EXPECT_EQ(c.menu, Field(menus.back(), L"menu"));
        EXPECT_EQ(L"mouse", Field(menus.back(), L"when"));
        EXPECT_EQ(L"120", Field(menus.back(), L"x"));
        EXPECT_EQ(L"130", Field(menus.back(), L"y"));
    }
    EXPECT_EQ(3, site->contextMenuCalls);
}

TEST_F(StandinHostTest, TranslateAcceleratorAsksTheHostFirst) {
    server.SetPage(L"/micro/", "<html>portal</html>");
    AdviseSink();
    Activate();
    ASSERT_EQ(S_OK, CallNavigate(dispatch.get(), server.Url(L"/micro/")));
    ASSERT_TRUE(WaitForEvents(kDocumentComplete, 1));
    Com<IOleInPlaceActiveObject> active;
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IOleInPlaceActiveObject, active.putVoid()));
    HWND hwnd = BrowserWindow();
    struct Case {
        UINT message;
        UINT vk;
        HRESULT host;
        HRESULT result;
        const wchar_t* engine;
        bool asked;
    };
    const Case cases[] = {
        {WM_KEYDOWN, VK_TAB, S_FALSE, S_FALSE, L"none", true},
        {WM_KEYDOWN, VK_F5, S_OK, S_OK, L"none", true},        // the host took it
        {WM_KEYDOWN, VK_F5, S_FALSE, S_OK, L"refresh", true},  // the engine reloads
        {WM_MOUSEMOVE, 0, S_FALSE, S_FALSE, L"", false},
    };
    int asked = 0;
    for (const Case& c : cases) {
        site->acceleratorAnswer = c.host;
        MSG msg{};
        msg.hwnd = hwnd;
        msg.message = c.message;
        msg.wParam = c.vk;
        msg.lParam = 1;
        EXPECT_EQ(c.result, active->TranslateAccelerator(&msg)) << c.vk;
        if (c.asked) ++asked;
        EXPECT_EQ(asked, site->acceleratorCalls);
        if (c.asked) {
            auto keys = StandinEventsOf(L"TranslateAccelerator");
            ASSERT_FALSE(keys.empty());
            EXPECT_EQ(c.engine, Field(keys.back(), L"engine"));
            EXPECT_EQ(L"host", Field(keys.back(), L"when"));
        }
    }
    EXPECT_EQ(3u, StandinEventsOf(L"TranslateAccelerator").size());
    // The engine's own F5 reloaded the page.
    ASSERT_TRUE(WaitForEvents(kDocumentComplete, 2));
    EXPECT_EQ(2u, server.RequestCount(L"/micro/"));
}

TEST_F(StandinHostTest, HostWithoutHandlerIsNotAsked) {
    site->Release();
    site = new TestSite(window.get(), false);
    server.SetPage(L"/micro/", "<html><!--standin: external xxyyzz--><!--standin: hostinfo--></html>");
    AdviseSink();
    Activate();
    ASSERT_EQ(S_OK, CallNavigate(dispatch.get(), server.Url(L"/micro/")));
    ASSERT_TRUE(WaitForEvents(kDocumentComplete, 1));
    auto sets = StandinEventsOf(L"SetClientSite");
    ASSERT_EQ(1u, sets.size());
    EXPECT_EQ(L"no", Field(sets[0], L"handler"));
    auto externals = StandinEventsOf(L"GetExternal");
    ASSERT_EQ(1u, externals.size());
    EXPECT_EQ(L"none", Field(externals[0], L"hr"));
    EXPECT_EQ(0, site->externalCalls);
    EXPECT_EQ(0, site->hostInfoCalls);
}

// ---------------------------------------------------------------------------
// The same engine as a DLL: everything it sees is reported over HTTP.

TEST_F(StandinHostTest, DllServesTheClassAndReportsOverHttp) {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dll(path, n);
    dll = dll.substr(0, dll.find_last_of(L"\\/") + 1) + L"standin_browser.dll";
    HMODULE module = LoadLibraryW(dll.c_str());
    ASSERT_TRUE(module) << "standin_browser.dll next to the test program";
    using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    using CanUnloadFn = HRESULT(WINAPI*)();
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(GetProcAddress(module, "DllGetClassObject"));
    auto canUnload = reinterpret_cast<CanUnloadFn>(GetProcAddress(module, "DllCanUnloadNow"));
    ASSERT_TRUE(getClassObject);
    ASSERT_TRUE(canUnload);
    ASSERT_TRUE(GetProcAddress(module, "DllRegisterServer"));
    ASSERT_TRUE(GetProcAddress(module, "DllUnregisterServer"));

    Com<IClassFactory> factory;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject(IID_IDispatch, IID_IClassFactory, factory.putVoid()));
    ASSERT_EQ(S_OK, getClassObject(CLSID_WebBrowser, IID_IClassFactory, factory.putVoid()));
    Com<IOleObject> other;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IOleObject, other.putVoid()));
    EXPECT_EQ(S_FALSE, canUnload());
    EXPECT_TRUE(StandinIsStandin(other.get()));  // same private identity

    // Use it in place of the fixture's own object.
    object->Close(OLECLOSE_NOSAVE);
    dispatch.Reset();
    object = other;
    other.Reset();
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IDispatch, dispatch.putVoid()));
    server.SetPage(L"/micro/", "<html><!--standin: external xxyyzz--></html>");
    AdviseSink();
    Activate();
    ASSERT_EQ(S_OK, CallNavigate(dispatch.get(), server.Url(L"/micro/")));
    ASSERT_TRUE(WaitForEvents(kDocumentComplete, 1));
    ASSERT_TRUE(server.WaitForReport(L"DocumentComplete", kWaitMs));
    EXPECT_EQ(1u, server.ReportsOf(L"created").size());
    EXPECT_EQ(1u, server.ReportsOf(L"SetClientSite").size());
    EXPECT_EQ(1u, server.ReportsOf(L"BeforeNavigate2").size());
    auto externals = server.ReportsOf(L"GetExternal");
    ASSERT_EQ(1u, externals.size());
    EXPECT_EQ(L"Vjaxkm", StandinDetailValue(externals[0].detail, L"value"));
    // This program's own log saw nothing of the DLL's object.
    EXPECT_EQ(0u, StandinEventsOf(L"BeforeNavigate2").size());

    // Tear down here, so the DLL can go.
    point->Unadvise(cookie);
    cookie = 0;
    point.Reset();
    Com<IOleInPlaceObject> inPlace;
    object->QueryInterface(IID_IOleInPlaceObject, inPlace.putVoid());
    inPlace->InPlaceDeactivate();
    inPlace.Reset();
    object->Close(OLECLOSE_NOSAVE);
    object->SetClientSite(nullptr);
    dispatch.Reset();
    object.Reset();
    sink->seen.clear();
    factory.Reset();
    EXPECT_EQ(S_OK, canUnload());
    ASSERT_TRUE(server.WaitForReport(L"destroyed", kWaitMs));
    FreeLibrary(module);
}

}  // namespace
