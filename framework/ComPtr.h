#pragma once
// Owning COM interface pointer: releases what it holds, AddRefs on copy.
#include <unknwn.h>
#include <utility>

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes over a reference the caller already owns.
    static ComPtr Attach(T* p) { ComPtr c; c.m_p = p; return c; }
    ComPtr(const ComPtr& o) : m_p(o.m_p) { if (m_p) m_p->AddRef(); }
    ComPtr(ComPtr&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
    ComPtr& operator=(ComPtr o) noexcept { std::swap(m_p, o.m_p); return *this; }
    ~ComPtr() { Reset(); }

    void Reset() { if (T* p = std::exchange(m_p, nullptr)) p->Release(); }
    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // For out-parameters: releases the current pointer first.
    T** Put() { Reset(); return &m_p; }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    // Hands out an AddRef'd copy.
    T* CopyOut() const { if (m_p) m_p->AddRef(); return m_p; }

    template <class U>
    HRESULT As(ComPtr<U>* out) const {
        if (!m_p) return E_POINTER;
        return m_p->QueryInterface(__uuidof(U), out->PutVoid());
    }

private:
    T* m_p = nullptr;
};
