#include "protocol/FrameVerdicts.h"

#include <array>
#include <cstdio>

#include "protocol/FisLayout.h"
#include "protocol/FrameCrc.h"

namespace kestrava {
namespace {

// How many FIS dwords (CRC left out) each type carries; a Data FIS one header dword and
// 1 to 2048 payload dwords.
struct FisLength {
    std::uint8_t type;
    int least;
    int most;
};

inline constexpr std::array<FisLength, 8> kFisLengths = {{
    {0x27, 5, 5},
    {0x34, 5, 5},
    {0x39, 1, 1},
    {0x41, 7, 7},
    {0x46, 2, 2049},
    {0x58, 3, 3},
    {0x5F, 5, 5},
    {0xA1, 2, 2},
}};

const FisLength* LengthOf(std::uint8_t type) {
    for (const FisLength& entry : kFisLengths)
        if (entry.type == type) return &entry;
    return nullptr;
}

std::string Format(const char* format, auto... args) {
    char text[128];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

void AddFinding(std::string& findings, const std::string& finding) {
    if (!findings.empty()) findings += "; ";
    findings += finding;
}

const char* CutBy(FrameEnd end) {
    switch (end) {
        case FrameEnd::Sync:
            return "aborted by SYNC";
        case FrameEnd::NewSof:
            return "cut short by SOF";
        case FrameEnd::Capture:
            return "cut short by the end of the capture";
        case FrameEnd::Eof:
            break;
    }
    return "";
}

// CRC over the FIS dwords, compared with the last dword before EOF.
void CheckCrc(const std::vector<DataWord>& words, const Frame& frame, FrameVerdict& verdict) {
    FrameCrc crc;
    for (int k = 0; k < frame.length - 1; ++k)
        crc.Add(words[static_cast<std::size_t>(frame.start + k)].value);
    verdict.crcChecked = true;
    verdict.crcComputed = crc.Value();
    verdict.crcSent = words[static_cast<std::size_t>(frame.start + frame.length - 1)].value;
}

std::string CrcFinding(const FrameVerdict& verdict) {
    if (!verdict.CrcError()) return "CRC OK";
    return Format("CRC error: computed 0x%08x, sent 0x%08x", verdict.crcComputed, verdict.crcSent);
}

std::string LengthFinding(const FrameVerdict& verdict) {
    const FisLength* length = LengthOf(verdict.type);
    if (!length) return Format("unknown FIS type 0x%02x", verdict.type);
    if (verdict.dwords >= length->least && verdict.dwords <= length->most) return "";
    if (length->least == length->most)
        return Format("length %d, %s needs %d", verdict.dwords, FisTypeName(verdict.type),
                      length->least);
    return Format("length %d, %s needs %d to %d", verdict.dwords, FisTypeName(verdict.type),
                  length->least, length->most);
}

FrameVerdict Judge(const std::vector<DataWord>& words, const FrameRecord& record) {
    const Frame& frame = record.frame;
    FrameVerdict verdict;
    verdict.sofWordIndex = frame.sofWordIndex;
    verdict.end = record.end;
    verdict.held = record.held;
    verdict.hasType = frame.length > 0;
    if (verdict.hasType)
        verdict.type =
            static_cast<std::uint8_t>(words[static_cast<std::size_t>(frame.start)].value);
    const bool closed = record.end == FrameEnd::Eof;
    verdict.dwords = closed && frame.length >= 2 ? frame.length - 1 : frame.length;

    std::string findings;
    if (!closed) {
        AddFinding(findings, CutBy(record.end));
    } else if (frame.length == 0) {
        AddFinding(findings, "empty frame");
    } else if (frame.length == 1) {
        AddFinding(findings, "CRC dword missing");
    } else {
        CheckCrc(words, frame, verdict);
        AddFinding(findings, CrcFinding(verdict));
    }
    verdict.malformed = !verdict.crcChecked;
    if (verdict.hasType && closed) {
        const std::string length = LengthFinding(verdict);
        if (!length.empty()) {
            AddFinding(findings, length);
            verdict.malformed = true;
        }
    }
    if (record.held) AddFinding(findings, "HOLD inside");

    verdict.text = verdict.hasType
                       ? Format("FIS 0x%02x %s, ", verdict.type, FisTypeName(verdict.type))
                       : std::string("no FIS, ");
    verdict.text += Format(verdict.dwords == 1 ? "%d dword: " : "%d dwords: ", verdict.dwords);
    verdict.text += findings;
    return verdict;
}

}  // namespace

std::vector<FrameVerdict> JudgeFrames(const CSataPrimDecoder& prims) {
    const std::vector<DataWord>& words = prims.DataWords();
    std::vector<FrameVerdict> verdicts;
    verdicts.reserve(prims.FrameRecords().size());
    for (const FrameRecord& record : prims.FrameRecords()) verdicts.push_back(Judge(words, record));
    return verdicts;
}

FrameTotals CountVerdicts(const std::vector<FrameVerdict>& verdicts) {
    FrameTotals totals;
    totals.frames = static_cast<int>(verdicts.size());
    for (const FrameVerdict& verdict : verdicts) {
        if (verdict.CrcError()) ++totals.crcErrors;
        if (verdict.malformed) ++totals.malformed;
    }
    return totals;
}

std::string TotalsLine(const FrameTotals& totals) {
    return Format("Frames: %d, CRC errors: %d, malformed: %d", totals.frames, totals.crcErrors,
                  totals.malformed);
}

}  // namespace kestrava
