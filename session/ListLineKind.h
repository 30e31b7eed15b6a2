// What a characters-list line reports, read from its text: the lines are the lists' only
// record, so the window's colours, Find and "next error" all go by it.
#pragma once

#include <string_view>

namespace kestrava {

enum class ListLineKind {
    kPlain,
    kInvalid,         // "Invalid Code"
    kDisparityError,  // "[rd error]" or "[mw rd error]"
    kSampleSlip,      // "---Got N extra samples---", "---Missed N samples---"
    kSilence,         // "---Silence ( … nS )---"
};

ListLineKind KindOfListLine(std::string_view text);

// Lines a user hunts for: everything but plain lines.
inline bool IsErrorLine(ListLineKind kind) {
    return kind != ListLineKind::kPlain;
}

}  // namespace kestrava
