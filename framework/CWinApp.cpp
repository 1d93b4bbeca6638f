#include "framework/CWinApp.h"

#include "framework/CWnd.h"

namespace {
CWinApp* g_pApp = nullptr;
HINSTANCE g_hResource = nullptr;
}  // namespace

CWinApp::CWinApp(LPCWSTR pszAppName) : m_pszAppName(pszAppName) { g_pApp = this; }

CWinApp::~CWinApp() {
    if (g_pApp == this) g_pApp = nullptr;
}

BOOL CWinApp::InitInstance() {
    // Restart-manager registration has no effect a player can see; the
    // flags are kept for callers that read them.
    return TRUE;
}

int CWinApp::ExitInstance() { return static_cast<int>(m_msgCur.wParam); }

void CWinApp::SetRegistryKey(LPCWSTR pszKey) { m_pszRegistryKey = pszKey; }

CWinApp* AfxGetApp() { return g_pApp; }

CWnd* AfxGetMainWnd() { return g_pApp ? g_pApp->m_pMainWnd : nullptr; }

HINSTANCE AfxGetInstanceHandle() {
    if (g_pApp && g_pApp->m_hInstance) return g_pApp->m_hInstance;
    return GetModuleHandleW(nullptr);
}

HINSTANCE AfxGetResourceHandle() { return g_hResource ? g_hResource : AfxGetInstanceHandle(); }

int AfxWinMain(HINSTANCE hInstance) {
    CWinApp* app = AfxGetApp();
    if (!app) return -1;
    app->m_hInstance = hInstance;
    g_hResource = hInstance;
    if (!app->m_pszAppName) {
        // The title of message boxes: the executable's name without extension.
        static wchar_t name[MAX_PATH];
        GetModuleFileNameW(hInstance, name, MAX_PATH);
        wchar_t* base = name;
        for (wchar_t* p = name; *p; ++p)
            if (*p == L'\\' || *p == L'/') base = p + 1;
        for (wchar_t* p = base; *p; ++p)
            if (*p == L'.') *p = 0;
        app->m_pszAppName = base;
    }
    int code = 0;
    if (app->InitInstance()) {
        while (AfxPumpMessage()) {
        }
    }
    code = app->ExitInstance();
    return code;
}

int AfxMessageBox(LPCWSTR pszText, UINT nType) {
    // An OK-only box without an icon gets the exclamation icon.
    if ((nType & MB_TYPEMASK) == MB_OK && (nType & MB_ICONMASK) == 0) nType |= MB_ICONEXCLAMATION;
    CWinApp* app = AfxGetApp();
    HWND hOwner = CWnd::GetSafeOwner(nullptr, nullptr);
    if (hOwner && !IsWindow(hOwner)) hOwner = nullptr;
    return MessageBoxW(hOwner, pszText, app ? app->m_pszAppName : L"", nType);
}

namespace {
thread_local MSG t_lastMessage{};  // the pump's last message when there is no application
}

const MSG& AfxGetLastMessage() { return g_pApp ? g_pApp->m_msgCur : t_lastMessage; }

BOOL AfxPumpMessage() {
    MSG& msg = g_pApp ? g_pApp->m_msgCur : t_lastMessage;
    if (GetMessageW(&msg, nullptr, 0, 0) <= 0) return FALSE;  // WM_QUIT (or error)
    MSG copy = msg;  // pre-translation may run nested loops that reuse m_msgCur
    if (!AfxPreTranslateMessage(&copy)) {
        TranslateMessage(&copy);
        DispatchMessageW(&copy);
    }
    return TRUE;
}
