// The script external object: name lookup, property read, interfaces and
// reference counting, and its answers to bad arguments.
#include "browser/CImpIDispatch.h"

#include <oleidl.h>
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <type_traits>
#include <vector>

namespace {

// A test name made of the letters and digits of a label.
std::string Identifier(const std::string& label) {
    std::string id;
    for (char c : label)
        id += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return id;
}

constexpr DISPID kProperty = 12345;
// IDispatchEx, the scripting engines' extension of IDispatch.
const IID kIID_IDispatchEx = {0xA6EF9860, 0xC720, 0x11D0, {0x93, 0x37, 0x00, 0xA0, 0xC9, 0x0D, 0xCA, 0xA9}};
const LCID kLocales[] = {0x0804, 0x0409, LOCALE_USER_DEFAULT};

// --- Name lookup ------------------------------------------------------------

struct LookupCase {
    const wchar_t* name;
    bool known;
};

const LookupCase kLookupCases[] = {
    {L"xxyyzz", true},
    {L"xxy", true},
    {L"xxyabc", true},
    {L"xxy_anything_longer", true},
    {L"\xFF58\xFF58\xFF59", true},          // full-width x x y
    {L"x\xFF58y", true},                    // mixed widths
    {L"\xFF58\xFF58\xFF59\xFF59zz", true},
    {L"XXYYZZ", false},                     // case is not ignored
    {L"Xxy", false},
    {L"xXy", false},
    {L"xx", false},                         // shorter than three characters
    {L"x", false},
    {L"", false},
    {L"yxx", false},
    {L"xyx", false},
    {L"xxz", false},
    {L"external", false},
};

class LookupTest : public ::testing::TestWithParam<LookupCase> {};

TEST_P(LookupTest, OneNameUnderEachLocale) {
    const LookupCase& c = GetParam();
    CImpIDispatch dispatch;
    for (LCID lcid : kLocales) {
        std::wstring name(c.name);
        LPOLESTR names[1] = {&name[0]};
        DISPID id = 777;
        HRESULT hr = dispatch.GetIDsOfNames(IID_NULL, names, 1, lcid, &id);
        if (c.known) {
            EXPECT_EQ(S_OK, hr) << "lcid " << lcid;
            EXPECT_EQ(kProperty, id) << "lcid " << lcid;
        } else {
            EXPECT_EQ(DISP_E_UNKNOWNNAME, hr) << "lcid " << lcid;
            EXPECT_EQ(DISPID_UNKNOWN, id) << "lcid " << lcid;
        }
    }
    EXPECT_EQ(0u, dispatch.m_cRef);
}

INSTANTIATE_TEST_SUITE_P(Names, LookupTest, ::testing::ValuesIn(kLookupCases),
                         [](const testing::TestParamInfo<LookupCase>& info) {
                             return "Name" + std::to_string(info.index) +
                                    (info.param.known ? "_known" : "_unknown");
                         });

TEST(LookupSeveral, ZeroNamesWritesNothing) {
    CImpIDispatch dispatch;
    std::wstring name = L"xxyyzz";
    LPOLESTR names[1] = {&name[0]};
    DISPID id = 777;
    EXPECT_EQ(S_OK, dispatch.GetIDsOfNames(IID_NULL, names, 0, 0x0804, &id));
    EXPECT_EQ(777, id);
    EXPECT_EQ(S_OK, dispatch.GetIDsOfNames(IID_NULL, nullptr, 0, 0x0804, nullptr));
}

TEST(LookupSeveral, EverySlotIsFilledAfterAFailure) {
    CImpIDispatch dispatch;
    std::vector<std::wstring> text = {L"nope", L"xxyyzz", L"XXY", L"\xFF58\xFF58\xFF59", L"xx"};
    std::vector<LPOLESTR> names;
    for (auto& t : text)
        names.push_back(&t[0]);
    std::vector<DISPID> ids(names.size(), 777);
    EXPECT_EQ(DISP_E_UNKNOWNNAME,
              dispatch.GetIDsOfNames(IID_NULL, names.data(), static_cast<UINT>(names.size()),
                                     0x0804, ids.data()));
    EXPECT_EQ((std::vector<DISPID>{DISPID_UNKNOWN, kProperty, DISPID_UNKNOWN, kProperty,
                                   DISPID_UNKNOWN}),
              ids);
}

TEST(LookupSeveral, AllKnownNamesSucceed) {
    CImpIDispatch dispatch;
    std::vector<std::wstring> text = {L"xxyyzz", L"xxy", L"xxyabc"};
    std::vector<LPOLESTR> names;
    for (auto& t : text)
        names.push_back(&t[0]);
    std::vector<DISPID> ids(names.size(), 777);
    EXPECT_EQ(S_OK, dispatch.GetIDsOfNames(IID_NULL, names.data(), 3, 0x0409, ids.data()));
    EXPECT_EQ((std::vector<DISPID>{kProperty, kProperty, kProperty}), ids);
}

TEST(LookupSeveral, TheInterfaceIdentifierIsIgnored) {
    CImpIDispatch dispatch;
    std::wstring name = L"xxyyzz";
    LPOLESTR names[1] = {&name[0]};
    for (REFIID riid : {IID_NULL, IID_IDispatch, IID_IUnknown, IID_IOleObject}) {
        DISPID id = 777;
        EXPECT_EQ(S_OK, dispatch.GetIDsOfNames(riid, names, 1, 0x0804, &id));
        EXPECT_EQ(kProperty, id);
    }
}

// --- Bad arguments to the lookup --------------------------------------------

TEST(LookupBadArguments, NullArraysWithNamesAreRejected) {
    CImpIDispatch dispatch;
    std::wstring name = L"xxyyzz";
    LPOLESTR names[1] = {&name[0]};
    DISPID id = 777;
    EXPECT_EQ(E_INVALIDARG, dispatch.GetIDsOfNames(IID_NULL, nullptr, 1, 0x0804, &id));
    EXPECT_EQ(777, id);
    EXPECT_EQ(E_INVALIDARG, dispatch.GetIDsOfNames(IID_NULL, names, 1, 0x0804, nullptr));
    EXPECT_EQ(E_INVALIDARG, dispatch.GetIDsOfNames(IID_NULL, nullptr, 2, 0x0804, nullptr));
}

TEST(LookupBadArguments, NullNameIsAnUnknownName) {
    CImpIDispatch dispatch;
    std::wstring known = L"xxyyzz";
    LPOLESTR names[3] = {nullptr, &known[0], nullptr};
    DISPID ids[3] = {777, 777, 777};
    EXPECT_EQ(DISP_E_UNKNOWNNAME, dispatch.GetIDsOfNames(IID_NULL, names, 3, 0x0804, ids));
    EXPECT_EQ(DISPID_UNKNOWN, ids[0]);
    EXPECT_EQ(kProperty, ids[1]);
    EXPECT_EQ(DISPID_UNKNOWN, ids[2]);
}

// --- Invoke -------------------------------------------------------------------

struct InvokeCase {
    const char* label;
    DISPID id;
    WORD flags;
    bool withResult;
    bool expectValue;
};

const InvokeCase kInvokeCases[] = {
    {"property get", kProperty, DISPATCH_PROPERTYGET, true, true},
    {"script read (method | get)", kProperty, DISPATCH_METHOD | DISPATCH_PROPERTYGET, true, true},
    {"property put", kProperty, DISPATCH_PROPERTYPUT, true, false},
    {"property put by reference", kProperty, DISPATCH_PROPERTYPUTREF, true, false},
    {"method call", kProperty, DISPATCH_METHOD, true, false},
    {"get without result variant", kProperty, DISPATCH_PROPERTYGET, false, false},
    {"get of another DISPID", 12346, DISPATCH_PROPERTYGET, true, false},
    {"get of DISPID_UNKNOWN", DISPID_UNKNOWN, DISPATCH_PROPERTYGET, true, false},
    {"get of DISPID_VALUE", DISPID_VALUE, DISPATCH_PROPERTYGET, true, false},
};

class InvokeTest : public ::testing::TestWithParam<InvokeCase> {};

TEST_P(InvokeTest, AlwaysSucceedsAndWritesOnlyForAGet) {
    const InvokeCase& c = GetParam();
    CImpIDispatch dispatch;

    // A put carries one argument; it must not be looked at or changed.
    VARIANT arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_I4;
    V_I4(&arg) = 42;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&arg, &named, 1, 1};

