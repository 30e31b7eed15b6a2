// NRZ test signals: a bit list drawn with ideal steps at a whole number of samples per
// bit, as raw sample values for the waveform file builder.
#pragma once

#include <cstddef>
#include <vector>

namespace kestrava::test {

inline std::vector<double> NrzRaw(const std::vector<int>& bits, std::size_t samplesPerBit,
                                  double highRaw, double lowRaw) {
    std::vector<double> raw;
    raw.reserve(bits.size() * samplesPerBit);
    for (int bit : bits) raw.insert(raw.end(), samplesPerBit, bit ? highRaw : lowRaw);
    return raw;
}

// The bits a recovery can give back: from the first edge to the last one.
inline std::vector<int> BitsBetweenEdges(const std::vector<int>& bits) {
    std::size_t first = 1, last = 0;
    while (first < bits.size() && bits[first] == bits[0]) ++first;
    for (std::size_t j = 1; j < bits.size(); ++j)
        if (bits[j] != bits[j - 1]) last = j;
    if (first >= bits.size() || last <= first) return {};
    return std::vector<int>(bits.begin() + static_cast<std::ptrdiff_t>(first),
                            bits.begin() + static_cast<std::ptrdiff_t>(last));
}

}  // namespace kestrava::test
