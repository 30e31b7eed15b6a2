#include "formats/CsvReader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

#include "base/RegularFile.h"
#include "formats/ImportReport.h"

namespace kestrava {
namespace {

constexpr std::size_t kReadBytes = std::size_t{1} << 20;
constexpr std::size_t kSinkPoints = 16384;
constexpr char kSeparators[] = {';', '\t', ','};

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// A field without its blanks and quotes.
std::string_view Field(std::string_view text) {
    text = Trim(text);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.substr(1, text.size() - 2);
    return text;
}

std::vector<std::string_view> Split(std::string_view line, char separator) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t end = line.find(separator, start);
        fields.push_back(Field(line.substr(start, end - start)));
        if (end == std::string_view::npos) return fields;
        start = end + 1;
    }
}

// A number as a program writes it, never in the locale's form.
std::optional<double> Number(std::string_view field) {
    if (!field.empty() && field.front() == '+') field.remove_prefix(1);
    double value = 0.0;
    const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (ec != std::errc() || end != field.data() + field.size() || field.empty()) return {};
    return value;
}

// The separator that makes a line a row of numbers (empty fields allowed, two numbers
// at least); 0 when none does.
char RowSeparator(std::string_view line) {
    for (char separator : kSeparators) {
        if (line.find(separator) == std::string_view::npos) continue;
        int numbers = 0;
        bool allNumbers = true;
        for (std::string_view field : Split(line, separator)) {
            if (field.empty()) continue;
            if (Number(field))
                ++numbers;
            else
                allNumbers = false;
        }
        if (allNumbers && numbers >= 2) return separator;
    }
    return 0;
}

bool IsTextByte(unsigned char c) {
    return c >= 0x20 || c == '\t' || c == '\r' || c == '\n';
}

std::string Text(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// The lines of an open file, read in bounded blocks.
class LineReader {
  public:
    explicit LineReader(int fd) : fd_(fd) {}
    // The next line without its end; false at the end of the file or on a line over the
    // limit (then TooLong()).
    bool Next(std::string& line) {
        line.clear();
        for (;;) {
            const std::size_t end = buffer_.find('\n', position_);
            const std::size_t stop = end == std::string::npos ? buffer_.size() : end;
            line.append(buffer_, position_, stop - position_);
            position_ = stop;
            if (line.size() > CsvReader::kMaxLineLength) {
                tooLong_ = true;
                return false;
            }
            if (end != std::string::npos) {
                ++position_;
                return true;
            }
            if (!Fill()) return !line.empty();
        }
    }
    bool TooLong() const { return tooLong_; }

  private:
    bool Fill() {
        buffer_.resize(kReadBytes);
        position_ = 0;
        ssize_t got;
        do {
            got = ::pread(fd_, buffer_.data(), buffer_.size(), static_cast<off_t>(offset_));
        } while (got < 0 && errno == EINTR);
        buffer_.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        offset_ += buffer_.size();
        return !buffer_.empty();
    }

    int fd_;
    std::string buffer_;
    std::size_t position_ = 0;
    std::uint64_t offset_ = 0;
    bool tooLong_ = false;
};

// The voltage column of the rows: by header name, by number or the one after time.
std::string ChooseColumn(const std::vector<std::string_view>& header, std::size_t fields,
                         std::size_t timeColumn, std::size_t& column) {
    const ImportOptions options = ImportReport::Options();
    if (!options.columnName.empty()) {
        const auto same = [&](std::string_view name) {
            return std::equal(name.begin(), name.end(), options.columnName.begin(),
                              options.columnName.end(), [](char a, char b) {
                                  return std::tolower(static_cast<unsigned char>(a)) ==
                                         std::tolower(static_cast<unsigned char>(b));
                              });
        };
        const auto found = std::find_if(header.begin(), header.end(), same);
        if (found == header.end())
            return "no column named '" + options.columnName + "' in the header line";
        column = static_cast<std::size_t>(found - header.begin());
    } else if (options.column > 0) {
        column = static_cast<std::size_t>(options.column) - 1;
    } else {
        column = timeColumn + 1;
    }
    if (column >= fields) return "no column " + std::to_string(column + 1) + " in the rows";
    if (column == timeColumn) return "column " + std::to_string(column + 1) + " is the time column";
    return {};
}

}  // namespace

bool CsvReader::Recognizes(std::span<const unsigned char> head) {
    if (head.empty() || !std::all_of(head.begin(), head.end(), IsTextByte)) return false;
    const std::string_view text(reinterpret_cast<const char*>(head.data()), head.size());
    // Only whole lines: the last may be cut by the head's end, unless it ends the file.
    const bool whole = head.size() < kSignatureSize;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos && !whole) return false;
        if (RowSeparator(Trim(text.substr(start, end - start))) != 0) return true;
        if (end == std::string_view::npos) return false;
        start = end + 1;
    }
    return false;
}

