#include "tools/kestrava-decode/ListRecords.h"

#include <cmath>
#include <cstdio>
#include <span>
#include <string_view>

#include "base/HexText.h"
#include "protocol/CSataWordDecoder.h"
#include "protocol/FrameVerdicts.h"
#include "session/ListLineKind.h"

namespace kestrava {
namespace {

constexpr int kWordsPerPrimitive = 4;

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// A characters line: "D10.2  (0x4a) ", then a primitive or data word and error marks.
void DescribeCharacter(ListRecord& record) {
    const std::string& text = record.text;
    record.kind = "character";
    switch (KindOfListLine(text)) {
        case ListLineKind::kSilence:
            record.kind = "silence";
            return;
        case ListLineKind::kSampleSlip:
            record.kind = "shift";
            return;
        case ListLineKind::kInvalid:
            record.flags.push_back("invalid");
            return;
        default:
            break;
    }
    if (text.empty()) {
        record.kind = "blank";
        return;
    }
    record.value = text.substr(0, text.find("  "));
    if (Contains(text, "[rd error]")) record.flags.push_back("rd-error");
    if (Contains(text, "[mw rd error]")) record.flags.push_back("mw-rd-error");
}

// The value after the label: "  Command=0xec" gives "0xec", "FIS 0x27 Register H->D" "0x27".
std::string AfterEquals(const std::string& text) {
    const std::size_t equals = text.find('=');
    return equals == std::string::npos ? std::string() : text.substr(equals + 1);
}

std::string SecondWord(const std::string& text) {
    const std::size_t start = text.find(' ');
    if (start == std::string::npos) return {};
    const std::size_t end = text.find(' ', start + 1);
    return text.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
}

void DescribeFisLine(ListRecord& record) {
    const std::string& text = record.text;
    if (StartsWith(text, "FIS ")) {
        record.kind = "fis";
        record.value = SecondWord(text);
    } else if (StartsWith(text, "  DATA ")) {
        record.kind = "data";
        record.value = text.substr(7);
    } else if (StartsWith(text, "  CRC=")) {
        record.kind = "crc";
        record.value = AfterEquals(text);
    } else {
        record.kind = "field";
        record.value = AfterEquals(text);
    }
}

void DescribeVerdict(ListRecord& record, const FrameVerdict& verdict) {
    record.kind = "frame";
    if (verdict.hasType) {
        char type[8];
        std::snprintf(type, sizeof type, "0x%02x", verdict.type);
        record.value = type;
    }
    if (verdict.CrcError()) record.flags.push_back("crc-error");
    if (verdict.malformed) record.flags.push_back("malformed");
    if (verdict.end != FrameEnd::Eof) record.flags.push_back("cut-short");
    if (verdict.held) record.flags.push_back("held");
}

void Describe(ListRecord& record, const std::string& list) {
    if (list == "characters") {
        DescribeCharacter(record);
    } else if (list == "primitives") {
        record.kind = "primitive";
        record.value = record.text;
    } else if (list == "fis") {
        DescribeFisLine(record);
    } else if (list == "atapi") {
        record.kind = "atapi";
        record.value = SecondWord(record.text);
    }
}

// Word positions count samples from 1; records count them from 0, as the file stores them.
std::optional<std::int64_t> SampleOf(const ListSource& source, std::uint32_t tag) {
    std::int64_t position = tag;
    if (source.list != "characters") {
        if (!source.words) return std::nullopt;
        const std::vector<std::int32_t>& starts = source.words->StartPositions();
        if (tag >= starts.size()) return std::nullopt;
        position = starts[tag];
    }
    if (position < 1) return std::nullopt;
    return position - 1;
}

void AppendCsvField(std::string& out, std::string_view field) {
    const bool quote = field.find_first_of(",\"\n") != std::string_view::npos ||
                       (!field.empty() && (field.front() == ' ' || field.back() == ' '));
    if (!quote) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

// Bytes beyond ASCII are written as the code points of the same number, so any text
// gives valid JSON.
void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte >= 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.12g", value);
    return text;
}

std::string FlagsText(const std::vector<std::string>& flags) {
    std::string text;
    for (const std::string& flag : flags) {
        if (!text.empty()) text += '|';
        text += flag;
    }
    return text;
}

// A link line's findings, by the phrases of the frames list and of the link list.
struct Finding {
    std::string_view phrase;
    const char* flag;
};

constexpr Finding kFrameFindings[] = {
    {"CRC error: ", "crc-error"},
    {"aborted by SYNC", "cut-short"},
    {"cut short by", "cut-short"},
    {"HOLD inside", "held"},
    {"; after R_RDY", "r-rdy"},
    {"; no R_RDY before it", "no-r-rdy"},
    {"; R_OK", "r-ok"},
    {"; R_ERR: ", "r-err"},
    {"; never acknowledged", "unacknowledged"},
};

constexpr Finding kRunFindings[] = {
    {" (CONT)", "cont"},
    {"; handshake stalled", "stalled"},
    {"; answered by HOLDA", "holda"},
    {"; no HOLDA", "no-holda"},
};

void AddFindings(ListRecord& record, std::span<const Finding> findings) {
    for (const Finding& finding : findings)
        if (Contains(record.text, finding.phrase)) record.flags.push_back(finding.flag);
}

// "FIS 0x27 Register H->D, 5 dwords: CRC OK; after R_RDY; R_OK" or "X_RDY x2 (CONT); ...".
void DescribeLinkLine(ListRecord& record) {
    const std::string& text = record.text;
    const bool frame = StartsWith(text, "FIS 0x") || StartsWith(text, "no FIS, ");
    if (!frame) {
        record.kind = "run";
        record.value = text.substr(0, text.find(" x"));
        AddFindings(record, kRunFindings);
        return;
    }
    record.kind = "frame";
    if (StartsWith(text, "FIS ")) record.value = SecondWord(text);
    // As the frames list judges: a frame whose CRC was not checked, or whose length or
    // type is wrong, is malformed.
    const bool crcChecked = Contains(text, "CRC OK") || Contains(text, "CRC error: ");
    const bool wrongShape = Contains(text, "unknown FIS type") || Contains(text, " needs ");
    AddFindings(record, std::span(kFrameFindings).first(1));
    if (!crcChecked || wrongShape) record.flags.push_back("malformed");
    AddFindings(record, std::span(kFrameFindings).subspan(1));
}

}  // namespace

std::vector<ListRecord> MakeLinkRecords(const std::vector<LinkLine>& lines,
                                        const LaneTimeBase& host, const LaneTimeBase& device) {
    std::vector<ListRecord> records;
    records.reserve(lines.size());
    for (const LinkLine& line : lines) {
        ListRecord record;
        record.lane = line.hostToDevice ? "H>D" : "D>H";
        record.text = line.text;
        if (std::isfinite(line.timeS)) record.timeS = line.timeS;
        const LaneTimeBase& lane = line.hostToDevice ? host : device;
        const double sample = (line.timeS - lane.firstSampleTimeS) / lane.sampleIntervalS;
        if (lane.sampleIntervalS > 0.0 && std::isfinite(sample) && sample > -0.5 && sample < 9.2e18)
            record.sample = std::llround(sample);
        DescribeLinkLine(record);
        records.push_back(std::move(record));
    }
    return records;
}

std::vector<ListRecord> MakeListRecords(const IListBox& list, const ListSource& source) {
    std::vector<FrameVerdict> verdicts;
    if (source.list == "frames" && source.prims) verdicts = JudgeFrames(*source.prims);
    std::vector<ListRecord> records;
    const int count = list.Count();
    records.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        ListRecord record;
        const auto tag = static_cast<std::uint32_t>(list.Data(i));
        record.tag = tag;
        record.text = list.Text(i);
        record.lane = source.lane;
        record.sample = SampleOf(source, tag);
        if (record.sample && source.sampleIntervalS > 0.0) {
            const double timeS = source.firstSampleTimeS +
                                 static_cast<double>(*record.sample) * source.sampleIntervalS;
            // A file's time base is untrusted: a time that is no number is left out.
            if (std::isfinite(timeS)) record.timeS = timeS;
        }
        // The frames list has one line per verdict, in the same order.
        if (source.list == "frames" && static_cast<std::size_t>(i) < verdicts.size())
            DescribeVerdict(record, verdicts[static_cast<std::size_t>(i)]);
        else
            Describe(record, source.list);
        records.push_back(std::move(record));
    }
    return records;
}

