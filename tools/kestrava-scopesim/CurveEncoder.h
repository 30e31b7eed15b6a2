// Turns record points into the bytes of a CURVE? reply in the instrument's output format.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tools/kestrava-scopesim/ScopeState.h"
#include "tools/kestrava-scopesim/StoredRecord.h"

namespace kestrava::scopesim {

// Points [first, first + count) (zero-based) as raw values: signed or unsigned integers
// of `width` bytes in the given byte order, or 32-bit IEEE floats; or, for ASCII
// encoding, the values as text separated by commas. Integer levels are
// round((v - yzero) / ymult + yoff), clamped to the width's range. Appended to out, the
// record read a piece at a time.
void AppendCurveData(std::string& out, const StoredRecord& record, size_t first, size_t count,
                     const OutputFormat& format, const Scaling& scaling);
std::string EncodeCurveData(const std::vector<float>& volts, size_t first, size_t count,
                            const OutputFormat& format, const Scaling& scaling);

// "#<n><length>": the head of a definite-length block of that many bytes; "#0", the head of
// an indefinite one that the reply's line feed ends, from 10^9 bytes on.
std::string BlockHeader(size_t length);
// "#<n><length><data>": a definite-length block.
std::string DefiniteBlock(const std::string& data);

}  // namespace kestrava::scopesim
