// Hosting the browser control in a dialog: our control container and custom
// site, the wrapper's two commands, the event-sink map, the document host UI
// handler and the external object — with the stand-in engine, and with the
// system's own control where it can answer.
#include <gtest/gtest.h>
#include <windows.h>
#include <mshtmhst.h>

#include <string>
#include <vector>

#include "app/CLoginApp.h"
#include "browser/CCustomControlSite.h"
#include "browser/CCustomOccManager.h"
#include "browser/CImpIDispatch.h"
#include "browser/CWebBrowser2.h"
#include "framework/CDataExchange.h"
#include "framework/CDialog.h"
#include "framework/COleControlContainer.h"
#include "res/resource.h"
#include "standin/StandinBrowser.h"
#include "support/LoopbackHttpServer.h"

namespace {

// A dialog on the portal template that records the browser's events.
class CHostDlg : public CDialog {
public:
    CHostDlg() = default;
    CWebBrowser2 m_browser;
    std::vector<std::wstring> events;
    std::wstring cancelWhenUrlHas;
    bool dispatchWasSet = true;

    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Control(pDX, IDC_BROWSER, m_browser);
    }
    const CEventSinkMap* GetEventSinkMap() const override {
        static const CEventSinkMap map(CDialog::GetEventSinkMap(), {
            sink::Event(IDC_BROWSER, 250, &CHostDlg::OnBeforeNavigate2),
            sink::Event(IDC_BROWSER, 252, &CHostDlg::OnNavigateComplete2),
            sink::Event(IDC_BROWSER, 259, &CHostDlg::OnDocumentComplete),
        });
        return &map;
    }
    static std::wstring Text(VARIANT* v) {
        return v && v->vt == VT_BSTR && v->bstrVal ? v->bstrVal : L"";
    }
    void OnBeforeNavigate2(LPDISPATCH pDisp, VARIANT* URL, VARIANT*, VARIANT*, VARIANT*, VARIANT*,
                           BOOL* Cancel) {
        dispatchWasSet = dispatchWasSet && pDisp != nullptr;
        events.push_back(L"before " + Text(URL));
        if (!cancelWhenUrlHas.empty() && Text(URL).find(cancelWhenUrlHas) != std::wstring::npos)
            *Cancel = TRUE;
    }
    void OnNavigateComplete2(LPDISPATCH pDisp, VARIANT* URL) {
        dispatchWasSet = dispatchWasSet && pDisp != nullptr;
        events.push_back(L"complete " + Text(URL));
    }
    void OnDocumentComplete(LPDISPATCH, VARIANT* URL) { events.push_back(L"document " + Text(URL)); }
};

void Navigate(CWebBrowser2& browser, const std::wstring& url) {
    VARIANT empty;
    VariantInit(&empty);
    browser.Navigate(url.c_str(), &empty, &empty, &empty, &empty);
}

class HostingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static CCustomOccManager manager;
        AfxEnableControlContainer(&manager);
        if (!theApp.m_pDispatch) theApp.m_pDispatch = new CImpIDispatch();
    }
    void SetUp() override {
        ASSERT_TRUE(server.Start());
        StandinClearLog();
    }
    LoopbackHttpServer server;
};

class StandinHosting : public HostingTest {
protected:
    void SetUp() override {
        HostingTest::SetUp();
        ASSERT_EQ(StandinRegisterClassObject(&cookie), S_OK);
    }
    void TearDown() override { StandinRevokeClassObject(cookie); }
    DWORD cookie = 0;
};

