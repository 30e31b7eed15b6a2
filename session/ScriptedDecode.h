// One decode run to its end for a caller that keeps the results but not the presentation
// (the Python module): the four lists with each line's position, time, kind, value and
// flags, the report as Save As writes it, the status summary, and the command line's
// message when the decode failed. Decodes take turns: the definition and the waveform data
// module are the process's one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/ListBox.h"
#include "formats/RecordDescription.h"
#include "formats/RecordSink.h"
#include "session/MemoryRecord.h"

namespace kestrava {

// The command line's decode options, as text as it takes them.
struct DecodeChoices {
    std::string standard = "Sata";
    std::string setupPath;  // recalled before the other choices apply
    std::string syncPattern;
    std::optional<std::string> refLevelPercent, hysteresisPercent;
    std::optional<std::string> refLevelVolts, hysteresisVolts;
    bool invert = false;
    bool lockSampler = false;
    std::optional<int> threads;  // workers of the bit recovery; every core when not given
};

class CSataUserInterface;

// Puts the choices given into the presentation's options; those not given stay as they
// are (a recalled setup keeps its own).
void ApplyDecodeChoices(const DecodeChoices& choices, CSataUserInterface& ui);

// What a list line is.
enum class LineKind : std::uint8_t {
    Character,  // a decoded character that starts nothing listed
    Primitive,  // a primitive (in the characters list: the character it starts at)
    DataWord,   // a character that starts a frame's data word
    InvalidCode,
    Silence,  // a silence line and the blank lines around it
    Shift,    // extra or missed samples before a character
    FisHeader,
    FisField,
    AtapiCommand,
};
inline constexpr int kLineKinds = 9;
// The kind's name as scripts see it: "character", "primitive", "data", ...
const char* LineKindName(LineKind kind);

// Flags of a characters-list line.
inline constexpr std::uint32_t kFlagRdError = 1;     // "[rd error]"
inline constexpr std::uint32_t kFlagWrongRdRow = 2;  // "[mw rd error]"

struct DecodedList {
    std::vector<std::string> texts;
    std::vector<ItemData> tags;           // the position tag the command line prints
    std::vector<std::int64_t> positions;  // sample of the line's first character
    std::vector<double> times;            // seconds, on the record's time base
    std::vector<LineKind> kinds;
    std::vector<std::int64_t> values;  // character value, primitive number, dword, opcode
    std::vector<std::uint32_t> flags;
    std::size_t Size() const { return texts.size(); }
};

enum ListIndex { kCharactersList = 0, kPrimitiveList = 1, kFisLines = 2, kAtapiLines = 3 };

struct DecodeOutcome {
    std::string error;  // the command line's message, "kestrava-decode: ..."; empty on success
    DecodedList lists[4];
    std::string report;
    std::string status;  // the status box
    std::string title;
    std::uint32_t sampleCount = 0;
    int samplesPerBit = 0;
    double sampleIntervalS = 0.0;
};

// The command line's lines for a waveform file that could not be loaded: the program's own
// text, then the reader's reason when it gave one ("kestrava-decode: NAME: ...", no final
// line end).
std::string LoadFailureMessage(const std::string& name);

class ScriptedDecode {
  public:
    static DecodeOutcome File(const std::string& path, const DecodeChoices& choices);
    // Samples in memory; the title stands where a file's name stands in the report.
    static DecodeOutcome Samples(const MemoryRecord& record, const std::string& title,
                                 const DecodeChoices& choices);
    // A waveform file's record streamed into the sink, in its turn with the decodes; the
    // command line's message when the file cannot be read, else empty.
    static std::string Read(const std::string& path, RecordDescription& description,
                            RecordSink& sink);
};

}  // namespace kestrava
