// The lists of a decode as records for other programs: each line with its sample, time,
// lane, kind, text, value and flags, written as CSV or as one JSON object per line
// (schema in docs/data-formats.md). Also drops the filler of the primitives list.
// The link list's lines become records the same way, with their lane and answers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/ListBox.h"
#include "protocol/LinkAnalysis.h"

namespace kestrava {

class CSataPrimDecoder;
class CSataWordDecoder;

inline constexpr int kListSchemaVersion = 1;

struct ListRecord {
    // The item datum, as the text list's position tag; none in the link list, which shows none.
    std::optional<std::uint32_t> tag;
    std::optional<std::int64_t> sample;  // where the item begins in the record
    std::optional<double> timeS;
    std::string lane;  // empty for a single capture
    std::string kind;
    std::string text;
    std::string value;
    std::vector<std::string> flags;
};

// What the records need beside the list's lines.
struct ListSource {
    std::string list;  // characters | primitives | fis | atapi | frames
    std::string lane;
    const CSataWordDecoder* words = nullptr;  // word index to sample, protocol lists
    const CSataPrimDecoder* prims = nullptr;  // frame verdicts
    double sampleIntervalS = 0.0;             // 0: no time known
    double firstSampleTimeS = 0.0;
};

std::vector<ListRecord> MakeListRecords(const IListBox& list, const ListSource& source);

// A lane's time base: each link line's sample is counted in its own lane's record.
struct LaneTimeBase {
    double firstSampleTimeS = 0.0;
    double sampleIntervalS = 0.0;  // 0: no sample known
};
std::vector<ListRecord> MakeLinkRecords(const std::vector<LinkLine>& lines,
                                        const LaneTimeBase& host, const LaneTimeBase& device);
// Removes ALIGN, SYNC, CONT and the repeats CONT announces; gives how many went.
std::size_t HideFiller(std::vector<ListRecord>& records);

std::string RecordsAsText(const std::vector<ListRecord>& records);
std::string RecordsAsCsv(const std::vector<ListRecord>& records);
std::string RecordsAsJson(const std::vector<ListRecord>& records, const std::string& list);

}  // namespace kestrava
