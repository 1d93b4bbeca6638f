// The framework layer on real windows: template splitting, message and
// event-sink dispatch, reflection, binding lifetime, modal loops, centring.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/CButton.h"
#include "framework/CDialog.h"
#include "framework/CDialogTemplate.h"
#include "framework/CWinApp.h"
#include "res/resource.h"

namespace {

const CLSID kBrowserClsid = {0x8856F961, 0x340A, 0x11D0,
                             {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};

// ---- dialog templates -------------------------------------------------------

INT_PTR CALLBACK NoDlgProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TEST(DialogTemplate, BrowserItemsAreSplitOutWithTheirPersistedState) {
    struct Case {
        UINT dialog;
        RECT rc;          // dialog units
        DWORD style;
        LONG cx, cy;      // HIMETRIC extent in the persisted state
    } cases[] = {
        {IDD_GAME_DIALOG, {7, 71, 7 + 441, 71 + 192}, 0x40010000, 17515, 8255},
        {IDD_LOGIN_ACTIVE, {0, 17, 372, 17 + 265}, 0x40000000, 17224, 12277},
    };
    for (const Case& c : cases) {
        CDialogTemplate t;
        ASSERT_TRUE(t.Load(GetModuleHandleW(nullptr), c.dialog)) << c.dialog;
        ASSERT_EQ(t.GetOleItems().size(), 1u) << c.dialog;
        const COleDialogItem& item = t.GetOleItems()[0];
        EXPECT_EQ(item.id, 1000u);
        EXPECT_TRUE(IsEqualCLSID(item.clsid, kBrowserClsid));
        EXPECT_EQ(item.style, c.style);
        EXPECT_TRUE(EqualRect(&item.rcDialogUnits, &c.rc)) << c.dialog;
        ASSERT_TRUE(item.hasPersistedState);
        ASSERT_EQ(item.persistedState.size(), 160u);
        LONG extent[2];
        memcpy(extent, item.persistedState.data() + 8, sizeof(extent));
        EXPECT_EQ(extent[0], c.cx);
        EXPECT_EQ(extent[1], c.cy);
    }
}

TEST(DialogTemplate, CreatableTemplateKeepsTheOrdinaryControls) {
    CDialogTemplate t;
    ASSERT_TRUE(t.Load(GetModuleHandleW(nullptr), IDD_GAME_DIALOG));
    HWND hDlg = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), t.GetCreatableTemplate(),
                                           nullptr, NoDlgProc, 0);
    ASSERT_NE(hDlg, nullptr);
    for (int id : {1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1009, 1011})
        EXPECT_NE(GetDlgItem(hDlg, id), nullptr) << id;
    EXPECT_EQ(GetDlgItem(hDlg, 1000), nullptr);
    DestroyWindow(hDlg);
}

TEST(DialogTemplate, TruncatedOrForeignDataIsRejectedOrIgnored) {
    CDialogTemplate t;
    const BYTE junk[3] = {1, 0, 0xFF};
    EXPECT_FALSE(t.Parse(junk, sizeof(junk)));
    EXPECT_FALSE(t.Load(GetModuleHandleW(nullptr), 4711));
    // Init data whose length runs past the end is ignored, not read beyond.
    ASSERT_TRUE(t.Load(GetModuleHandleW(nullptr), IDD_GAME_DIALOG));
    const BYTE bad[] = {0xE8, 0x03, 0x76, 0x03, 0xFF, 0xFF, 0x00, 0x00, 1, 2};
    t.ApplyInitData(bad, sizeof(bad));
    EXPECT_EQ(t.GetOleItems()[0].persistedState.size(), 160u);
}

// ---- windows for the dispatch tests ------------------------------------------

const wchar_t* TestClass() {
    static const wchar_t* name = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"FrameworkTestWindow";
        RegisterClassW(&wc);
        return L"FrameworkTestWindow";
    }();
    return name;
}

