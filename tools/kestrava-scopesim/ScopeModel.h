// The simulated instrument's reading of one program message: each unit is matched against
// the command table and run; queries are answered in one reply line. Unknown headers and
// bad parameters are command errors, remembered and reported by *ESR?.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/kestrava-scopesim/CommandTable.h"
#include "tools/kestrava-scopesim/ScopeState.h"

namespace kestrava::scopesim {

class ScopeModel {
  public:
    struct Response {
        std::string reply;  // the answer with its line feed; empty when nothing is answered
        std::optional<size_t> disconnectAfter;  // send this many bytes of reply, then hang up
        std::optional<std::chrono::steady_clock::time_point>
            notBefore;  // hold the reply until then
    };

    ScopeModel();

    // Runs one program message (without its terminating line feed). With faults applied,
    // the injected faults shape the response; without, it is answered as a sound instrument.
    Response Process(std::string_view message, bool applyFaults = true);

    ScopeState& State() { return state_; }
    const ScopeState& State() const { return state_; }

    static constexpr size_t kMaxRememberedErrors = 1000;

  private:
    const CommandSpec* Find(const std::vector<std::string>& path, bool common,
                            CommandContext& context) const;
    void CommandError(const std::string& text);

    ScopeState state_;
    CommandList commands_;
};

}  // namespace kestrava::scopesim
