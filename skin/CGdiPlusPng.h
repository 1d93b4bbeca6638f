#pragma once
// A GDI+ image holder: owns one decoded image, or nothing.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

class CGdiPlusPng {
public:
    CGdiPlusPng() = default;
    virtual ~CGdiPlusPng();
    CGdiPlusPng(const CGdiPlusPng&) = delete;
    CGdiPlusPng& operator=(const CGdiPlusPng&) = delete;

    // Disposes of the image; the holder is empty afterwards.
    void Empty();

    Gdiplus::Image* m_pImage = nullptr;   // owned; null when empty
};