    VARIANT result;
    VariantInit(&result);
    V_VT(&result) = VT_I4;   // a marker that must survive when nothing is written
    V_I4(&result) = -7;

    EXCEPINFO excep{};
    UINT argErr = 99;
    HRESULT hr = dispatch.Invoke(c.id, IID_NULL, 0x0804, c.flags, &params,
                                 c.withResult ? &result : nullptr, &excep, &argErr);
    EXPECT_EQ(S_OK, hr) << c.label;
    EXPECT_EQ(VT_I4, V_VT(&arg)) << c.label;
    EXPECT_EQ(42, V_I4(&arg)) << c.label;
    EXPECT_EQ(99u, argErr) << c.label;
    EXPECT_EQ(0, excep.scode) << c.label;
    if (c.expectValue) {
        ASSERT_EQ(VT_BSTR, V_VT(&result)) << c.label;
        ASSERT_NE(nullptr, V_BSTR(&result)) << c.label;
        EXPECT_EQ(6u, SysStringLen(V_BSTR(&result))) << c.label;
        EXPECT_EQ(std::wstring(L"Vjaxkm"), std::wstring(V_BSTR(&result))) << c.label;
        VariantClear(&result);
    } else {
        EXPECT_EQ(VT_I4, V_VT(&result)) << c.label;
        EXPECT_EQ(-7, V_I4(&result)) << c.label;
    }
}

