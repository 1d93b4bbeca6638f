#pragma once
// The image button of every dialog of the program: an owner-drawn push
// button whose whole look is one PNG strip of four equally high frames
// stacked top to bottom (0 normal, 1 hover, 2 pressed, 3 unused). It never
// draws a caption, border or focus mark, shows the hand cursor, and turns a
// double click into a second press so that it yields two BN_CLICKED and no
// BN_DOUBLECLICKED.
//
// Preparation by the owner (see skin/PngButtonSetup.h): bind the control
// (DDX_Control), start GDI+ into m_gdiplusToken, then SetImage.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include "framework/CButton.h"

class CPngButton : public CButton {
public:
    CPngButton() = default;
    ~CPngButton() override;

    // Loads PNG strip nPngId from the application's resources, sizes the
    // button to one frame (keeping its position, moving it to the top of its
    // siblings) and makes the drawing surface on the button's window DC.
    // A second call releases the previous image and surface first.
    void SetImage(UINT nPngId);

    void PreSubclassWindow() override;
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void DrawItem(LPDRAWITEMSTRUCT lpDIS) override;
    const CMessageMap* GetMessageMap() const override;

    // Filled by the owner: the token of the GDI+ start-up made for this
    // button. It is never given back (the start-up is never matched).
    ULONG_PTR m_gdiplusToken = 0;
    Gdiplus::Image* m_pImage = nullptr;        // the decoded strip, owned
    Gdiplus::Graphics* m_pGraphics = nullptr;  // on the button's window DC, owned
    BOOL m_bTracking = FALSE;  // a hover-and-leave tracking request is armed
    BOOL m_bHover = FALSE;     // the pointer rests on the button
    int m_nImageWidth = 0;     // width of the strip and of one frame
    int m_nImageHeight = 0;    // height of the whole strip
    int m_nFrameHeight = 0;    // m_nImageHeight / 4

protected:
    void OnMouseMove(UINT nFlags, POINT point);
    LRESULT OnMouseHover(WPARAM wParam, LPARAM lParam);
    LRESULT OnMouseLeave(WPARAM wParam, LPARAM lParam);
    void OnLButtonDown(UINT nFlags, POINT point);
    void OnLButtonUp(UINT nFlags, POINT point);
    BOOL OnSetCursor(HWND hWnd, UINT nHitTest, UINT message);
    BOOL OnEraseBkgnd(HDC hDC);

private:
    // The window DC the Graphics draws on, held from SetImage to the end.
    // It is given back only while its window exists: a destroyed window's
    // DCs are reclaimed by the system and may already serve another window.
    class CHeldWindowDC {
    public:
        CHeldWindowDC() = default;
        ~CHeldWindowDC() { Release(); }
        CHeldWindowDC(const CHeldWindowDC&) = delete;
        CHeldWindowDC& operator=(const CHeldWindowDC&) = delete;
        HDC Take(HWND hWnd);
        void Release();

    private:
        HWND m_hWnd = nullptr;
        HDC m_hDC = nullptr;
    };

    // Deletes the image, then the Graphics, then gives the DC back.
    void ReleaseImage();

    CHeldWindowDC m_windowDC;
};
