#include "tools/kestrava-scopesim/Faults.h"

#include <array>
#include <utility>

namespace kestrava::scopesim {
namespace {

constexpr std::array<std::pair<Fault, std::string_view>, 7> kFaultNames = {{
    {Fault::kNoAnswer, "no-answer"},
    {Fault::kDisconnectMidBlock, "disconnect-mid-block"},
    {Fault::kCorruptBlockHeader, "corrupt-block-header"},
    {Fault::kCountExceedsBlock, "count-exceeds-block"},
    {Fault::kBusyForever, "busy-forever"},
    {Fault::kSilentFromCurve, "silent-from-curve"},
    {Fault::kIndefiniteBlock, "indefinite-block"},
}};

}  // namespace

std::string_view FaultName(Fault fault) {
    for (const auto& [value, name] : kFaultNames)
        if (value == fault) return name;
    return "";
}

std::optional<Fault> FaultFromName(std::string_view name) {
    for (const auto& [value, text] : kFaultNames)
        if (text == name) return value;
    return std::nullopt;
}

std::vector<Fault> AllFaults() {
    std::vector<Fault> all;
    for (const auto& entry : kFaultNames) all.push_back(entry.first);
    return all;
}

}  // namespace kestrava::scopesim