// A repeat is the primitive just sent again, right after it or after a CONT run; ALIGN
// pairs in between do not count.
std::size_t HideFiller(std::vector<ListRecord>& records) {
    const std::size_t before = records.size();
    std::vector<ListRecord> kept;
    kept.reserve(records.size());
    std::string last;
    std::uint32_t nextTag = 0;
    bool afterCont = false;
    for (ListRecord& record : records) {
        const std::string& name = record.text;
        const std::uint32_t tag = record.tag.value_or(0);
        const bool adjacent = tag == nextTag;
        nextTag = tag + kWordsPerPrimitive;
        if (name == "ALIGN") continue;
        if (name == "CONT") {
            afterCont = true;
            continue;
        }
        const bool repeat = name == last && (adjacent || afterCont);
        afterCont = false;
        last = name;
        if (repeat || name == "SYNC") continue;
        kept.push_back(std::move(record));
    }
    records = std::move(kept);
    return before - records.size();
}

std::string RecordsAsText(const std::vector<ListRecord>& records) {
    std::string text;
    for (const ListRecord& record : records) {
        AppendPositionTag(text, record.tag.value_or(0));
        text += record.text;
        text += '\n';
    }
    return text;
}

std::string RecordsAsCsv(const std::vector<ListRecord>& records) {
    std::string out = "tag,sample,time_s,lane,kind,text,value,flags\n";
    for (const ListRecord& record : records) {
        if (record.tag) out += std::to_string(*record.tag);
        out += ',';
        if (record.sample) out += std::to_string(*record.sample);
        out += ',';
        if (record.timeS) out += Number(*record.timeS);
        out += ',';
        AppendCsvField(out, record.lane);
        out += ',';
        AppendCsvField(out, record.kind);
        out += ',';
        AppendCsvField(out, record.text);
        out += ',';
        AppendCsvField(out, record.value);
        out += ',';
        AppendCsvField(out, FlagsText(record.flags));
        out += "\n";
    }
    return out;
}

