// Lower-case hexadecimal digits appended to a string, as "%x" prints them: decode
// listings write one per word, and a format call for each costs more than the decode.
#pragma once

#include <cstdint>
#include <string>

namespace kestrava {

inline void AppendHex(std::string& text, unsigned value) {
    char digits[8];
    int count = 0;
    do {
        digits[count++] = "0123456789abcdef"[value & 0xFu];
        value >>= 4;
    } while (value != 0);
    while (count > 0) text += digits[--count];
}

// The position tag that opens each line of a listing or report: "0x%08x:  ", by hand,
// as every line has one.
inline void AppendPositionTag(std::string& text, std::uint32_t position) {
    char tag[13] = {'0', 'x', 0, 0, 0, 0, 0, 0, 0, 0, ':', ' ', ' '};
    for (int i = 9; i >= 2; --i, position >>= 4) tag[i] = "0123456789abcdef"[position & 0xFu];
    text.append(tag, sizeof tag);
}

}  // namespace kestrava
