#pragma once
// Owner of one kernel object handle (thread, event...): closed when the owner
// goes away. An empty owner holds null.
#include <windows.h>
#include <utility>

class COwnedHandle {
public:
    COwnedHandle() = default;
    explicit COwnedHandle(HANDLE h) : m_h(h) {}
    ~COwnedHandle() { Close(); }
    COwnedHandle(const COwnedHandle&) = delete;
    COwnedHandle& operator=(const COwnedHandle&) = delete;

    HANDLE Get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    void Reset(HANDLE h = nullptr) {
        Close();
        m_h = h;
    }
    HANDLE Release() { return std::exchange(m_h, nullptr); }  // the caller owns it then
    void Close() {
        if (m_h) ::CloseHandle(std::exchange(m_h, nullptr));
    }

private:
    HANDLE m_h = nullptr;
};
