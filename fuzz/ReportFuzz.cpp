// Decode reports read back for a merge: the line reader over the raw bytes, then the whole
// merge of the input, as an earlier report, with a small current list.
#include <cstdint>
#include <cstdio>
#include <string>

#include "base/CAnalysisHost.h"
#include "base/ListBox.h"
#include "fuzz/FuzzSupport.h"
#include "session/ReportFile.h"

using namespace kestrava;

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
            fuzz::Check(line.size() <= size, "a line longer than the input");
            for (unsigned char c : line)
                fuzz::Check(c >= 14 && c <= 127, "a line kept a byte outside 14..127");
            fuzz::Check(++lines <= size + 1, "the line reader does not advance");
        }
        std::fclose(in);
    }

    MemoryListBox list;
    for (ItemData position : {0, 0x10, 0x11, 0x400, 0x7fffffff})
        list.AddLine("D21.5  RD+  " + std::to_string(position), position);
    list.AddLine("xx", 5);
    CAnalysisHost host;
    ReportFile::MergeFile(list, "current.wfm", path, host);
    return 0;
}
