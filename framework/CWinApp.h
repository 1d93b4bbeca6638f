#pragma once
// The application object: one per process, reached through AfxGetApp().
// It owns the start-up/shutdown sequence (InitInstance/ExitInstance) and the
// message pump whose last retrieved message gives the process exit code.
#include <windows.h>

class CWnd;

class CWinApp {
public:
    explicit CWinApp(LPCWSTR pszAppName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance();
    virtual int ExitInstance();

    // Registry key the program announces; nothing is stored under it.
    void SetRegistryKey(LPCWSTR pszKey);

    HINSTANCE m_hInstance = nullptr;
    LPCWSTR m_pszAppName = nullptr;     // title used by AfxMessageBox
    LPCWSTR m_pszRegistryKey = nullptr;
    CWnd* m_pMainWnd = nullptr;
    DWORD m_dwRestartManagerSupportFlags = 0;
    MSG m_msgCur{};                     // last message retrieved by the pump
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();

// Entry point body: runs InitInstance and then ExitInstance; returns the exit code.
int AfxWinMain(HINSTANCE hInstance);

// Message box with the application's title; MB_OK alone gets the exclamation icon.
int AfxMessageBox(LPCWSTR pszText, UINT nType = MB_OK);

// The pump shared by every modal loop: retrieves one message into
// AfxGetApp()->m_msgCur (or a local MSG when there is no application),
// lets the window chain pre-translate it, then dispatches it.
// Returns FALSE when the message retrieved was WM_QUIT.
BOOL AfxPumpMessage();
// The message AfxPumpMessage retrieved last on this thread.
const MSG& AfxGetLastMessage();