TEST_F(StandinHosting, TheTemplateItemBecomesAnInPlaceActiveControlWithItsPersistedState) {
    CHostDlg dlg;
    ASSERT_TRUE(dlg.Create(IDD_LOGIN_ACTIVE, nullptr));
    ASSERT_NE(dlg.m_pCtrlCont, nullptr);
    COleControlSite* site = dlg.m_pCtrlCont->FindSite(IDC_BROWSER);
    ASSERT_NE(site, nullptr);
    EXPECT_NE(dynamic_cast<CCustomControlSite*>(site), nullptr);
    EXPECT_EQ(dlg.m_browser.m_hWnd, site->m_hWnd);
    EXPECT_EQ(GetDlgItem(dlg.m_hWnd, IDC_BROWSER), site->m_hWnd);
    EXPECT_FALSE(IsWindowVisible(site->m_hWnd));  // the item has no WS_VISIBLE

    auto loads = StandinEventsOf(L"Load");
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(StandinDetailValue(loads[0].detail, L"bytes"), L"160");
    EXPECT_EQ(StandinDetailValue(loads[0].detail, L"cx"), L"17224");
    EXPECT_EQ(StandinDetailValue(loads[0].detail, L"cy"), L"12277");
    EXPECT_TRUE(StandinEventsOf(L"InitNew").empty());
    EXPECT_EQ(StandinEventsOf(L"Advise").size(), 1u);

    // The item's rectangle, converted from dialog units.
    RECT expected{0, 17, 372, 17 + 265};
    MapDialogRect(dlg.m_hWnd, &expected);
    RECT rc;
    GetWindowRect(site->m_hWnd, &rc);
    MapWindowPoints(nullptr, dlg.m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
    EXPECT_TRUE(EqualRect(&rc, &expected));

    // MoveWindow and ShowWindow on the wrapper go through the site.
    dlg.m_browser.MoveWindow(270, 141, 631, 444, TRUE);
    dlg.m_browser.ShowWindow(SW_SHOW);
    GetWindowRect(site->m_hWnd, &rc);
    MapWindowPoints(nullptr, dlg.m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
    RECT moved{270, 141, 901, 585};
    EXPECT_TRUE(EqualRect(&rc, &moved));
    EXPECT_TRUE(dlg.m_browser.IsWindowVisible());
    EXPECT_FALSE(StandinEventsOf(L"SetObjectRects").empty());

    dlg.DestroyWindow();
    EXPECT_EQ(dlg.m_browser.m_hWnd, nullptr);
    EXPECT_EQ(dlg.m_browser.m_pCtrlSite, nullptr);
    EXPECT_EQ(StandinEventsOf(L"Unadvise").size(), 1u);
    EXPECT_EQ(StandinEventsOf(L"Close").size(), 1u);
    EXPECT_EQ(StandinLiveObjects(), 0);
}

TEST_F(StandinHosting, NavigateAndRefreshGoThroughTheirDispidsAndRaiseTheEvents) {
    server.SetPage(L"/micro/", "<html>portal</html>");
    CHostDlg dlg;
    ASSERT_TRUE(dlg.Create(IDD_LOGIN_ACTIVE, nullptr));
    const std::wstring url = server.Url(L"/micro/");
    Navigate(dlg.m_browser, url);
    ASSERT_TRUE(StandinWaitForEvent(L"DocumentComplete", 5000));
    EXPECT_EQ(dlg.events, (std::vector<std::wstring>{L"before " + url, L"complete " + url,
                                                     L"document " + url}));
    EXPECT_TRUE(dlg.dispatchWasSet);
    EXPECT_EQ(server.RequestCount(L"/micro/"), 1u);

    dlg.events.clear();
    dlg.m_browser.Refresh();
    ASSERT_TRUE(server.WaitForRequest(L"/micro/", 5000, 2));
    auto refresh = StandinEventsOf(L"Refresh");
    ASSERT_EQ(refresh.size(), 1u);
    EXPECT_EQ(StandinDetailValue(refresh[0].detail, L"url"), url);
    dlg.DestroyWindow();
}

TEST_F(StandinHosting, CancelInBeforeNavigate2StopsTheFetch) {
    server.SetPage(L"/micro/", "<html>portal</html>");
    server.SetPage(L"/game/", "<html>game</html>");
    CHostDlg dlg;
    ASSERT_TRUE(dlg.Create(IDD_LOGIN_ACTIVE, nullptr));
    dlg.cancelWhenUrlHas = L"/game/";
    Navigate(dlg.m_browser, server.Url(L"/game/?x=1"));
    Navigate(dlg.m_browser, server.Url(L"/micro/"));
    ASSERT_TRUE(StandinWaitForEvent(L"DocumentComplete", 5000));
    EXPECT_EQ(server.RequestCount(L"/game/"), 0u);
    EXPECT_EQ(server.RequestCount(L"/micro/"), 1u);
    auto before = StandinEventsOf(L"BeforeNavigate2");
    ASSERT_EQ(before.size(), 2u);
    EXPECT_EQ(StandinDetailValue(before[0].detail, L"cancel"), L"1");
    EXPECT_EQ(StandinDetailValue(before[1].detail, L"cancel"), L"0");
    dlg.DestroyWindow();
}

TEST_F(StandinHosting, PagesGetTheHostsUiAnswersAndTheExternalObject) {
    server.SetPage(L"/micro/",
                   "<html><!--standin: hostinfo--><!--standin: contextmenu-->"
                   "<!--standin: external xxyyzz--><!--standin: external nothere-->"
                   "<!--standin: key 0x74--><!--standin: report done--></html>");
    CHostDlg dlg;
    ASSERT_TRUE(dlg.Create(IDD_LOGIN_ACTIVE, nullptr));
    Navigate(dlg.m_browser, server.Url(L"/micro/"));
    ASSERT_TRUE(StandinWaitForEvent(L"report", 5000));

    auto hostinfo = StandinEventsOf(L"GetHostInfo");
    ASSERT_FALSE(hostinfo.empty());
    for (const auto& e : hostinfo) {
        EXPECT_EQ(StandinDetailValue(e.detail, L"flags"), L"0x0000000C");
        EXPECT_EQ(StandinDetailValue(e.detail, L"dblclk"), L"0");
    }
    auto menu = StandinEventsOf(L"ShowContextMenu");
    ASSERT_EQ(menu.size(), 1u);
    EXPECT_EQ(StandinDetailValue(menu[0].detail, L"hr"), L"0x00000000");
    EXPECT_EQ(StandinDetailValue(menu[0].detail, L"menu"), L"suppressed");
    auto external = StandinEventsOf(L"GetExternal");
    ASSERT_EQ(external.size(), 2u);
    EXPECT_EQ(StandinDetailValue(external[0].detail, L"value"), L"Vjaxkm");
    EXPECT_EQ(StandinDetailValue(external[0].detail, L"dispid"), L"12345");
    EXPECT_EQ(StandinDetailValue(external[1].detail, L"ids"), L"0x80020006");
    auto keys = StandinEventsOf(L"TranslateAccelerator");
    ASSERT_FALSE(keys.empty());
    EXPECT_EQ(StandinDetailValue(keys.back().detail, L"handler"), L"0x00000001");  // S_FALSE: not filtered
    dlg.DestroyWindow();
}

TEST_F(HostingTest, EachGetExternalHandsOutTheApplicationsObjectWithOneMoreReference) {
    CCustomControlSite* site = new CCustomControlSite(nullptr);
    IDocHostUIHandler* handler = nullptr;
    ASSERT_EQ(site->QueryInterface(IID_IDocHostUIHandler, reinterpret_cast<void**>(&handler)), S_OK);
    // The handler shares the site's identity.
    IUnknown* viaHandler = nullptr;
    IUnknown* viaSite = nullptr;
    handler->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaHandler));
    site->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaSite));
    EXPECT_EQ(viaHandler, viaSite);
    viaHandler->Release();
    viaSite->Release();

    const ULONG before = theApp.m_pDispatch->m_cRef;
    for (ULONG i = 1; i <= 3; ++i) {
        IDispatch* external = nullptr;
        EXPECT_EQ(handler->GetExternal(&external), S_OK);
        EXPECT_EQ(external, static_cast<IDispatch*>(theApp.m_pDispatch));
        EXPECT_EQ(theApp.m_pDispatch->m_cRef, before + i);
    }
    EXPECT_EQ(handler->GetExternal(nullptr), E_POINTER);
    theApp.m_pDispatch->m_cRef = before;

    DOCHOSTUIINFO info{};
    info.cbSize = sizeof(info);
    info.dwFlags = 0xFFFF0000;
    info.dwDoubleClick = 7;
    EXPECT_EQ(handler->GetHostInfo(&info), S_OK);
    EXPECT_EQ(info.dwFlags, 0x0000000Cu);
    EXPECT_EQ(info.dwDoubleClick, 0u);
    EXPECT_EQ(info.cbSize, sizeof(info));
    EXPECT_EQ(handler->ShowContextMenu(0, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(handler->TranslateAccelerator(nullptr, nullptr, 0), S_FALSE);
    EXPECT_EQ(handler->ShowUI(0, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(handler->EnableModeless(TRUE), E_NOTIMPL);
    EXPECT_EQ(handler->TranslateUrl(0, nullptr, nullptr), E_NOTIMPL);
    handler->Release();
    EXPECT_EQ(site->Release(), 0u);
}

TEST_F(StandinHosting, EveryActiveXItemOfAnyDialogGetsTheCustomSite) {
    // The game window's template, and a control created at run time.
    CHostDlg dlg;
    dlg.m_nIDHelp = 0;
    ASSERT_TRUE(dlg.Create(IDD_GAME_DIALOG, nullptr));
    ASSERT_NE(dlg.m_pCtrlCont, nullptr);
    for (COleControlSite* site : dlg.m_pCtrlCont->Sites())
        EXPECT_NE(dynamic_cast<CCustomControlSite*>(site), nullptr);
    CWebBrowser2 extra;
    ASSERT_TRUE(extra.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, RECT{0, 0, 100, 100}, &dlg, 2000));
    EXPECT_NE(dynamic_cast<CCustomControlSite*>(extra.m_pCtrlSite), nullptr);
    EXPECT_EQ(dlg.m_pCtrlCont->Sites().size(), 2u);
    EXPECT_TRUE(GetWindowLongW(extra.m_hWnd, GWL_STYLE) & WS_VISIBLE);  // the dialog itself is hidden
    dlg.DestroyWindow();
    EXPECT_EQ(extra.m_hWnd, nullptr);
    EXPECT_EQ(StandinLiveObjects(), 0);
}

// A class factory that cannot make anything: the control can't be created.
class CFailingFactory : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = this;
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown*, REFIID, void** ppv) override {
        *ppv = nullptr;
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

TEST_F(HostingTest, ADialogWhoseControlCannotBeCreatedStillWorksWithoutIt) {
    static CFailingFactory factory;
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(CWebBrowser2::GetClsid(), &factory, CLSCTX_INPROC_SERVER,
                                    REGCLS_MULTIPLEUSE, &cookie), S_OK);
    CHostDlg dlg;
    EXPECT_TRUE(dlg.Create(IDD_LOGIN_ACTIVE, nullptr));
    CoRevokeClassObject(cookie);
    EXPECT_EQ(dlg.m_browser.m_hWnd, nullptr);
    EXPECT_EQ(dlg.m_browser.m_pCtrlSite, nullptr);
    Navigate(dlg.m_browser, L"http://127.0.0.1/x");  // nothing behind it: nothing happens
    dlg.m_browser.Refresh();
    dlg.m_browser.ShowWindow(SW_SHOW);
    dlg.m_browser.MoveWindow(1, 2, 3, 4, TRUE);
    EXPECT_NE(GetDlgItem(dlg.m_hWnd, 1005), nullptr);  // the rest of the dialog is there
    EXPECT_TRUE(dlg.events.empty());
    dlg.DestroyWindow();
}

// The system's own control: events and cancellation, no page rendering.
TEST_F(HostingTest, SystemControlRaisesBeforeNavigate2AndHonoursCancel) {
    server.SetPage(L"/micro/", "<html>portal</html>");
    server.SetPage(L"/game/", "<html>game</html>");
    CHostDlg dlg;
    ASSERT_TRUE(dlg.Create(IDD_LOGIN_ACTIVE, nullptr));
    ASSERT_NE(dlg.m_browser.m_hWnd, nullptr) << "the system's WebBrowser control is not available";
    EXPECT_FALSE(StandinIsStandin(dlg.m_pCtrlCont->FindSite(IDC_BROWSER)->m_pObject.Get()));
    dlg.cancelWhenUrlHas = L"/game/";
    Navigate(dlg.m_browser, server.Url(L"/game/?client=1"));
    Navigate(dlg.m_browser, server.Url(L"/micro/"));
    EXPECT_TRUE(server.WaitForRequest(L"/micro/", 8000));
    ASSERT_GE(dlg.events.size(), 2u);
    EXPECT_EQ(dlg.events[0], L"before " + server.Url(L"/game/?client=1"));
    EXPECT_EQ(dlg.events[1], L"before " + server.Url(L"/micro/"));
    EXPECT_EQ(server.RequestCount(L"/game/"), 0u);
    dlg.DestroyWindow();
}

}  // namespace
