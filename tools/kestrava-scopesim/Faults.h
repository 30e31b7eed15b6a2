// Faults the simulator can be asked to show, by name on the command line or through
// ScopeSimulator::InjectFault.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace kestrava::scopesim {

enum class Fault {
    kNoAnswer,            // "no-answer": queries are read and never answered
    kDisconnectMidBlock,  // "disconnect-mid-block": CURVE? sends half its block, then hangs up
    kCorruptBlockHeader,  // "corrupt-block-header": CURVE? answers "#X..." instead of "#<n>..."
    kCountExceedsBlock,   // "count-exceeds-block": NR_Pt? reports more points than the block holds
    kBusyForever,         // "busy-forever": BUSY? answers 1 and no sequence ever completes
    kSilentFromCurve,     // "silent-from-curve": CURVE? and every query after it go unanswered
    kIndefiniteBlock,     // "indefinite-block": CURVE? answers "#0..." whatever its length
};

std::string_view FaultName(Fault fault);
std::optional<Fault> FaultFromName(std::string_view name);
std::vector<Fault> AllFaults();

}  // namespace kestrava::scopesim
