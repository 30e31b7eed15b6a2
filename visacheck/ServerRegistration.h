// What DllRegisterServer and DllUnregisterServer write and remove under
// HKEY_CLASSES_ROOT: both classes with their ProgIDs, the type library and its two
// interfaces (marshalled by the automation marshaller, as dual interfaces are).
#pragma once

#include <string_view>

#include "visacheck/CarrowinTypes.h"
#include "visacheck/Registry.h"

namespace kestrava {

// modulePath: the component's file in Windows form, the in-process server of both classes
// and the file holding the type library. Writes are flushed before returning.
HRESULT RegisterCarrowin(IRegistry& registry, std::string_view modulePath);
HRESULT UnregisterCarrowin(IRegistry& registry);

}  // namespace kestrava
