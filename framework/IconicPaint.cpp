#include "framework/IconicPaint.h"

#include "framework/DeviceContexts.h"

POINT IconicIconOrigin(const RECT& client, int cxIcon, int cyIcon) {
    const int width = client.right - client.left, height = client.bottom - client.top;
    return {(width - cxIcon + 1) / 2, (height - cyIcon + 1) / 2};
}

void PaintIconic(HWND hWnd, HICON hIcon) {
    CPaintDC dc(hWnd);
    SendMessageW(hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(static_cast<HDC>(dc)), 0);
    RECT rc;
    GetClientRect(hWnd, &rc);
    const POINT at = IconicIconOrigin(rc, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
    DrawIcon(dc, at.x, at.y, hIcon);
}
