#pragma once
// Event-sink maps: per window class, entries that bind (control id, DISPID)
// of a hosted ActiveX control's events to typed handler methods, chained to
// the base class's map like message maps.
//
//   const CEventSinkMap* CMyDlg::GetEventSinkMap() const {
//       static const CEventSinkMap map(CDialogEx::GetEventSinkMap(), {
//           sink::Event(IDC_BROWSER, 250, &CMyDlg::OnBeforeNavigate2),
//       });
//       return &map;
//   }
//
// Handler parameters are converted from DISPPARAMS, whose rgvarg holds the
// arguments in reverse order. Supported parameter types: LPDISPATCH,
// VARIANT* (by-reference variants are passed through, so the handler can
// read and write the caller's value) and BOOL* (written back to the caller's
// VARIANT_BOOL). Missing arguments arrive as null / empty values.
#include <windows.h>
#include <oaidl.h>
#include <functional>
#include <initializer_list>
#include <tuple>
#include <utility>
#include <vector>

class CWnd;

struct CEventSinkEntry {
    UINT ctrlId;
    DISPID dispid;
    std::function<void(CWnd*, DISPPARAMS*)> invoke;
};

class CEventSinkMap {
public:
    CEventSinkMap(const CEventSinkMap* base, std::initializer_list<CEventSinkEntry> entries)
        : m_base(base), m_entries(entries) {}

    const CEventSinkEntry* Find(UINT ctrlId, DISPID dispid) const {
        for (const CEventSinkMap* map = this; map; map = map->m_base)
            for (const CEventSinkEntry& e : map->m_entries)
                if (e.ctrlId == ctrlId && e.dispid == dispid) return &e;
        return nullptr;
    }

private:
    const CEventSinkMap* m_base;
    std::vector<CEventSinkEntry> m_entries;
};

namespace sink {
namespace detail {

template <class A> struct Arg;

template <> struct Arg<LPDISPATCH> {
    LPDISPATCH value = nullptr;
    void From(VARIANTARG* v) {
        while (v && v->vt == (VT_VARIANT | VT_BYREF)) v = v->pvarVal;
        if (!v) return;
        if (v->vt == VT_DISPATCH || v->vt == VT_UNKNOWN) value = v->pdispVal;
        else if (v->vt == (VT_DISPATCH | VT_BYREF) && v->ppdispVal) value = *v->ppdispVal;
    }
    LPDISPATCH Get() { return value; }
    void WriteBack() {}
};

template <> struct Arg<VARIANT*> {
    VARIANT empty{};  // VT_EMPTY stand-in for a missing argument
    VARIANT* value = &empty;
    void From(VARIANTARG* v) {
        if (!v) return;
        if (v->vt == (VT_VARIANT | VT_BYREF)) {
            if (v->pvarVal) value = v->pvarVal;
        } else {
            value = v;
        }
    }
    VARIANT* Get() { return value; }
    void WriteBack() {}
};

template <> struct Arg<BOOL*> {
    BOOL value = FALSE;
    BOOL original = FALSE;
    VARIANT_BOOL* target = nullptr;
    void From(VARIANTARG* v) {
        while (v && v->vt == (VT_VARIANT | VT_BYREF)) v = v->pvarVal;
        if (!v) return;
        if (v->vt == (VT_BOOL | VT_BYREF)) target = v->pboolVal;
        else if (v->vt == VT_BOOL) value = v->boolVal != VARIANT_FALSE;
        if (target) value = *target != VARIANT_FALSE;
        original = value;
    }
    BOOL* Get() { return &value; }
    void WriteBack() {
        if (target && (value != FALSE) != (original != FALSE))
            *target = value ? VARIANT_TRUE : VARIANT_FALSE;
    }
};

template <class T, class... Args, std::size_t... I>
void Call(T* self, void (T::*fn)(Args...), DISPPARAMS* params, std::index_sequence<I...>) {
    std::tuple<Arg<Args>...> args;
    const UINT count = params ? params->cArgs : 0;
    VARIANTARG* rg = params ? params->rgvarg : nullptr;
    // Argument i of the handler is rgvarg[count - 1 - i].
    ((std::get<I>(args).From((rg && I < count) ? &rg[count - 1 - I] : nullptr)), ...);
    (self->*fn)(std::get<I>(args).Get()...);
    ((std::get<I>(args).WriteBack()), ...);
}

}  // namespace detail

template <class T, class... Args>
CEventSinkEntry Event(UINT ctrlId, DISPID dispid, void (T::*fn)(Args...)) {
    return {ctrlId, dispid, [fn](CWnd* w, DISPPARAMS* params) {
                detail::Call(static_cast<T*>(w), fn, params, std::index_sequence_for<Args...>{});
            }};
}

}  // namespace sink
