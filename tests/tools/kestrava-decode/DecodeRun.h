// The command line run in-process: its exit code and what it printed.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "tools/kestrava-decode/DecodeCommand.h"
#include "tools/kestrava-decode/DecodeOptions.h"

namespace kestrava::test {

struct DecodeResult {
    int code = -1;
    std::string out, err;
};

inline DecodeResult RunDecodeCommand(const std::vector<std::string>& args) {
    const ParsedCommandLine parsed = ParseDecodeCommandLine(args);
    DecodeResult r;
    if (!parsed.error.empty()) {
        r.code = kExitUsage;
        r.err = parsed.error;
        return r;
    }
    std::ostringstream out, err;
    r.code = RunDecode(parsed.options, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

}  // namespace kestrava::test
