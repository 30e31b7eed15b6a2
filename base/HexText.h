// Lower-case hexadecimal digits appended to a string, as "%x" prints them: decode
// listings write one per word, and a format call for each costs more than the decode.
#pragma once

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

}  // namespace kestrava
