#pragma once
// Dialogs created from templates in the resources, modal (DoModal: a nested
// message loop that ends on EndDialog or on WM_QUIT, which it passes on to
// the enclosing loop) or modeless (Create; with no parent the dialog is owned
// by the application's main window). ActiveX items of the template are
// created by the installed control container before OnInitDialog runs.
#include "framework/CWnd.h"

class CDataExchange;

class CDialog : public CWnd {
public:
    CDialog() = default;  // modeless use: Create names the template
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    ~CDialog() override;

    virtual INT_PTR DoModal();
    virtual BOOL Create(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    void EndDialog(int nResult);

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange* pDX);
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    BOOL PreTranslateMessage(MSG* pMsg) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    const CMessageMap* GetMessageMap() const override;

    // Base painting: lets the dialog's own procedure paint.
    void OnPaint() { Default(); }

    UINT m_nIDHelp = 0;

protected:
    CWnd* m_pParentWnd = nullptr;
    UINT m_nIDTemplate = 0;

private:
    BOOL CreateFromTemplate(HWND hWndOwner);
    LRESULT HandleInitDialog();
    INT_PTR RunModalLoop();

    bool m_bModal = false;
    bool m_bContinueModal = false;
    INT_PTR m_nModalResult = -1;
    class CDialogTemplate* m_pTemplate = nullptr;  // during creation only
};

class CDialogEx : public CDialog {
public:
    using CDialog::CDialog;
};
