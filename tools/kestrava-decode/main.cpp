#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "base/Log.h"
#include "base/PrintableOutput.h"
#include "tools/kestrava-decode/DecodeCommand.h"

int main(int argc, char** argv) {
    DeleteLog();
    // Messages carry file names and a file's text: never let them drive the terminal.
    kestrava::PrintableOutput printable(std::cerr.rdbuf());
    std::ostream err(&printable);
    std::vector<std::string> args(argv + 1, argv + argc);
    kestrava::ParsedCommandLine parsed = kestrava::ParseDecodeCommandLine(args);
    if (!parsed.error.empty()) {
        err << "kestrava-decode: " << parsed.error << "\n";
        return kestrava::kExitUsage;
    }
    // The stages contain their own failures; what is left is the output made in memory.
    try {
        return kestrava::RunDecode(parsed.options, std::cout, err);
    } catch (const std::bad_alloc&) {
        std::cerr << "kestrava-decode: out of memory\n";
        return kestrava::kExitNotDecoded;
    }
}
