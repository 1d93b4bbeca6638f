#include "app/CLoginApp.h"

#include <windows.h>
#include <commctrl.h>
#include <objidl.h>
#include <gdiplus.h>

#include "app/WindowSwitching.h"
#include "browser/CCustomOccManager.h"
#include "browser/CImpIDispatch.h"
#include "launcher/CLoginActiveDlg.h"
#include "launcher/CLoginDlg.h"

CLoginApp theApp;

namespace {
constexpr DWORD kRestartManagerSupportRestart = 1;
}

CLoginApp::CLoginApp() : CWinApp(nullptr) {
    m_dwRestartManagerSupportFlags = kRestartManagerSupportRestart;
    m_pGameDialog = nullptr;
}

CLoginApp::~CLoginApp() = default;

BOOL CLoginApp::InitInstance() {
    INITCOMMONCONTROLSEX icc{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);

    CWinApp::InitInstance();
    // Every browser lives in the UI thread's single-threaded apartment.
    OleInitialize(nullptr);

    // The manager is kept until the process ends.
    static CCustomOccManager occManager;
    m_pDispatch = new CImpIDispatch();
    AfxEnableControlContainer(&occManager);

    Gdiplus::GdiplusStartupInput input;  // version 1, no callback, nothing suppressed
    Gdiplus::GdiplusStartup(&m_gdiplusToken, &input, nullptr);

    // Shell manager and visual manager have nothing to show in this program.
    SetRegistryKey(L"应用程序向导生成的本地应用程序");

    {
        CLoginDlg dlg;
        m_pMainWnd = &dlg;
        dlg.DoModal();  // the result is not looked at

        if (dlg.m_pActiveDlg) {
            delete dlg.m_pActiveDlg;
            dlg.m_pActiveDlg = nullptr;
        }
        TearDownGameDialog();

        delete m_pDispatch;
        m_pDispatch = nullptr;
        if (m_pMainWnd == &dlg) m_pMainWnd = nullptr;
    }  // the launcher object releases its image here
    OleUninitialize();
    return FALSE;
}

int CLoginApp::ExitInstance() {
    Gdiplus::GdiplusShutdown(m_gdiplusToken);
    return CWinApp::ExitInstance();
}