class CBaseWnd : public CWnd {
public:
    std::vector<std::string> calls;
    const CMessageMap* GetMessageMap() const override {
        static const CMessageMap map(CWnd::GetMessageMap(), {
            msg::Raw(WM_USER + 1, &CBaseWnd::OnBase),
            msg::Raw(WM_USER + 2, &CBaseWnd::OnOverridden),
        });
        return &map;
    }
    LRESULT OnBase(WPARAM, LPARAM) { calls.push_back("base"); return 11; }
    LRESULT OnOverridden(WPARAM, LPARAM) { calls.push_back("base2"); return 12; }
};

class CDerivedWnd : public CBaseWnd {
public:
    const CMessageMap* GetMessageMap() const override {
        static const CMessageMap map(CBaseWnd::GetMessageMap(), {
            msg::Raw(WM_USER + 2, &CDerivedWnd::OnDerived),
            msg::Command(77, &CDerivedWnd::OnCommand77),
            msg::Move(&CDerivedWnd::OnMove),
        });
        return &map;
    }
    LRESULT OnDerived(WPARAM w, LPARAM) { calls.push_back("derived" + std::to_string(w)); return 22; }
    void OnCommand77() { calls.push_back("cmd77"); }
    void OnMove(int x, int y) { calls.push_back("move" + std::to_string(x) + "," + std::to_string(y)); }
};

class CReflectingButton : public CButton {
public:
    bool swallow = false;
    int notified = 0;
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override {
        if (message == WM_COMMAND) {
            ++notified;
            if (swallow) { *pResult = 0; return TRUE; }
        }
        return CButton::OnChildNotify(message, wParam, lParam, pResult);
    }
};

TEST(MessageMap, DerivedEntriesWinAndBaseEntriesStillApply) {
    CDerivedWnd w;
    ASSERT_TRUE(w.CreateEx(0, TestClass(), L"t", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr));
    EXPECT_EQ(CWnd::FromHandlePermanent(w.m_hWnd), &w);
    EXPECT_EQ(w.SendMessage(WM_USER + 1), 11);
    EXPECT_EQ(w.SendMessage(WM_USER + 2, 5), 22);
    w.SendMessage(WM_MOVE, 0, MAKELPARAM(static_cast<WORD>(-3), 4));
    EXPECT_EQ(w.calls, (std::vector<std::string>{"base", "derived5", "move-3,4"}));
    // A message without an entry gets the default processing.
    EXPECT_EQ(w.SendMessage(WM_USER + 3), 0);
}

TEST(MessageMap, ChildNotificationsAreOfferedToTheChildFirst) {
    CDerivedWnd parent;
    ASSERT_TRUE(parent.CreateEx(0, TestClass(), L"p", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr));
    HWND hButton = CreateWindowExW(0, L"BUTTON", L"b", WS_CHILD | BS_PUSHBUTTON, 0, 0, 10, 10,
                                   parent.m_hWnd, reinterpret_cast<HMENU>(77), nullptr, nullptr);
    CReflectingButton button;
    ASSERT_TRUE(button.SubclassWindow(hButton));
    parent.SendMessage(WM_COMMAND, MAKEWPARAM(77, BN_CLICKED), reinterpret_cast<LPARAM>(hButton));
    EXPECT_EQ(button.notified, 1);
    EXPECT_EQ(parent.calls, (std::vector<std::string>{"cmd77"}));
    button.swallow = true;
    parent.SendMessage(WM_COMMAND, MAKEWPARAM(77, BN_CLICKED), reinterpret_cast<LPARAM>(hButton));
    EXPECT_EQ(button.notified, 2);
    EXPECT_EQ(parent.calls.size(), 1u);
    // Other notification codes of the same id are not a click.
    button.swallow = false;
    parent.SendMessage(WM_COMMAND, MAKEWPARAM(77, BN_SETFOCUS), reinterpret_cast<LPARAM>(hButton));
    EXPECT_EQ(parent.calls.size(), 1u);
}

