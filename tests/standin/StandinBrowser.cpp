// The stand-in browser engine. One Browser object plays the WebBrowser
// control: a windowed, in-place activated ActiveX object whose page is a
// solid colour with the current URL written on it. Navigation runs through
// posted steps on a message-only window of its own, so the host's message
// loop runs between the events of one navigation, as with a real engine.
#include "tests/standin/StandinBrowser.h"

#include <exdisp.h>
#include <mshtmhst.h>
#include <ocidl.h>
#include <olectl.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <utility>

#include "tests/standin/StandinHttp.h"
#include "tests/standin/StandinInternal.h"
#include "tests/support/PumpMessages.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace standin {
namespace {

// {DE4BA900-59CA-11CF-9592-444553540000}: command group of the HTML engine's
// own commands, passed with keystrokes offered to the host.
const GUID kCmdGroupHtml = {0xde4ba900, 0x59ca, 0x11cf, {0x95, 0x92, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {5D0C8F1E-7A3B-4C62-9E51-3F0A6B2C9D17}: private identity of stand-in objects.
const GUID kIidStandin = {0x5d0c8f1e, 0x7a3b, 0x4c62, {0x9e, 0x51, 0x3f, 0x0a, 0x6b, 0x2c, 0x9d, 0x17}};

constexpr DISPID kDispNavigate = 104;
constexpr DISPID kDispRefresh = -550;
constexpr DISPID kDispLocationUrl = 211;
constexpr DISPID kEvBeforeNavigate2 = 250;
constexpr DISPID kEvNavigateComplete2 = 252;
constexpr DISPID kEvDocumentComplete = 259;
constexpr DISPID kEvNavigateError = 271;

constexpr UINT kMsgStep = WM_APP + 0x51;
constexpr DWORD kFetchTimeoutMs = 4000;
constexpr DWORD kReportTimeoutMs = 2000;
constexpr ULONG kPersistedSize = 160;
constexpr DWORD kMiscStatus = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE |
                              OLEMISC_INSIDEOUT | OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;

const wchar_t kPageClass[] = L"StandinBrowserPage";
const wchar_t kStepClass[] = L"StandinBrowserSteps";

// ---------------------------------------------------------------------------
// Small owners.

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr& other) : p_(other.p_) {
        if (p_) p_->AddRef();
    }
    ComPtr& operator=(const ComPtr& other) {
        if (other.p_) other.p_->AddRef();
        Reset();
        p_ = other.p_;
        return *this;
    }
    static ComPtr Copy(T* p) {
        ComPtr result;
        result.p_ = p;
        if (p) p->AddRef();
        return result;
    }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T** Put() {
        Reset();
        return &p_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    void Reset() {
        if (p_) {
            T* p = p_;
            p_ = nullptr;
            p->Release();
        }
    }

private:
    T* p_ = nullptr;
};

class Variant {
public:
    Variant() { VariantInit(&v_); }
    ~Variant() { VariantClear(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* get() { return &v_; }
    void SetString(const std::wstring& text) {
        VariantClear(&v_);
        v_.vt = VT_BSTR;
        v_.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    }
    void SetInt(LONG value) {
        VariantClear(&v_);
        v_.vt = VT_I4;
        v_.lVal = value;
    }

private:
    VARIANT v_;
};

class GdiObject {
public:
    explicit GdiObject(HGDIOBJ h) : h_(h) {}
    ~GdiObject() {
        if (h_) DeleteObject(h_);
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    HGDIOBJ get() const { return h_; }

private:
    HGDIOBJ h_;
};

class Selection {
public:
    Selection(HDC dc, HGDIOBJ obj) : dc_(dc), old_(obj ? SelectObject(dc, obj) : nullptr) {}
    ~Selection() {
        if (old_) SelectObject(dc_, old_);
    }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

// ---------------------------------------------------------------------------
// The log and the texts written into it.

std::mutex g_logMutex;
std::vector<StandinEvent> g_log;
std::atomic<int> g_liveObjects{0};
std::atomic<int> g_nextObject{0};
std::atomic<LONG> g_locks{0};
std::atomic<COLORREF> g_defaultColour{RGB(211, 211, 211)};

void AppendLog(const StandinEvent& event) {
    std::lock_guard<std::mutex> lock(g_logMutex);
    g_log.push_back(event);
}

std::wstring EncodeValue(const std::wstring& value) {
    std::wstring out;
    for (wchar_t c : value) {
        if (c == L'%')
            out += L"%25";
        else if (c == L' ')
            out += L"%20";
        else if (c == L'\r' || c == L'\n' || c == L'\t')
            out += L"%20";
        else
            out += c;
    }
    return out;
}

std::wstring HexText(DWORD value) {
    wchar_t buffer[16];
    std::swprintf(buffer, 16, L"0x%08X", static_cast<unsigned>(value));
    return buffer;
}

std::wstring RectText(const RECT& rc) {
    wchar_t buffer[64];
    std::swprintf(buffer, 64, L"%ld,%ld,%ld,%ld", rc.left, rc.top, rc.right, rc.bottom);
    return buffer;
}

class Detail {
public:
    Detail& Add(const wchar_t* key, const std::wstring& value) {
        if (!text_.empty()) text_ += L' ';
        text_ += key;
        text_ += L'=';
        text_ += EncodeValue(value);
        return *this;
    }
    Detail& Num(const wchar_t* key, long long value) { return Add(key, std::to_wstring(value)); }
    Detail& Hex(const wchar_t* key, DWORD value) { return Add(key, HexText(value)); }
    Detail& Ptr(const wchar_t* key, const void* p) {
        return Add(key, HexText(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(p))));
    }
    Detail& Rect(const wchar_t* key, const RECT& rc) { return Add(key, RectText(rc)); }
    const std::wstring& str() const { return text_; }

private:
    std::wstring text_;
};

bool EnvReportTarget(LoopbackUrl* out) {
    wchar_t buffer[128];
    DWORD n = GetEnvironmentVariableW(L"STANDIN_REPORT_TO", buffer, 128);
    if (n == 0 || n >= 128) return false;
    return ParseHostPort(buffer, out);
}

void SendReport(const LoopbackUrl& server, const StandinEvent& event) {
    LoopbackUrl url = server;
    url.target = "/standin/report?obj=" + std::to_string(event.object) +
                 "&kind=" + PercentEncode(event.kind) + "&detail=" + PercentEncode(event.detail);
    HttpGet(url, kReportTimeoutMs);
}

// The URL argument of Navigate: a BSTR, or a VARIANT* (or BSTR*) holding one.
bool UrlArgument(const VARIANT& arg, std::wstring* url) {
    const VARIANT* v = &arg;
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
    if (v->vt == VT_BSTR) {
        *url = v->bstrVal ? std::wstring(v->bstrVal) : std::wstring();
        return true;
    }
    if (v->vt == (VT_BYREF | VT_BSTR) && v->pbstrVal) {
        *url = *v->pbstrVal ? std::wstring(*v->pbstrVal) : std::wstring();
        return true;
    }
    return false;
}

std::wstring Trim(const std::wstring& text) {
    size_t b = text.find_first_not_of(L" \t\r\n");
    if (b == std::wstring::npos) return std::wstring();
    size_t e = text.find_last_not_of(L" \t\r\n");
    return text.substr(b, e - b + 1);
}

std::pair<std::wstring, std::wstring> SplitFirstWord(const std::wstring& text) {
    std::wstring t = Trim(text);
    size_t space = t.find_first_of(L" \t");
    if (space == std::wstring::npos) return {t, std::wstring()};
    return {t.substr(0, space), Trim(t.substr(space))};
}

// The virtual-key code named by a page: a number or a key name.
bool ParseVirtualKey(const std::wstring& text, UINT* vk) {
    if (text.empty()) return false;
    if (text.size() == 1) {
        wchar_t c = text[0];
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
        if ((c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9')) {
            *vk = c;
            return true;
        }
    }
    if (text[0] >= L'0' && text[0] <= L'9') {
        wchar_t* end = nullptr;
        unsigned long value = std::wcstoul(text.c_str(), &end, 0);
        if (end && *end == 0 && value > 0 && value < 256) {
            *vk = static_cast<UINT>(value);
            return true;
        }
        return false;
    }
    struct Named {
        const wchar_t* name;
        UINT vk;
    };
    static const Named names[] = {
        {L"RETURN", VK_RETURN}, {L"ENTER", VK_RETURN}, {L"TAB", VK_TAB},     {L"ESCAPE", VK_ESCAPE},
        {L"BACK", VK_BACK},     {L"SPACE", VK_SPACE},  {L"LEFT", VK_LEFT},   {L"RIGHT", VK_RIGHT},
        {L"UP", VK_UP},         {L"DOWN", VK_DOWN},    {L"DELETE", VK_DELETE}, {L"HOME", VK_HOME},
        {L"END", VK_END},
    };
    for (const Named& n : names) {
        if (_wcsicmp(text.c_str(), n.name) == 0) {
            *vk = n.vk;
            return true;
        }
    }
    if ((text[0] == L'F' || text[0] == L'f') && text.size() <= 3) {
        int n = std::wcstol(text.c_str() + 1, nullptr, 10);
        if (n >= 1 && n <= 12) {
            *vk = static_cast<UINT>(VK_F1 + n - 1);
            return true;
        }
    }
    return false;
}

bool ParseColour(const std::wstring& text, COLORREF* colour) {
    std::wstring t = text;
    if (!t.empty() && t[0] == L'#') t.erase(0, 1);
    if (t.size() != 6) return false;
    wchar_t* end = nullptr;
    unsigned long rgb = std::wcstoul(t.c_str(), &end, 16);
    if (!end || *end != 0) return false;
    *colour = RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
    return true;
}

// A page's URL "/path" is taken relative to the page's own server.
std::wstring ResolveUrl(const std::wstring& url, const std::wstring& page) {
    if (url.empty() || url[0] != L'/' || (url.size() > 1 && url[1] == L'/')) return url;
    size_t scheme = page.find(L"://");
    if (scheme == std::wstring::npos) return url;
    size_t pathStart = page.find(L'/', scheme + 3);
    return page.substr(0, pathStart) + url;
}

struct Instruction {
    std::wstring verb;
    std::wstring args;
};

// Every "<!--standin: VERB ARGS-->" of a page, in order.
std::vector<Instruction> ParseInstructions(const std::string& body) {
    std::vector<Instruction> result;
    const std::string open = "<!--standin:";
    size_t pos = 0;
    while ((pos = body.find(open, pos)) != std::string::npos) {
        size_t start = pos + open.size();
        size_t end = body.find("-->", start);
        if (end == std::string::npos) break;
        auto words = SplitFirstWord(FromUtf8(body.substr(start, end - start)));
        if (!words.first.empty()) result.push_back({words.first, words.second});
        pos = end + 3;
    }
    return result;
}

void RegisterWindowClasses();

class Browser;

// ---------------------------------------------------------------------------
// A frame of the page: a browser object of its own, as events carry it.

class FrameBrowser final : public IDispatch {
public:
    FrameBrowser(Browser* owner, std::wstring name) : owner_(owner), name_(std::move(name)) {
        ++g_liveObjects;
    }
    FrameBrowser(const FrameBrowser&) = delete;
    FrameBrowser& operator=(const FrameBrowser&) = delete;

    void Detach() { owner_ = nullptr; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == kIidStandin) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&ref_)); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG n = InterlockedDecrement(&ref_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT* argErr) override;

private:
    ~FrameBrowser() { --g_liveObjects; }

    LONG ref_ = 1;
    Browser* owner_;
    std::wstring name_;
};

// ---------------------------------------------------------------------------
// The browser object.

class Browser final : public IOleObject,
                      public IOleInPlaceObject,
                      public IOleInPlaceActiveObject,
                      public IPersistStreamInit,
                      public IDispatch,
                      public IConnectionPointContainer,
                      public IProvideClassInfo2,
                      public IOleControl {
public:
    Browser();
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&ref_)); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG n = InterlockedDecrement(&ref_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* site) override;
    STDMETHODIMP GetClientSite(IOleClientSite** site) override;
    STDMETHODIMP SetHostNames(LPCOLESTR app, LPCOLESTR container) override;
    STDMETHODIMP Close(DWORD saveOption) override;
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** mk) override {
        if (!mk) return E_POINTER;
        *mk = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject** data) override {
        if (!data) return E_POINTER;
        *data = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP DoVerb(LONG verb, LPMSG msg, IOleClientSite* activeSite, LONG index, HWND parent,
                        LPCRECT posRect) override;
    STDMETHODIMP EnumVerbs(IEnumOLEVERB** verbs) override {
        if (!verbs) return E_POINTER;
        *verbs = nullptr;
        return OLE_S_USEREG;
    }
    STDMETHODIMP Update() override { return S_OK; }
    STDMETHODIMP IsUpToDate() override { return S_OK; }
    STDMETHODIMP GetUserClassID(CLSID* clsid) override {
        if (!clsid) return E_POINTER;
        *clsid = CLSID_WebBrowser;
        return S_OK;
    }
    STDMETHODIMP GetUserType(DWORD, LPOLESTR* type) override {
        if (!type) return E_POINTER;
        *type = nullptr;
        return OLE_S_USEREG;
    }
    STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP Advise(IAdviseSink* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumAdvise(IEnumSTATDATA** e) override;
    STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override {
        if (!status) return E_POINTER;
        *status = aspect == DVASPECT_CONTENT ? kMiscStatus : 0;
        return S_OK;
    }
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleWindow (both in-place interfaces)
    STDMETHODIMP GetWindow(HWND* hwnd) override {
        if (!hwnd) return E_POINTER;
        *hwnd = window_;
        return window_ ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceObject
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override;
    STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT clip) override;
    STDMETHODIMP ReactivateAndUndo() override { return INPLACE_E_NOTUNDOABLE; }

    // IOleInPlaceActiveObject
    STDMETHODIMP TranslateAccelerator(LPMSG msg) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

    // IPersistStreamInit
    STDMETHODIMP GetClassID(CLSID* clsid) override { return GetUserClassID(clsid); }
    STDMETHODIMP IsDirty() override { return S_FALSE; }
    STDMETHODIMP Load(LPSTREAM stream) override;
    STDMETHODIMP Save(LPSTREAM stream, BOOL clearDirty) override;
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override {
        if (!size) return E_POINTER;
        size->QuadPart = kPersistedSize;
        return S_OK;
    }
    STDMETHODIMP InitNew() override;

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* excep, UINT* argErr) override;

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** e) override {
        if (!e) return E_POINTER;
        *e = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** cp) override;

    // IProvideClassInfo2
    STDMETHODIMP GetClassInfo(ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override {
        if (!guid) return E_POINTER;
        if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
            *guid = GUID_NULL;
            return E_INVALIDARG;
        }
        *guid = DIID_DWebBrowserEvents2;
        return S_OK;
    }

    // IOleControl
    STDMETHODIMP GetControlInfo(CONTROLINFO* info) override {
        if (!info) return E_POINTER;
        info->hAccel = nullptr;
        info->cAccel = 0;
        info->dwFlags = 0;
        return S_OK;
    }
    STDMETHODIMP OnMnemonic(MSG*) override { return E_NOTIMPL; }
    STDMETHODIMP OnAmbientPropertyChange(DISPID) override { return S_OK; }
    STDMETHODIMP FreezeEvents(BOOL) override { return S_OK; }

    // Used by frame objects and the window procedures.
    HRESULT NavigateFromHost(const std::wstring& target, const std::wstring& url);
    std::wstring LocationOf(const std::wstring& target);
    void OnStepMessage();
    bool OnPageMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);
    void OnPageWindowGone(HWND hwnd);

private:
    // The top-level page or one frame.
    struct Target {
        std::wstring name;                 // empty for the top level
        std::wstring url;                  // current page
        bool hasServer = false;            // a page of it came from a server
        LoopbackUrl server;
        FrameBrowser* frame = nullptr;     // owned reference; null for the top level
    };

