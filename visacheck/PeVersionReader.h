// Reads the version resource (type 16, identifier 1) of a PE file — a Windows DLL or
// program, 32- or 64-bit — the way loading it as a data file would, without running it.
// Only the headers, the resource directory and the resource itself are read, each range
// checked against the file, so a damaged or hostile file gives an error code, not a crash.
#pragma once

#include <cstdint>
#include <span>

#include "visacheck/FileVersion.h"

namespace kestrava {

// Version resources are at most 64 KiB (their length is a 16-bit number).
inline constexpr std::size_t kVersionResourceMaxBytes = 65536;

class PeVersionReader : public IFileVersionReader {
  public:
    FileVersionInfo Read(const std::filesystem::path& hostPath) const override;
};

// The same from a file image in memory.
FileVersionInfo ReadPeVersionInfo(std::span<const std::uint8_t> image);

}  // namespace kestrava
