// Waveform files: the reader straight, kept and streamed, then the waveform data module's
// import, through the format registry, with an edge search over the points, as a file
// capture is decoded.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "formats/CQelWfmReader.h"
#include "fuzz/FuzzSupport.h"
#include "instrument/Wdm.h"

using namespace kestrava;

namespace {

// Checks what a streamed import hands over against the points the reader kept; a sink
// that wants no volts gets the raw bytes alone.
class CheckingSink : public RecordSink {
  public:
    CheckingSink(std::vector<double> kept, bool wantsVolts)
        : kept_(std::move(kept)), wantsVolts_(wantsVolts) {}
    bool Begin(const RecordDescription& record) override {
        announced_ = record.count;
        sampleSize_ = static_cast<std::size_t>(record.sampleSize);
        return true;
    }
    bool WantsVolts() const override { return wantsVolts_; }
    void Take(std::span<const double> points, std::span<const unsigned char> raw) override {
        fuzz::Check(sampleSize_ > 0 && raw.size() % sampleSize_ == 0, "raw bytes cut a sample");
        const std::size_t count = raw.size() / std::max<std::size_t>(sampleSize_, 1);
        fuzz::Check(!lastSeen_, "a block after one that was not a multiple of 16");
        lastSeen_ = count % 16 != 0;
        fuzz::Check(points.size() == (wantsVolts_ ? count : 0), "raw bytes and points disagree");
        fuzz::Check(taken_ + count <= kept_.size(), "more streamed points than kept");
        // A raw-only block has no points array at all, which memcmp may not be given.
        fuzz::Check(points.empty() ||
                        std::memcmp(points.data(), kept_.data() + taken_, points.size_bytes()) == 0,
                    "streamed points differ from the kept ones");
        taken_ += count;
    }
    void Finish(int result) const {
        fuzz::Check(result == 1, "a streamed import refused a file the kept import took");
        fuzz::Check(announced_ == static_cast<std::int64_t>(kept_.size()) && taken_ == kept_.size(),
                    "the streamed import lost points");
    }

  private:
    std::vector<double> kept_;
    std::int64_t announced_ = -1;
    std::size_t sampleSize_ = 0;
    std::size_t taken_ = 0;
    bool lastSeen_ = false;
    bool wantsVolts_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::PrepareEnvironment();
    fuzz::TrimLog();
    const std::string path = fuzz::WriteInputFile(data, size, "capture.wfm");

    {
        CQelWfmReader reader;
        if (reader.LoadFile(path, 1) == 1) {
            const int sampleSize = WfmSampleSize(reader.ReferenceHeader().explicit1.formatCode);
            fuzz::Check(sampleSize > 0, "an import with an unknown sample format");
            fuzz::Check(reader.PointCount() > 0, "an import without points");
            fuzz::Check(reader.PointCount() <= static_cast<std::int64_t>(size) / sampleSize,
                        "more points than the file holds");
            fuzz::Check(reader.Points().size() == static_cast<std::size_t>(reader.PointCount()),
                        "points span and count disagree");
            fuzz::Check(reader.Description().count == reader.PointCount() &&
                            reader.Description().sampleSize == sampleSize,
                        "the record description disagrees with the import");
            fuzz::Check(CQelWfmReader::Recognizes({data, size}),
                        "an imported file that the registry would not recognise");
            const std::vector<double> kept(reader.Points().begin(), reader.Points().end());
            for (bool wantsVolts : {true, false}) {
                CheckingSink sink(kept, wantsVolts);
                sink.Finish(reader.LoadFile(path, 1, nullptr, nullptr, &sink));
                fuzz::Check(reader.Points().empty(), "a streamed import kept its points");
            }
        } else {
            fuzz::Check(reader.PointCount() == 0, "a refused file left points behind");
        }
    }

    RecordDescription description;
    std::span<const double> points = WdmLoadWaveformFile(path, 0, nullptr, nullptr, description);
    if (points.empty()) return 0;
    // The bit detector hands the module single-precision volts; keep them finite here so
    // the narrowing itself is defined.
    std::vector<float> volts(points.size());
    double low = 0.0, high = 0.0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        double v = std::isfinite(points[i]) ? std::clamp(points[i], -1e30, 1e30) : 0.0;
        volts[i] = static_cast<float>(v);
        low = std::min(low, v);
        high = std::max(high, v);
    }
    const float level = static_cast<float>((low + high) / 2);
    const float hysteresis = static_cast<float>((high - low) / 10);
    WdmAddEdgeSearch(level, hysteresis, kEdgeRising, "rise");
    WdmAddEdgeSearch(level, hysteresis, kEdgeFalling, "fall");
    WdmAddEdgeSearch(level, 0.0f, kEdgeBoth, "both");
    WdmFindEdgesInData(volts);
    const std::int64_t rising = WdmGetRisingEdgeCount("rise");
    const std::int64_t falling = WdmGetFallingEdgeCount("fall");
    fuzz::Check(rising <= static_cast<std::int64_t>(volts.size()) &&
                    falling <= static_cast<std::int64_t>(volts.size()),
                "more edges than points");
    std::vector<double> times = WdmGetRisingEdgeTimes("rise");
    fuzz::Check(times.size() == static_cast<std::size_t>(std::max<std::int64_t>(rising, 0)),
                "edge count and edge times disagree");
    WdmGetFallingEdgePositions("both");
    WdmClearEdgeSearches();
    return 0;
}