    struct Step {
        enum Kind { Fetch, Run, Complete } kind;
        std::wstring target;
        std::wstring url;
        std::wstring verb;
        std::wstring args;
    };

    // The events' connection point; it lives inside the browser and shares
    // its reference count.
    class EventsPoint final : public IConnectionPoint {
    public:
        explicit EventsPoint(Browser* owner) : owner_(owner) {}
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
            if (!ppv) return E_POINTER;
            *ppv = nullptr;
            if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
                *ppv = static_cast<IConnectionPoint*>(this);
                AddRef();
                return S_OK;
            }
            return E_NOINTERFACE;
        }
        STDMETHODIMP_(ULONG) AddRef() override { return owner_->AddRef(); }
        STDMETHODIMP_(ULONG) Release() override { return owner_->Release(); }
        STDMETHODIMP GetConnectionInterface(IID* iid) override {
            if (!iid) return E_POINTER;
            *iid = DIID_DWebBrowserEvents2;
            return S_OK;
        }
        STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** cpc) override {
            if (!cpc) return E_POINTER;
            *cpc = static_cast<IConnectionPointContainer*>(owner_);
            (*cpc)->AddRef();
            return S_OK;
        }
        STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
        STDMETHODIMP Unadvise(DWORD cookie) override;
        STDMETHODIMP EnumConnections(IEnumConnections** e) override {
            if (!e) return E_POINTER;
            *e = nullptr;
            return E_NOTIMPL;
        }

        std::vector<ComPtr<IDispatch>> Snapshot() const {
            std::vector<ComPtr<IDispatch>> result;
            for (const auto& s : sinks_) result.push_back(s.second);
            return result;
        }
        void Clear() { sinks_.clear(); }

    private:
        Browser* owner_;
        DWORD nextCookie_ = 1;
        std::vector<std::pair<DWORD, ComPtr<IDispatch>>> sinks_;
    };

    ~Browser();

    void Record(const wchar_t* kind, const std::wstring& detail, const Target* target = nullptr);
    void Report(const StandinEvent& event, const Target* target);

    Target* FindTarget(const std::wstring& name);
    Target* FrameTarget(const std::wstring& name);
    IDispatch* DispatchOf(Target* target);
    std::wstring PdispText(const Target* target) const {
        return target->name.empty() ? std::wstring(L"top") : L"frame:" + target->name;
    }

    ComPtr<IDocHostUIHandler> Handler();
    HRESULT ActivateInPlace(bool uiActivate);
    void Schedule(Step step, bool front);
    void PostStep();
    void RunStep(const Step& step);
    void RunFetch(const Step& step);
    void RunInstruction(const Step& step);
    HRESULT BeginNavigate(const std::wstring& target, const std::wstring& url, const wchar_t* by, bool front);
    void BeginRefresh(const wchar_t* by);

    int Fire(DISPID id, DISPPARAMS* params);
    bool FireBeforeNavigate2(Target* target, const std::wstring& url);
    void FireNavigateComplete2(Target* target, const std::wstring& url);
    void FireDocumentComplete(Target* target, const std::wstring& url);
    void FireUrlEvent(DISPID dispid, const wchar_t* kind, Target* target, const std::wstring& url);
    void FireNavigateError(Target* target, const std::wstring& url, LONG status);

    void AskHostInfo(const wchar_t* when);
    void ReadExternal(const std::wstring& name);
    void AskContextMenu(POINT screenPoint, const wchar_t* when);
    HRESULT TranslateKey(const MSG& msg, const wchar_t* when);
    void Paint(HWND hwnd);

    LONG ref_ = 1;
    int id_;
    EventsPoint events_{this};

    ComPtr<IOleClientSite> clientSite_;
    ComPtr<IOleInPlaceSite> inPlaceSite_;
    ComPtr<IOleInPlaceFrame> frame_;
    ComPtr<IOleInPlaceUIWindow> uiWindow_;
    ComPtr<IOleAdviseHolder> adviseHolder_;
    bool inPlaceActive_ = false;
    bool uiActive_ = false;
    bool closed_ = false;
    HWND window_ = nullptr;
    HWND stepWindow_ = nullptr;
    SIZEL extent_{5080, 5080};
    COLORREF colour_;

    Target top_;
    std::vector<std::unique_ptr<Target>> frames_;
    std::deque<Step> steps_;
    bool stepPosted_ = false;
    bool runningStep_ = false;
    std::vector<StandinEvent> pending_;
};

