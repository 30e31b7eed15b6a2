// Threshold crossings with hysteresis in a sampled waveform. Each named search notes the
// interpolated point where the signal first reaches its level and confirms it only when
// the signal goes on past the hysteresis band; a return to the far side of the band
// before that discards it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava {

inline constexpr int kEdgeRising = 0;
inline constexpr int kEdgeFalling = 1;
inline constexpr int kEdgeBoth = 2;

inline constexpr int kSearchAbove = 0;
inline constexpr int kSearchBelow = 1;
inline constexpr int kSearchNotRun = 3;

struct EdgeSearch {
    std::string name;
    int kind = kEdgeRising;
    float level = 0.0f;
    double upper = 0.0;
    double lower = 0.0;
    int state = kSearchNotRun;
    bool pending = false;
    double crossing = 0.0;  // points
    double previous = 0.0;
    bool hasRising = false;   // kinds 0 and 2 keep a rising list
    bool hasFalling = false;  // kinds 1 and 2 keep a falling list
    std::vector<double> rising;
    std::vector<double> falling;
};

// Seconds of a crossing: position x interval + offset A + offset B.
struct EdgeTimeBase {
    double intervalS = 0.0;
    double offsetAS = 0.0;
    double offsetBS = 0.0;

    double Seconds(double position) const { return position * intervalS + offsetAS + offsetBS; }
};

class EdgeSearchEngine {
  public:
    static constexpr std::size_t kListGrowth = 4096;

    // False for a kind other than 0, 1, 2 or when the search cannot be made; the engine
    // is then unchanged.
    bool AddSearch(float level, float hysteresis, int kind, std::string name);
    void Clear() { searches_.clear(); }
    std::size_t SearchCount() const { return searches_.size(); }

    // Runs every search over the samples, on the workers (base/Workers); startOffset
    // (points) is added to each crossing. The crossings do not depend on the worker count.
    void Run(std::span<const float> data, double startOffsetPoints, const EdgeTimeBase& timeBase);
    // The same over 8-bit samples whose volts are volts[sample as an unsigned byte]: the
    // crossings are those of a run over the samples' volts. Volts that never fall as the
    // sample rises, or never rise, are searched sixteen samples at a time.
    void RunInt8(std::span<const std::int8_t> samples, const std::array<float, 256>& volts,
                 double startOffsetPoints, const EdgeTimeBase& timeBase);

    // The first search added under the name, or null.
    const EdgeSearch* Find(std::string_view name) const;
    const EdgeTimeBase& TimeBase() const { return timeBase_; }
    std::vector<double> Times(std::span<const double> positions) const;

  private:
    // One run per band over count samples, made by makeSamples from the band; last is
    // the volts of the last sample.
    template <class MakeSamples>
    void RunPasses(std::size_t count, double last, double startOffsetPoints,
                   const EdgeTimeBase& timeBase, MakeSamples makeSamples);

    std::vector<std::unique_ptr<EdgeSearch>> searches_;
    EdgeTimeBase timeBase_;
};

}  // namespace kestrava
