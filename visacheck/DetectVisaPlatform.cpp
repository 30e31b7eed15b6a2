#include "visacheck/DetectVisaPlatform.h"

#include "base/Guard.h"
#include "visacheck/PlatformDetection.h"
#include "visacheck/Visa32Identification.h"

namespace kestrava {
namespace {

constexpr const char* kSource = "DetectVisaPlatform";

}  // namespace

HRESULT DetectVisaPlatform::PlatformViaRegistry(UlmarVisaPlatformID* platform) noexcept {
    if (!platform) return E_POINTER;
    *platform = GuardOr(UlmarVisaPlatform_Unknown, kSource, "PlatformViaRegistry",
                        [&] { return kestrava::PlatformViaRegistry(*source_.Get()); });
    return S_OK;
}

HRESULT DetectVisaPlatform::PlatformViaOemInfo(UlmarVisaPlatformID* platform) noexcept {
    if (!platform) return E_POINTER;
    *platform = GuardOr(UlmarVisaPlatform_Unknown, kSource, "PlatformViaOemInfo",
                        [&] { return kestrava::PlatformViaOemInfo(*source_.Get()).platform; });
    return S_OK;
}

HRESULT DetectVisaPlatform::GetPlatformDescription(UlmarVisaPlatformID platform,
                                                   std::string* description) noexcept {
    if (!description) return E_POINTER;
    Guard(kSource, "GetPlatformDescription",
          [&] { *description = std::string(PlatformDescription(platform)); });
    return S_OK;
}

HRESULT DetectVisaPlatform::IdentifyCurrentVisa32Dll(std::int16_t* major, std::int16_t* minor,
                                                     std::int16_t* revision,
                                                     std::string* vendorName,
                                                     std::int32_t* statusVisa32Dll) noexcept {
    if (!major || !minor || !revision || !vendorName || !statusVisa32Dll) return E_POINTER;
    *major = *minor = *revision = 0;
    *statusVisa32Dll = 0;
    const bool done = Guard(kSource, "IdentifyCurrentVisa32Dll", [&] {
        vendorName->clear();
        Visa32Identity id = IdentifyVisa32(*source_.Get());
        *statusVisa32Dll = id.status;
        if (id.status <= 0) return;
        *major = static_cast<std::int16_t>(id.major);
        *minor = static_cast<std::int16_t>(id.minor);
        *revision = static_cast<std::int16_t>(id.revision);
        *vendorName = std::move(id.vendor);
    });
    if (!done) *statusVisa32Dll = -1;
    return S_OK;
}

}  // namespace kestrava
