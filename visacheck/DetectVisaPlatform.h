// The platform detector class: which platform the instrument software runs on, and which
// visa32.dll is installed. COM conventions as VisaInstallChk: E_POINTER for a null
// out-parameter, S_OK otherwise.
#pragma once

#include <cstdint>
#include <string>

#include "visacheck/CarrowinModule.h"
#include "visacheck/CarrowinTypes.h"

namespace kestrava {

class DetectVisaPlatform {
  public:
    DetectVisaPlatform() = default;
    explicit DetectVisaPlatform(EnvironmentSource source) : source_(std::move(source)) {}

    HRESULT PlatformViaRegistry(UlmarVisaPlatformID* platform) noexcept;
    HRESULT PlatformViaOemInfo(UlmarVisaPlatformID* platform) noexcept;
    HRESULT GetPlatformDescription(UlmarVisaPlatformID platform, std::string* description) noexcept;
    // The version parts are set only for a positive status, the vendor only for a positive
    // status and a non-empty name; otherwise they are 0 and empty.
    HRESULT IdentifyCurrentVisa32Dll(std::int16_t* major, std::int16_t* minor,
                                     std::int16_t* revision, std::string* vendorName,
                                     std::int32_t* statusVisa32Dll) noexcept;

  private:
    EnvironmentSource source_;
    ModuleReference module_;
};

}  // namespace kestrava
