// A C++ host of the KEDO_COM component for the Wine tests. Every check prints
// "ok: ..." or "FAIL: ..."; the exit status is the number of failures.
//
//   com_client basics MISSING_WAV        registration, interfaces, type
//                                        information, aggregation, errors
//   com_client assess LANG WAV TEXTFILE  score through the vtable and Invoke
//   com_client recog LANG WAV LISTFILE [EXPECTFILE]
//                                        sentence through both; with
//                                        EXPECTFILE its code units must be the
//                                        file's text in the ANSI code page
//   com_client record-assess SECONDS TEXTFILE
//   com_client record-recog SECONDS LISTFILE
//   com_client missing WAV               the error checks of basics for WAV
//   com_client create-fails              creation when the engine cannot start
//   com_client busy SECONDS              a call during a recording is refused
//   com_client acp                       prints the ANSI code page
//
// LANG is 0 (English) or 1 (Chinese). Sentence files are read as bytes in the
// ANSI code page. Results are printed as "score=%.6f", "hr=0x%08lx",
// "error=TEXT" and "sentence16=HEX" (the UTF-16 code units, four hex digits
// each), so that the test compares code units rather than console text.
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "KEDO_COM.h"

namespace {

int g_failures = 0;

void check(bool condition, const char* what) {
    std::printf("%s: %s\n", condition ? "ok" : "FAIL", what);
    if (!condition) ++g_failures;
    std::fflush(stdout);
}

std::string narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

std::string hex16(const wchar_t* text, size_t n) {
    std::string out;
    char buf[8];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "%04x", static_cast<unsigned>(text[i]) & 0xffffu);
        out += buf;
    }
    return out;
}

// A file's bytes in the ANSI code page as a wide string.
std::wstring readAnsiFile(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r')) bytes.pop_back();
    if (bytes.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
    return out;
}

// The thread's error information, if the object set one.
struct ErrorInfo {
    std::wstring description, source;
    GUID guid = GUID_NULL;
    bool present = false;
};

ErrorInfo takeErrorInfo() {
    ErrorInfo e;
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) == S_OK && info != nullptr) {
        BSTR text = nullptr;
        if (SUCCEEDED(info->GetDescription(&text)) && text) e.description.assign(text, SysStringLen(text));
        SysFreeString(text);
        text = nullptr;
        if (SUCCEEDED(info->GetSource(&text)) && text) e.source.assign(text, SysStringLen(text));
        SysFreeString(text);
        info->GetGUID(&e.guid);
        info->Release();
        e.present = true;
    }
    return e;
}

void printFailure(HRESULT hr) {
    ErrorInfo e = takeErrorInfo();
    std::printf("hr=0x%08lx\nerror=%s\n", static_cast<unsigned long>(hr), narrow(e.description).c_str());
}

IKEDO* create(const wchar_t* progId) {
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(progId, &clsid))) return nullptr;
    IKEDO* kedo = nullptr;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IKEDO, reinterpret_cast<void**>(&kedo));
    if (FAILED(hr)) {
        printFailure(hr);
        return nullptr;
    }
    return kedo;
}

// IDispatch::Invoke by name: the DISPID comes from GetIDsOfNames. Arguments
// are given in their declared order.
HRESULT invokeByName(IDispatch* dispatch, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result,
                     EXCEPINFO* exception) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    UINT argError = 0;
    return dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, exception, &argError);
}

VARIANT bstrArg(const std::wstring& text) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return v;
}

VARIANT doubleArg(double value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_R8;
    V_R8(&v) = value;
    return v;
}

VARIANT longArg(long value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return v;
}

void clearArgs(std::vector<VARIANT>& args) {
    for (VARIANT& v : args) VariantClear(&v);
}

// Calls an operation through Invoke and returns its result variant.
HRESULT invokeOperation(IKEDO* kedo, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result,
                        EXCEPINFO* exception) {
    IDispatch* dispatch = nullptr;
    HRESULT hr = kedo->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
    if (FAILED(hr)) return hr;
    hr = invokeByName(dispatch, name, args, result, exception);
    clearArgs(args);
    dispatch->Release();
    return hr;
}

// An outer object that aggregates a KEDO object.
class Outer final : public IUnknown {
public:
    IUnknown* inner = nullptr;
    LONG count = 1;
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown) {
            *object = this;
            AddRef();
            return S_OK;
        }
        return inner != nullptr ? inner->QueryInterface(riid, object) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++count; }
    STDMETHODIMP_(ULONG) Release() override { return --count; }
};

