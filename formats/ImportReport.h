// What a user tells the readers about a file that the file does not say itself (which
// column of a table, which waveform of several, what a headerless file's bytes are), and
// what the last import had to say back: why it refused a file, or what it left out.
// Process-wide: the command line sets the options once before its import, and whoever
// reports a failed import asks for the reason afterwards.
#pragma once

#include <optional>
#include <string>

#include "formats/RecordDescription.h"

namespace kestrava {

struct ImportOptions {
    // A table's voltage column: 1-based among all its columns (0: the first after the
    // time column), or by its header name when the name is given.
    int column = 0;
    std::string columnName;
    // A file of several waveforms: 1-based (0: the first analog one).
    int waveform = 0;
    // A headerless file of samples: read as one when rawFormat is given (Int8, Int16 or
    // Float); volts = sample * rawScale + rawOffset.
    std::optional<SampleFormat> rawFormat;
    bool rawBigEndian = false;
    double rawSampleIntervalS = 0.0;
    double rawScale = 1.0;
    double rawOffset = 0.0;
};

class ImportReport {
  public:
    static void SetOptions(const ImportOptions& options);
    static ImportOptions Options();

    // "FILE: reason" of the last refused import; empty when it succeeded, or when the
    // reader that refused gives no reasons.
    static std::string Problem();
    // "FILE: note" of what the last successful import left out (a sequence's later
    // segments); empty when nothing.
    static std::string Note();

    // For the readers.
    static void Clear();
    static void Refuse(const std::string& path, const std::string& reason);
    static void Remark(const std::string& path, const std::string& note);
};

}  // namespace kestrava
