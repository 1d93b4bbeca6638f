#pragma once
// The stand-in browser engine: a small in-process COM object that answers for
// the WebBrowser control's class identifier in tests, where no HTML engine is
// available. It behaves like a windowed ActiveX browser control towards its
// host (in-place activation, persisted state, Navigate/Refresh through
// IDispatch, DWebBrowserEvents2 through a connection point, the host's
// IDocHostUIHandler) and fetches pages over plain HTTP/1.0 from a loopback
// server. Pages drive it through comments of the form
//
//     <!--standin: VERB ARGS-->
//
// carried out in order after NavigateComplete2, each as a posted step:
//     navigate URL       the top-level browser navigates to URL
//     frame NAME URL     the frame NAME (its own IDispatch object) navigates to URL
//     external NAME      reads window.external.NAME through the host's GetExternal
//     contextmenu        asks the host's ShowContextMenu
//     hostinfo           asks the host's GetHostInfo
//     key VK             a WM_KEYDOWN of VK through TranslateAccelerator
//                        (VK: decimal, 0x-hex, a letter/digit, or F1..F12,
//                        RETURN, TAB, ESCAPE, BACK, SPACE, LEFT, RIGHT, UP, DOWN)
//     color #RRGGBB      the colour this browser's window paints from now on
//     report TEXT        records TEXT
//
// Everything the engine observes is appended to an in-process log (below)
// and also reported to the server that served the browser's current page:
//     GET /standin/report?obj=N&kind=KIND&detail=DETAIL   (percent-encoded UTF-8)
// Reports made before any page of that browser was fetched are kept and sent
// to the first server that serves it a page (or at once to the server named
// by the environment variable STANDIN_REPORT_TO="127.0.0.1:PORT", if set).
//
// Log entries. `object` is the 1-based number of the top-level browser object
// (creation order in this process). `detail` is a list of key=value fields
// separated by single spaces; values never contain spaces (a space inside a
// value is written %20, a percent sign %25). Kinds and their fields:
//     created            (no fields)
//     destroyed          (no fields; the last reference went away)
//     InitNew            hr
//     Load               bytes head [cx cy]   head = hex of the first 16 bytes;
//                                             cx, cy (HIMETRIC) when bytes=160
//     Save               bytes
//     SetClientSite      site=set|null handler=yes|no
//     SetHostNames       app container
//     SetExtent          cx cy
//     DoVerb             verb hr hwnd pos=l,t,r,b
//     InPlaceActivate    parent pos=l,t,r,b clip=l,t,r,b
//     UIActivate         hr
//     UIDeactivate       (no fields)
//     InPlaceDeactivate  (no fields)
//     ShowUI             hr
//     SetObjectRects     pos=l,t,r,b clip=l,t,r,b
//     Advise             cookie iid=events|dispatch      (connection point)
//     Unadvise           cookie hr
//     Navigate           url pdisp=top|frame:NAME
//     Refresh            url                   (url empty: nothing to refresh)
//     BeforeNavigate2    url pdisp frame cancel=0|1 sinks
//     Fetch              url status bytes      (status 0: no answer; see hr)
//     NavigateComplete2  url pdisp sinks
//     DocumentComplete   url pdisp sinks
//     NavigateError      url pdisp status=0x........ cancel=0|1 sinks
//     GetHostInfo        hr flags=0x........ dblclk when=activate|page
//     ShowContextMenu    hr x y menu=suppressed|shown when=page|mouse
//     GetExternal        name hr ext=0x........ ids dispid invoke vt value release
//                        (ids/dispid/invoke/vt/value/release only as far as reached)
//     TranslateAccelerator  msg=0x.... vk handler=0x........|none result=0x........
//                           engine=none|refresh when=host|page
//     report             (the free text given by the page, verbatim)
//     UnknownInstruction verb
//     Close              save hr
// HRESULTs are written as 0x%08X; pointers as 0x%08X; a missing handler or
// object as "none".
#include <windows.h>
#include <ole2.h>
#include <functional>
#include <string>
#include <vector>

struct StandinEvent {
    int object = 0;        // 1-based number of the top-level browser object
    std::wstring kind;     // e.g. L"BeforeNavigate2"
    std::wstring detail;   // key=value fields, see above
};

// Registers the stand-in's class factory for the WebBrowser class identifier
// {8856F961-340A-11D0-A96B-00C04FD705A2} (CLSCTX_INPROC_SERVER,
// REGCLS_MULTIPLEUSE) on the calling apartment, so CoCreateInstance in this
// process creates stand-in browsers.
HRESULT StandinRegisterClassObject(DWORD* cookie);
HRESULT StandinRevokeClassObject(DWORD cookie);

// Creates a stand-in browser directly, without any registration.
HRESULT StandinCreateInstance(REFIID riid, void** ppv);

// True if `unknown` is (an interface of) a stand-in browser or frame object.
bool StandinIsStandin(IUnknown* unknown);

// Number of stand-in browser objects (top-level and frame) alive right now.
int StandinLiveObjects();

// The log: all entries so far (and clear it), a copy, or just clear it.
std::vector<StandinEvent> StandinTakeLog();
std::vector<StandinEvent> StandinPeekLog();
void StandinClearLog();

// Entries of the current log of one kind (copies, log untouched).
std::vector<StandinEvent> StandinEventsOf(const std::wstring& kind);

// The value of field `key` in a detail text ("" when absent; spaces decoded).
std::wstring StandinDetailValue(const std::wstring& detail, const std::wstring& key);

// Pumps this thread's messages (PeekMessage/TranslateMessage/DispatchMessage)
// until pred() is true or timeoutMs has passed; returns pred()'s last answer.
// A WM_QUIT seen while pumping is put back and ends the wait.
bool StandinPumpUntil(std::function<bool()> pred, DWORD timeoutMs);

// Pumps until the log holds at least `count` entries of `kind`.
bool StandinWaitForEvent(const std::wstring& kind, DWORD timeoutMs, size_t count = 1);

// Colour that newly created stand-in windows paint (default light grey,
// RGB(211, 211, 211)); a page can change its own with "color #RRGGBB".
void StandinSetDefaultPageColour(COLORREF colour);
