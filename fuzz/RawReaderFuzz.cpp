// Bare sample files through RawReader. Input: a byte for the sample format (low two
// bits: none, int8, int16, float) and the byte order (bit 2), a byte for the scale's
// power of two, then the file. The interval is 1 ns.
#include <cmath>

#include "formats/RawReader.h"
#include "fuzz/ReaderFuzzCheck.h"

using namespace kestrava;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::PrepareEnvironment();
    fuzz::InputReader input(data, size);
    const std::uint8_t format = input.Byte();
    const std::uint8_t power = input.Byte();
    ImportOptions options;
    constexpr SampleFormat kFormats[] = {SampleFormat::Int8, SampleFormat::Int16,
                                         SampleFormat::Float};
    if ((format & 3) != 0) options.rawFormat = kFormats[(format & 3) - 1];
    options.rawBigEndian = (format & 4) != 0;
    options.rawSampleIntervalS = 1e-9;
    options.rawScale = std::ldexp(1.0, static_cast<int>(power) - 128);
    ImportReport::SetOptions(options);
    const std::string path =
        fuzz::WriteInputFile(input.RestData(), input.RestSize(), "capture.raw");
    fuzz::CheckReader<RawReader>(path, input.RestSize());
    return 0;
}