LRESULT CALLBACK StepWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kMsgStep) {
        auto* browser = reinterpret_cast<Browser*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (browser) browser->OnStepMessage();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK PageWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* browser = reinterpret_cast<Browser*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        if (browser) browser->OnPageWindowGone(hwnd);
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
    LRESULT result = 0;
    if (browser && browser->OnPageMessage(hwnd, msg, wp, lp, &result)) return result;
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void RegisterWindowClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.hInstance = ThisModule();
        wc.lpfnWndProc = PageWndProc;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.style = CS_DBLCLKS;
        wc.lpszClassName = kPageClass;
        RegisterClassExW(&wc);
        WNDCLASSEXW sc{};
        sc.cbSize = sizeof sc;
        sc.hInstance = ThisModule();
        sc.lpfnWndProc = StepWndProc;
        sc.lpszClassName = kStepClass;
        RegisterClassExW(&sc);
    });
}

// ---------------------------------------------------------------------------

Browser::Browser() : id_(++g_nextObject), colour_(g_defaultColour.load()) {
    ++g_liveObjects;
    RegisterWindowClasses();
    stepWindow_ = CreateWindowExW(0, kStepClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ThisModule(), nullptr);
    if (stepWindow_) SetWindowLongPtrW(stepWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    Record(L"created", L"");
}

Browser::~Browser() {
    ref_ = 1;  // the clean-up below may hand out and take back references
    if (window_) {
        HWND w = window_;
        window_ = nullptr;
        SetWindowLongPtrW(w, GWLP_USERDATA, 0);
        DestroyWindow(w);
    }
    if (stepWindow_) {
        SetWindowLongPtrW(stepWindow_, GWLP_USERDATA, 0);
        DestroyWindow(stepWindow_);
        stepWindow_ = nullptr;
    }
    for (auto& frame : frames_) {
        frame->frame->Detach();
        frame->frame->Release();
        frame->frame = nullptr;
    }
    events_.Clear();
    Record(L"destroyed", L"");
    --g_liveObjects;
}

STDMETHODIMP Browser::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IOleObject || riid == kIidStandin)
        *ppv = static_cast<IOleObject*>(this);
    else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceObject)
        *ppv = static_cast<IOleInPlaceObject*>(this);
    else if (riid == IID_IOleInPlaceActiveObject)
        *ppv = static_cast<IOleInPlaceActiveObject*>(this);
    else if (riid == IID_IPersist || riid == IID_IPersistStreamInit)
        *ppv = static_cast<IPersistStreamInit*>(this);
    else if (riid == IID_IDispatch)
        *ppv = static_cast<IDispatch*>(this);
    else if (riid == IID_IConnectionPointContainer)
        *ppv = static_cast<IConnectionPointContainer*>(this);
    else if (riid == IID_IProvideClassInfo || riid == IID_IProvideClassInfo2)
        *ppv = static_cast<IProvideClassInfo2*>(this);
    else if (riid == IID_IOleControl)
        *ppv = static_cast<IOleControl*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

// --- log and reports ---------------------------------------------------------

void Browser::Record(const wchar_t* kind, const std::wstring& detail, const Target* target) {
    StandinEvent event;
    event.object = id_;
    event.kind = kind;
    event.detail = detail;
    AppendLog(event);
    Report(event, target);
}

