// Turns record points into the bytes of a CURVE? reply in the instrument's output format.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tools/kestrava-scopesim/ScopeState.h"

namespace kestrava::scopesim {

// Points [first, first + count) (zero-based) as raw values: signed or unsigned integers
// of `width` bytes in the given byte order, or 32-bit IEEE floats; or, for ASCII
// encoding, the values as text separated by commas. Integer levels are
// round((v - yzero) / ymult + yoff), clamped to the width's range.
std::string EncodeCurveData(const std::vector<float>& volts, size_t first, size_t count,
                            const OutputFormat& format, const Scaling& scaling);

// "#<n><length><data>": a definite-length block.
std::string DefiniteBlock(const std::string& data);

}  // namespace kestrava::scopesim