TEST(WindowBinding, EndsAtDestructionAndRestoresTheProcedure) {
    HWND hWnd = CreateWindowExW(0, TestClass(), L"x", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                nullptr, nullptr, nullptr);
    {
        CDerivedWnd w;
        ASSERT_TRUE(w.SubclassWindow(hWnd));
        EXPECT_EQ(CWnd::FromHandlePermanent(hWnd), &w);
        EXPECT_NE(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hWnd, GWLP_WNDPROC)), DefWindowProcW);
        EXPECT_EQ(w.UnsubclassWindow(), hWnd);
        EXPECT_EQ(CWnd::FromHandlePermanent(hWnd), nullptr);
        EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hWnd, GWLP_WNDPROC)), DefWindowProcW);
        ASSERT_TRUE(w.SubclassWindow(hWnd));
        DestroyWindow(hWnd);
        EXPECT_EQ(w.m_hWnd, nullptr);
        EXPECT_EQ(CWnd::FromHandlePermanent(hWnd), nullptr);
    }
    // An object deleted by its own handler is never touched afterwards.
    class CSelfDeleting : public CWnd {
    public:
        const CMessageMap* GetMessageMap() const override {
            static const CMessageMap map(CWnd::GetMessageMap(),
                                         {msg::Raw(WM_USER, &CSelfDeleting::OnGo)});
            return &map;
        }
        LRESULT OnGo(WPARAM, LPARAM) { delete this; return 5; }
    };
    auto* self = new CSelfDeleting;
    ASSERT_TRUE(self->CreateEx(0, TestClass(), L"s", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr));
    HWND hSelf = self->m_hWnd;
    EXPECT_EQ(SendMessageW(hSelf, WM_USER, 0, 0), 5);
    EXPECT_FALSE(IsWindow(hSelf));
}

// ---- event-sink maps ----------------------------------------------------------

class CSinkWnd : public CWnd {
public:
    std::wstring url;
    LPDISPATCH disp = reinterpret_cast<LPDISPATCH>(1);
    bool called = false;
    bool cancelIn = true;
    BOOL setCancel = FALSE;
    const CEventSinkMap* GetEventSinkMap() const override {
        static const CEventSinkMap map(CWnd::GetEventSinkMap(), {
            sink::Event(1000, 250, &CSinkWnd::OnBefore),
        });
        return &map;
    }
    void OnBefore(LPDISPATCH pDisp, VARIANT* URL, VARIANT*, VARIANT*, VARIANT*, VARIANT*,
                  BOOL* Cancel) {
        called = true;
        disp = pDisp;
        url = (URL && URL->vt == VT_BSTR && URL->bstrVal) ? URL->bstrVal : L"";
        cancelIn = *Cancel != FALSE;
        *Cancel = setCancel;
    }
};

TEST(EventSinkMap, ArgumentsArriveInOrderAndCancelIsWrittenBack) {
    CSinkWnd w;
    VARIANT url;
    VariantInit(&url);
    url.vt = VT_BSTR;
    url.bstrVal = SysAllocString(L"http://h/x?client=1");
    VARIANT empty;
    VariantInit(&empty);
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANTARG args[7];
    for (auto& a : args) VariantInit(&a);
    // rgvarg holds the arguments last to first.
    args[6].vt = VT_DISPATCH;
    args[6].pdispVal = reinterpret_cast<IDispatch*>(0x1234);
    args[5].vt = VT_VARIANT | VT_BYREF;
    args[5].pvarVal = &url;
    for (int i = 1; i <= 4; ++i) {
        args[i].vt = VT_VARIANT | VT_BYREF;
        args[i].pvarVal = &empty;
    }
    args[0].vt = VT_BOOL | VT_BYREF;
    args[0].pboolVal = &cancel;
    DISPPARAMS params{args, nullptr, 7, 0};

    w.setCancel = TRUE;
    HRESULT hr = E_FAIL;
    EXPECT_TRUE(w.OnEvent(1000, 250, &params, &hr));
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(w.disp, reinterpret_cast<IDispatch*>(0x1234));
    EXPECT_EQ(w.url, L"http://h/x?client=1");
    EXPECT_FALSE(w.cancelIn);
    EXPECT_EQ(cancel, VARIANT_TRUE);

    // Unknown events and other controls are ignored.
    w.called = false;
    EXPECT_FALSE(w.OnEvent(1000, 251, &params, &hr));
    EXPECT_FALSE(w.OnEvent(1001, 250, &params, &hr));
    EXPECT_FALSE(w.called);

    // Too few arguments (or none at all) reach the handler as empty values.
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_TRUE(w.OnEvent(1000, 250, &none, &hr));
    EXPECT_TRUE(w.called);
    EXPECT_EQ(w.disp, nullptr);
    EXPECT_EQ(w.url, L"");
    EXPECT_TRUE(w.OnEvent(1000, 250, nullptr, &hr));
    VariantClear(&url);
}