void Browser::Report(const StandinEvent& event, const Target* target) {
    LoopbackUrl server;
    if (target && target->hasServer)
        server = target->server;
    else if (top_.hasServer)
        server = top_.server;
    else if (!EnvReportTarget(&server)) {
        pending_.push_back(event);
        return;
    }
    std::vector<StandinEvent> earlier;
    earlier.swap(pending_);
    for (const StandinEvent& e : earlier) SendReport(server, e);
    SendReport(server, event);
}

// --- targets -------------------------------------------------------------------

Browser::Target* Browser::FindTarget(const std::wstring& name) {
    if (name.empty()) return &top_;
    for (auto& frame : frames_) {
        if (frame->name == name) return frame.get();
    }
    return nullptr;
}

Browser::Target* Browser::FrameTarget(const std::wstring& name) {
    if (Target* existing = FindTarget(name)) return existing;
    auto target = std::make_unique<Target>();
    target->name = name;
    target->frame = new FrameBrowser(this, name);
    frames_.push_back(std::move(target));
    return frames_.back().get();
}

IDispatch* Browser::DispatchOf(Target* target) {
    if (target->frame) return target->frame;
    return static_cast<IDispatch*>(this);
}

ComPtr<IDocHostUIHandler> Browser::Handler() {
    ComPtr<IDocHostUIHandler> handler;
    if (clientSite_) clientSite_->QueryInterface(IID_IDocHostUIHandler, handler.PutVoid());
    return handler;
}

// --- IOleObject ------------------------------------------------------------------

STDMETHODIMP Browser::SetClientSite(IOleClientSite* site) {
    if (!site && inPlaceActive_) InPlaceDeactivate();
    clientSite_ = ComPtr<IOleClientSite>::Copy(site);
    Detail d;
    d.Add(L"site", site ? L"set" : L"null");
    d.Add(L"handler", Handler() ? L"yes" : L"no");
    Record(L"SetClientSite", d.str());
    return S_OK;
}

STDMETHODIMP Browser::GetClientSite(IOleClientSite** site) {
    if (!site) return E_POINTER;
    *site = clientSite_.Get();
    if (*site) (*site)->AddRef();
    return S_OK;
}

STDMETHODIMP Browser::SetHostNames(LPCOLESTR app, LPCOLESTR container) {
    Detail d;
    d.Add(L"app", app ? app : L"");
    d.Add(L"container", container ? container : L"");
    Record(L"SetHostNames", d.str());
    return S_OK;
}

STDMETHODIMP Browser::Close(DWORD saveOption) {
    AddRef();
    HRESULT hr = InPlaceDeactivate();
    steps_.clear();
    closed_ = true;
    if (adviseHolder_) adviseHolder_->SendOnClose();
    Detail d;
    d.Num(L"save", static_cast<long long>(saveOption)).Hex(L"hr", static_cast<DWORD>(hr));
    Record(L"Close", d.str());
    Release();
    return S_OK;
}

STDMETHODIMP Browser::DoVerb(LONG verb, LPMSG, IOleClientSite*, LONG, HWND, LPCRECT posRect) {
    AddRef();
    HRESULT hr = S_OK;
    switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
        hr = ActivateInPlace(false);
        if (SUCCEEDED(hr) && window_) ShowWindow(window_, SW_SHOW);
        break;
    case OLEIVERB_UIACTIVATE:
        hr = ActivateInPlace(true);
        if (SUCCEEDED(hr) && window_) ShowWindow(window_, SW_SHOW);
        break;
    case OLEIVERB_HIDE:
        if (uiActive_) UIDeactivate();
        if (window_) ShowWindow(window_, SW_HIDE);
        break;
    case OLEIVERB_DISCARDUNDOSTATE:
        break;
    case OLEIVERB_OPEN:
        hr = E_NOTIMPL;
        break;
    default:
        hr = verb > 0 ? ActivateInPlace(false) : OLEOBJ_S_INVALIDVERB;
        if (verb > 0 && SUCCEEDED(hr)) hr = OLEOBJ_S_INVALIDVERB;
        break;
    }
    if (SUCCEEDED(hr) && posRect && window_ &&
        (verb == OLEIVERB_PRIMARY || verb == OLEIVERB_SHOW || verb == OLEIVERB_INPLACEACTIVATE ||
         verb == OLEIVERB_UIACTIVATE)) {
        MoveWindow(window_, posRect->left, posRect->top, posRect->right - posRect->left,
                   posRect->bottom - posRect->top, TRUE);
    }
    Detail d;
    d.Num(L"verb", verb).Hex(L"hr", static_cast<DWORD>(hr)).Ptr(L"hwnd", window_);
    if (posRect) d.Rect(L"pos", *posRect);
    Record(L"DoVerb", d.str());
    Release();
    return hr;
}

STDMETHODIMP Browser::SetExtent(DWORD aspect, SIZEL* size) {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    extent_ = *size;
    Detail d;
    d.Num(L"cx", size->cx).Num(L"cy", size->cy);
    Record(L"SetExtent", d.str());
    return S_OK;
}

STDMETHODIMP Browser::GetExtent(DWORD aspect, SIZEL* size) {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *size = extent_;
    return S_OK;
}

STDMETHODIMP Browser::Advise(IAdviseSink* sink, DWORD* cookie) {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!adviseHolder_) {
        HRESULT hr = CreateOleAdviseHolder(adviseHolder_.Put());
        if (FAILED(hr)) return hr;
    }
    return adviseHolder_->Advise(sink, cookie);
}

STDMETHODIMP Browser::Unadvise(DWORD cookie) {
    if (!adviseHolder_) return OLE_E_NOCONNECTION;
    return adviseHolder_->Unadvise(cookie);
}

STDMETHODIMP Browser::EnumAdvise(IEnumSTATDATA** e) {
    if (!e) return E_POINTER;
    *e = nullptr;
    if (!adviseHolder_) return E_FAIL;
    return adviseHolder_->EnumAdvise(e);
}

// --- in-place activation ------------------------------------------------------

HRESULT Browser::ActivateInPlace(bool uiActivate) {
    if (!clientSite_) return E_UNEXPECTED;
    if (!inPlaceActive_) {
        ComPtr<IOleInPlaceSite> site;
        HRESULT hr = clientSite_->QueryInterface(IID_IOleInPlaceSite, site.PutVoid());
        if (FAILED(hr) || !site) return E_NOINTERFACE;
        if (site->CanInPlaceActivate() != S_OK) return E_FAIL;
        site->OnInPlaceActivate();
        HWND parent = nullptr;
        hr = site->GetWindow(&parent);
        if (FAILED(hr) || !parent) {
            site->OnInPlaceDeactivate();
            return E_FAIL;
        }
        ComPtr<IOleInPlaceFrame> frame;
        ComPtr<IOleInPlaceUIWindow> uiWindow;
        RECT pos{}, clip{};
        OLEINPLACEFRAMEINFO info{};
        info.cb = sizeof info;
        hr = site->GetWindowContext(frame.Put(), uiWindow.Put(), &pos, &clip, &info);
        if (FAILED(hr)) {
            site->OnInPlaceDeactivate();
            return hr;
        }
        window_ = CreateWindowExW(0, kPageClass, L"", WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, pos.left,
                                  pos.top, pos.right - pos.left, pos.bottom - pos.top, parent, nullptr,
                                  ThisModule(), this);
        if (!window_) {
            site->OnInPlaceDeactivate();
            return E_OUTOFMEMORY;
        }
        inPlaceSite_ = site;
        frame_ = frame;
        uiWindow_ = uiWindow;
        inPlaceActive_ = true;
        Detail d;
        d.Ptr(L"parent", parent).Rect(L"pos", pos).Rect(L"clip", clip);
        Record(L"InPlaceActivate", d.str());
        ShowWindow(window_, SW_SHOW);
        AskHostInfo(L"activate");
    }
    if (uiActivate && !uiActive_ && inPlaceSite_) {
        HRESULT hr = inPlaceSite_->OnUIActivate();
        uiActive_ = true;
        if (frame_) frame_->SetActiveObject(static_cast<IOleInPlaceActiveObject*>(this), L"StandinBrowser");
        if (uiWindow_) uiWindow_->SetActiveObject(static_cast<IOleInPlaceActiveObject*>(this), L"StandinBrowser");
        if (auto handler = Handler()) {
            HRESULT hs = handler->ShowUI(DOCHOSTUITYPE_BROWSE, static_cast<IOleInPlaceActiveObject*>(this), nullptr,
                                         frame_.Get(), uiWindow_.Get());
            Detail s;
            s.Hex(L"hr", static_cast<DWORD>(hs));
            Record(L"ShowUI", s.str());
        }
        if (window_) SetFocus(window_);
        Detail d;
        d.Hex(L"hr", static_cast<DWORD>(hr));
        Record(L"UIActivate", d.str());
    }
    return S_OK;
}

