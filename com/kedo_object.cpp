// The KEDO object. The five operations convert their strings, call the
// engine object and turn its status into an HRESULT with error information;
// IDispatch goes through the type information of the embedded type library.
#include "kedo_object.h"

#include <atomic>
#include <memory>
#include <new>
#include <string>

#include "KEDO_COM.h"
#include "com_module.h"
#include "kedo/engine.h"
#include "kedo/error.h"

namespace kedo::com {

namespace {

// A BSTR argument as a wide string; a null BSTR is the empty string. A string
// with a NUL inside would be cut short by the file system and the engine's
// text files, so it is refused.
bool fromBstr(BSTR text, std::wstring& out) {
    UINT n = SysStringLen(text);
    out.assign(text != nullptr ? text : L"", n);
    return out.find(L'\0') == std::wstring::npos;
}

HRESULT invalidString(const wchar_t* what, int line) {
    return reportFailure(E_INVALIDARG, std::wstring(L"The ") + what + L" holds a NUL character (line " +
                                           std::to_wstring(line) + L" of KEDO_COM)");
}

class KedoObject final : public ::IKEDO, public ISupportErrorInfo {
public:
    explicit KedoObject(IUnknown* outer) : m_inner(this), m_outer(outer != nullptr ? outer : &m_inner) {
        moduleAddRef();
    }
    ~KedoObject() { moduleRelease(); }
    KedoObject(const KedoObject&) = delete;
    KedoObject& operator=(const KedoObject&) = delete;

    // Starts the engine; on failure the error information holds the reason.
    HRESULT start() {
        try {
            m_engine = std::make_unique<kedo::KEDO>();
            return S_OK;
        } catch (const kedo::KedoError& e) {
            return reportFailure(KEDO_E_ENGINE_START, utf8ToUtf16(e.what()));
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (const std::exception& e) {
            return reportFailure(KEDO_E_ENGINE_START, utf8ToUtf16(e.what()));
        }
    }

    IUnknown* innerUnknown() { return &m_inner; }

    // IUnknown: delegated to the outer unknown (our own inner one when the
    // object stands alone).
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override { return m_outer->QueryInterface(riid, object); }
    STDMETHODIMP_(ULONG) AddRef() override { return m_outer->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return m_outer->Release(); }

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (info == nullptr) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return ikedoTypeInfo(info);
    }
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        if (names == nullptr || ids == nullptr) return E_POINTER;
        ITypeInfo* info = nullptr;
        HRESULT hr = ikedoTypeInfo(&info);
        if (FAILED(hr)) return hr;
        hr = DispGetIDsOfNames(info, names, count, ids);
        info->Release();
        return hr;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        // The system's dispatcher reads the arguments without asking.
        if (params == nullptr) return E_INVALIDARG;
        ITypeInfo* info = nullptr;
        HRESULT hr = ikedoTypeInfo(&info);
        if (FAILED(hr)) return hr;
        hr = DispInvoke(static_cast<::IKEDO*>(this), info, id, flags, params, result, exception, argError);
        info->Release();
        return hr;
    }

