#pragma once
// The launcher's picture as the program carries it: PNG resource 155 of the
// executable under test, decoded with GDI+, so that a test can tell the
// launcher's artwork from anything else at a point of the screen.
#include <windows.h>

#include <string>
#include <vector>

class LauncherArt {
public:
    bool Load(const std::wstring& executable);
    int Width() const { return width_; }
    int Height() const { return height_; }
    // Colour and alpha of the picture's pixel (x, y).
    COLORREF ColourAt(int x, int y) const;
    BYTE AlphaAt(int x, int y) const;

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<DWORD> argb_;
};
