// The text-to-number conversions of instrument replies: leading blanks and a sign are
// skipped, the number ends at the first character that cannot continue it, and a reply
// without a number reads as 0. Independent of the locale.
#pragma once

#include <charconv>
#include <cstdint>
#include <string_view>

namespace kestrava {

namespace reply_detail {
inline std::string_view NumberStart(std::string_view text, bool& negative) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r' ||
                             text.front() == '\n'))
        text.remove_prefix(1);
    negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    return text;
}
}  // namespace reply_detail

inline std::int64_t IntegerOf(std::string_view text) {
    bool negative = false;
    text = reply_detail::NumberStart(text, negative);
    std::int64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return negative ? -value : value;
}

inline double DoubleOf(std::string_view text) {
    bool negative = false;
    text = reply_detail::NumberStart(text, negative);
    double value = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return negative ? -value : value;
}

}  // namespace kestrava
