#include "protocol/Scrambler.h"

#include <array>

namespace kestrava {
namespace {

constexpr std::uint16_t kSeed = 0xFFFF;
constexpr std::uint16_t kFeedback = 0xA011;  // x^15 + x^13 + x^4 + 1, fed by the x^16 bit

// One 32-bit step of the serial generator: output bit i is the state's top bit before
// shift i. Output and next state are linear in the state, so a step splits into the
// contributions of the state's low and high bytes.
struct Step {
    std::uint32_t output = 0;
    std::uint16_t next = 0;
};

constexpr Step SerialStep(std::uint16_t state) {
    Step step;
    for (int i = 0; i < 32; ++i) {
        std::uint32_t bit = (state >> 15) & 1u;
        step.output |= bit << i;
        state = static_cast<std::uint16_t>(state << 1);
        if (bit) state ^= kFeedback;
    }
    step.next = state;
    return step;
}

struct StepTables {
    std::array<Step, 256> low{};
    std::array<Step, 256> high{};
};

constexpr StepTables MakeTables() {
    StepTables tables;
    for (unsigned b = 0; b < 256; ++b) {
        tables.low[b] = SerialStep(static_cast<std::uint16_t>(b));
        tables.high[b] = SerialStep(static_cast<std::uint16_t>(b << 8));
    }
    return tables;
}

constexpr StepTables kTables = MakeTables();

std::uint16_t g_state = kSeed;

}  // namespace

std::uint32_t NextScrambleWord(bool reset) {
    if (reset) g_state = kSeed;
    const Step& lo = kTables.low[g_state & 0xFFu];
    const Step& hi = kTables.high[g_state >> 8];
    g_state = static_cast<std::uint16_t>(lo.next ^ hi.next);
    return lo.output ^ hi.output;
}

}  // namespace kestrava
