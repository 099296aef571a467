// The module's shared state: handle, unload count, type information and error
// information.
#include "com_module.h"

#include <atomic>
#include <mutex>

#include "KEDO_COM.h"

namespace kedo::com {

namespace {
HMODULE g_module = nullptr;
std::atomic<long> g_moduleCount{0};
std::mutex g_typeInfoLock;
ITypeInfo* g_typeInfo = nullptr;
}  // namespace

HMODULE moduleHandle() { return g_module; }
void setModuleHandle(HMODULE module) { g_module = module; }

std::wstring modulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(g_module, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return std::wstring();
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        // Truncated: long paths (\\?\ form) can reach 32767 characters.
        if (path.size() >= 32768) return std::wstring();
        path.resize(path.size() * 2);
    }
}

void moduleAddRef() { ++g_moduleCount; }
void moduleRelease() { --g_moduleCount; }
bool moduleInUse() { return g_moduleCount.load() != 0; }

HRESULT ikedoTypeInfo(ITypeInfo** info) {
    *info = nullptr;
    std::lock_guard<std::mutex> lock(g_typeInfoLock);
    if (g_typeInfo == nullptr) {
        std::wstring path = modulePath();
        if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
        ITypeLib* lib = nullptr;
        HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib);
        if (FAILED(hr)) return hr;
        ITypeInfo* dispatchInfo = nullptr;
        hr = lib->GetTypeInfoOfGuid(IID_IKEDO, &dispatchInfo);
        lib->Release();
        if (FAILED(hr)) return hr;
        // A dual interface is described twice; DispInvoke calls through the
        // vtable, so it needs the interface side.
        HREFTYPE ref = 0;
        ITypeInfo* vtableInfo = nullptr;
        if (SUCCEEDED(dispatchInfo->GetRefTypeOfImplType(-1, &ref)) &&
            SUCCEEDED(dispatchInfo->GetRefTypeInfo(ref, &vtableInfo))) {
            dispatchInfo->Release();
            g_typeInfo = vtableInfo;
        } else {
            g_typeInfo = dispatchInfo;
        }
    }
    g_typeInfo->AddRef();
    *info = g_typeInfo;
    return S_OK;
}

void releaseTypeInfo() {
    std::lock_guard<std::mutex> lock(g_typeInfoLock);
    if (g_typeInfo != nullptr) {
        g_typeInfo->Release();
        g_typeInfo = nullptr;
    }
}

std::wstring utf8ToUtf16(const std::string& text) {
    if (text.empty()) return std::wstring();
    // Messages are UTF-8, but a file name or text quoted in one may be in the
    // thread's ANSI code page (the engine's narrow names): bytes that are not
    // UTF-8 are read in that code page rather than lost.
    const int size = static_cast<int>(text.size());
    UINT page = CP_UTF8;
    int n = MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (n <= 0) {
        page = CP_THREAD_ACP;
        n = MultiByteToWideChar(page, 0, text.data(), size, nullptr, 0);
    }
    if (n <= 0) {
        std::wstring bytes;
        for (char c : text) bytes += static_cast<wchar_t>(static_cast<unsigned char>(c));
        return bytes;
    }
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(page, 0, text.data(), size, out.data(), n);
    return out;
}

HRESULT reportFailure(HRESULT status, const std::wstring& description) {
    ICreateErrorInfo* create = nullptr;
    if (SUCCEEDED(CreateErrorInfo(&create))) {
        create->SetGUID(IID_IKEDO);
        create->SetSource(const_cast<LPOLESTR>(L"KEDO_COM.KEDO.1"));
        create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
        IErrorInfo* info = nullptr;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
            SetErrorInfo(0, info);
            info->Release();
        }
        create->Release();
    }
    return status;
}

}  // namespace kedo::com
