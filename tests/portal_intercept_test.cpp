// The portal dialog's game-start rule, in-process: the BeforeNavigate2
// event is made by hand and handed to the live dialog through its event-sink
// map, exactly as the browser's connection point delivers it (seven
// arguments in reverse order, the URL a VARIANT by reference). So URL
// arguments that no page can carry are tested here: embedded null
// characters, null BSTRs, lone surrogates, non-string variants, missing
// arguments, a megabyte of text and a storm of a thousand events.
//
// The browsers are the stand-in engine's; nothing here pumps messages, so no
// page is ever fetched. A game start creates the real game window through
// window switching (theApp.m_pGameDialog).
#include <windows.h>
#include <oleauto.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "app/CLoginApp.h"
#include "app/WindowSwitching.h"
#include "game/CGameDialog.h"
#include "launcher/CLoginActiveDlg.h"
#include "res/resource.h"
#include "tests/standin/StandinBrowser.h"
#include "tests/support/GameWindowTesting.h"
#include "tests/support/MessageBoxWatcher.h"

namespace {

constexpr DISPID kBeforeNavigate2 = 250;
constexpr size_t kMegabyte = 1024 * 1024;

std::wstring Padding(size_t n) {
    std::wstring pad;
    pad.reserve(n);
    for (size_t i = 0; i < n; ++i) pad += static_cast<wchar_t>(L'a' + i % 26);
    return pad;
}

// How the URL argument arrives.
enum class Form {
    VariantByRef,  // VT_BYREF | VT_VARIANT pointing at a VT_BSTR (what browsers send)
    Bstr,          // the VT_BSTR itself
    BstrByRef,     // VT_BYREF | VT_BSTR
    NullBstr,      // VT_BYREF | VT_VARIANT pointing at a VT_BSTR whose BSTR is null
    Integer,       // VT_BYREF | VT_VARIANT pointing at a VT_I4
    Empty,         // VT_BYREF | VT_VARIANT pointing at a VT_EMPTY
};

// A BSTR of exactly `text` (null characters included), freed at the end.
class Bstr {
public:
    explicit Bstr(const std::wstring& text) : b_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~Bstr() { SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return b_; }

private:
    BSTR b_;
};

class PortalIntercept : public ::testing::Test {
protected:
    void SetUp() override {
        gametest::PrepareProcess();
        ASSERT_EQ(nullptr, theApp.m_pGameDialog);
        dlg = new CLoginActiveDlg(nullptr);
        ASSERT_TRUE(dlg->Create(IDD_LOGIN_ACTIVE, nullptr));
        StandinClearLog();  // the dialog's own navigation to the portal
    }

    void TearDown() override {
        TearDownGameDialog();
        delete dlg;
        dlg = nullptr;
        EXPECT_TRUE(watcher.Boxes().empty()) << "a message box came up";
    }

    // BeforeNavigate2 of control 1000 as the browser fires it; returns the
    // event's Cancel value after the dialog's handler.
    VARIANT_BOOL Fire(Form form, const std::wstring& url, VARIANT_BOOL cancelIn = VARIANT_FALSE) {
        Bstr text(url);
        VARIANT target;
        VariantInit(&target);
        BSTR byRefBstr = text.get();
        switch (form) {
        case Form::VariantByRef:
        case Form::Bstr:
            target.vt = VT_BSTR;
            target.bstrVal = text.get();
            break;
        case Form::BstrByRef:
            target.vt = VT_BSTR | VT_BYREF;
            target.pbstrVal = &byRefBstr;
            break;
        case Form::NullBstr:
            target.vt = VT_BSTR;
            target.bstrVal = nullptr;
            break;
        case Form::Integer:
            target.vt = VT_I4;
            target.lVal = 1;
            break;
        case Form::Empty:
            break;
        }
        VARIANT flags, frame, post, headers;
        VariantInit(&flags);
        flags.vt = VT_I4;
        flags.lVal = 0;
        Bstr noFrame(L""), noHeaders(L"");
        VariantInit(&frame);
        frame.vt = VT_BSTR;
        frame.bstrVal = noFrame.get();
        VariantInit(&post);
        VariantInit(&headers);
        headers.vt = VT_BSTR;
        headers.bstrVal = noHeaders.get();
        VARIANT_BOOL cancel = cancelIn;

        VARIANT args[7];
        for (VARIANT& a : args) VariantInit(&a);
        args[6].vt = VT_DISPATCH;
        args[6].pdispVal = nullptr;
        if (form == Form::Bstr || form == Form::BstrByRef) {
            args[5] = target;
        } else {
            args[5].vt = VT_BYREF | VT_VARIANT;
            args[5].pvarVal = &target;
        }
        VARIANT* byRef[] = {&headers, &post, &frame, &flags};
        for (int i = 0; i < 4; ++i) {
            args[1 + i].vt = VT_BYREF | VT_VARIANT;
            args[1 + i].pvarVal = byRef[i];
        }
        args[0].vt = VT_BYREF | VT_BOOL;
        args[0].pboolVal = &cancel;
        DISPPARAMS params{args, nullptr, 7, 0};
        HRESULT hr = E_FAIL;
        EXPECT_TRUE(dlg->OnEvent(IDC_BROWSER, kBeforeNavigate2, &params, &hr)) << "no handler for the event";
        EXPECT_EQ(S_OK, hr);
        return cancel;
    }