// ---- modal loops -------------------------------------------------------------

// A dialog on template 172 that runs a step once it is up.
class CStepDialog : public CDialog {
public:
    explicit CStepDialog(std::function<void(CStepDialog&)> step)
        : CDialog(IDD_CONFIRM), m_step(std::move(step)) {}
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        PostMessage(WM_APP);
        return TRUE;
    }
    const CMessageMap* GetMessageMap() const override {
        static const CMessageMap map(CDialog::GetMessageMap(),
                                     {msg::Raw(WM_APP, &CStepDialog::OnStep)});
        return &map;
    }
    LRESULT OnStep(WPARAM, LPARAM) {
        m_step(*this);
        return 0;
    }

private:
    std::function<void(CStepDialog&)> m_step;
};

class TestApp : public CWinApp {};

TEST(ModalLoop, EndDialogGivesTheResult) {
    CStepDialog dlg([](CStepDialog& d) { d.EndDialog(42); });
    EXPECT_EQ(dlg.DoModal(), 42);
    EXPECT_EQ(dlg.m_hWnd, nullptr);  // destroyed after the loop
}

TEST(ModalLoop, QuitInsideANestedLoopEndsBothAndKeepsTheCode) {
    CWinApp* app = AfxGetApp();
    TestApp local;  // a process has one application object; tests may have none
    if (!app) app = &local;
    INT_PTR inner = 0;
    HWND hOuter = nullptr;
    bool outerDisabledDuringInner = false;
    CStepDialog outer([&](CStepDialog& o) {
        hOuter = o.m_hWnd;
        app->m_pMainWnd = &o;  // an ownerless modal dialog is owned by the main window
        CStepDialog in([&](CStepDialog&) {
            outerDisabledDuringInner = !IsWindowEnabled(hOuter);
            PostQuitMessage(16);
        });
        inner = in.DoModal();
    });
    EXPECT_EQ(outer.DoModal(), -1);
    app->m_pMainWnd = nullptr;
    EXPECT_EQ(inner, -1);
    EXPECT_TRUE(outerDisabledDuringInner);
    EXPECT_EQ(app->m_msgCur.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(app->m_msgCur.wParam, 16u);
    EXPECT_EQ(app->ExitInstance(), 16);
    // The quit was passed on once more by the outer loop (and the main
    // window's destruction posts one of its own): take it away.
    MSG m;
    EXPECT_TRUE(PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// ---- centring -------------------------------------------------------------------

TEST(CenterWindow, PopupWithoutOwnerIsCentredInTheWorkArea) {
    CDerivedWnd w;
    ASSERT_TRUE(w.CreateEx(0, TestClass(), L"c", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr));
    w.CenterWindow();
    RECT work, rc;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    w.GetWindowRect(&rc);
    EXPECT_EQ(rc.left, (work.left + work.right) / 2 - 150);
    EXPECT_EQ(rc.top, (work.top + work.bottom) / 2 - 100);
    // Larger than the work area: kept at its top-left corner.
    w.MoveWindow(0, 0, work.right - work.left + 500, 100);
    w.CenterWindow();
    w.GetWindowRect(&rc);
    EXPECT_EQ(rc.left, work.left);
}

TEST(CenterWindow, ChildIsCentredInItsParentsClientArea) {
    CDerivedWnd parent, child;
    ASSERT_TRUE(parent.CreateEx(0, TestClass(), L"p", WS_POPUP, 100, 100, 400, 300, nullptr, nullptr));
    ASSERT_TRUE(child.CreateEx(0, TestClass(), L"c", WS_CHILD, 0, 0, 100, 50, parent.m_hWnd,
                               reinterpret_cast<HMENU>(5)));
    child.CenterWindow();
    RECT rc;
    child.GetWindowRect(&rc);
    parent.ScreenToClient(&rc);
    EXPECT_EQ(rc.left, 150);
    EXPECT_EQ(rc.top, 125);
}

}  // namespace
