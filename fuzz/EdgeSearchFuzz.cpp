// The edge search over 8-bit samples against the same search over their volts as floats:
// the input gives the volts of the 256 values, a band and the samples. Whatever the
// table (ordered or not, NaN and infinities too), both must find the same crossings.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "instrument/EdgeSearchEngine.h"

using namespace kestrava;

namespace {

float FloatFrom(fuzz::InputReader& input) {
    std::uint32_t bits = 0;
    for (int k = 0; k < 4; ++k) bits = bits << 8 | input.Byte();
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

bool Same(double a, double b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}

bool SameLists(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!Same(a[i], b[i])) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::InputReader input(data, size);
    // A steering byte: an ordered table (rising or falling with the value) from a start
    // and a step, or a table read value by value.
    const std::uint8_t kind = input.Byte();
    std::array<float, 256> volts{};
    if (kind % 3 == 2) {
        for (float& v : volts) v = FloatFrom(input);
    } else {
        const float start = FloatFrom(input), step = FloatFrom(input);
        for (int value = -128; value < 128; ++value)
            volts[static_cast<std::uint8_t>(value)] =
                start + (kind % 3 == 0 ? 1.0f : -1.0f) * step * static_cast<float>(value);
    }
    const float level = FloatFrom(input), hysteresis = FloatFrom(input);
    const std::string_view rest = input.Rest();
    if (rest.empty()) return 0;
    std::vector<std::int8_t> samples(rest.size());
    std::memcpy(samples.data(), rest.data(), rest.size());
    std::vector<float> floats(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i)
        floats[i] = volts[static_cast<std::uint8_t>(samples[i])];

    EdgeSearchEngine asFloats, asBytes;
    for (EdgeSearchEngine* engine : {&asFloats, &asBytes}) {
        engine->AddSearch(level, hysteresis, kEdgeBoth, "both");
        engine->AddSearch(level, hysteresis, kEdgeRising, "rise");
    }
    asFloats.Run(floats, 0.0, {});
    asBytes.RunInt8(samples, volts, 0.0, {});
    for (const char* name : {"both", "rise"}) {
        const EdgeSearch& want = *asFloats.Find(name);
        const EdgeSearch& got = *asBytes.Find(name);
        fuzz::Check(SameLists(got.rising, want.rising), "8-bit rising crossings differ");
        fuzz::Check(SameLists(got.falling, want.falling), "8-bit falling crossings differ");
        fuzz::Check(got.state == want.state && got.pending == want.pending &&
                        Same(got.crossing, want.crossing) && Same(got.previous, want.previous),
                    "8-bit search ends in another state");
    }
    return 0;
}
