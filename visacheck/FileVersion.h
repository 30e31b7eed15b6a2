// File version information: the version resource of a file and what it says.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kestrava {

// The Windows error codes a version read ends with (0 when the resource was read).
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorBadExeFormat = 193;
inline constexpr std::uint32_t kErrorResourceDataNotFound = 1812;
inline constexpr std::uint32_t kErrorResourceTypeNotFound = 1813;
inline constexpr std::uint32_t kErrorResourceNameNotFound = 1814;
inline constexpr std::uint32_t kErrorResourceLangNotFound = 1815;

// Four 16-bit parts: major, minor, revision, build.
using VersionParts = std::array<std::uint16_t, 4>;

struct FixedFileInfo {
    VersionParts fileVersion{};
    VersionParts productVersion{};
};

struct FileVersionInfo {
    std::uint32_t lastError = kErrorFileNotFound;
    std::vector<std::uint8_t> resource;      // the version resource as stored in the file
    std::optional<FixedFileInfo> fixed;      // absent when the resource has none
    std::optional<std::string> companyName;  // StringFileInfo\040904b0\CompanyName, UTF-8

    bool HasResource() const { return lastError == 0; }
};

class IFileVersionReader {
  public:
    virtual ~IFileVersionReader() = default;
    virtual FileVersionInfo Read(const std::filesystem::path& hostPath) const = 0;
};

}  // namespace kestrava
