// kestrava-decode: one decode from a waveform file to a list, a report or a picture, on
// the same presentation core as the window.
#pragma once

#include <iosfwd>

#include "tools/kestrava-decode/DecodeOptions.h"

namespace kestrava {

inline constexpr int kExitOk = 0;
inline constexpr int kExitNotDecoded = 1;
inline constexpr int kExitUsage = 2;

int RunDecode(const DecodeOptions& options, std::ostream& out, std::ostream& err);

}  // namespace kestrava
