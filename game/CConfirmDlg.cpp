#include "game/CConfirmDlg.h"

#include "framework/CDataExchange.h"
#include "framework/CWinApp.h"
#include "res/resource.h"
#include "skin/PngButtonSetup.h"

namespace {

struct ConfirmTexts {
    LPCWSTR title;
    LPCWSTR message;
};

// Indexed by m_nMode; any mode but 1 asks about quitting.
constexpr ConfirmTexts kTexts[] = {
    {L"关闭游戏", L"确定要退出游戏吗?"},
    {L"选服", L"是否退出当前游戏，重新选择新服务器?"},
};

}  // namespace

CConfirmDlg::CConfirmDlg()
    : CDialogEx(IDD_CONFIRM, nullptr),
      m_skin(*this, m_bmpBackground, {IDC_CONFIRM_TITLE, IDC_CONFIRM_MESSAGE},
             RGB(255, 255, 255)) {}

CConfirmDlg::~CConfirmDlg() { m_bmpBackground.DeleteObject(); }

const CMessageMap* CConfirmDlg::GetMessageMap() const {
    static const CMessageMap map(CDialogEx::GetMessageMap(), {
        msg::Command(IDC_CONFIRM_OK, &CDialogEx::OnOK),
        msg::Command(IDC_CONFIRM_CANCEL, &CDialogEx::OnCancel),
        msg::Paint(&CConfirmDlg::OnPaint),
        msg::Close(&CConfirmDlg::OnClose),
        msg::CtlColor(&CConfirmDlg::OnCtlColor),
    });
    return &map;
}

void CConfirmDlg::DoDataExchange(CDataExchange* pDX) {
    CDialogEx::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_CONFIRM_OK, m_btnOk);
    DDX_Control(pDX, IDC_CONFIRM_CANCEL, m_btnCancel);
    DDX_Control(pDX, IDC_CONFIRM_TITLE, m_stTitle);
    DDX_Control(pDX, IDC_CONFIRM_MESSAGE, m_stMessage);
}

BOOL CConfirmDlg::OnInitDialog() {
    CDialogEx::OnInitDialog();

    m_bmpBackground.LoadBitmap(AfxGetResourceHandle(), IDB_CONFIRM_BG);
    PreparePngButton(m_btnOk, IDB_PNG_OK);
    PreparePngButton(m_btnCancel, IDB_PNG_CANCEL);

    // The template's dialog units give way to the bitmap's pixels.
    MoveWindow(0, 0, 256, 110, TRUE);
    CenterWindow();

    m_btnOk.MoveWindow(40, 72, 74, 26, TRUE);
    m_btnCancel.MoveWindow(140, 72, 74, 26, TRUE);

    m_fontTitle.CreatePointFont(120, L"Arial");
    m_stTitle.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(static_cast<HFONT>(m_fontTitle)),
                          TRUE);

    const ConfirmTexts& texts = kTexts[m_nMode == 1 ? 1 : 0];
    m_stTitle.SetWindowText(texts.title);
    m_stMessage.SetWindowText(texts.message);

    m_stTitle.MoveWindow(79, 10, 100, 30, TRUE);
    m_stMessage.MoveWindow(28, 34, 200, 66, TRUE);

    // SetImage raised each button to the top of the stacking order, which is
    // also the tab order: Cancel, prepared last, would now come first. OK goes
    // back in front of it (both stay above the statics they overlap).
    m_btnOk.SetWindowPos(HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return TRUE;  // focus to the first tab stop, the OK button
}

void CConfirmDlg::OnPaint() { m_skin.OnPaint(); }

void CConfirmDlg::OnClose() { Default(); }

HBRUSH CConfirmDlg::OnCtlColor(HDC hDC, HWND hCtl, UINT nCtlColor) {
    return m_skin.OnCtlColor(hDC, hCtl, nCtlColor);
}