STDMETHODIMP Browser::UIDeactivate() {
    if (!uiActive_) return S_OK;
    uiActive_ = false;
    if (auto handler = Handler()) {
        Detail h;
        h.Hex(L"hr", static_cast<DWORD>(handler->HideUI()));
        Record(L"HideUI", h.str());
    }
    if (frame_) frame_->SetActiveObject(nullptr, nullptr);
    if (uiWindow_) uiWindow_->SetActiveObject(nullptr, nullptr);
    if (inPlaceSite_) inPlaceSite_->OnUIDeactivate(FALSE);
    Record(L"UIDeactivate", L"");
    return S_OK;
}

STDMETHODIMP Browser::InPlaceDeactivate() {
    if (!inPlaceActive_) return S_OK;
    AddRef();
    UIDeactivate();
    inPlaceActive_ = false;
    if (window_) {
        HWND w = window_;
        window_ = nullptr;
        SetWindowLongPtrW(w, GWLP_USERDATA, 0);
        DestroyWindow(w);
    }
    ComPtr<IOleInPlaceSite> site = inPlaceSite_;
    inPlaceSite_.Reset();
    frame_.Reset();
    uiWindow_.Reset();
    if (site) site->OnInPlaceDeactivate();
    Record(L"InPlaceDeactivate", L"");
    Release();
    return S_OK;
}

STDMETHODIMP Browser::SetObjectRects(LPCRECT pos, LPCRECT clip) {
    if (!pos) return E_POINTER;
    if (window_) {
        SetWindowPos(window_, nullptr, pos->left, pos->top, pos->right - pos->left, pos->bottom - pos->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    Detail d;
    d.Rect(L"pos", *pos);
    if (clip) d.Rect(L"clip", *clip);
    Record(L"SetObjectRects", d.str());
    return S_OK;
}

// --- keyboard ----------------------------------------------------------------------

STDMETHODIMP Browser::TranslateAccelerator(LPMSG msg) {
    if (!msg) return E_INVALIDARG;
    if (msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST) return S_FALSE;
    return TranslateKey(*msg, L"host");
}

HRESULT Browser::TranslateKey(const MSG& msg, const wchar_t* when) {
    AddRef();
    MSG copy = msg;
    auto handler = Handler();
    HRESULT answer = S_FALSE;
    if (handler) answer = handler->TranslateAccelerator(&copy, &kCmdGroupHtml, 0);
    HRESULT result = S_FALSE;
    const wchar_t* engine = L"none";
    if (handler && answer == S_OK) {
        result = S_OK;
    } else if (msg.message == WM_KEYDOWN && msg.wParam == VK_F5) {
        // The engine's own accelerator: F5 reloads the page. A keystroke
        // made up by a page only shows what would happen.
        if (wcscmp(when, L"host") == 0) {
            engine = L"refresh";
            BeginRefresh(L"key");
        } else {
            engine = L"refresh-skipped";
        }
        result = S_OK;
    }
    Detail d;
    d.Add(L"msg", HexText(msg.message).substr(6).insert(0, L"0x"));
    d.Num(L"vk", static_cast<long long>(msg.wParam));
    if (handler)
        d.Hex(L"handler", static_cast<DWORD>(answer));
    else
        d.Add(L"handler", L"none");
    d.Hex(L"result", static_cast<DWORD>(result)).Add(L"engine", engine).Add(L"when", when);
    Record(L"TranslateAccelerator", d.str());
    Release();
    return result;
}

// --- persistence -----------------------------------------------------------------

STDMETHODIMP Browser::Load(LPSTREAM stream) {
    if (!stream) return E_POINTER;
    std::vector<unsigned char> data;
    unsigned char buffer[512];
    for (;;) {
        ULONG read = 0;
        HRESULT hr = stream->Read(buffer, sizeof buffer, &read);
        if (FAILED(hr)) return hr;
        data.insert(data.end(), buffer, buffer + read);
        if (read == 0 || hr == S_FALSE) break;
    }
    std::wstring head;
    static const wchar_t hex[] = L"0123456789ABCDEF";
    for (size_t i = 0; i < data.size() && i < 16; ++i) {
        head += hex[data[i] >> 4];
        head += hex[data[i] & 15];
    }
    Detail d;
    d.Num(L"bytes", static_cast<long long>(data.size())).Add(L"head", head);
    if (data.size() == kPersistedSize) {
        DWORD cx = 0, cy = 0;
        std::memcpy(&cx, &data[8], 4);
        std::memcpy(&cy, &data[12], 4);
        extent_.cx = static_cast<LONG>(cx);
        extent_.cy = static_cast<LONG>(cy);
        d.Num(L"cx", static_cast<long long>(cx)).Num(L"cy", static_cast<long long>(cy));
    }
    Record(L"Load", d.str());
    return S_OK;
}

STDMETHODIMP Browser::Save(LPSTREAM stream, BOOL) {
    if (!stream) return E_POINTER;
    DWORD block[kPersistedSize / 4] = {};
    block[1] = 0x4C;
    block[2] = static_cast<DWORD>(extent_.cx);
    block[3] = static_cast<DWORD>(extent_.cy);
    ULONG written = 0;
    HRESULT hr = stream->Write(block, kPersistedSize, &written);
    Detail d;
    d.Num(L"bytes", written);
    Record(L"Save", d.str());
    return hr;
}

STDMETHODIMP Browser::InitNew() {
    Detail d;
    d.Hex(L"hr", S_OK);
    Record(L"InitNew", d.str());
    return S_OK;
}

// --- IDispatch: Navigate, Refresh, LocationURL -------------------------------------

STDMETHODIMP Browser::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids) return E_POINTER;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        if (!names[i]) {
            hr = DISP_E_UNKNOWNNAME;
        } else if (i == 0 && _wcsicmp(names[i], L"Navigate") == 0) {
            ids[i] = kDispNavigate;
        } else if (i == 0 && _wcsicmp(names[i], L"Refresh") == 0) {
            ids[i] = kDispRefresh;
        } else if (i == 0 && _wcsicmp(names[i], L"LocationURL") == 0) {
            ids[i] = kDispLocationUrl;
        } else {
            hr = DISP_E_UNKNOWNNAME;
        }
    }
    return hr;
}