    // URLs the game window's browser was navigated to (by the program).
    static std::vector<std::wstring> GameNavigations() {
        std::vector<std::wstring> urls;
        for (const StandinEvent& e : StandinEventsOf(L"Navigate"))
            if (StandinDetailValue(e.detail, L"by") == L"host") urls.push_back(StandinDetailValue(e.detail, L"url"));
        return urls;
    }

    // Top-level game windows of this process.
    static int GameWindowCount() {
        int n = 0;
        for (HWND h = GetTopWindow(nullptr); h; h = GetWindow(h, GW_HWNDNEXT)) {
            DWORD pid = 0;
            GetWindowThreadProcessId(h, &pid);
            wchar_t cls[32] = {}, text[64] = {};
            GetClassNameW(h, cls, 32);
            InternalGetWindowText(h, text, 64);
            if (pid == GetCurrentProcessId() && std::wstring(cls) == L"#32770" &&
                std::wstring(text) == L"PellumoZarvotek")
                ++n;
        }
        return n;
    }

    MessageBoxWatcher watcher;
    CLoginActiveDlg* dlg = nullptr;
};

struct UrlCase {
    const char* name;
    Form form;
    std::wstring url;
    bool intercepted;
    std::wstring passedOn;  // what the game window gets (when intercepted)
    VARIANT_BOOL cancelIn = VARIANT_FALSE;
};

// Test names and failure messages show the case by its name.
void PrintTo(const UrlCase& c, std::ostream* os) { *os << c.name; }

std::vector<UrlCase> UrlCases() {
    const std::wstring g = L"http://game.invalid/";
    const std::wstring mb = Padding(kMegabyte);
    const std::wstring nul(1, L'\0');
    return {
        // Where the token stands.
        {"LastOfSeveralParameters", Form::VariantByRef, g + L"?a=1&b=2&client=1", true, g + L"?a=1&b=2&client=1"},
        {"StartOfALongerValue", Form::VariantByRef, g + L"?client=10", true, g + L"?client=10"},
        {"EndOfALongerName", Form::VariantByRef, g + L"?xclient=1", true, g + L"?xclient=1"},
        {"InTheFragment", Form::VariantByRef, g + L"#client=1", true, g + L"#client=1"},
        {"InThePath", Form::VariantByRef, g + L"client=1/start", true, g + L"client=1/start"},
        {"InTheHost", Form::VariantByRef, L"http://client=1.invalid/", true, L"http://client=1.invalid/"},
        {"TheWholeUrl", Form::VariantByRef, L"client=1", true, L"client=1"},
        // What is not the token.
        {"UpperCase", Form::VariantByRef, g + L"?CLIENT=1", false, L""},
        {"Capitalised", Form::VariantByRef, g + L"?Client=1", false, L""},
        {"EqualsSignPercentEncoded", Form::VariantByRef, g + L"?client%3D1", false, L""},
        {"FullWidthLetter", Form::VariantByRef, g + L"?\xFF43lient=1", false, L""},
        {"TokenCutShort", Form::VariantByRef, g + L"?client=", false, L""},
        {"EmptyUrl", Form::VariantByRef, L"", false, L""},
        {"NullBstr", Form::NullBstr, L"", false, L""},
        {"IntegerArgument", Form::Integer, L"", false, L""},
        {"EmptyArgument", Form::Empty, L"", false, L""},
        // Embedded null characters: the URL ends at the first one.
        {"TokenAfterANull", Form::VariantByRef, g + L"?a=1" + nul + L"&client=1", false, L""},
        {"NullInsideTheToken", Form::VariantByRef, g + L"?clie" + nul + L"nt=1", false, L""},
        {"NullFirst", Form::VariantByRef, nul + g + L"?client=1", false, L""},
        {"TokenBeforeANull", Form::VariantByRef, g + L"?client=1" + nul + L"&junk", true, g + L"?client=1"},
        // Lone surrogates are code units like any other, passed on unchanged.
        {"LoneLeadSurrogateBefore", Form::VariantByRef, g + L"?n=\xD800&client=1", true, g + L"?n=\xD800&client=1"},
        {"LoneTrailSurrogateAfter", Form::VariantByRef, g + L"?client=1\xDC00", true, g + L"?client=1\xDC00"},
        {"ReversedPair", Form::VariantByRef, g + L"?\xDC00\xD800&client=1", true, g + L"?\xDC00\xD800&client=1"},
        {"SurrogateInsideTheToken", Form::VariantByRef, g + L"?client\xD800=1", false, L""},
        // A megabyte.
        {"MegabyteTokenAtTheEnd", Form::VariantByRef, g + L"?pad=" + mb + L"&client=1", true,
         g + L"?pad=" + mb + L"&client=1"},
        {"MegabyteTokenCutShort", Form::VariantByRef, g + L"?pad=" + mb + L"&client=", false, L""},
        {"MegabyteAfterTheTokenAndANull", Form::VariantByRef, g + L"?client=1" + nul + mb, true, g + L"?client=1"},
        // Other shapes of the argument.
        {"PlainBstr", Form::Bstr, g + L"?client=1", true, g + L"?client=1"},
        {"BstrByReference", Form::BstrByRef, g + L"?client=1", true, g + L"?client=1"},
        // Cancel is left as the browser passed it when nothing is intercepted.
        {"CancelAlreadySetStays", Form::VariantByRef, g + L"?server=1", false, L"", VARIANT_TRUE},
        {"CancelAlreadySetGameUrl", Form::VariantByRef, g + L"?client=1", true, g + L"?client=1", VARIANT_TRUE},
    };
}

class InterceptRule : public PortalIntercept, public ::testing::WithParamInterface<UrlCase> {};

TEST_P(InterceptRule, CancelsAndOpensTheGameOnExactlyTheTextUpToTheFirstNull) {
    const UrlCase& c = GetParam();
    const VARIANT_BOOL cancel = Fire(c.form, c.url, c.cancelIn);
    if (c.intercepted) {
        EXPECT_EQ(VARIANT_TRUE, cancel);
        ASSERT_NE(nullptr, theApp.m_pGameDialog) << "no game window";
        const std::vector<std::wstring> games = GameNavigations();
        ASSERT_EQ(1u, games.size());
        EXPECT_EQ(c.passedOn.size(), games[0].size());
        EXPECT_TRUE(games[0] == c.passedOn) << "the game window got another URL";
        EXPECT_TRUE(IsWindowVisible(theApp.m_pGameDialog->m_hWnd));
    } else {
        EXPECT_EQ(c.cancelIn, cancel);
        EXPECT_EQ(nullptr, theApp.m_pGameDialog);
        EXPECT_TRUE(GameNavigations().empty());
    }
    EXPECT_TRUE(IsWindow(dlg->m_hWnd));
}

INSTANTIATE_TEST_SUITE_P(Urls, InterceptRule, ::testing::ValuesIn(UrlCases()),
                         [](const ::testing::TestParamInfo<UrlCase>& info) { return std::string(info.param.name); });

// The rule itself, on plain text.
TEST(GameStartUrl, IsACaseSensitiveSearchForClientEqualsOne) {
    struct Row {
        const wchar_t* url;
        bool game;
    };
    const Row rows[] = {
        {L"http://h/?client=1", true},   {L"http://h/?client=10", true}, {L"http://h/?xclient=1", true},
        {L"http://h/#client=1", true},   {L"client=1", true},            {L"http://h/?CLIENT=1", false},
        {L"http://h/?Client=1", false},  {L"http://h/?client%3D1", false}, {L"http://h/?client =1", false},
        {L"http://h/?client=", false},   {L"", false},                   {nullptr, false},
    };
    for (const Row& r : rows)
        EXPECT_EQ(r.game, CLoginActiveDlg::IsGameStartUrl(r.url)) << (r.url ? r.url : L"(null)");
}

// An event with fewer arguments than the browser sends (no Cancel, or no
// URL) neither crashes nor goes wrong: without a URL nothing is intercepted,
// without Cancel the game still starts.
TEST_F(PortalIntercept, EventsWithMissingArgumentsAreHandled) {
    VARIANT url;
    VariantInit(&url);
    Bstr text(L"http://game.invalid/?client=1");
    url.vt = VT_BSTR;
    url.bstrVal = text.get();
    VARIANT args[2];
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    args[1].vt = VT_DISPATCH;
    args[1].pdispVal = nullptr;
    args[0].vt = VT_BYREF | VT_VARIANT;
    args[0].pvarVal = &url;

    DISPPARAMS onlyDispatch{&args[1], nullptr, 1, 0};
    HRESULT hr = E_FAIL;
    EXPECT_TRUE(dlg->OnEvent(IDC_BROWSER, kBeforeNavigate2, &onlyDispatch, &hr));
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(nullptr, theApp.m_pGameDialog);

    DISPPARAMS noCancel{args, nullptr, 2, 0};
    EXPECT_TRUE(dlg->OnEvent(IDC_BROWSER, kBeforeNavigate2, &noCancel, &hr));
    EXPECT_EQ(S_OK, hr);
    ASSERT_NE(nullptr, theApp.m_pGameDialog);
    EXPECT_EQ(std::vector<std::wstring>{L"http://game.invalid/?client=1"}, GameNavigations());

    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_TRUE(dlg->OnEvent(IDC_BROWSER, kBeforeNavigate2, &none, &hr));
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(1u, GameNavigations().size());
}

// A thousand events of every kind above, game starts among them: one game
// window throughout, reused, getting exactly the game URLs in order.
TEST_F(PortalIntercept, StormOfAThousandEventsKeepsOneGameWindowAndTheRuleExact) {
    const std::vector<UrlCase> cases = UrlCases();
    std::vector<std::wstring> expected;
    CGameDialog* game = nullptr;
    for (int i = 0; i < 1000; ++i) {
        const UrlCase& c = cases[static_cast<size_t>(i) % cases.size()];
        if (c.url.size() > kMegabyte) continue;  // the megabytes once each, below
        const VARIANT_BOOL cancel = Fire(c.form, c.url, c.cancelIn);
        ASSERT_EQ(c.intercepted ? VARIANT_TRUE : c.cancelIn, cancel) << "event " << i << " (" << c.name << ")";
        if (c.intercepted) {
            expected.push_back(c.passedOn);
            if (!game) game = theApp.m_pGameDialog;
            ASSERT_EQ(game, theApp.m_pGameDialog) << "event " << i << " made another game window";
        }
    }
    for (const UrlCase& c : cases) {
        if (c.url.size() <= kMegabyte) continue;
        Fire(c.form, c.url, c.cancelIn);
        if (c.intercepted) expected.push_back(c.passedOn);
    }
    ASSERT_NE(nullptr, game);
    EXPECT_EQ(game, theApp.m_pGameDialog);
    EXPECT_EQ(1, GameWindowCount());
    const std::vector<std::wstring> games = GameNavigations();
    ASSERT_EQ(expected.size(), games.size());
    for (size_t i = 0; i < games.size(); ++i) ASSERT_TRUE(games[i] == expected[i]) << "navigation " << i;
    EXPECT_TRUE(IsWindow(dlg->m_hWnd));
}

}  // namespace
