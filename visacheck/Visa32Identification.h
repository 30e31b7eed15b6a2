// Which VISA implementation the system directory's visa32.dll is: its file version and
// the vendor its version resource names, compared with the two vendors' reference versions.
#pragma once

#include <cstdint>
#include <string>

#include "visacheck/CarrowinEnvironment.h"

namespace kestrava {

// The company name is cut to this many bytes (at a character boundary), so it fits the
// 255-character buffer of the plain export with its terminating zero.
inline constexpr std::size_t kVendorNameMax = 254;

struct Visa32Identity {
    // 0 file missing, -1 version information unreadable, 1 no fixed version information
    // or unknown vendor, 10/11/12 older/equal/newer than 2.5.0 of the "National" vendor,
    // 20/21/22 the same against 1.10.0 of the "Brennock" vendor.
    std::int32_t status = 0;
    std::int32_t major = 0;
    std::int32_t minor = 0;
    std::int32_t revision = 0;
    std::string vendor;
};

Visa32Identity IdentifyVisa32(const CarrowinEnvironment& env);

}  // namespace kestrava
