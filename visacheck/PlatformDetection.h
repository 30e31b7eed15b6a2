// Which platform the instrument software runs on: a standard PC or one of the four
// oscilloscope families, from the OEM information file or the registry.
#pragma once

#include <cstdint>
#include <string_view>

#include "visacheck/CarrowinEnvironment.h"
#include "visacheck/CarrowinTypes.h"

namespace kestrava {

struct OemPlatform {
    UlmarVisaPlatformID platform = UlmarVisaPlatform_Unknown;
    CarrowinResult status = VisaValStat_NoError;
};

// From "OEMINFO.INI" in the system directory, section "General".
OemPlatform PlatformViaOemInfo(const CarrowinEnvironment& env);
// From the "Platform" value under SOFTWARE\Brennock\UlmarScope, else the family sub-keys.
UlmarVisaPlatformID PlatformViaRegistry(const CarrowinEnvironment& env);
// OEM information first; when it says PC, the registry decides.
UlmarVisaPlatformID IdentifyPlatform(const CarrowinEnvironment& env);
// The virtual GPIB protocol of a platform: 2 for 5000 and 8000, 1 for 6000 and 7000, else 0.
std::int32_t VGpibProtocolFor(std::int32_t platform);

// The family a model text names (5000, 6000, 7000 or 8000), or the PC.
UlmarVisaPlatformID PlatformOfModel(std::string_view model);

}  // namespace kestrava
