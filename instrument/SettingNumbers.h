// The number at the start of a setting's text or of a measurement reply: leading blanks
// and tabs and one '+' are skipped, and text without a number reads as 0. Independent of
// the locale. (ReplyNumbers.h reads the instrument's other replies, which allow more.)
#pragma once

#include <charconv>
#include <string_view>

namespace kestrava {

namespace setting_detail {
inline std::string_view NumberStart(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    if (text.size() > 1 && text.front() == '+') text.remove_prefix(1);
    return text;
}
}  // namespace setting_detail

inline int SettingInteger(std::string_view text) {
    text = setting_detail::NumberStart(text);
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

inline double SettingDouble(std::string_view text) {
    text = setting_detail::NumberStart(text);
    double value = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

}  // namespace kestrava
