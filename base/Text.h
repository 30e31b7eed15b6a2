// Trimming text at its ends. Each reader names the characters it counts as blank: a
// profile file only spaces and tabs, a definition file whole line ends too.
#pragma once

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

}  // namespace kestrava
