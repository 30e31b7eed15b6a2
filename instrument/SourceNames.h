// The data sources by the program's index: CH1-CH4 0-3, REF1-REF4 4-7, MATH1-MATH4 8-11,
// the order of the window's list, the setup files and the trigger source.
#pragma once

#include <array>
#include <string_view>

namespace kestrava {

inline constexpr int kSourceCount = 12;

inline constexpr std::array<std::string_view, kSourceCount> kSourceNames = {
    "CH1", "CH2", "CH3", "CH4", "REF1", "REF2", "REF3", "REF4", "MATH1", "MATH2", "MATH3", "MATH4"};

// The name of index 0-11; empty otherwise.
constexpr std::string_view SourceName(int index) {
    return index >= 0 && index < kSourceCount ? kSourceNames[static_cast<std::size_t>(index)]
                                              : std::string_view();
}

// The index of a name in any case ("Ref3" is 6); -1 for no source.
constexpr int SourceIndex(std::string_view name) {
    const auto upper = [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    };
    for (int i = 0; i < kSourceCount; ++i) {
        const std::string_view candidate = kSourceNames[static_cast<std::size_t>(i)];
        bool same = candidate.size() == name.size();
        for (std::size_t k = 0; same && k < name.size(); ++k) same = upper(name[k]) == candidate[k];
        if (same) return i;
    }
    return -1;
}

}  // namespace kestrava
