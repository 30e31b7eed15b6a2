// Text waveform files through CsvReader. Input: one byte choosing the column (0 the
// default, 1..4 by number, 5.. by the name "CH2"), then the file.
#include "formats/CsvReader.h"
#include "fuzz/ReaderFuzzCheck.h"

using namespace kestrava;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::PrepareEnvironment();
    fuzz::InputReader input(data, size);
    const std::uint8_t choice = input.Byte();
    ImportOptions options;
    if (choice >= 1 && choice <= 4) options.column = choice;
    if (choice > 4) options.columnName = "CH2";
    ImportReport::SetOptions(options);
    const std::string path =
        fuzz::WriteInputFile(input.RestData(), input.RestSize(), "capture.csv");
    fuzz::CheckReader<CsvReader>(path, input.RestSize());
    return 0;
}
