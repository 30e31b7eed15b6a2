#include "tools/kestrava-scopesim/CurveEncoder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/Numbers.h"

namespace kestrava::scopesim {
namespace {

long long Level(float v, const Scaling& s, long long low, long long high) {
    double level = std::round((static_cast<double>(v) - s.yzero) / s.ymult + s.yoff);
    if (!std::isfinite(level)) level = 0;
    return std::clamp(static_cast<long long>(level), low, high);
}

void AppendBytes(std::string& out, uint32_t bits, int width, bool msbFirst) {
    for (int i = 0; i < width; ++i) {
        int shift = msbFirst ? 8 * (width - 1 - i) : 8 * i;
        out += static_cast<char>((bits >> shift) & 0xFF);
    }
}

}  // namespace

std::string EncodeCurveData(const std::vector<float>& volts, size_t first, size_t count,
                            const OutputFormat& format, const Scaling& scaling) {
    std::string out;
    if (first >= volts.size()) return out;
    count = std::min(count, volts.size() - first);
    const bool fp = format.format == NumberFormat::kFP;
    const bool unsignedRaw = format.format == NumberFormat::kRP;
    const int width = fp ? 4 : std::clamp(format.width, 1, 2);
    const long long span = 1LL << (8 * width);
    const long long low = unsignedRaw ? 0 : -span / 2;
    const long long high = unsignedRaw ? span - 1 : span / 2 - 1;
    out.reserve(format.encoding == Encoding::kAscii ? count * 8 : count * width);
    for (size_t i = first; i < first + count; ++i) {
        if (format.encoding == Encoding::kAscii) {
            char text[32];
            if (fp)
                FormatInto(text, sizeof text, "%.6E", static_cast<double>(volts[i]));
            else
                std::snprintf(text, sizeof text, "%lld", Level(volts[i], scaling, low, high));
            if (i > first) out += ',';
            out += text;
        } else if (fp) {
            uint32_t bits;
            std::memcpy(&bits, &volts[i], sizeof bits);
            AppendBytes(out, bits, 4, format.msbFirst);
        } else {
            auto level = static_cast<uint32_t>(Level(volts[i], scaling, low, high));
            AppendBytes(out, level, width, format.msbFirst);
        }
    }
    return out;
}

std::string DefiniteBlock(const std::string& data) {
    std::string length = std::to_string(data.size());
    return "#" + std::to_string(length.size()) + length + data;
}

}  // namespace kestrava::scopesim
