// The command line run in-process: its exit code and what it printed; and what the
// link-answers capture's link list answers.
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

// The lines of a link list that carry an answer, without their time: "H>D  FIS 0x27 ...; R_OK".
inline std::vector<std::string> AnsweredLines(const std::string& list) {
    std::vector<std::string> answered;
    std::istringstream in(list);
    for (std::string line; std::getline(in, line);)
        if (line.find("; ") != std::string::npos) answered.push_back(line.substr(17));
    return answered;
}

// What the capture generator's link-answers scenario answers, in AnsweredLines' form.
inline const std::vector<std::string> kLinkAnswers = {
    "H>D  FIS 0x27 Register H->D, 5 dwords: CRC OK; after R_RDY; R_OK",
    "D>H  FIS 0x34 Register D->H, 5 dwords: CRC OK; after R_RDY; R_OK",
    "H>D  FIS 0x46 Data, 17 dwords: CRC OK; HOLD inside; after R_RDY; R_OK",
    "H>D  HOLD x3 (CONT); answered by HOLDA",
    "H>D  FIS 0x27 Register H->D, 5 dwords: CRC OK; after R_RDY; R_ERR: the receiver refused it",
    "H>D  X_RDY x2 (CONT); handshake stalled: no R_RDY",
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
