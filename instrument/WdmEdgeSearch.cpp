// The waveform data module's edge-search functions over its one engine.
#include <algorithm>

#include "instrument/Wdm.h"
#include "instrument/WdmState.h"

namespace kestrava {
namespace {

const EdgeSearch* FindSearch(const std::string& name) {
    wdm::ModuleState& state = wdm::State();
    return state.engine ? state.engine->Find(name) : nullptr;
}

std::vector<double> TimesOf(const std::vector<double>& positions, bool present) {
    if (!present) return {};
    return wdm::State().engine->Times(positions);
}

}  // namespace

bool WdmAddEdgeSearch(float level, float hysteresis, int kind, const std::string& name) {
    wdm::ModuleState& state = wdm::State();
    return state.engine && state.engine->AddSearch(level, hysteresis, kind, name);
}

namespace {

// At most the last file's point count of a record.
template <class Sample>
std::span<const Sample> SearchedPart(std::span<const Sample> data) {
    const auto count =
        static_cast<std::size_t>(std::max<std::int64_t>(wdm::State().file.pointCount, 0));
    return data.first(std::min(count, data.size()));
}

}  // namespace

bool WdmFindEdgesInData(std::span<const float> data) {
    wdm::ModuleState& state = wdm::State();
    if (!state.engine) return false;
    state.engine->Run(SearchedPart(data), 0.0, state.file.timeBase);
    return true;
}

bool WdmFindEdgesInInt8Data(std::span<const std::int8_t> samples,
                            const std::array<float, 256>& volts) {
    wdm::ModuleState& state = wdm::State();
    if (!state.engine) return false;
    state.engine->RunInt8(SearchedPart(samples), volts, 0.0, state.file.timeBase);
    return true;
}

void WdmClearEdgeSearches() {
    wdm::ModuleState& state = wdm::State();
    if (state.engine) state.engine->Clear();
}

std::int64_t WdmGetFallingEdgeCount(const std::string& name) {
    const EdgeSearch* search = FindSearch(name);
    return search ? static_cast<std::int64_t>(search->falling.size()) : 0;
}

std::int64_t WdmGetRisingEdgeCount(const std::string& name) {
    const EdgeSearch* search = FindSearch(name);
    return search ? static_cast<std::int64_t>(search->rising.size()) : 0;
}

std::vector<double> WdmGetFallingEdgeTimes(const std::string& name) {
    const EdgeSearch* search = FindSearch(name);
    return search ? TimesOf(search->falling, search->hasFalling) : std::vector<double>{};
}

std::vector<double> WdmGetRisingEdgeTimes(const std::string& name) {
    const EdgeSearch* search = FindSearch(name);
    return search ? TimesOf(search->rising, search->hasRising) : std::vector<double>{};
}

std::span<const double> WdmGetFallingEdgePositions(const std::string& name) {
    const EdgeSearch* search = FindSearch(name);
    if (!search || !search->hasFalling) return {};
    return search->falling;
}

std::span<const double> WdmGetRisingEdgePositions(const std::string& name) {
    const EdgeSearch* search = FindSearch(name);
    if (!search || !search->hasRising) return {};
    return search->rising;
}

EdgeTimeBase WdmGetEdgeTimeBase() {
    wdm::ModuleState& state = wdm::State();
    return state.engine ? state.engine->TimeBase() : EdgeTimeBase{};
}

}  // namespace kestrava
