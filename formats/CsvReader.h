// Reader of waveforms exported as text: a time column and one or more voltage columns,
// separated by commas, semicolons or tabs, with or without a header line and metadata
// lines before the rows (or in leading columns beside the first rows). Numbers always have a
// decimal point, whatever the locale. The sample interval comes from the time column, which must be
// evenly spaced.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/RecordDescription.h"
#include "formats/RecordSink.h"
#include "formats/WaveformFileReader.h"

namespace kestrava {

class CsvReader final : public WaveformFileReader {
  public:
    static constexpr std::string_view kExtension = ".csv";
    static constexpr std::size_t kSignatureSize = 4096;
    // Lines longer than this are no export of a few columns.
    static constexpr std::size_t kMaxLineLength = 64u << 10;
    // Lines before the first row kept to look for samples beside metadata.
    static constexpr std::size_t kMaxPreambleLines = 64;
    // A time that strays further than this part of an interval from an even grid.
    static constexpr double kTimeTolerance = 0.25;
    // Text without control characters that holds a complete row of two or more numbers.
    static bool Recognizes(std::span<const unsigned char> head);

    bool Import(const std::string& path, RecordSink* sink) override;
    const RecordDescription& Description() const override { return description_; }
    std::span<const double> Points() const override { return points_; }

  private:
    std::string Read(int fd, std::vector<double>& times, std::vector<double>& volts) const;
    bool Deliver(std::vector<double>& volts, RecordSink* sink);

    RecordDescription description_;
    std::vector<double> points_;
};

}  // namespace kestrava