std::string CsvReader::Read(int fd, std::vector<double>& times, std::vector<double>& volts) const {
    LineReader lines(fd);
    std::string line;
    // Lines before the first row of numbers: the header, and metadata that some exports
    // write in leading columns beside the first samples.
    std::vector<std::string> preamble;
    char separator = 0;
    std::size_t timeColumn = 0, column = 0;
    // The sample of a line, if it holds finite numbers in both columns.
    auto sample = [&](std::string_view text) -> std::optional<std::pair<double, double>> {
        const std::vector<std::string_view> fields = Split(text, separator);
        const std::optional<double> time =
            timeColumn < fields.size() ? Number(fields[timeColumn]) : std::nullopt;
        const std::optional<double> value =
            column < fields.size() ? Number(fields[column]) : std::nullopt;
        if (!time || !value || !std::isfinite(*time) || !std::isfinite(*value)) return {};
        return std::pair{*time, *value};
    };
    for (long number = 1; lines.Next(line); ++number) {
        const std::string_view trimmed = Trim(line);
        if (trimmed.empty()) continue;
        if (separator == 0) {
            separator = RowSeparator(trimmed);
            if (separator == 0) {
                if (preamble.size() == kMaxPreambleLines) preamble.erase(preamble.begin());
                preamble.push_back(line);
                continue;
            }
            const std::vector<std::string_view> first = Split(trimmed, separator);
            while (first[timeColumn].empty()) ++timeColumn;
            std::string header;
            for (const std::string& text : preamble)
                if (!sample(Trim(text))) header = text;
            if (std::string p =
                    ChooseColumn(Split(Trim(header), separator), first.size(), timeColumn, column);
                !p.empty())
                return p;
            for (const std::string& text : preamble)
                if (const auto s = sample(Trim(text))) {
                    times.push_back(s->first);
                    volts.push_back(s->second);
                }
        }
        const auto s = sample(trimmed);
        if (!s)
            return "line " + std::to_string(number) +
                   " holds no finite time and voltage in columns " +
                   std::to_string(timeColumn + 1) + " and " + std::to_string(column + 1);
        times.push_back(s->first);
        volts.push_back(s->second);
    }
    if (lines.TooLong())
        return "a line is longer than " + std::to_string(kMaxLineLength) + " characters";
    if (volts.empty()) return "no rows of numbers with a '.' decimal point";
    if (volts.size() < 2) return "fewer than two rows of samples";
    return {};
}

bool CsvReader::Import(const std::string& path, RecordSink* sink) {
    description_ = RecordDescription{};
    points_.clear();
    points_.shrink_to_fit();
    ImportReport::Clear();
    RegularFile file(path);
    if (!file.IsOpen()) {
        ImportReport::Refuse(path, file.Reason());
        return false;
    }
    try {
        std::vector<double> times, volts;
        std::string problem = Read(file.Fd(), times, volts);
        const std::size_t n = volts.size();
        const double interval =
            problem.empty() ? (times.back() - times.front()) / double(n - 1) : 0;
        if (problem.empty() && !(interval > 0.0 && std::isfinite(interval)))
            problem = "the time column does not increase";
        for (std::size_t i = 0; problem.empty() && i < n; ++i) {
            const double off = times[i] - (times.front() + static_cast<double>(i) * interval);
            if (std::abs(off) > kTimeTolerance * interval)
                problem = "the time column is not evenly spaced: sample " + std::to_string(i + 1) +
                          " lies " + Text(off) + " s off an interval of " + Text(interval) + " s";
        }
        if (!problem.empty()) {
            ImportReport::Refuse(path, problem);
            return false;
        }
        description_.format = SampleFormat::Float;
        description_.sampleSize = 4;
        description_.count = static_cast<std::int64_t>(n);
        description_.scale = 1.0;
        description_.sampleIntervalS = interval;
        description_.firstPointTimeS = times.front();
        times = {};
        if (Deliver(volts, sink)) return true;
        description_ = RecordDescription{};
        ImportReport::Refuse(path, "the record was not taken");
        return false;
    } catch (const std::bad_alloc&) {
        description_ = RecordDescription{};
        points_ = {};
        ImportReport::Refuse(path, "not enough memory for the record");
        return false;
    }
}

// The volts go to the sink as they are, and as the 32-bit floats the record keeps.
bool CsvReader::Deliver(std::vector<double>& volts, RecordSink* sink) {
    if (!sink) {
        points_ = std::move(volts);
        return true;
    }
    if (!sink->Begin(description_)) return false;
    const bool wantsVolts = sink->WantsVolts();
    float raw[kSinkPoints];
    for (std::size_t first = 0; first < volts.size(); first += kSinkPoints) {
        const std::size_t part = std::min(kSinkPoints, volts.size() - first);
        for (std::size_t i = 0; i < part; ++i) raw[i] = static_cast<float>(volts[first + i]);
        sink->Take({volts.data() + first, wantsVolts ? part : 0},
                   {reinterpret_cast<const unsigned char*>(raw), part * sizeof(float)});
    }
    return true;
}

}  // namespace kestrava