INSTANTIATE_TEST_SUITE_P(Calls, InvokeTest, ::testing::ValuesIn(kInvokeCases),
                         [](const testing::TestParamInfo<InvokeCase>& info) {
                             return Identifier(info.param.label);
                         });

TEST(InvokeRead, EachReadGivesANewString) {
    CImpIDispatch dispatch;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT first, second;
    VariantInit(&first);
    VariantInit(&second);
    ASSERT_EQ(S_OK, dispatch.Invoke(kProperty, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &first,
                                    nullptr, nullptr));
    ASSERT_EQ(S_OK, dispatch.Invoke(kProperty, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &second,
                                    nullptr, nullptr));
    ASSERT_EQ(VT_BSTR, V_VT(&first));
    ASSERT_EQ(VT_BSTR, V_VT(&second));
    EXPECT_NE(V_BSTR(&first), V_BSTR(&second));
    VariantClear(&first);
    // The caller owns each string: freeing one leaves the other intact.
    EXPECT_EQ(std::wstring(L"Vjaxkm"), std::wstring(V_BSTR(&second)));
    VariantClear(&second);
}

TEST(InvokeRead, NullParametersAreNotLookedAt) {
    CImpIDispatch dispatch;
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(S_OK, dispatch.Invoke(kProperty, IID_NULL, 0, DISPATCH_PROPERTYGET, nullptr, &result,
                                    nullptr, nullptr));
    EXPECT_EQ(VT_BSTR, V_VT(&result));
    VariantClear(&result);
    EXPECT_EQ(S_OK, dispatch.Invoke(kProperty, IID_NULL, 0, DISPATCH_PROPERTYPUT, nullptr, nullptr,
                                    nullptr, nullptr));
}

TEST(InvokeRead, LookupThenReadLikeAScript) {
    CImpIDispatch dispatch;
    IDispatch* external = &dispatch;
    std::wstring name = L"xxyyzz";
    LPOLESTR names[1] = {&name[0]};
    DISPID id = 0;
    ASSERT_EQ(S_OK, external->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(S_OK, external->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT,
                                     DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none, &result,
                                     nullptr, nullptr));
    ASSERT_EQ(VT_BSTR, V_VT(&result));
    EXPECT_EQ(std::wstring(L"Vjaxkm"), std::wstring(V_BSTR(&result)));
    VariantClear(&result);
}

// --- Type information ---------------------------------------------------------

TEST(TypeInfo, NotImplementedAndNothingWritten) {
    CImpIDispatch dispatch;
    UINT count = 5;
    EXPECT_EQ(E_NOTIMPL, dispatch.GetTypeInfoCount(&count));
    EXPECT_EQ(5u, count);
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(0x1234);
    EXPECT_EQ(E_NOTIMPL, dispatch.GetTypeInfo(0, 0x0804, &info));
    EXPECT_EQ(reinterpret_cast<ITypeInfo*>(0x1234), info);
    EXPECT_EQ(E_NOTIMPL, dispatch.GetTypeInfoCount(nullptr));
    EXPECT_EQ(E_NOTIMPL, dispatch.GetTypeInfo(0, 0, nullptr));
}

// --- Interfaces and reference counting ------------------------------------------

