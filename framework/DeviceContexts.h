#pragma once
// Device contexts that give themselves back: each knows its release call,
// and a memory DC restores the bitmap selected into it before deletion.
#include <windows.h>

class CPaintDC {
public:
    explicit CPaintDC(HWND hWnd) : m_hWnd(hWnd) { m_hDC = ::BeginPaint(hWnd, &m_ps); }
    ~CPaintDC() { ::EndPaint(m_hWnd, &m_ps); }
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;
    operator HDC() const { return m_hDC; }
    PAINTSTRUCT m_ps{};

private:
    HWND m_hWnd;
    HDC m_hDC;
};

// GetDC/GetWindowDC pair with ReleaseDC.
class CClientDC {
public:
    explicit CClientDC(HWND hWnd, bool wholeWindow = false)
        : m_hWnd(hWnd), m_hDC(wholeWindow ? ::GetWindowDC(hWnd) : ::GetDC(hWnd)) {}
    ~CClientDC() { if (m_hDC) ::ReleaseDC(m_hWnd, m_hDC); }
    CClientDC(const CClientDC&) = delete;
    CClientDC& operator=(const CClientDC&) = delete;
    operator HDC() const { return m_hDC; }

private:
    HWND m_hWnd;
    HDC m_hDC;
};

class CMemoryDC {
public:
    explicit CMemoryDC(HDC hdcCompatible) : m_hDC(::CreateCompatibleDC(hdcCompatible)) {}
    ~CMemoryDC() {
        if (m_hOld) ::SelectObject(m_hDC, m_hOld);
        if (m_hDC) ::DeleteDC(m_hDC);
    }
    CMemoryDC(const CMemoryDC&) = delete;
    CMemoryDC& operator=(const CMemoryDC&) = delete;
    operator HDC() const { return m_hDC; }
    // Selects a bitmap (still owned by the caller); the first one selected
    // away is put back at the end.
    void SelectBitmap(HBITMAP hBitmap) {
        HGDIOBJ old = ::SelectObject(m_hDC, hBitmap);
        if (!m_hOld) m_hOld = old;
    }

private:
    HDC m_hDC;
    HGDIOBJ m_hOld = nullptr;
};
