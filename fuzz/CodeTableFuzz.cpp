// The 8b/10b code table file: loaded into a fresh definition, then every lookup that the
// decoders make on it.
#include <array>
#include <cstdint>
#include <string>

#include "definition/CMacros.h"
#include "fuzz/FuzzSupport.h"

using namespace kestrava;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::PrepareEnvironment();
    fuzz::TrimLog();
    const std::string path = fuzz::WriteInputFile(data, size, "8b10b.csv");

    CMacros macros;
    macros.Load8B10BTable(path);
    fuzz::Check(macros.lastRow < CMacros::kMaxRows, "last row beyond the table");

    // The index must answer exactly as a scan of the rows would.
    std::array<int, CMacros::kCodeCount> firstRow;
    firstRow.fill(-1);
    for (int row = macros.lastRow; row >= 0; --row) {
        const int code = macros.code[static_cast<std::size_t>(row)];
        if (code >= 0 && code < CMacros::kCodeCount) firstRow[static_cast<std::size_t>(code)] = row;
    }
    for (int code = 0; code < CMacros::kCodeCount; ++code)
        fuzz::Check(macros.RowOfCode(code) == firstRow[static_cast<std::size_t>(code)],
                    "code index disagrees with the rows");
    fuzz::Check(macros.RowOfCode(-1) == -1 && macros.RowOfCode(CMacros::kCodeCount) == -1,
                "code index answers outside 0..1023");

    for (int row = 0; row <= macros.lastRow && row < 64; ++row) {
        const std::string& name = macros.nameTable[static_cast<std::size_t>(row)];
        int value = macros.Get8BitValue(name);
        macros.GetWordFrom8Bit(value);
        int plus = 0, minus = 0;
        macros.GetRDPandMfrom8BitVal(value, plus, minus);
    }
    for (int value : {-1, 0, 255, 256, 267, 268, 100000}) {
        macros.GetWordFrom8Bit(value);
        int plus = 0, minus = 0;
        macros.GetRDPandMfrom8BitVal(value, plus, minus);
    }
    return 0;
}
