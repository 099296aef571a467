// The DLL's entry points: DllMain, the class factory with DllGetClassObject
// and DllCanUnloadNow, and registration (DllRegisterServer,
// DllUnregisterServer).
#include <windows.h>
#include <olectl.h>
#include <oleauto.h>

#include <string>

#include "KEDO_COM.h"
#include "com_module.h"
#include "kedo_object.h"

namespace kedo::com {
namespace {

// The one class factory of the module. Its references and locks keep the
// module loaded.
class KedoFactory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        moduleAddRef();
        return 2;
    }
    STDMETHODIMP_(ULONG) Release() override {
        moduleRelease();
        return 1;
    }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        return createKedoObject(outer, riid, object);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock)
            moduleAddRef();
        else
            moduleRelease();
        return S_OK;
    }
};

KedoFactory g_factory;

const wchar_t* const kProgId = L"KEDO_COM.KEDO.1";
const wchar_t* const kVersionIndependentProgId = L"KEDO_COM.KEDO";
const wchar_t* const kClassName = L"KEDO Class";

std::wstring guidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

// Writes HKEY_CLASSES_ROOT\key with a default value and optionally one named
// value.
LSTATUS setKey(const std::wstring& key, const wchar_t* value, const wchar_t* name = nullptr,
               const wchar_t* namedValue = nullptr) {
    HKEY h = nullptr;
    LSTATUS rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                 nullptr, &h, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    auto set = [h](const wchar_t* valueName, const wchar_t* text) {
        DWORD bytes = static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t));
        return RegSetValueExW(h, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
    };
    if (value != nullptr) rc = set(nullptr, value);
    if (rc == ERROR_SUCCESS && name != nullptr) rc = set(name, namedValue);
    RegCloseKey(h);
    return rc;
}

void deleteTree(const std::wstring& key) { RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str()); }

HRESULT unregisterAll() {
    // Removes the type library's keys, the interface's among them; a library
    // that is not registered is not an error here.
    UnRegisterTypeLib(LIBID_KEDO_COMLib, 1, 0, LOCALE_NEUTRAL, SYS_WIN64);
    const std::wstring clsid = guidText(CLSID_KEDO);
    deleteTree(L"CLSID\\" + clsid);
    deleteTree(kProgId);
    deleteTree(kVersionIndependentProgId);
    deleteTree(L"Interface\\" + guidText(IID_IKEDO));
    deleteTree(L"TypeLib\\" + guidText(LIBID_KEDO_COMLib));
    return S_OK;
}

HRESULT registerAll() {
    const std::wstring path = modulePath();
    if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
    const std::wstring clsid = guidText(CLSID_KEDO);
    const std::wstring clsidKey = L"CLSID\\" + clsid;
    const std::wstring progId = kProgId;
    const std::wstring indepId = kVersionIndependentProgId;
    LSTATUS rc = ERROR_SUCCESS;
    auto step = [&rc](LSTATUS r) {
        if (rc == ERROR_SUCCESS) rc = r;
    };
    step(setKey(progId, kClassName));
    step(setKey(progId + L"\\CLSID", clsid.c_str()));
    step(setKey(indepId, kClassName));
    step(setKey(indepId + L"\\CLSID", clsid.c_str()));
    step(setKey(indepId + L"\\CurVer", kProgId));
    step(setKey(clsidKey, kClassName));
    step(setKey(clsidKey + L"\\ProgID", kProgId));
    step(setKey(clsidKey + L"\\VersionIndependentProgID", kVersionIndependentProgId));
    step(setKey(clsidKey + L"\\InprocServer32", path.c_str(), L"ThreadingModel", L"Both"));
    step(setKey(clsidKey + L"\\TypeLib", guidText(LIBID_KEDO_COMLib).c_str()));
    step(setKey(clsidKey + L"\\Version", L"1.0"));
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);

    // Registering the type library also registers IKEDO with the automation
    // marshaller.
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, &lib);
    if (FAILED(hr)) return hr;
    lib->Release();
    return S_OK;
}

}  // namespace
}  // namespace kedo::com

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        kedo::com::setModuleHandle(instance);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_KEDO) return CLASS_E_CLASSNOTAVAILABLE;
    return kedo::com::g_factory.QueryInterface(riid, object);
}

STDAPI DllCanUnloadNow() {
    if (kedo::com::moduleInUse()) return S_FALSE;
    kedo::com::releaseTypeInfo();
    return S_OK;
}

STDAPI DllRegisterServer() {
    HRESULT hr = kedo::com::registerAll();
    // Half a registration is worse than none.
    if (FAILED(hr)) kedo::com::unregisterAll();
    return hr;
}

STDAPI DllUnregisterServer() { return kedo::com::unregisterAll(); }
