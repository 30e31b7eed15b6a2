#include "synth/SeededRandom.h"

#include <cmath>
#include <numbers>

namespace kestrava::synth {

double SeededRandom::Uniform() {
    return static_cast<double>(engine_() >> 11) * 0x1.0p-53;
}

double SeededRandom::Normal() {
    if (haveSpare_) {
        haveSpare_ = false;
        return spare_;
    }
    const double u1 = 1.0 - Uniform();  // (0, 1]: the logarithm stays finite
    const double u2 = Uniform();
    const double radius = std::sqrt(-2.0 * std::log(u1));
    const double angle = 2.0 * std::numbers::pi * u2;
    spare_ = radius * std::sin(angle);
    haveSpare_ = true;
    return radius * std::cos(angle);
}

}  // namespace kestrava::synth
