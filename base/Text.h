// Trimming text at its ends. Each reader names the characters it counts as blank: a
// profile file only spaces and tabs, a definition file whole line ends too. And text from
// a file made safe to show on a terminal.
#pragma once

#include <string>
#include <string_view>

namespace kestrava {

inline constexpr std::string_view kSpaceTab = " \t";
inline constexpr std::string_view kLineBlanks = " \t\r\n";

inline std::string_view TrimLeft(std::string_view text, std::string_view blanks) {
    const std::size_t first = text.find_first_not_of(blanks);
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

inline std::string_view TrimRight(std::string_view text, std::string_view blanks) {
    const std::size_t last = text.find_last_not_of(blanks);
    return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

// Blanks of one set at both ends.
inline std::string_view Trim(std::string_view text, std::string_view blanks) {
    return TrimLeft(TrimRight(text, blanks), blanks);
}

// Different sets at the two ends: a line end may close a line but never opens one.
inline std::string_view Trim(std::string_view text, std::string_view leading,
                             std::string_view trailing) {
    return TrimLeft(TrimRight(text, trailing), leading);
}

// A control byte (a terminal's escape sequences begin with one) that a message must not
// pass on raw; line feeds and tabs are text.
inline bool IsControlByte(unsigned char byte) {
    return (byte < 0x20 && byte != '\n' && byte != '\t') || byte == 0x7F;
}

// The byte written as \xNN.
inline std::string HexEscape(unsigned char byte) {
    static constexpr char kDigits[] = "0123456789abcdef";
    return {'\\', 'x', kDigits[byte >> 4], kDigits[byte & 0xF]};
}

// Control bytes as \xNN, so text taken from a file can be echoed in a message without
// acting on the terminal.
inline std::string Printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsControlByte(byte))
            out += HexEscape(byte);
        else
            out += c;
    }
    return out;
}

}  // namespace kestrava