std::wstring docString(ITypeInfo* info, MEMBERID id) {
    BSTR doc = nullptr;
    std::wstring out;
    if (SUCCEEDED(info->GetDocumentation(id, nullptr, &doc, nullptr, nullptr)) && doc) out = doc;
    SysFreeString(doc);
    return out;
}

void checkTypeInfo(IKEDO* kedo) {
    UINT count = 0;
    check(SUCCEEDED(kedo->GetTypeInfoCount(&count)) && count == 1, "GetTypeInfoCount is 1");
    ITypeInfo* info = nullptr;
    check(SUCCEEDED(kedo->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info)) && info, "GetTypeInfo");
    if (info == nullptr) return;
    ITypeInfo* second = nullptr;
    check(kedo->GetTypeInfo(1, LOCALE_USER_DEFAULT, &second) == DISP_E_BADINDEX && second == nullptr,
          "GetTypeInfo(1) is DISP_E_BADINDEX");
    check(docString(info, MEMBERID_NIL) == L"IKEDO Interface", "interface help string \"IKEDO Interface\"");
    const wchar_t* names[] = {L"RecordAndAssess", L"RecordAndRecog", L"Assess", L"Recog", L"SwitchLanguage"};
    for (int i = 0; i < 5; ++i) {
        DISPID id = 0;
        LPOLESTR name = const_cast<LPOLESTR>(names[i]);
        HRESULT hr = kedo->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
        std::string what = "DISPID " + std::to_string(i + 1) + " and help string of " + narrow(names[i]);
        check(SUCCEEDED(hr) && id == i + 1 && docString(info, id) == std::wstring(L"method ") + names[i],
              what.c_str());
    }
    DISPID id = 0;
    LPOLESTR bogus = const_cast<LPOLESTR>(L"NoSuchMethod");
    check(kedo->GetIDsOfNames(IID_NULL, &bogus, 1, LOCALE_USER_DEFAULT, &id) == DISP_E_UNKNOWNNAME,
          "an unknown name is DISP_E_UNKNOWNNAME");
    ITypeLib* lib = nullptr;
    UINT index = 0;
    if (SUCCEEDED(info->GetContainingTypeLib(&lib, &index))) {
        BSTR doc = nullptr;
        lib->GetDocumentation(-1, nullptr, &doc, nullptr, nullptr);
        check(doc && std::wstring(doc) == L"KEDO_COM 1.0 Type Library", "type library \"KEDO_COM 1.0 Type Library\"");
        SysFreeString(doc);
        TLIBATTR* attr = nullptr;
        if (SUCCEEDED(lib->GetLibAttr(&attr))) {
            check(attr->guid == LIBID_KEDO_COMLib && attr->wMajorVerNum == 1 && attr->wMinorVerNum == 0,
                  "type library identifier and version 1.0");
            lib->ReleaseTLibAttr(attr);
        }
        ITypeInfo* classInfo = nullptr;
        if (SUCCEEDED(lib->GetTypeInfoOfGuid(CLSID_KEDO, &classInfo))) {
            check(docString(classInfo, MEMBERID_NIL) == L"KEDO Class", "class help string \"KEDO Class\"");
            classInfo->Release();
        } else {
            check(false, "the type library describes class KEDO");
        }
        lib->Release();
    }
    info->Release();
}

void checkAggregation(const CLSID& clsid) {
    Outer outer;
    IKEDO* refused = nullptr;
    check(CoCreateInstance(clsid, &outer, CLSCTX_INPROC_SERVER, IID_IKEDO, reinterpret_cast<void**>(&refused)) ==
              CLASS_E_NOAGGREGATION,
          "aggregation asking for IKEDO is CLASS_E_NOAGGREGATION");
    HRESULT hr = CoCreateInstance(clsid, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                  reinterpret_cast<void**>(&outer.inner));
    check(SUCCEEDED(hr) && outer.inner != nullptr, "aggregated creation gives the inner unknown");
    if (outer.inner == nullptr) return;
    IKEDO* kedo = nullptr;
    check(SUCCEEDED(outer.QueryInterface(IID_IKEDO, reinterpret_cast<void**>(&kedo))) && kedo,
          "the outer object exposes IKEDO");
    if (kedo == nullptr) return;
    LONG before = outer.count;
    kedo->AddRef();
    check(outer.count == before + 1, "IKEDO::AddRef reaches the outer object");
    kedo->Release();
    IUnknown* identity = nullptr;
    kedo->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
    check(identity == &outer, "IKEDO::QueryInterface(IUnknown) is the outer object");
    if (identity) identity->Release();
    long ok = SUCCEEDED(kedo->SwitchLanguage(0));
    check(ok, "an aggregated object works");
    kedo->Release();
    check(outer.inner->Release() == 0, "the inner unknown holds the last reference");
}

