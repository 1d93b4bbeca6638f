#include "browser/CImpIDispatch.h"

#include <cwchar>

namespace {

const wchar_t kPropertyName[] = L"xxyyzz";
const wchar_t kPropertyValue[] = L"Vjaxkm";
// Only this many leading characters of a name are compared.
constexpr int kComparedChars = 3;

}  // namespace

HRESULT STDMETHODCALLTYPE CImpIDispatch::QueryInterface(REFIID riid, void** ppvObject) {
    if (!ppvObject)
        return E_POINTER;
    *ppvObject = nullptr;
    if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IUnknown)) {
        *ppvObject = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CImpIDispatch::AddRef() {
    return ++m_cRef;
}

ULONG STDMETHODCALLTYPE CImpIDispatch::Release() {
    // The count has no say over the lifetime: the application deletes the object.
    return --m_cRef;
}

HRESULT STDMETHODCALLTYPE CImpIDispatch::GetTypeInfoCount(UINT* /*pctinfo*/) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CImpIDispatch::GetTypeInfo(UINT /*iTInfo*/, LCID /*lcid*/,
                                                     ITypeInfo** /*ppTInfo*/) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CImpIDispatch::GetIDsOfNames(REFIID /*riid*/, LPOLESTR* rgszNames,
                                                       UINT cNames, LCID lcid, DISPID* rgDispId) {
    if (cNames == 0)
        return S_OK;
    if (!rgszNames || !rgDispId)
        return E_INVALIDARG;

    HRESULT hr = S_OK;
    for (UINT i = 0; i < cNames; ++i) {
        const wchar_t* name = rgszNames[i];
        // A name shorter than the compared prefix never matches; it is not read past its end.
        const bool longEnough =
            name && wcsnlen(name, kComparedChars) == static_cast<size_t>(kComparedChars);
        if (longEnough && CompareStringW(lcid, NORM_IGNOREWIDTH, kPropertyName, kComparedChars,
                                         name, kComparedChars) == CSTR_EQUAL) {
            rgDispId[i] = kDispIdProperty;
        } else {
            rgDispId[i] = DISPID_UNKNOWN;
            hr = DISP_E_UNKNOWNNAME;
        }
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE CImpIDispatch::Invoke(DISPID dispIdMember, REFIID /*riid*/, LCID /*lcid*/,
                                                WORD wFlags, DISPPARAMS* /*pDispParams*/,
                                                VARIANT* pVarResult, EXCEPINFO* /*pExcepInfo*/,
                                                UINT* /*puArgErr*/) {
    if (dispIdMember == kDispIdProperty && (wFlags & DISPATCH_PROPERTYGET) && pVarResult) {
        BSTR value = SysAllocString(kPropertyValue);
        VariantInit(pVarResult);
        V_VT(pVarResult) = VT_BSTR;
        V_BSTR(pVarResult) = value;
    }
    return S_OK;
}
