// The module's shared state: its handle and path, the count that decides
// whether it may unload, the type information of IKEDO from the embedded type
// library, and the error information handed to callers.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

namespace kedo::com {

// The DLL's own module handle (set by DllMain).
HMODULE moduleHandle();
void setModuleHandle(HMODULE module);
// The full path of the DLL.
std::wstring modulePath();

// Live objects, class factory references and LockServer locks: the module
// may unload only while the count is zero.
void moduleAddRef();
void moduleRelease();
bool moduleInUse();

// The type information of IKEDO (the vtable side of the dual interface),
// loaded once from the type library inside the DLL. Returns an added
// reference in *info.
HRESULT ikedoTypeInfo(ITypeInfo** info);
// Releases the cached type information (when the module is about to unload).
void releaseTypeInfo();

// The engine's messages as UTF-16: UTF-8, else the thread's ANSI code page.
std::wstring utf8ToUtf16(const std::string& text);

// Sets the calling thread's error information: description, source
// "KEDO_COM.KEDO.1" and the IID of IKEDO. Returns status, so that a method
// can end with `return reportFailure(KEDO_E_BUSY, message);`.
HRESULT reportFailure(HRESULT status, const std::wstring& description);

}  // namespace kedo::com
