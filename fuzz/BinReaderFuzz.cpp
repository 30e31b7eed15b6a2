// ".bin" files through AgBinReader. Input: one byte choosing the waveform (0 the first
// analog one), then the file.
#include "formats/AgBinReader.h"
#include "fuzz/ReaderFuzzCheck.h"

using namespace kestrava;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::PrepareEnvironment();
    fuzz::InputReader input(data, size);
    ImportOptions options;
    options.waveform = input.Byte() % 4;
    ImportReport::SetOptions(options);
    const std::string path =
        fuzz::WriteInputFile(input.RestData(), input.RestSize(), "capture.bin");
    fuzz::CheckReader<AgBinReader>(path, input.RestSize());
    return 0;
}