void checkUnloadCounting() {
    IClassFactory* factory = nullptr;
    check(SUCCEEDED(CoGetClassObject(CLSID_KEDO, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                     reinterpret_cast<void**>(&factory))),
          "class factory");
    HMODULE module = GetModuleHandleW(L"KEDO_COM.dll");
    auto canUnload = reinterpret_cast<HRESULT(WINAPI*)()>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    auto getClass = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    check(module && canUnload && getClass, "DllCanUnloadNow and DllGetClassObject are exported");
    if (!canUnload || !getClass || !factory) return;
    void* none = nullptr;
    check(getClass(IID_IKEDO, IID_IClassFactory, &none) == CLASS_E_CLASSNOTAVAILABLE,
          "another class is CLASS_E_CLASSNOTAVAILABLE");
    check(canUnload() == S_FALSE, "a factory reference keeps the module");
    factory->LockServer(TRUE);
    factory->Release();
    check(canUnload() == S_FALSE, "LockServer keeps the module");
    IKEDO* kedo = nullptr;
    factory->CreateInstance(nullptr, IID_IKEDO, reinterpret_cast<void**>(&kedo));
    factory->LockServer(FALSE);
    check(kedo != nullptr && canUnload() == S_FALSE, "a live object keeps the module");
    if (kedo) kedo->Release();
    check(canUnload() == S_OK, "DllCanUnloadNow is S_OK once everything is released");
}

// The DLL's version resource: 1.0.0.1, a DLL that registers itself.
void checkVersionResource() {
    HMODULE module = GetModuleHandleW(L"KEDO_COM.dll");
    wchar_t path[MAX_PATH] = {};
    if (module == nullptr || GetModuleFileNameW(module, path, MAX_PATH) == 0) {
        check(false, "the DLL is loaded");
        return;
    }
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &handle);
    std::vector<BYTE> data(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    void* selfRegister = nullptr;
    bool ok = size > 0 && GetFileVersionInfoW(path, 0, size, data.data()) &&
              VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed != nullptr &&
              fixed->dwFileVersionMS == 0x00010000 && fixed->dwFileVersionLS == 0x00000001 &&
              fixed->dwFileType == VFT_DLL;
    check(ok, "version resource 1.0.0.1 of a DLL");
    check(VerQueryValueW(data.data(), L"\\StringFileInfo\\040904B0\\OLESelfRegister", &selfRegister, &length),
          "the version resource marks the DLL self-registering");
}

void checkErrors(IKEDO* kedo, const std::wstring& missingWav) {
    double score = -1;
    BSTR wav = SysAllocString(missingWav.c_str());
    BSTR text = SysAllocString(L"hello");
    HRESULT hr = kedo->Assess(wav, text, &score);
    ErrorInfo e = takeErrorInfo();
    std::printf("error=%s\n", narrow(e.description).c_str());
    check(hr == KEDO_E_OPERATION_FAILED, "Assess on a missing file is KEDO_E_OPERATION_FAILED");
    check(score == -1, "the score is left alone on failure");
    check(e.present && e.description.find(missingWav.substr(missingWav.find_last_of(L"\\/") + 1)) != std::wstring::npos,
          "IErrorInfo's description names the missing file");
    check(e.source == L"KEDO_COM.KEDO.1" && e.guid == IID_IKEDO, "IErrorInfo's source and interface");

    BSTR result = reinterpret_cast<BSTR>(1);
    hr = kedo->Recog(wav, text, &result);
    takeErrorInfo();
    check(hr == KEDO_E_OPERATION_FAILED && result == nullptr, "a failed Recog returns a null sentence");

    VARIANT out;
    VariantInit(&out);
    EXCEPINFO exception = {};
    hr = invokeOperation(kedo, L"Assess", {bstrArg(missingWav), bstrArg(L"hello")}, &out, &exception);
    std::wstring description = exception.bstrDescription ? exception.bstrDescription : L"";
    check(hr == DISP_E_EXCEPTION && exception.scode == KEDO_E_OPERATION_FAILED &&
              description.find(L"(line ") != std::wstring::npos,
          "Invoke(Assess) on a missing file: DISP_E_EXCEPTION with the message in EXCEPINFO");
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrHelpFile);

    check(kedo->Assess(wav, text, nullptr) == E_POINTER, "a null out pointer is E_POINTER");
    BSTR withNul = SysAllocStringLen(L"a\0b.wav", 7);
    hr = kedo->Assess(withNul, text, &score);
    e = takeErrorInfo();
    check(hr == E_INVALIDARG && e.description.find(L"(line ") != std::wstring::npos,
          "a file name holding NUL is E_INVALIDARG with error information");
    SysFreeString(withNul);
    SysFreeString(wav);
    SysFreeString(text);
}

