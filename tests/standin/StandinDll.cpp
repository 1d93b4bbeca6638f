// Entry points of standin_browser.dll: the stand-in engine as an in-process
// server that a test prefix registers for the WebBrowser class identifier.
#include <windows.h>
#include <ole2.h>
#include <exdisp.h>
#include <olectl.h>

#include <string>

#include "tests/standin/StandinInternal.h"

namespace {

const wchar_t kClsidText[] = L"{8856F961-340A-11D0-A96B-00C04FD705A2}";
// Where the previous server of the class is kept while ours is registered.
const wchar_t kSavedValue[] = L"StandinPreviousServer";

std::wstring ClassKeyPath() { return std::wstring(L"Software\\Classes\\CLSID\\") + kClsidText; }
std::wstring ServerKeyPath() { return ClassKeyPath() + L"\\InprocServer32"; }

class RegKey {
public:
    RegKey() = default;
    ~RegKey() { reset(); }
    void reset() {
        if (h_) RegCloseKey(h_);
        h_ = nullptr;
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    HKEY* put() { return &h_; }
    HKEY get() const { return h_; }

private:
    HKEY h_ = nullptr;
};

std::wstring ModulePath() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(standin::ThisModule(), path, MAX_PATH);
    return std::wstring(path, n);
}

bool ReadString(HKEY key, const wchar_t* name, std::wstring* value) {
    wchar_t buffer[MAX_PATH * 2];
    DWORD size = sizeof buffer - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
        return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    buffer[size / sizeof(wchar_t)] = 0;
    *value = buffer;
    return true;
}

LONG WriteString(HKEY key, const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// Registers this DLL as the class's in-process server under `root`, keeping
// any previous server path so that unregistration can put it back.
HRESULT RegisterUnder(HKEY root) {
    RegKey key;
    if (RegCreateKeyExW(root, ServerKeyPath().c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS)
        return SELFREG_E_CLASS;
    const std::wstring self = ModulePath();
    std::wstring previous;
    if (ReadString(key.get(), nullptr, &previous) && _wcsicmp(previous.c_str(), self.c_str()) != 0)
        WriteString(key.get(), kSavedValue, previous);
    if (WriteString(key.get(), nullptr, self) != ERROR_SUCCESS) return SELFREG_E_CLASS;
    if (WriteString(key.get(), L"ThreadingModel", L"Apartment") != ERROR_SUCCESS) return SELFREG_E_CLASS;
    return S_OK;
}

HRESULT UnregisterUnder(HKEY root) {
    RegKey key;
    if (RegOpenKeyExW(root, ServerKeyPath().c_str(), 0, KEY_READ | KEY_WRITE, key.put()) != ERROR_SUCCESS)
        return S_OK;
    std::wstring current, previous;
    if (!ReadString(key.get(), nullptr, &current) || _wcsicmp(current.c_str(), ModulePath().c_str()) != 0)
        return S_OK;  // not ours
    if (ReadString(key.get(), kSavedValue, &previous)) {
        WriteString(key.get(), nullptr, previous);
        RegDeleteValueW(key.get(), kSavedValue);
        return S_OK;
    }
    key.reset();
    RegDeleteTreeW(root, ClassKeyPath().c_str());
    return S_OK;
}

}  // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (clsid != CLSID_WebBrowser) return CLASS_E_CLASSNOTAVAILABLE;
    return standin::ClassFactory()->QueryInterface(riid, ppv);
}

STDAPI DllCanUnloadNow() { return standin::CanUnload() ? S_OK : S_FALSE; }

// Registered per user (where Windows looks first) and per machine: Wine's
// class lookup reads only HKLM\Software\Classes and ignores the per-user
// classes. The machine entry replaces the system's server of the class until
// unregistration puts the saved path back.
STDAPI DllRegisterServer() {
    HRESULT user = RegisterUnder(HKEY_CURRENT_USER);
    HRESULT machine = RegisterUnder(HKEY_LOCAL_MACHINE);
    return SUCCEEDED(user) || SUCCEEDED(machine) ? S_OK : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer() {
    UnregisterUnder(HKEY_CURRENT_USER);
    UnregisterUnder(HKEY_LOCAL_MACHINE);
    return S_OK;
}
