#pragma once
// Owners of GDI objects: each deletes its object when it goes away.
#include <windows.h>
#include <utility>

template <class H>
class CGdiObject {
public:
    CGdiObject() = default;
    ~CGdiObject() { DeleteObject(); }
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;

    H m_hObject = nullptr;
    operator H() const { return m_hObject; }
    H GetSafeHandle() const { return m_hObject; }
    BOOL Attach(H h) {
        DeleteObject();
        m_hObject = h;
        return h != nullptr;
    }
    H Detach() { return std::exchange(m_hObject, nullptr); }
    BOOL DeleteObject() {
        if (!m_hObject) return FALSE;
        ::DeleteObject(std::exchange(m_hObject, nullptr));
        return TRUE;
    }
};

class CBitmap : public CGdiObject<HBITMAP> {
public:
    BOOL LoadBitmap(HINSTANCE hModule, UINT nID) {
        return Attach(static_cast<HBITMAP>(
            ::LoadImageW(hModule, MAKEINTRESOURCEW(nID), IMAGE_BITMAP, 0, 0, 0)));
    }
    // Fails (returns 0) without a bitmap, leaving *pBitmap untouched.
    int GetBitmap(BITMAP* pBitmap) const {
        return m_hObject ? ::GetObjectW(m_hObject, sizeof(BITMAP), pBitmap) : 0;
    }
};

class CBrush : public CGdiObject<HBRUSH> {
public:
    BOOL CreateSolidBrush(COLORREF color) { return Attach(::CreateSolidBrush(color)); }
};

class CFont : public CGdiObject<HFONT> {
public:
    // nPointSize in tenths of a point, for the screen.
    BOOL CreatePointFont(int nPointSize, LPCWSTR faceName) {
        HDC hdc = ::GetDC(nullptr);
        const int height = -MulDiv(nPointSize, ::GetDeviceCaps(hdc, LOGPIXELSY), 720);
        ::ReleaseDC(nullptr, hdc);
        LOGFONTW lf{};
        lf.lfHeight = height;
        lf.lfCharSet = DEFAULT_CHARSET;
        lstrcpynW(lf.lfFaceName, faceName, LF_FACESIZE);
        return Attach(::CreateFontIndirectW(&lf));
    }
};