int basics(const std::wstring& missingWav) {
    CLSID fromVersioned, fromIndependent;
    check(SUCCEEDED(CLSIDFromProgID(L"KEDO_COM.KEDO.1", &fromVersioned)) && fromVersioned == CLSID_KEDO,
          "ProgID KEDO_COM.KEDO.1 names the class");
    check(SUCCEEDED(CLSIDFromProgID(L"KEDO_COM.KEDO", &fromIndependent)) && fromIndependent == CLSID_KEDO,
          "ProgID KEDO_COM.KEDO names the class");
    checkUnloadCounting();
    checkVersionResource();
    IKEDO* first = create(L"KEDO_COM.KEDO.1");
    check(first != nullptr, "CoCreateInstance by KEDO_COM.KEDO.1");
    if (first) first->Release();
    IKEDO* kedo = create(L"KEDO_COM.KEDO");
    check(kedo != nullptr, "CoCreateInstance by KEDO_COM.KEDO");
    if (kedo == nullptr) return g_failures;

    IDispatch* dispatch = nullptr;
    IUnknown* a = nullptr;
    IUnknown* b = nullptr;
    ISupportErrorInfo* support = nullptr;
    check(SUCCEEDED(kedo->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))), "IDispatch");
    check(SUCCEEDED(kedo->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support))) &&
              support->InterfaceSupportsErrorInfo(IID_IKEDO) == S_OK,
          "ISupportErrorInfo covers IKEDO");
    kedo->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a));
    if (dispatch) dispatch->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b));
    check(a != nullptr && a == b, "one identity");
    void* none = nullptr;
    check(kedo->QueryInterface(IID_IClassFactory, &none) == E_NOINTERFACE && none == nullptr,
          "an unknown interface is E_NOINTERFACE");
    for (IUnknown* p : {static_cast<IUnknown*>(dispatch), a, b, static_cast<IUnknown*>(support)})
        if (p) p->Release();

    checkTypeInfo(kedo);
    check(SUCCEEDED(kedo->SwitchLanguage(0)), "SwitchLanguage(0) through the vtable");
    VARIANT out;
    VariantInit(&out);
    check(SUCCEEDED(invokeOperation(kedo, L"SwitchLanguage", {longArg(0)}, &out, nullptr)),
          "SwitchLanguage(0) through Invoke");
    checkErrors(kedo, missingWav);
    check(kedo->Release() == 0, "the last Release ends the object");
    checkAggregation(CLSID_KEDO);
    return g_failures;
}

int assess(long language, const std::wstring& wav, const std::wstring& textFile) {
    IKEDO* kedo = create(L"KEDO_COM.KEDO");
    check(kedo != nullptr, "created");
    if (!kedo) return g_failures;
    HRESULT hr = kedo->SwitchLanguage(language);
    check(SUCCEEDED(hr), "SwitchLanguage");
    std::wstring sentence = readAnsiFile(textFile);
    BSTR w = SysAllocString(wav.c_str());
    BSTR s = SysAllocStringLen(sentence.data(), static_cast<UINT>(sentence.size()));
    double score = -1;
    hr = kedo->Assess(w, s, &score);
    if (FAILED(hr)) printFailure(hr);
    check(SUCCEEDED(hr), "Assess through the vtable");
    VARIANT out;
    VariantInit(&out);
    HRESULT hr2 = invokeOperation(kedo, L"Assess", {bstrArg(wav), bstrArg(sentence)}, &out, nullptr);
    check(SUCCEEDED(hr2) && V_VT(&out) == VT_R8 && V_R8(&out) == score, "Assess through Invoke: the same score");
    std::printf("score=%.6f\n", score);
    SysFreeString(w);
    SysFreeString(s);
    kedo->Release();
    return g_failures;
}