// Shared by the browser and its frames.
HRESULT InvokeBrowserMethod(Browser* owner, const std::wstring& target, DISPID id, REFIID riid, WORD flags,
                            DISPPARAMS* params, VARIANT* result, UINT* argErr) {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    if (!params) params = &none;
    switch (id) {
    case kDispNavigate: {
        if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
        if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
        if (params->cArgs < 1 || params->cArgs > 5) return DISP_E_BADPARAMCOUNT;
        std::wstring url;
        if (!UrlArgument(params->rgvarg[params->cArgs - 1], &url)) {
            if (argErr) *argErr = params->cArgs - 1;
            return DISP_E_TYPEMISMATCH;
        }
        if (result) VariantInit(result);
        if (!owner) return E_UNEXPECTED;
        return owner->NavigateFromHost(target, url);
    }
    case kDispRefresh:
        if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
        if (params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
        if (result) VariantInit(result);
        if (!owner) return E_UNEXPECTED;
        return owner->NavigateFromHost(target, std::wstring());
    case kDispLocationUrl:
        if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
        if (!result) return E_POINTER;
        VariantInit(result);
        result->vt = VT_BSTR;
        result->bstrVal = SysAllocString(owner ? owner->LocationOf(target).c_str() : L"");
        return S_OK;
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

STDMETHODIMP Browser::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                             EXCEPINFO*, UINT* argErr) {
    AddRef();
    HRESULT hr = InvokeBrowserMethod(this, std::wstring(), id, riid, flags, params, result, argErr);
    Release();
    return hr;
}

// An empty URL stands for Refresh (only the top level refreshes).
HRESULT Browser::NavigateFromHost(const std::wstring& target, const std::wstring& url) {
    if (url.empty()) {
        if (target.empty()) BeginRefresh(L"host");
        return S_OK;
    }
    return BeginNavigate(target, url, L"host", !target.empty());
}

std::wstring Browser::LocationOf(const std::wstring& target) {
    Target* t = FindTarget(target);
    return t ? t->url : std::wstring();
}

// --- connection point ----------------------------------------------------------------

STDMETHODIMP Browser::FindConnectionPoint(REFIID riid, IConnectionPoint** cp) {
    if (!cp) return E_POINTER;
    *cp = nullptr;
    if (riid != DIID_DWebBrowserEvents2) return CONNECT_E_NOCONNECTION;
    *cp = &events_;
    events_.AddRef();
    return S_OK;
}

STDMETHODIMP Browser::EventsPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!sink) return E_POINTER;
    ComPtr<IDispatch> dispatch;
    const wchar_t* how = L"events";
    if (FAILED(sink->QueryInterface(DIID_DWebBrowserEvents2, dispatch.PutVoid())) || !dispatch) {
        how = L"dispatch";
        if (FAILED(sink->QueryInterface(IID_IDispatch, dispatch.PutVoid())) || !dispatch)
            return CONNECT_E_CANNOTCONNECT;
    }
    *cookie = nextCookie_++;
    sinks_.emplace_back(*cookie, dispatch);
    Detail d;
    d.Num(L"cookie", static_cast<long long>(*cookie)).Add(L"iid", how);
    owner_->Record(L"Advise", d.str());
    return S_OK;
}

STDMETHODIMP Browser::EventsPoint::Unadvise(DWORD cookie) {
    HRESULT hr = CONNECT_E_NOCONNECTION;
    ComPtr<IDispatch> gone;  // released after the list is consistent again
    for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
        if (it->first == cookie) {
            gone = it->second;
            sinks_.erase(it);
            hr = S_OK;
            break;
        }
    }
    Detail d;
    d.Num(L"cookie", static_cast<long long>(cookie)).Hex(L"hr", static_cast<DWORD>(hr));
    owner_->Record(L"Unadvise", d.str());
    return hr;
}

// --- navigation --------------------------------------------------------------------

void Browser::PostStep() {
    if (stepPosted_ || !stepWindow_) return;
    if (PostMessageW(stepWindow_, kMsgStep, 0, 0)) stepPosted_ = true;
}

void Browser::Schedule(Step step, bool front) {
    if (closed_) return;  // a closed browser starts nothing new
    if (front)
        steps_.push_front(std::move(step));
    else
        steps_.push_back(std::move(step));
    PostStep();
}

void Browser::OnStepMessage() {
    stepPosted_ = false;
    if (runningStep_) return;  // a handler pumps inside a step; the step reposts when done
    AddRef();
    if (!steps_.empty()) {
        Step step = steps_.front();
        steps_.pop_front();
        runningStep_ = true;
        RunStep(step);
        runningStep_ = false;
    }
    if (!steps_.empty()) PostStep();
    Release();
}

void Browser::RunStep(const Step& step) {
    switch (step.kind) {
    case Step::Fetch:
        RunFetch(step);
        break;
    case Step::Run:
        RunInstruction(step);
        break;
    case Step::Complete:
        if (Target* t = FindTarget(step.target)) FireDocumentComplete(t, step.url);
        break;
    }
}

HRESULT Browser::BeginNavigate(const std::wstring& targetName, const std::wstring& url, const wchar_t* by,
                               bool front) {
    AddRef();
    Target* target = targetName.empty() ? &top_ : FrameTarget(targetName);
    Detail d;
    d.Add(L"url", url).Add(L"pdisp", PdispText(target)).Add(L"by", by);
    Record(L"Navigate", d.str(), target);
    bool cancelled = FireBeforeNavigate2(target, url);
    if (!cancelled) Schedule(Step{Step::Fetch, targetName, url, {}, {}}, front);
    Release();
    return S_OK;
}

void Browser::BeginRefresh(const wchar_t* by) {
    Detail d;
    d.Add(L"url", top_.url).Add(L"by", by);
    Record(L"Refresh", d.str(), &top_);
    // A refresh raises no BeforeNavigate2: the page is simply fetched again.
    if (!top_.url.empty()) Schedule(Step{Step::Fetch, std::wstring(), top_.url, {}, {}}, false);
}

void Browser::RunFetch(const Step& step) {
    Target* target = FindTarget(step.target);
    if (!target) return;
    std::string body;
    if (_wcsicmp(step.url.c_str(), L"about:blank") == 0) {
        body.clear();
    } else {
        LoopbackUrl url;
        if (!ParseLoopbackUrl(step.url, &url)) {
            // Not a loopback http URL: no request is made at all.
            FireNavigateError(target, step.url, static_cast<LONG>(0x800C0002));
            return;
        }
        HttpResult answer = HttpGet(url, kFetchTimeoutMs);
        bool ok = SUCCEEDED(answer.hr) && answer.status >= 200 && answer.status < 300;
        if (ok) {
            target->hasServer = true;
            target->server = url;
        }
        Detail d;
        d.Add(L"url", step.url).Num(L"status", answer.status).Num(L"bytes", static_cast<long long>(answer.body.size()));
        d.Hex(L"hr", static_cast<DWORD>(answer.hr));
        Record(L"Fetch", d.str(), target);
        if (!ok) {
            FireNavigateError(target, step.url, FAILED(answer.hr) ? answer.hr : answer.status);
            return;
        }
        body = answer.body;
    }
    target->url = step.url;
    if (window_) InvalidateRect(window_, nullptr, TRUE);
    FireNavigateComplete2(target, step.url);
    if (closed_) return;  // the host closed the browser from inside the event
    // The page's instructions, then its DocumentComplete, run before anything
    // queued behind this page (frames started by them finish first).
    std::vector<Instruction> instructions = ParseInstructions(body);
    Schedule(Step{Step::Complete, step.target, step.url, {}, {}}, true);
    for (auto it = instructions.rbegin(); it != instructions.rend(); ++it)
        Schedule(Step{Step::Run, step.target, step.url, it->verb, it->args}, true);
}

