#include "framework/CDialog.h"

#include "framework/CDataExchange.h"
#include "framework/CDialogTemplate.h"
#include "framework/COccManager.h"
#include "framework/COleControlContainer.h"
#include "framework/CWinApp.h"

namespace {
// The dialog manager's own procedure for our dialogs: everything is handled
// by the subclassing window procedure, so this only asks for the defaults.
INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
}  // namespace

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_pParentWnd(pParentWnd), m_nIDTemplate(nIDTemplate) {}

CDialog::~CDialog() {
    // Destroy while this is still a dialog, so its controls are torn down here.
    DestroyOwnWindow();
}

const CMessageMap* CDialog::GetMessageMap() const {
    static const CMessageMap map(CWnd::GetMessageMap(), {
        msg::Command(IDOK, &CDialog::OnOK),
        msg::Command(IDCANCEL, &CDialog::OnCancel),
    });
    return &map;
}

BOOL CDialog::CreateFromTemplate(HWND hWndOwner) {
    CDialogTemplate tmpl;
    if (!tmpl.Load(AfxGetResourceHandle(), m_nIDTemplate)) return FALSE;
    m_pTemplate = &tmpl;
    HookWindowCreate();
    HWND hWnd = CreateDialogIndirectParamW(AfxGetResourceHandle(), tmpl.GetCreatableTemplate(),
                                           hWndOwner, AfxDlgProc, 0);
    UnhookWindowCreate();
    m_pTemplate = nullptr;
    // Creation refused after the window was bound (a hook, a failing
    // WM_CREATE): forget the dead handle.
    if (!hWnd && m_hWnd) UnsubclassWindow();
    return hWnd != nullptr;
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParentWnd) {
    m_nIDTemplate = nIDTemplate;
    if (!pParentWnd) pParentWnd = AfxGetMainWnd();
    m_pParentWnd = pParentWnd;
    m_bModal = false;
    return CreateFromTemplate(pParentWnd ? pParentWnd->m_hWnd : nullptr);
}

INT_PTR CDialog::DoModal() {
    HWND hWndTop = nullptr;
    HWND hWndOwner = GetSafeOwner(m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr, &hWndTop);
    bool enableOwner = false;
    if (hWndOwner && ::IsWindowEnabled(hWndOwner)) {
        ::EnableWindow(hWndOwner, FALSE);
        enableOwner = true;
    }
    m_bModal = true;
    m_bContinueModal = true;
    m_nModalResult = -1;
    if (CreateFromTemplate(hWndOwner) && m_bContinueModal) RunModalLoop();
    if (m_hWnd)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    if (enableOwner) ::EnableWindow(hWndOwner, TRUE);
    if (hWndOwner && ::IsWindow(hWndOwner) && ::GetActiveWindow() == m_hWnd)
        ::SetActiveWindow(hWndOwner);
    if (m_hWnd) ::DestroyWindow(m_hWnd);
    if (hWndTop && ::IsWindow(hWndTop)) ::EnableWindow(hWndTop, TRUE);
    m_bModal = false;
    return m_nModalResult;
}

INT_PTR CDialog::RunModalLoop() {
    // A template without WS_VISIBLE is shown once the queue first runs dry.
    bool showOnIdle = !(GetStyle() & WS_VISIBLE);
    while (m_bContinueModal) {
        MSG peek;
        if (showOnIdle && !PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE)) {
            ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
            ::UpdateWindow(m_hWnd);
            showOnIdle = false;
        }
        if (!AfxPumpMessage()) {
            // WM_QUIT ends this loop and every loop around it.
            PostQuitMessage(static_cast<int>(AfxGetLastMessage().wParam));
            m_nModalResult = -1;
            break;
        }
    }
    return m_nModalResult;
}

void CDialog::EndDialog(int nResult) {
    m_nModalResult = nResult;
    if (m_bModal) {
        m_bContinueModal = false;
        PostMessage(WM_NULL);  // wakes the loop if it is idle
    }
    if (m_hWnd) ::EndDialog(m_hWnd, nResult);
}

LRESULT CDialog::HandleInitDialog() {
    if (m_pTemplate && !m_pTemplate->GetOleItems().empty()) {
        if (COccManager* manager = AfxGetOccManager()) {
            m_pCtrlCont = new COleControlContainer(this, manager);
            for (const COleDialogItem& item : m_pTemplate->GetOleItems())
                m_pCtrlCont->CreateControl(item);
        }
    }
    return OnInitDialog();
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK() { EndDialog(IDOK); }

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return HandleInitDialog();
    case WM_DESTROY:
        if (m_pCtrlCont) {
            // Hosted controls go before the dialog's children are destroyed.
            COleControlContainer* cont = m_pCtrlCont;
            m_pCtrlCont = nullptr;
            cont->DestroyControls();
            delete cont;
        }
        break;
    default:
        break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

BOOL CDialog::PreTranslateMessage(MSG* pMsg) {
    if (pMsg->message < WM_KEYFIRST || pMsg->message > WM_KEYLAST) return FALSE;
    if (pMsg->hwnd != m_hWnd && !::IsChild(m_hWnd, pMsg->hwnd)) return FALSE;
    // The in-place active control sees its keys first (accelerators, Tab...).
    if (m_pCtrlCont && m_pCtrlCont->TranslateAccelerator(pMsg)) return TRUE;
    return ::IsDialogMessageW(m_hWnd, pMsg);
}