int recog(long language, const std::wstring& wav, const std::wstring& listFile, const std::wstring& expectFile) {
    IKEDO* kedo = create(L"KEDO_COM.KEDO");
    check(kedo != nullptr, "created");
    if (!kedo) return g_failures;
    VARIANT out;
    VariantInit(&out);
    check(SUCCEEDED(invokeOperation(kedo, L"SwitchLanguage", {longArg(language)}, &out, nullptr)),
          "SwitchLanguage through Invoke");
    BSTR w = SysAllocString(wav.c_str());
    BSTR l = SysAllocString(listFile.c_str());
    BSTR sentence = nullptr;
    HRESULT hr = kedo->Recog(w, l, &sentence);
    if (FAILED(hr)) printFailure(hr);
    check(SUCCEEDED(hr) && sentence != nullptr, "Recog through the vtable");
    std::wstring viaVtable = sentence ? std::wstring(sentence, SysStringLen(sentence)) : std::wstring();
    hr = invokeOperation(kedo, L"Recog", {bstrArg(wav), bstrArg(listFile)}, &out, nullptr);
    check(SUCCEEDED(hr) && V_VT(&out) == VT_BSTR &&
              std::wstring(V_BSTR(&out), SysStringLen(V_BSTR(&out))) == viaVtable,
          "Recog through Invoke: the same sentence");
    VariantClear(&out);
    std::printf("sentence16=%s\n", hex16(viaVtable.data(), viaVtable.size()).c_str());
    if (!expectFile.empty()) {
        std::wstring expected = readAnsiFile(expectFile);
        check(!expected.empty() && viaVtable == expected,
              "the recognised sentence has the code units of the expected text");
        std::printf("expected16=%s\n", hex16(expected.data(), expected.size()).c_str());
    }
    SysFreeString(sentence);
    SysFreeString(w);
    SysFreeString(l);
    kedo->Release();
    return g_failures;
}

// The record-and-* operations print their outcome; what a silent recording
// gives is for the test to judge.
int record(bool assessIt, double seconds, const std::wstring& argFile) {
    IKEDO* kedo = create(L"KEDO_COM.KEDO");
    check(kedo != nullptr, "created");
    if (!kedo) return g_failures;
    std::wstring text = assessIt ? readAnsiFile(argFile) : argFile;
    BSTR arg = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    HRESULT hr;
    VARIANT out;
    VariantInit(&out);
    EXCEPINFO exception = {};
    if (assessIt) {
        double score = -1;
        hr = kedo->RecordAndAssess(seconds, arg, &score);
        std::printf("vtable hr=0x%08lx score=%.6f\n", static_cast<unsigned long>(hr), score);
        if (FAILED(hr)) printFailure(hr);
        HRESULT hr2 = invokeOperation(kedo, L"RecordAndAssess", {doubleArg(seconds), bstrArg(text)}, &out, &exception);
        std::printf("invoke hr=0x%08lx scode=0x%08lx\n", static_cast<unsigned long>(hr2),
                    static_cast<unsigned long>(exception.scode));
        check(SUCCEEDED(hr) == SUCCEEDED(hr2) && (FAILED(hr2) || V_R8(&out) == score),
              "RecordAndAssess through Invoke: the same outcome");
    } else {
        BSTR sentence = nullptr;
        hr = kedo->RecordAndRecog(seconds, arg, &sentence);
        std::printf("vtable hr=0x%08lx\n", static_cast<unsigned long>(hr));
        if (FAILED(hr)) printFailure(hr);
        if (sentence) std::printf("sentence16=%s\n", hex16(sentence, SysStringLen(sentence)).c_str());
        HRESULT hr2 = invokeOperation(kedo, L"RecordAndRecog", {doubleArg(seconds), bstrArg(text)}, &out, &exception);
        std::printf("invoke hr=0x%08lx scode=0x%08lx\n", static_cast<unsigned long>(hr2),
                    static_cast<unsigned long>(exception.scode));
        check(SUCCEEDED(hr) == SUCCEEDED(hr2), "RecordAndRecog through Invoke: the same outcome");
        SysFreeString(sentence);
    }
    if (exception.bstrDescription) std::printf("invoke error=%s\n", narrow(exception.bstrDescription).c_str());
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrHelpFile);
    VariantClear(&out);
    SysFreeString(arg);
    kedo->Release();
    return g_failures;
}

