// PE files (the VISA library of a Wine prefix): the version resource read from a file
// image, as Carrowin reads it without loading the file.
#include <cstdint>
#include <span>

#include "fuzz/FuzzSupport.h"
#include "visacheck/PeVersionReader.h"

using namespace kestrava;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FileVersionInfo info = ReadPeVersionInfo(std::span<const std::uint8_t>(data, size));
    if (info.HasResource()) {
        fuzz::Check(info.resource.size() <= kVersionResourceMaxBytes, "a resource beyond 64 KiB");
        fuzz::Check(info.resource.size() <= size, "a resource larger than the file");
    } else {
        fuzz::Check(info.resource.empty(), "a failed read returned resource bytes");
    }
    return 0;
}
