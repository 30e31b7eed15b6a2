// What every fuzz target of a waveform reader checks: an import kept and an import
// streamed (with and without volts) agree point for point, a refusal leaves nothing
// behind and says why, and no import holds more points than the file has bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "formats/ImportReport.h"
#include "formats/WaveformFileReader.h"
#include "fuzz/FuzzSupport.h"

namespace kestrava::fuzz {

class StreamCheck : public RecordSink {
  public:
    StreamCheck(std::span<const double> kept, bool wantsVolts)
        : kept_(kept.begin(), kept.end()), wantsVolts_(wantsVolts) {}
    bool Begin(const RecordDescription& record) override {
        Check(record.count == static_cast<std::int64_t>(kept_.size()), "streamed count differs");
        sampleSize_ = static_cast<std::size_t>(record.sampleSize);
        return true;
    }
    bool WantsVolts() const override { return wantsVolts_; }
    void Take(std::span<const double> points, std::span<const unsigned char> raw) override {
        Check(sampleSize_ > 0 && raw.size() % sampleSize_ == 0, "raw bytes cut a sample");
        const std::size_t count = raw.size() / sampleSize_;
        Check(!cutShort_, "a block after one that was not a multiple of 16");
        cutShort_ = count % 16 != 0;
        Check(points.size() == (wantsVolts_ ? count : 0), "raw bytes and points disagree");
        Check(taken_ + count <= kept_.size(), "more streamed points than kept");
        Check(points.empty() ||
                  std::memcmp(points.data(), kept_.data() + taken_, points.size_bytes()) == 0,
              "streamed points differ from the kept ones");
        taken_ += count;
    }
    bool Whole() const { return taken_ == kept_.size(); }

  private:
    std::vector<double> kept_;
    bool wantsVolts_;
    std::size_t sampleSize_ = 0;
    std::size_t taken_ = 0;
    bool cutShort_ = false;
};

// Imports the file with a fresh Reader, kept and then streamed both ways.
template <class Reader>
void CheckReader(const std::string& path, std::size_t fileSize) {
    Reader reader;
    if (!reader.Import(path, nullptr)) {
        Check(reader.Points().empty(), "a refused file left points behind");
        Check(!ImportReport::Problem().empty(), "a refusal without a reason");
        return;
    }
    const RecordDescription d = reader.Description();
    Check(d.count > 0 && reader.Points().size() == static_cast<std::size_t>(d.count),
          "points and count disagree");
    Check(static_cast<std::uint64_t>(d.count) <= fileSize, "more points than the file has bytes");
    const std::vector<double> kept(reader.Points().begin(), reader.Points().end());
    for (bool wantsVolts : {true, false}) {
        StreamCheck sink(kept, wantsVolts);
        Check(reader.Import(path, &sink), "a streamed import refused a file the kept one took");
        Check(sink.Whole(), "the streamed import lost points");
        Check(reader.Points().empty(), "a streamed import kept its points");
    }
}

}  // namespace kestrava::fuzz