// While one thread records, a call from another thread is refused with
// KEDO_E_BUSY and its own error information. The process runs in the
// multithreaded apartment, so both threads use the object directly. The
// recording thread retries while the other thread's call holds the engine;
// the other thread calls until it meets the recording or the recording ends.
int busy(double seconds) {
    IKEDO* kedo = create(L"KEDO_COM.KEDO");
    check(kedo != nullptr, "created");
    if (!kedo) return g_failures;
    std::atomic<bool> done{false};
    HRESULT recorded = E_FAIL;
    std::thread worker([&]() {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        BSTR text = SysAllocString(L"hello");
        double score = 0;
        do {
            recorded = kedo->RecordAndAssess(seconds, text, &score);
        } while (recorded == KEDO_E_BUSY);
        SysFreeString(text);
        done = true;
        CoUninitialize();
    });
    HRESULT second = S_OK;
    ErrorInfo e;
    int calls = 0;
    while (!done) {
        ++calls;
        second = kedo->SwitchLanguage(0);
        if (second == KEDO_E_BUSY) {
            e = takeErrorInfo();
            break;
        }
        Sleep(5);
    }
    worker.join();
    std::printf("recording hr=0x%08lx; call %d from the other thread: hr=0x%08lx\n",
                static_cast<unsigned long>(recorded), calls, static_cast<unsigned long>(second));
    std::printf("error=%s\n", narrow(e.description).c_str());
    check(SUCCEEDED(recorded), "the recording thread's RecordAndAssess succeeds");
    check(second == KEDO_E_BUSY && e.present && !e.description.empty() && e.source == L"KEDO_COM.KEDO.1",
          "a call from another thread during the recording is KEDO_E_BUSY with a message");
    check(SUCCEEDED(kedo->SwitchLanguage(0)), "afterwards the object takes calls again");
    kedo->Release();
    return g_failures;
}

// Creation when the engine cannot start (its working folder is missing).
int createFails() {
    IKEDO* kedo = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_KEDO, nullptr, CLSCTX_INPROC_SERVER, IID_IKEDO,
                                  reinterpret_cast<void**>(&kedo));
    ErrorInfo e = takeErrorInfo();
    std::printf("hr=0x%08lx\nerror=%s\n", static_cast<unsigned long>(hr), narrow(e.description).c_str());
    check(hr == KEDO_E_ENGINE_START && kedo == nullptr, "creation fails with KEDO_E_ENGINE_START");
    check(e.present && e.description.find(L"(line ") != std::wstring::npos, "with the engine's message");
    if (kedo) kedo->Release();
    return g_failures;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> a(argv + 1, argv + argc);
    if (a.empty()) {
        std::fprintf(stderr, "usage: com_client basics|missing|assess|recog|record-assess|record-recog|create-fails|busy|acp ...\n");
        return 100;
    }
    if (a[0] == L"acp") {
        std::printf("acp=%u\n", GetACP());
        return 0;
    }
    bool multithreaded = a[0] == L"busy";
    if (FAILED(CoInitializeEx(nullptr, multithreaded ? COINIT_MULTITHREADED : COINIT_APARTMENTTHREADED))) return 101;
    int failures = 100;
    if (a[0] == L"basics" && a.size() == 2)
        failures = basics(a[1]);
    else if (a[0] == L"assess" && a.size() == 4)
        failures = assess(std::wcstol(a[1].c_str(), nullptr, 10), a[2], a[3]);
    else if (a[0] == L"recog" && (a.size() == 4 || a.size() == 5))
        failures = recog(std::wcstol(a[1].c_str(), nullptr, 10), a[2], a[3], a.size() == 5 ? a[4] : L"");
    else if ((a[0] == L"record-assess" || a[0] == L"record-recog") && a.size() == 3)
        failures = record(a[0] == L"record-assess", std::wcstod(a[1].c_str(), nullptr), a[2]);
    else if (a[0] == L"missing" && a.size() == 2) {
        IKEDO* kedo = create(L"KEDO_COM.KEDO");
        check(kedo != nullptr, "created");
        if (kedo) {
            checkErrors(kedo, a[1]);
            kedo->Release();
        }
        failures = g_failures;
    } else if (a[0] == L"create-fails" && a.size() == 1)
        failures = createFails();
    else if (a[0] == L"busy" && a.size() == 2)
        failures = busy(std::wcstod(a[1].c_str(), nullptr));
    else
        std::fprintf(stderr, "com_client: unknown command or wrong number of arguments\n");
    CoUninitialize();
    std::printf("failures=%d\n", failures);
    return failures;
}
