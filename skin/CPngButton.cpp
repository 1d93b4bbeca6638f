#include "skin/CPngButton.h"

#include <commctrl.h>

#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "framework/CWinApp.h"

namespace {

// GDI+ objects come from GDI+'s own heap (their operator delete gives them
// back there). Allocated here so that an allocation failure gives null
// rather than a constructor run on null.
template <class T, class... Args>
T* NewGdiplusObject(Args&&... args) {
    void* memory = Gdiplus::DllExports::GdipAlloc(sizeof(T));
    if (!memory)
        return nullptr;
    return ::new (memory) T(std::forward<Args>(args)...);
}

struct StreamRelease {
    void operator()(IStream* stream) const { stream->Release(); }
};

// Decodes "PNG" resource nPngId of module through a stream over a moveable
// copy of its bytes. The stream owns the copy and GDI+ keeps the stream for
// the life of the image. Null when there is nothing to decode from; an image
// whose bytes do not decode still comes back (it answers no query).
Gdiplus::Image* LoadStrip(HMODULE module, UINT nPngId) {
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(nPngId), L"PNG");
    if (!resource)
        return nullptr;
    const DWORD size = SizeofResource(module, resource);
    HGLOBAL loaded = LoadResource(module, resource);
    if (!loaded)
        return nullptr;
    const void* bytes = LockResource(loaded);
    if (!bytes)
        return nullptr;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!block)
        return nullptr;
    void* copy = GlobalLock(block);
    if (!copy) {
        GlobalFree(block);
        return nullptr;
    }
    std::memcpy(copy, bytes, size);
    GlobalUnlock(block);

    IStream* rawStream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(block, TRUE, &rawStream)) || !rawStream) {
        GlobalFree(block);
        return nullptr;
    }
    std::unique_ptr<IStream, StreamRelease> stream(rawStream);
    return NewGdiplusObject<Gdiplus::Image>(stream.get(), FALSE);
}

}  // namespace

HDC CPngButton::CHeldWindowDC::Take(HWND hWnd) {
    Release();
    if (!hWnd)
        return nullptr;  // GetWindowDC(null) would be the whole screen
    m_hDC = ::GetWindowDC(hWnd);
    m_hWnd = m_hDC ? hWnd : nullptr;
    return m_hDC;
}

void CPngButton::CHeldWindowDC::Release() {
    if (m_hDC && ::IsWindow(m_hWnd))
        ::ReleaseDC(m_hWnd, m_hDC);
    m_hDC = nullptr;
    m_hWnd = nullptr;
}

CPngButton::~CPngButton() {
    // GDI+ itself stays started: the owner's start-up for this button is
    // never matched by a shutdown.
    ReleaseImage();
}

void CPngButton::ReleaseImage() {
    if (m_pImage) {
        delete m_pImage;
        m_pImage = nullptr;
    }
    if (m_pGraphics) {
        delete m_pGraphics;
        m_pGraphics = nullptr;
    }
    m_windowDC.Release();
}

void CPngButton::SetImage(UINT nPngId) {
    ReleaseImage();
    m_nImageWidth = 0;
    m_nImageHeight = 0;
    m_nFrameHeight = 0;

    m_pImage = LoadStrip(AfxGetResourceHandle(), nPngId);
    if (!m_pImage)
        return;  // nothing to show: size and surface stay as they are

    m_nImageWidth = static_cast<int>(m_pImage->GetWidth());
    m_nImageHeight = static_cast<int>(m_pImage->GetHeight());
    m_nFrameHeight = m_nImageHeight / 4;

    // One frame's size; no SWP_NOZORDER, so the button also comes to the
    // top of its siblings.
    SetWindowPos(HWND_TOP, 0, 0, m_nImageWidth, m_nFrameHeight, SWP_NOMOVE);

    if (HDC hDC = m_windowDC.Take(m_hWnd))
        m_pGraphics = NewGdiplusObject<Gdiplus::Graphics>(hDC);
}

void CPngButton::PreSubclassWindow() {
    ModifyStyle(0, BS_OWNERDRAW);
    CButton::PreSubclassWindow();
}

LRESULT CPngButton::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    // The second click of a double click is a press like the first.
    if (message == WM_LBUTTONDBLCLK)
        message = WM_LBUTTONDOWN;
    return CButton::DefWindowProc(message, wParam, lParam);
}

void CPngButton::DrawItem(LPDRAWITEMSTRUCT lpDIS) {
    if (!m_pGraphics || !m_pImage)
        return;
    int frame = 0;
    if (lpDIS->itemState & ODS_SELECTED)
        frame = 2;
    else if (m_bHover)
        frame = 1;
    m_pGraphics->DrawImage(m_pImage, Gdiplus::Rect(0, 0, m_nImageWidth, m_nFrameHeight),
                           0, frame * m_nFrameHeight, m_nImageWidth, m_nFrameHeight,
                           Gdiplus::UnitPixel);
}

const CMessageMap* CPngButton::GetMessageMap() const {
    static const CMessageMap map(CButton::GetMessageMap(), {
        msg::Mouse(WM_MOUSEMOVE, &CPngButton::OnMouseMove),
        msg::Raw(WM_MOUSEHOVER, &CPngButton::OnMouseHover),
        msg::Raw(WM_MOUSELEAVE, &CPngButton::OnMouseLeave),
        msg::Mouse(WM_LBUTTONDOWN, &CPngButton::OnLButtonDown),
        msg::Mouse(WM_LBUTTONUP, &CPngButton::OnLButtonUp),
        msg::SetCursor(&CPngButton::OnSetCursor),
        msg::EraseBkgnd(&CPngButton::OnEraseBkgnd),
    });
    return &map;
}

void CPngButton::OnMouseMove(UINT /*nFlags*/, POINT /*point*/) {
    if (!m_bTracking) {
        TRACKMOUSEEVENT tme{};
        tme.cbSize = sizeof(tme);
        tme.dwFlags = TME_HOVER | TME_LEAVE;
        tme.hwndTrack = m_hWnd;
        tme.dwHoverTime = 1;
        m_bTracking = _TrackMouseEvent(&tme);
    }
    Default();
}

LRESULT CPngButton::OnMouseHover(WPARAM, LPARAM) {
    m_bHover = TRUE;
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
    return 0;
}

LRESULT CPngButton::OnMouseLeave(WPARAM, LPARAM) {
    m_bTracking = FALSE;
    m_bHover = FALSE;
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
    return 0;
}

void CPngButton::OnLButtonDown(UINT /*nFlags*/, POINT /*point*/) {
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
    Default();
}

void CPngButton::OnLButtonUp(UINT /*nFlags*/, POINT /*point*/) {
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
    Default();
}

BOOL CPngButton::OnSetCursor(HWND /*hWnd*/, UINT /*nHitTest*/, UINT /*message*/) {
    ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
    return TRUE;
}

BOOL CPngButton::OnEraseBkgnd(HDC /*hDC*/) {
    return TRUE;  // each frame is drawn over the previous one
}