std::string RecordsAsJson(const std::vector<ListRecord>& records, const std::string& list) {
    std::string out =
        "{\"schema\":\"kestrava-list\",\"version\":" + std::to_string(kListSchemaVersion) +
        ",\"list\":";
    AppendJsonString(out, list);
    out += "}\n";
    for (const ListRecord& record : records) {
        out += "{\"tag\":";
        out += record.tag ? std::to_string(*record.tag) : "null";
        out += ",\"sample\":";
        out += record.sample ? std::to_string(*record.sample) : "null";
        out += ",\"time_s\":";
        out += record.timeS ? Number(*record.timeS) : "null";
        out += ",\"lane\":";
        if (record.lane.empty())
            out += "null";
        else
            AppendJsonString(out, record.lane);
        out += ",\"kind\":";
        AppendJsonString(out, record.kind);
        out += ",\"text\":";
        AppendJsonString(out, record.text);
        out += ",\"value\":";
        if (record.value.empty())
            out += "null";
        else
            AppendJsonString(out, record.value);
        out += ",\"flags\":[";
        for (std::size_t i = 0; i < record.flags.size(); ++i) {
            if (i) out += ',';
            AppendJsonString(out, record.flags[i]);
        }
        out += "]}\n";
    }
    return out;
}

}  // namespace kestrava
