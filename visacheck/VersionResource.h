// The version resource (VS_VERSIONINFO): a tree of blocks, each a length, a value length,
// a type, a UTF-16 key, a value and child blocks, all on 4-byte boundaries. Every length
// is checked against its parent, so a damaged resource yields "absent", never a read
// past the data.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "visacheck/FileVersion.h"

namespace kestrava {

// The fixed file information at the root ("\"); nullopt when the root is not
// "VS_VERSION_INFO" or has no valid fixed information.
std::optional<FixedFileInfo> QueryFixedFileInfo(std::span<const std::uint8_t> resource);

// A string value by its path, e.g. "\StringFileInfo\040904b0\CompanyName" (block keys
// compared without regard to case), converted to UTF-8; nullopt when absent.
std::optional<std::string> QueryVersionString(std::span<const std::uint8_t> resource,
                                              std::string_view path);

}  // namespace kestrava
