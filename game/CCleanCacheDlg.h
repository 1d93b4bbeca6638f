#pragma once
// The cache cleaner: empties the browser's stores of the current user - the
// WinINet URL cache (cookie entries, then all others) and the contents of the
// cookie folder and the Temporary Internet Files folder - on one worker
// thread, while a modal veil covers the screen's work area in translucent
// black with one cyan line of text. Enter, Esc or closing the veil asks the
// worker to stop early; the veil closes itself once the worker has ended.
//
//   CCleanCacheDlg dlg;
//   dlg.DoModal();   // IDOK; the caller ignores it
//
// The dialog object outlives its worker in every case: its destructor asks
// the worker to stop and waits until the worker thread has ended, so a modal
// loop ended early (a quit message while the veil is up) leaves nothing
// running on a destroyed object. If the worker cannot be started, the veil
// ends at once, as if the worker had finished.
//
// Emptying a folder never reaches outside it: an entry whose real location is
// not its own place in the folder (a junction or symbolic link) is not
// entered, its attributes are not touched, and only the link itself is
// removed, where that can be done without following it (see real_path).
#include <windows.h>
#include <atomic>
#include <string>

#include "framework/CDialog.h"
#include "framework/CStatic.h"
#include "framework/GdiObjects.h"
#include "game/COwnedHandle.h"
#include "skin/CSkinnedDialog.h"

// Posted by the worker to the veil once it has ended (wParam 0, lParam 0).
constexpr UINT WM_CLEANCACHE_DONE = WM_USER + 103;  // 0x0467

class CCleanCacheDlg : public CDialogEx {
public:
    CCleanCacheDlg();  // template 173, no parent
    ~CCleanCacheDlg() override;

    // The worker's passes, callable on any thread. nKind 1 deletes the cookie
    // entries of the URL cache, 0 all other entries, any other value nothing;
    // TRUE if the enumeration started. DeleteFolderContents empties the folder
    // (which itself stays), sparing every "desktop.ini"; TRUE if it could be
    // listed. Both stop after the entry in hand once m_bCancel is set.
    BOOL DeleteUrlCacheEntries(int nKind);
    BOOL DeleteFolderContents(LPCWSTR pszFolder);

    CBitmap m_bmpBackground;   // bitmap 187, stretched over the client area
    CStatic m_stStatus;        // 1002, the status line
    CBrush m_brKey;            // solid m_crKey: every control but the status line, and the dialog
    COLORREF m_crKey = 0;      // colour key of the layered veil, RGB(255, 0, 0)
    HANDLE m_hThread = nullptr;  // the worker; the worker closes and clears it when done
    std::atomic<BOOL> m_bCancel{FALSE};  // stop request; only ever goes FALSE -> TRUE

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    const CMessageMap* GetMessageMap() const override;

    HBRUSH OnCtlColor(HDC hDC, HWND hCtl, UINT nCtlColor);
    void OnPaint();
    LRESULT OnCleanDone(WPARAM wParam, LPARAM lParam);

    static unsigned __stdcall CleanThreadProc(void* pParam);

    // The dialog's own handle of the worker thread, kept until the worker has
    // ended (m_hThread is the worker's to close); null when none was started.
    COwnedHandle m_worker;

private:
    void RequestStop();
    void StartWorker();
    BOOL DeleteContents(const std::wstring& folder, const std::wstring& realFolder);

    // The veil's window as the worker sees it: set before the worker starts
    // and never changed while it runs.
    HWND m_hWndNotify = nullptr;
    CSkinnedDialog m_skin;
};
