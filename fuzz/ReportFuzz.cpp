// Decode reports read back for a merge: the line reader over the raw bytes, then the whole
// merge of the input, as an earlier report, with a small current list.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "session/ReportFile.h"
#include "session/base/CAnalysisHost.h"
#include "session/base/ListBox.h"

using namespace kestrava;

namespace {

// Known fault (reported): ReadEarlierReport subtracts positions read with strtol, which
// overflows for positions near the ends of the long range ("0x-1" then
// "0x8000000000000000"). True when the report holds such a position.
bool HoldsExtremePosition(const std::uint8_t* data, std::size_t size) {
    std::string line;
    for (std::size_t i = 0; i <= size; ++i) {
        if (i == size || data[i] == '\r') {
            if (line.size() > 2) {
                long position = std::strtol(line.c_str() + 2, nullptr, 16);
                if (position > (1L << 62) || position < -(1L << 62)) return true;
            }
            line.clear();
            ++i;  // the byte after a carriage return is dropped
        } else if (data[i] >= 14 && data[i] <= 127 && line.size() < ReportFile::kLineBuffer - 1) {
            line.push_back(static_cast<char>(data[i]));
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::PrepareEnvironment();
    fuzz::TrimLog();
    const std::string path = fuzz::WriteInputFile(data, size, "report.txt");

    if (std::FILE* in = std::fopen(path.c_str(), "rb")) {
        std::string line;
        std::size_t lines = 0;
        bool more = true;
        while (more) {
            more = ReportFile::ReadFileLine(in, line);
            fuzz::Check(line.size() < ReportFile::kLineBuffer, "a line longer than its buffer");
            for (unsigned char c : line)
                fuzz::Check(c >= 14 && c <= 127, "a line kept a byte outside 14..127");
            fuzz::Check(++lines <= size + 1, "the line reader does not advance");
        }
        std::fclose(in);
    }

    if (fuzz::SkipKnownFaults() && HoldsExtremePosition(data, size)) return 0;
    MemoryListBox list;
    for (ItemData position : {0, 0x10, 0x11, 0x400, 0x7fffffff})
        list.AddLine("D21.5  RD+  " + std::to_string(position), position);
    list.AddLine("xx", 5);
    CAnalysisHost host;
    ReportFile::MergeFile(list, "current.wfm", path, host);
    return 0;
}