struct InterfaceCase {
    const char* label;
    const IID* iid;
    bool supported;
};

const InterfaceCase kInterfaceCases[] = {
    {"IDispatch", &IID_IDispatch, true},
    {"IUnknown", &IID_IUnknown, true},
    {"IDispatchEx", &kIID_IDispatchEx, false},
    {"IOleObject", &IID_IOleObject, false},
    {"IClassFactory", &IID_IClassFactory, false},
    {"IPersist", &IID_IPersist, false},
    {"IMarshal", &IID_IMarshal, false},
    {"IID_NULL", &IID_NULL, false},
};

class InterfaceTest : public ::testing::TestWithParam<InterfaceCase> {};

TEST_P(InterfaceTest, QueryInterfaceAnswer) {
    const InterfaceCase& c = GetParam();
    CImpIDispatch dispatch;
    void* out = reinterpret_cast<void*>(0x1234);
    HRESULT hr = dispatch.QueryInterface(*c.iid, &out);
    if (c.supported) {
        EXPECT_EQ(S_OK, hr) << c.label;
        EXPECT_EQ(static_cast<void*>(static_cast<IDispatch*>(&dispatch)), out) << c.label;
        EXPECT_EQ(1u, dispatch.m_cRef) << c.label;
    } else {
        EXPECT_EQ(E_NOINTERFACE, hr) << c.label;
        EXPECT_EQ(nullptr, out) << c.label;
        EXPECT_EQ(0u, dispatch.m_cRef) << c.label;
    }
}

INSTANTIATE_TEST_SUITE_P(Interfaces, InterfaceTest, ::testing::ValuesIn(kInterfaceCases),
                         [](const testing::TestParamInfo<InterfaceCase>& info) {
                             return Identifier(info.param.label);
                         });

TEST(ReferenceCount, CountsWithoutOwning) {
    CImpIDispatch dispatch;
    EXPECT_EQ(0u, dispatch.m_cRef);
    EXPECT_EQ(1u, dispatch.AddRef());
    EXPECT_EQ(2u, dispatch.AddRef());
    EXPECT_EQ(1u, dispatch.Release());
    EXPECT_EQ(0u, dispatch.Release());
    EXPECT_EQ(0u, dispatch.m_cRef);

    // Released to zero the object is still there and still answers.
    IDispatch* again = nullptr;
    ASSERT_EQ(S_OK, dispatch.QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&again)));
    EXPECT_EQ(1u, dispatch.m_cRef);
    std::wstring name = L"xxyyzz";
    LPOLESTR names[1] = {&name[0]};
    DISPID id = 0;
    EXPECT_EQ(S_OK, again->GetIDsOfNames(IID_NULL, names, 1, 0x0804, &id));
    EXPECT_EQ(kProperty, id);
    EXPECT_EQ(0u, again->Release());
}

TEST(ReferenceCount, ReleaseBelowZeroDestroysNothing) {
    // The heap object is deleted here by its owner, as the application does,
    // after the count has gone through zero and below.
    auto* dispatch = new CImpIDispatch();
    EXPECT_EQ(0xFFFFFFFFu, dispatch->Release());
    EXPECT_EQ(0u, dispatch->AddRef());
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(S_OK, dispatch->Invoke(kProperty, IID_NULL, 0, DISPATCH_PROPERTYGET, nullptr,
                                     &result, nullptr, nullptr));
    EXPECT_EQ(VT_BSTR, V_VT(&result));
    VariantClear(&result);
    delete dispatch;
}

TEST(ReferenceCount, QueryInterfaceWithoutOutPointer) {
    CImpIDispatch dispatch;
    EXPECT_EQ(E_POINTER, dispatch.QueryInterface(IID_IDispatch, nullptr));
    EXPECT_EQ(E_POINTER, dispatch.QueryInterface(kIID_IDispatchEx, nullptr));
    EXPECT_EQ(0u, dispatch.m_cRef);
}

TEST(Layout, SevenSlotsOfIDispatch) {
    // The object is an IDispatch and nothing more: no virtual destructor adds
    // slots, so its size is the vtable pointer and the count.
    EXPECT_EQ(sizeof(void*) + sizeof(ULONG), sizeof(CImpIDispatch));
    EXPECT_TRUE((std::is_base_of<IDispatch, CImpIDispatch>::value));
    EXPECT_FALSE(std::has_virtual_destructor<CImpIDispatch>::value);
}

}  // namespace