void Browser::RunInstruction(const Step& step) {
    Target* target = FindTarget(step.target);
    const std::wstring& verb = step.verb;
    if (verb == L"navigate") {
        BeginNavigate(std::wstring(), ResolveUrl(step.args, step.url), L"page", false);
    } else if (verb == L"frame") {
        auto words = SplitFirstWord(step.args);
        if (!words.first.empty() && !words.second.empty())
            BeginNavigate(words.first, ResolveUrl(words.second, step.url), L"page", true);
    } else if (verb == L"external") {
        ReadExternal(step.args);
    } else if (verb == L"contextmenu") {
        POINT pt{0, 0};
        if (window_) {
            RECT rc;
            GetClientRect(window_, &rc);
            pt = {rc.right / 2, rc.bottom / 2};
            ClientToScreen(window_, &pt);
        }
        AskContextMenu(pt, L"page");
    } else if (verb == L"hostinfo") {
        AskHostInfo(L"page");
    } else if (verb == L"key") {
        UINT vk = 0;
        if (ParseVirtualKey(step.args, &vk)) {
            MSG msg{};
            msg.hwnd = window_;
            msg.message = WM_KEYDOWN;
            msg.wParam = vk;
            msg.lParam = static_cast<LPARAM>((MapVirtualKeyW(vk, MAPVK_VK_TO_VSC) << 16) | 1);
            msg.time = GetMessageTime();
            TranslateKey(msg, L"page");
        } else {
            Detail d;
            d.Add(L"verb", L"key").Add(L"args", step.args);
            Record(L"UnknownInstruction", d.str(), target);
        }
    } else if (verb == L"color" || verb == L"colour") {
        COLORREF colour;
        if (ParseColour(step.args, &colour)) {
            colour_ = colour;
            if (window_) InvalidateRect(window_, nullptr, TRUE);
        }
    } else if (verb == L"report") {
        Record(L"report", step.args, target);
    } else {
        Detail d;
        d.Add(L"verb", verb).Add(L"args", step.args);
        Record(L"UnknownInstruction", d.str(), target);
    }
}

// --- events ------------------------------------------------------------------------

int Browser::Fire(DISPID id, DISPPARAMS* params) {
    std::vector<ComPtr<IDispatch>> sinks = events_.Snapshot();
    for (auto& sink : sinks) {
        sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, params, nullptr, nullptr, nullptr);
    }
    return static_cast<int>(sinks.size());
}

bool Browser::FireBeforeNavigate2(Target* target, const std::wstring& url) {
    ComPtr<IDispatch> disp = ComPtr<IDispatch>::Copy(DispatchOf(target));
    Variant vUrl, vFlags, vFrame, vPost, vHeaders;
    vUrl.SetString(url);
    vFlags.SetInt(0);
    vFrame.SetString(target->name);
    vHeaders.SetString(std::wstring());
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT args[7];
    for (VARIANT& a : args) VariantInit(&a);
    args[6].vt = VT_DISPATCH;
    args[6].pdispVal = disp.Get();
    VARIANT* byRef[] = {vHeaders.get(), vPost.get(), vFrame.get(), vFlags.get(), vUrl.get()};
    for (int i = 0; i < 5; ++i) {
        args[1 + i].vt = VT_BYREF | VT_VARIANT;
        args[1 + i].pvarVal = byRef[i];
    }
    args[0].vt = VT_BYREF | VT_BOOL;
    args[0].pboolVal = &cancel;
    DISPPARAMS params{args, nullptr, 7, 0};
    int sinks = Fire(kEvBeforeNavigate2, &params);
    bool cancelled = cancel != VARIANT_FALSE;
    Detail d;
    d.Add(L"url", url).Add(L"pdisp", PdispText(target)).Add(L"frame", target->name);
    d.Add(L"cancel", cancelled ? L"1" : L"0").Num(L"sinks", sinks);
    Record(L"BeforeNavigate2", d.str(), target);
    return cancelled;
}

void Browser::FireNavigateComplete2(Target* target, const std::wstring& url) {
    FireUrlEvent(kEvNavigateComplete2, L"NavigateComplete2", target, url);
}

void Browser::FireDocumentComplete(Target* target, const std::wstring& url) {
    FireUrlEvent(kEvDocumentComplete, L"DocumentComplete", target, url);
}

// NavigateComplete2 and DocumentComplete: (pDisp, VARIANT* URL).
void Browser::FireUrlEvent(DISPID dispid, const wchar_t* kind, Target* target,
                           const std::wstring& url) {
    ComPtr<IDispatch> disp = ComPtr<IDispatch>::Copy(DispatchOf(target));
    Variant vUrl;
    vUrl.SetString(url);
    VARIANT args[2];
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    args[1].vt = VT_DISPATCH;
    args[1].pdispVal = disp.Get();
    args[0].vt = VT_BYREF | VT_VARIANT;
    args[0].pvarVal = vUrl.get();
    DISPPARAMS params{args, nullptr, 2, 0};
    int sinks = Fire(dispid, &params);
    Detail d;
    d.Add(L"url", url).Add(L"pdisp", PdispText(target)).Num(L"sinks", sinks);
    Record(kind, d.str(), target);
}

void Browser::FireNavigateError(Target* target, const std::wstring& url, LONG status) {
    ComPtr<IDispatch> disp = ComPtr<IDispatch>::Copy(DispatchOf(target));
    Variant vUrl, vFrame, vStatus;
    vUrl.SetString(url);
    vFrame.SetString(target->name);
    vStatus.SetInt(status);
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT args[5];
    for (VARIANT& a : args) VariantInit(&a);
    args[4].vt = VT_DISPATCH;
    args[4].pdispVal = disp.Get();
    args[3].vt = VT_BYREF | VT_VARIANT;
    args[3].pvarVal = vUrl.get();
    args[2].vt = VT_BYREF | VT_VARIANT;
    args[2].pvarVal = vFrame.get();
    args[1].vt = VT_BYREF | VT_VARIANT;
    args[1].pvarVal = vStatus.get();
    args[0].vt = VT_BYREF | VT_BOOL;
    args[0].pboolVal = &cancel;
    DISPPARAMS params{args, nullptr, 5, 0};
    int sinks = Fire(kEvNavigateError, &params);
    Detail d;
    d.Add(L"url", url).Add(L"pdisp", PdispText(target)).Hex(L"status", static_cast<DWORD>(status));
    d.Add(L"cancel", cancel != VARIANT_FALSE ? L"1" : L"0").Num(L"sinks", sinks);
    Record(L"NavigateError", d.str(), target);
}

// --- calls on the host's document UI handler -----------------------------------------

void Browser::AskHostInfo(const wchar_t* when) {
    auto handler = Handler();
    Detail d;
    if (!handler) {
        d.Add(L"hr", L"none").Add(L"when", when);
        Record(L"GetHostInfo", d.str());
        return;
    }
    DOCHOSTUIINFO info{};
    info.cbSize = sizeof info;
    HRESULT hr = handler->GetHostInfo(&info);
    if (info.pchHostCss) CoTaskMemFree(info.pchHostCss);
    if (info.pchHostNS) CoTaskMemFree(info.pchHostNS);
    d.Hex(L"hr", static_cast<DWORD>(hr)).Hex(L"flags", info.dwFlags).Num(L"dblclk", info.dwDoubleClick);
    d.Add(L"when", when);
    Record(L"GetHostInfo", d.str());
}

void Browser::ReadExternal(const std::wstring& name) {
    Detail d;
    d.Add(L"name", name);
    auto handler = Handler();
    if (!handler) {
        d.Add(L"hr", L"none");
        Record(L"GetExternal", d.str());
        return;
    }
    IDispatch* external = nullptr;
    HRESULT hr = handler->GetExternal(&external);
    d.Hex(L"hr", static_cast<DWORD>(hr)).Ptr(L"ext", external);
    if (SUCCEEDED(hr) && external) {
        BSTR member = SysAllocString(name.c_str());
        LPOLESTR names[1] = {member};
        DISPID dispid = DISPID_UNKNOWN;
        HRESULT hi = external->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
        SysFreeString(member);
        d.Hex(L"ids", static_cast<DWORD>(hi)).Num(L"dispid", dispid);
        if (SUCCEEDED(hi)) {
            Variant value;
            DISPPARAMS noArgs{nullptr, nullptr, 0, 0};
            EXCEPINFO excep{};
            UINT argErr = 0;
            HRESULT hv = external->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &noArgs,
                                          value.get(), &excep, &argErr);
            SysFreeString(excep.bstrSource);
            SysFreeString(excep.bstrDescription);
            SysFreeString(excep.bstrHelpFile);
            d.Hex(L"invoke", static_cast<DWORD>(hv)).Num(L"vt", value.get()->vt);
            std::wstring text;
            if (value.get()->vt == VT_BSTR) {
                if (value.get()->bstrVal) text.assign(value.get()->bstrVal, SysStringLen(value.get()->bstrVal));
            } else if (value.get()->vt != VT_EMPTY) {
                Variant converted;
                if (SUCCEEDED(VariantChangeType(converted.get(), value.get(), 0, VT_BSTR)) &&
                    converted.get()->bstrVal)
                    text = converted.get()->bstrVal;
            }
            d.Add(L"value", text);
        }
        ULONG left = external->Release();
        d.Num(L"release", static_cast<long long>(left));
    }
    Record(L"GetExternal", d.str());
}

