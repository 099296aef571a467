// The KEDO object: IKEDO (dual) over the engine object, ISupportErrorInfo,
// and aggregation.
#pragma once

#include <windows.h>

namespace kedo::com {

// Creates a KEDO object and asks it for riid. With an outer unknown the
// object is aggregated and riid must be IID_IUnknown (its own, non-delegating
// unknown is returned). The engine starts here; if it cannot, the result is
// KEDO_E_ENGINE_START with the engine's message in the error information.
HRESULT createKedoObject(IUnknown* outer, REFIID riid, void** object);

}  // namespace kedo::com
