// ".trc" files through TrcReader; the input is the file.
#include "formats/TrcReader.h"
#include "fuzz/ReaderFuzzCheck.h"

using namespace kestrava;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::PrepareEnvironment();
    const std::string path = fuzz::WriteInputFile(data, size, "capture.trc");
    fuzz::CheckReader<TrcReader>(path, size);
    // The reader parses only what the registry would hand it, and the registry hands it
    // only what it recognises.
    TrcReader reader;
    if (reader.Import(path, nullptr))
        fuzz::Check(TrcReader::Recognizes({data, std::min(size, TrcReader::kSignatureSize)}),
                    "an imported file that the registry would not recognise");
    return 0;
}