void Browser::AskContextMenu(POINT pt, const wchar_t* when) {
    auto handler = Handler();
    HRESULT hr = E_NOTIMPL;
    if (handler) hr = handler->ShowContextMenu(CONTEXT_MENU_DEFAULT, &pt, nullptr, nullptr);
    Detail d;
    if (handler)
        d.Hex(L"hr", static_cast<DWORD>(hr));
    else
        d.Add(L"hr", L"none");
    // S_OK: the host showed (or suppressed) the menu itself.
    d.Num(L"x", pt.x).Num(L"y", pt.y).Add(L"menu", hr == S_OK ? L"suppressed" : L"shown").Add(L"when", when);
    Record(L"ShowContextMenu", d.str());
}

// --- the window ----------------------------------------------------------------------

bool Browser::OnPageMessage(HWND hwnd, UINT msg, WPARAM, LPARAM lp, LRESULT* result) {
    switch (msg) {
    case WM_ERASEBKGND:
        *result = 1;
        return true;
    case WM_PAINT:
        Paint(hwnd);
        *result = 0;
        return true;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        if (!uiActive_) {
            AddRef();
            ActivateInPlace(true);
            Release();
        } else {
            SetFocus(hwnd);
        }
        *result = 0;
        return true;
    case WM_CONTEXTMENU: {
        POINT pt{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        if (pt.x == -1 && pt.y == -1) {
            pt = {0, 0};
            ClientToScreen(hwnd, &pt);
        }
        AddRef();
        AskContextMenu(pt, L"mouse");
        Release();
        *result = 0;
        return true;
    }
    default:
        return false;
    }
}

void Browser::OnPageWindowGone(HWND hwnd) {
    if (window_ == hwnd) window_ = nullptr;
}

void Browser::Paint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT rc;
    GetClientRect(hwnd, &rc);
    {
        GdiObject brush(CreateSolidBrush(colour_));
        FillRect(dc, &rc, static_cast<HBRUSH>(brush.get()));
        GdiObject font(CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                   CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Tahoma"));
        Selection select(dc, font.get());
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 0, 0));
        std::wstring text = top_.url.empty() ? std::wstring(L"(no page)") : top_.url;
        for (const auto& frame : frames_) {
            if (!frame->url.empty()) text += L"\n" + frame->name + L": " + frame->url;
        }
        RECT textRect{rc.left + 4, rc.top + 2, rc.right - 4, rc.bottom - 2};
        DrawTextW(dc, text.c_str(), -1, &textRect, DT_LEFT | DT_TOP | DT_NOPREFIX);
    }
    EndPaint(hwnd, &ps);
}

// --- frames ----------------------------------------------------------------------------

STDMETHODIMP FrameBrowser::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids) return E_POINTER;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        if (i == 0 && names[i] && _wcsicmp(names[i], L"Navigate") == 0)
            ids[i] = kDispNavigate;
        else if (i == 0 && names[i] && _wcsicmp(names[i], L"LocationURL") == 0)
            ids[i] = kDispLocationUrl;
        else
            hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

STDMETHODIMP FrameBrowser::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                  EXCEPINFO*, UINT* argErr) {
    if (id == kDispRefresh) return DISP_E_MEMBERNOTFOUND;
    AddRef();
    HRESULT hr = InvokeBrowserMethod(owner_, name_, id, riid, flags, params, result, argErr);
    Release();
    return hr;
}

// ---------------------------------------------------------------------------
// The class factory.

class Factory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    // A static object: the count is kept, but nothing is ever deleted.
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&ref_)); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(InterlockedDecrement(&ref_)); }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return StandinCreateInstance(riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock)
            ++g_locks;
        else
            --g_locks;
        return S_OK;
    }

private:
    LONG ref_ = 1;
};

Factory g_factory;

}  // namespace

IClassFactory* ClassFactory() { return &g_factory; }

bool CanUnload() { return g_liveObjects.load() == 0 && g_locks.load() == 0; }

HMODULE ThisModule() { return reinterpret_cast<HMODULE>(&__ImageBase); }

}  // namespace standin

// ---------------------------------------------------------------------------
// Public API.

HRESULT StandinRegisterClassObject(DWORD* cookie) {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    return CoRegisterClassObject(CLSID_WebBrowser, standin::ClassFactory(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                 cookie);
}

HRESULT StandinRevokeClassObject(DWORD cookie) { return CoRevokeClassObject(cookie); }

HRESULT StandinCreateInstance(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    auto* browser = new (std::nothrow) standin::Browser();
    if (!browser) return E_OUTOFMEMORY;
    HRESULT hr = browser->QueryInterface(riid, ppv);
    browser->Release();
    return hr;
}

bool StandinIsStandin(IUnknown* unknown) {
    if (!unknown) return false;
    IUnknown* probe = nullptr;
    if (FAILED(unknown->QueryInterface(standin::kIidStandin, reinterpret_cast<void**>(&probe))) || !probe)
        return false;
    probe->Release();
    return true;
}

int StandinLiveObjects() { return standin::g_liveObjects.load(); }

std::vector<StandinEvent> StandinTakeLog() {
    std::lock_guard<std::mutex> lock(standin::g_logMutex);
    std::vector<StandinEvent> result;
    result.swap(standin::g_log);
    return result;
}

std::vector<StandinEvent> StandinPeekLog() {
    std::lock_guard<std::mutex> lock(standin::g_logMutex);
    return standin::g_log;
}

void StandinClearLog() {
    std::lock_guard<std::mutex> lock(standin::g_logMutex);
    standin::g_log.clear();
}

std::vector<StandinEvent> StandinEventsOf(const std::wstring& kind) {
    std::lock_guard<std::mutex> lock(standin::g_logMutex);
    std::vector<StandinEvent> result;
    for (const auto& e : standin::g_log) {
        if (e.kind == kind) result.push_back(e);
    }
    return result;
}

std::wstring StandinDetailValue(const std::wstring& detail, const std::wstring& key) {
    size_t pos = 0;
    while (pos <= detail.size()) {
        size_t end = detail.find(L' ', pos);
        if (end == std::wstring::npos) end = detail.size();
        std::wstring field = detail.substr(pos, end - pos);
        if (field.size() > key.size() && field.compare(0, key.size(), key) == 0 && field[key.size()] == L'=') {
            std::wstring value = field.substr(key.size() + 1);
            std::wstring out;
            for (size_t i = 0; i < value.size(); ++i) {
                if (value.compare(i, 3, L"%20") == 0) {
                    out += L' ';
                    i += 2;
                } else if (value.compare(i, 3, L"%25") == 0) {
                    out += L'%';
                    i += 2;
                } else {
                    out += value[i];
                }
            }
            return out;
        }
        pos = end + 1;
    }
    return std::wstring();
}

bool StandinPumpUntil(std::function<bool()> pred, DWORD timeoutMs) {
    return PumpMessagesUntil(pred, timeoutMs);
}

bool StandinWaitForEvent(const std::wstring& kind, DWORD timeoutMs, size_t count) {
    return StandinPumpUntil([&] { return StandinEventsOf(kind).size() >= count; }, timeoutMs);
}

void StandinSetDefaultPageColour(COLORREF colour) { standin::g_defaultColour = colour; }
