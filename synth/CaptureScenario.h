// Ready-made traffic for captures: a host or device lane of a short Serial ATA session,
// a long Data FIS, an idle link, deliberate faults, every FIS type, every primitive.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "synth/SataTraffic.h"
#include "synth/SataTrafficBuilder.h"

namespace kestrava::synth {

struct ScenarioOptions {
    std::string name = "session";
    bool hostLane = true;    // the lane the host transmits on; else the device's
    int dataBytes = 2048;    // payload of the long Data FIS
    int repeat = 1;          // the scenario's traffic sent this many times over
    std::uint64_t seed = 1;  // junk after CONT and data payloads
    TrafficOptions traffic;  // ALIGN interval, CONT, starting disparity (seed set from above)

    std::string Validate() const;  // empty when usable
};

class CaptureScenario {
  public:
    struct Info {
        std::string_view name;
        std::string_view summary;
    };
    static const std::vector<Info>& List();

    // Throws std::invalid_argument when the options do not Validate().
    static SataTraffic Build(const ScenarioOptions& options);
    // The line bits Build would make, counted a pass at a time without keeping them.
    static std::int64_t CountBits(const ScenarioOptions& options);

    static constexpr int kMaxDataBytes = 8192;  // the largest Data FIS payload
    static constexpr int kMaxRepeat = 100000;

  private:
    static SataTrafficBuilder Builder(const ScenarioOptions& options);
    // One pass of the scenario's traffic.
    static void Play(SataTrafficBuilder& out, const ScenarioOptions& options);
};

}  // namespace kestrava::synth
