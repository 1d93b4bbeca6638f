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
// A URL argument beginning with "/" is taken relative to the page's server.
//
// Navigation, as the host sees it:
//   - Navigate (DISPID 104; URL as BSTR or VARIANT* holding a BSTR, then up to
//     four optional VARIANT*) raises BeforeNavigate2 (250) inside the call:
//     pDisp (VT_DISPATCH), URL, Flags (VT_I4 0), TargetFrameName (VT_BSTR,
//     "" for the top level), PostData (VT_EMPTY), Headers (VT_BSTR "") - each
//     a VT_BYREF|VT_VARIANT - and Cancel (VT_BYREF|VT_BOOL, VARIANT_FALSE).
//     Cancel set to VARIANT_TRUE: nothing more happens, nothing is fetched.
//   - Otherwise, from a posted message: GET over HTTP/1.0 (loopback hosts
//     only; "about:blank" completes without a fetch), NavigateComplete2 (252:
//     pDisp, VARIANT* URL), the page's instructions one posted step each,
//     then DocumentComplete (259: pDisp, VARIANT* URL).
//   - A frame navigation started by a page runs to its own DocumentComplete
//     before the page's remaining instructions and the page's
//     DocumentComplete; the host's Navigate calls and a page's "navigate"
//     queue behind everything already pending.
//   - Refresh (DISPID -550) fetches the top level's current URL again with
//     no BeforeNavigate2; NavigateComplete2, the instructions and
//     DocumentComplete follow as for a navigation. Nothing happens before
//     the first page has been fetched.
//   - A failed fetch raises NavigateError (271: pDisp, VARIANT* URL, VARIANT*
//     frame name, VARIANT* status code VT_I4, VT_BYREF|VT_BOOL Cancel) and no
//     NavigateComplete2/DocumentComplete. Status: the HTTP status for an
//     answer outside 2xx, else 0x800C0002 (not a loopback http URL),
//     0x800C0004 (cannot connect), 0x800C000B (timeout), 0x800C0008 (broken
//     answer).
//   - pDisp is the browser object itself for the top level, and for a frame
//     an IDispatch object of its own, the same for every navigation of that
//     frame name (StandinIsStandin answers true for both). Both answer
//     Navigate (104) and the property LocationURL (211).
//
// In-place activation (DoVerb OLEIVERB_INPLACEACTIVATE, SHOW, PRIMARY, or
// UIACTIVATE) creates a visible child window of class "StandinBrowserPage" in
// the site's window at GetWindowContext's position rectangle, then asks the
// host's GetHostInfo once. It paints a solid colour with the current URL
// (and each frame's) in small black text. A mouse click UI-activates it; a
// WM_CONTEXTMENU asks the host's ShowContextMenu (no menu is ever shown).
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
//     ShowUI             hr                    (at UI activation)
//     HideUI             hr                    (at UI deactivation)
//     SetObjectRects     pos=l,t,r,b clip=l,t,r,b
//     Advise             cookie iid=events|dispatch      (connection point)
//     Unadvise           cookie hr
//     Navigate           url pdisp=top|frame:NAME by=host|page
//     Refresh            url by=host|key       (url empty: nothing to refresh;
//                                              no BeforeNavigate2 follows, but
//                                              the fetch, NavigateComplete2, the
//                                              page's instructions and
//                                              DocumentComplete do)
//     BeforeNavigate2    url pdisp frame cancel=0|1 sinks
//     Fetch              url status bytes hr   (every request attempted;
//                                              status 0: no answer, see hr)
//     NavigateComplete2  url pdisp sinks
//     DocumentComplete   url pdisp sinks
//     NavigateError      url pdisp status=0x........ cancel=0|1 sinks
//     GetHostInfo        hr flags=0x........ dblclk when=activate|page
//     ShowContextMenu    hr x y menu=suppressed|shown when=page|mouse
//     GetExternal        name hr ext=0x........ ids dispid invoke vt value release
//                        (ids/dispid/invoke/vt/value/release only as far as reached)
//     TranslateAccelerator  msg=0x.... vk handler=0x........|none result=0x........
//                           engine=none|refresh|refresh-skipped when=host|page
//                        Only key messages are offered to the host (others
//                        give S_FALSE, unlogged). When the host does not take
//                        the key, F5 is the engine's own reload (result S_OK);
//                        a page's "key F5" only says so (refresh-skipped).
//     report             (the free text given by the page, verbatim)
//     UnknownInstruction verb args
//     Close              save hr
// HRESULTs are written as 0x%08X; pointers as 0x%08X; a missing handler or
// object as "none".
//
// The same engine is built as standin_browser.dll (next to the test
// programs), exporting DllGetClassObject, DllCanUnloadNow, DllRegisterServer
// and DllUnregisterServer. DllRegisterServer writes the class's
// InprocServer32 (this DLL, ThreadingModel Apartment) under both
// HKCU\Software\Classes and HKLM\Software\Classes: Wine's class lookup reads
// only the machine's classes, so it is the HKLM entry that makes
// CoCreateInstance in another process of the prefix load the stand-in. The
// system's previous server path is kept in the value "StandinPreviousServer"
// and put back by DllUnregisterServer. A process using the DLL has its own
// copy of the log; only the HTTP reports are visible from outside.
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
