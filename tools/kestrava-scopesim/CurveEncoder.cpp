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

// The raw bits of one point in width bytes at out, in the byte order asked.
void PutBytes(char* out, uint32_t bits, int width, bool msbFirst) {
    for (int i = 0; i < width; ++i) {
        int shift = msbFirst ? 8 * (width - 1 - i) : 8 * i;
        out[i] = static_cast<char>((bits >> shift) & 0xFF);
    }
}

constexpr size_t kPiecePoints = 1 << 16;

}  // namespace

void AppendCurveData(std::string& out, const StoredRecord& record, size_t first, size_t count,
                     const OutputFormat& format, const Scaling& scaling) {
    if (first >= record.Size()) return;
    count = std::min(count, record.Size() - first);
    const bool fp = format.format == NumberFormat::kFP;
    const bool unsignedRaw = format.format == NumberFormat::kRP;
    const bool ascii = format.encoding == Encoding::kAscii;
    const int width = fp ? 4 : std::clamp(format.width, 1, 2);
    const long long span = 1LL << (8 * width);
    const long long low = unsignedRaw ? 0 : -span / 2;
    const long long high = unsignedRaw ? span - 1 : span / 2 - 1;
    if (ascii) out.reserve(out.size() + count * 8);
    std::vector<float> piece(std::min(count, kPiecePoints));
    for (size_t done = 0; done < count; done += piece.size()) {
        const size_t n = std::min(piece.size(), count - done);
        record.Read(first + done, n, piece.data());
        if (!ascii) {
            size_t at = out.size();
            out.resize(at + n * static_cast<size_t>(width));
            for (size_t k = 0; k < n; ++k, at += static_cast<size_t>(width)) {
                uint32_t bits;
                if (fp)
                    std::memcpy(&bits, &piece[k], sizeof bits);
                else
                    bits = static_cast<uint32_t>(Level(piece[k], scaling, low, high));
                PutBytes(&out[at], bits, width, format.msbFirst);
            }
            continue;
        }
        for (size_t k = 0; k < n; ++k) {
            char text[32];
            if (fp)
                FormatInto(text, sizeof text, "%.6E", static_cast<double>(piece[k]));
            else
                std::snprintf(text, sizeof text, "%lld", Level(piece[k], scaling, low, high));
            if (done + k > 0) out += ',';
            out += text;
        }
    }
}

std::string EncodeCurveData(const std::vector<float>& volts, size_t first, size_t count,
                            const OutputFormat& format, const Scaling& scaling) {
    std::string out;
    AppendCurveData(out, StoredRecord(Waveform{volts, 1.0}), first, count, format, scaling);
    return out;
}

std::string BlockHeader(size_t length) {
    std::string digits = std::to_string(length);
    // A length of ten digits or more has no definite form: the block's end is the reply's.
    if (digits.size() > 9) return "#0";
    return "#" + std::to_string(digits.size()) + digits;
}

std::string DefiniteBlock(const std::string& data) {
    return BlockHeader(data.size()) + data;
}

}  // namespace kestrava::scopesim