    // IKEDO
    STDMETHODIMP RecordAndAssess(double recordTime, BSTR sentence, double* score) override {
        if (score == nullptr) return E_POINTER;
        return guarded([&]() {
            std::wstring text;
            if (!fromBstr(sentence, text)) return invalidString(L"sentence", __LINE__);
            double result = 0;
            HRESULT hr = statusResult(m_engine->RecordAndAssess(recordTime, text, result));
            if (SUCCEEDED(hr)) *score = result;
            return hr;
        });
    }
    STDMETHODIMP RecordAndRecog(double recordTime, BSTR sentenceListFileName, BSTR* resultSentence) override {
        if (resultSentence == nullptr) return E_POINTER;
        *resultSentence = nullptr;
        return guarded([&]() {
            std::wstring list;
            if (!fromBstr(sentenceListFileName, list)) return invalidString(L"sentence list file name", __LINE__);
            std::wstring result;
            HRESULT hr = statusResult(m_engine->RecordAndRecog(recordTime, list, result));
            return SUCCEEDED(hr) ? toBstr(result, resultSentence) : hr;
        });
    }
    STDMETHODIMP Assess(BSTR wavFileName, BSTR sentence, double* score) override {
        if (score == nullptr) return E_POINTER;
        return guarded([&]() {
            std::wstring wav, text;
            if (!fromBstr(wavFileName, wav)) return invalidString(L"audio file name", __LINE__);
            if (!fromBstr(sentence, text)) return invalidString(L"sentence", __LINE__);
            double result = 0;
            HRESULT hr = statusResult(m_engine->Assess(wav, text, result));
            if (SUCCEEDED(hr)) *score = result;
            return hr;
        });
    }
    STDMETHODIMP Recog(BSTR wavFileName, BSTR sentenceListFileName, BSTR* resultSentence) override {
        if (resultSentence == nullptr) return E_POINTER;
        *resultSentence = nullptr;
        return guarded([&]() {
            std::wstring wav, list;
            if (!fromBstr(wavFileName, wav)) return invalidString(L"audio file name", __LINE__);
            if (!fromBstr(sentenceListFileName, list)) return invalidString(L"sentence list file name", __LINE__);
            std::wstring result;
            HRESULT hr = statusResult(m_engine->Recog(wav, list, result));
            return SUCCEEDED(hr) ? toBstr(result, resultSentence) : hr;
        });
    }
    STDMETHODIMP SwitchLanguage(long type) override {
        return guarded([&]() { return statusResult(m_engine->SwitchLanguage(static_cast<int32_t>(type))); });
    }

    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override {
        return riid == IID_IKEDO || riid == IID_IDispatch ? S_OK : S_FALSE;
    }

private:
    // The non-delegating unknown: the object's identity and its count.
    class Inner final : public IUnknown {
    public:
        explicit Inner(KedoObject* owner) : m_owner(owner) {}
        STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
            if (object == nullptr) return E_POINTER;
            if (riid == IID_IUnknown)
                *object = static_cast<IUnknown*>(this);
            else if (riid == IID_IKEDO || riid == IID_IDispatch)
                *object = static_cast<::IKEDO*>(m_owner);
            else if (riid == IID_ISupportErrorInfo)
                *object = static_cast<ISupportErrorInfo*>(m_owner);
            else {
                *object = nullptr;
                return E_NOINTERFACE;
            }
            static_cast<IUnknown*>(*object)->AddRef();
            return S_OK;
        }
        STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++m_count); }
        STDMETHODIMP_(ULONG) Release() override {
            long n = --m_count;
            if (n == 0) delete m_owner;
            return static_cast<ULONG>(n);
        }

    private:
        KedoObject* m_owner;
        std::atomic<long> m_count{0};
    };

    // The engine's status as an HRESULT; failures carry the engine's message.
    HRESULT statusResult(kedo::Status status) {
        switch (status) {
        case kedo::Status::ok:
            return S_OK;
        case kedo::Status::busy:
            return reportFailure(KEDO_E_BUSY, utf8ToUtf16(m_engine->lastErrorMessage()));
        default:
            return reportFailure(KEDO_E_OPERATION_FAILED, utf8ToUtf16(m_engine->lastErrorMessage()));
        }
    }

    static HRESULT toBstr(const std::wstring& text, BSTR* out) {
        *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return *out != nullptr ? S_OK : E_OUTOFMEMORY;
    }

    // No exception leaves the interface.
    template <class Body>
    static HRESULT guarded(Body&& body) {
        try {
            return body();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (const std::exception& e) {
            return reportFailure(KEDO_E_OPERATION_FAILED, utf8ToUtf16(e.what()));
        }
    }

    Inner m_inner;
    IUnknown* m_outer;
    std::unique_ptr<kedo::KEDO> m_engine;
};

}  // namespace

HRESULT createKedoObject(IUnknown* outer, REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    KedoObject* created = new (std::nothrow) KedoObject(outer);
    if (created == nullptr) return E_OUTOFMEMORY;
    IUnknown* inner = created->innerUnknown();
    inner->AddRef();
    HRESULT hr = created->start();
    if (SUCCEEDED(hr)) hr = inner->QueryInterface(riid, object);
    inner->Release();  // deletes the object when nothing was handed out
    return hr;
}

}  // namespace kedo::com
