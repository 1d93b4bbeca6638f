#pragma once
// The application object: prepares the process-wide services, runs the
// launcher as a modal dialog for the whole life of the process, and tears
// down what the launcher and the game window left behind.
#include "framework/CWinApp.h"

class CImpIDispatch;
class CGameDialog;

class CLoginApp : public CWinApp {
public:
    CLoginApp();
    ~CLoginApp() override;

    BOOL InitInstance() override;
    int ExitInstance() override;

    ULONG_PTR m_gdiplusToken = 0;
    CImpIDispatch* m_pDispatch = nullptr;   // window.external of every page
    CGameDialog* m_pGameDialog = nullptr;   // the single game window, or null
};

extern CLoginApp theApp;
