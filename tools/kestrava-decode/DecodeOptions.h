// The command line of kestrava-decode, parsed into what the decode needs.
#pragma once

#include <optional>
#include <string>

#include <vector>
#include "session/ScriptedDecode.h"

namespace kestrava {

struct DecodeOptions {
    std::string waveformPath;
    // --lane host=FILE --lane device=FILE: the two lanes of one link, for --list link.
    std::string hostLanePath, deviceLanePath;
    std::string list = "characters";  // characters | primitives | fis | atapi | frames | link
    std::string format = "text";      // text | csv | json
    bool hideFiller = false;          // the primitives list without ALIGN, SYNC and CONT repeats
    bool report = false;
    std::string outputPath;
    std::string mergePath;
    std::string standard = "Sata";
    std::string setupPath;  // --setup: recalled before the other options apply
    std::string syncPattern;
    std::optional<std::string> refLevelPercent, hysteresisPercent;
    std::optional<std::string> refLevelVolts, hysteresisVolts;
    bool invert = false;
    bool lockSampler = false;
    bool status = false;
    std::optional<long long> threads;  // workers of the per-sample passes; unset: every core
    std::string plotPath;
    std::optional<long long> plotAt;
    std::optional<long long> plotWidth;
    // --scope: a live acquisition of this source instead of a file (CH1..CH4, REF1..REF4,
    // MATH1..MATH4) with the acquisition mode (0 held record, 1 single, 2 forced trigger).
    std::string scopeSource;
    std::optional<int> acquisitionMode;
    // --scope HOST,DEVICE: the device lane's source of the same acquisition, for --list link.
    std::string deviceScopeSource;
    // How a file that does not say so itself is read: a table's voltage column (number
    // or header name), one waveform of several, and headerless samples.
    std::optional<std::string> column;
    std::optional<long long> waveform;
    std::string rawFormat;  // int8 | int16 | float32
    std::string rawByteOrder;
    std::optional<std::string> sampleInterval, rawScale, rawOffset;
    bool help = false;
    bool version = false;
};

struct ParsedCommandLine {
    DecodeOptions options;
    std::string error;  // a one-line hint; empty when the line parsed
};

ParsedCommandLine ParseDecodeCommandLine(const std::vector<std::string>& args);

extern const char* const kDecodeUsage;

// The decode choices among the options, as the session and the Python module take them.
DecodeChoices ChoicesOf(const DecodeOptions& o);

}  // namespace kestrava
