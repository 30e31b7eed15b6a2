// Builds waveform files for tests: either version, either byte order, every sample
// format, with header fields that can be made to lie. The reference header is written
// field after field in file order, independently of the reader's offset table.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrava::test {

struct WfmSpec {
    bool version3 = false;
    bool bigEndian = false;
    std::int32_t formatCode = 7;
    double scale = 0.01;
    double offset = 0.0;
    double intervalS = 1e-10;
    double implicitOffsetS = 0.0;
    double triggerOffsetPoints = 0.0;
    std::vector<double> raw;  // raw sample values of the record (before scale and offset)
    int preChargePoints = 16;
    int postChargePoints = 16;
    double chargeValue = 0.0;        // raw value of the charge points
    bool sizeIncludesCharge = true;  // ordinary files count the charge points in the size
    // Lies.
    std::optional<std::int32_t> implicitSize;
    std::optional<std::int32_t> curveOffset;
    std::optional<std::uint32_t> dataStart;
    std::optional<std::uint32_t> postChargeStart;
    std::optional<std::uint8_t> bytesPerPoint;
    std::optional<std::uint16_t> byteOrderMark;
    std::optional<std::string> versionText;
};

inline int SampleBytes(std::int32_t format) {
    switch (format) {
        case 7:
            return 1;
        case 0:
            return 2;
        case 1:
        case 2:
        case 4:
            return 4;
        case 5:
            return 8;
        default:
            return 1;
    }
}

class WfmBytes {
  public:
    explicit WfmBytes(bool bigEndian) : bigEndian_(bigEndian) {}
    template <class T>
    void Put(T value) {
        unsigned char b[sizeof(T)];
        std::memcpy(b, &value, sizeof(T));
        if (bigEndian_)
            for (std::size_t i = sizeof(T); i-- > 0;) data_.push_back(static_cast<char>(b[i]));
        else
            for (unsigned char c : b) data_.push_back(static_cast<char>(c));
    }
    void Text(const std::string& text, std::size_t size) {
        std::string field = text;
        field.resize(size, '\0');
        data_ += field;
    }
    std::string& Data() { return data_; }

  private:
    bool bigEndian_;
    std::string data_;
};

inline void PutSample(WfmBytes& out, std::int32_t format, double raw) {
    switch (format) {
        case 7:
            out.Put(static_cast<std::int8_t>(raw));
            break;
        case 0:
            out.Put(static_cast<std::int16_t>(raw));
            break;
        case 1:
            out.Put(static_cast<std::int32_t>(raw));
            break;
        case 2:
            out.Put(static_cast<std::uint32_t>(raw));
            break;
        case 4:
            out.Put(static_cast<float>(raw));
            break;
        case 5:
            out.Put(raw);
            break;
        default:
            out.Put(static_cast<std::int8_t>(raw));
            break;
    }
}

inline std::string BuildWfm(const WfmSpec& layout) {
    const int bpp = SampleBytes(layout.formatCode);
    const auto n = static_cast<std::int32_t>(layout.raw.size());
    const std::int32_t size = layout.implicitSize.value_or(
        layout.sizeIncludesCharge ? n + layout.preChargePoints + layout.postChargePoints : n);
    const std::size_t referenceSize = layout.version3 ? 760 : 742;
    const std::int32_t curve =
        layout.curveOffset.value_or(static_cast<std::int32_t>(78 + referenceSize));
    const std::uint32_t dataStart =
        layout.dataStart.value_or(static_cast<std::uint32_t>(layout.preChargePoints * bpp));
    const std::uint32_t postStart =
        layout.postChargeStart.value_or(dataStart + static_cast<std::uint32_t>(n * bpp));
    const std::uint32_t postStop =
        postStart + static_cast<std::uint32_t>(layout.postChargePoints * bpp);

    WfmBytes out(layout.bigEndian);
    out.Put(layout.byteOrderMark.value_or(layout.bigEndian ? std::uint16_t{0xF0F0}
                                                           : std::uint16_t{0x0F0F}));
    out.Text(layout.versionText.value_or(layout.version3 ? ":WFM#003" : ":WFM#001"), 8);
    out.Put(std::uint8_t{9});
    out.Put(std::int32_t{0});  // bytes to the end: patched below
    out.Put(layout.bytesPerPoint.value_or(static_cast<std::uint8_t>(bpp)));
    out.Put(curve);
    out.Put(std::int32_t{1});
    out.Put(0.0f);
    out.Put(1.0);
    out.Put(0.0f);
    out.Text("test label", 32);
    out.Put(std::int32_t{0});
    out.Put(static_cast<std::uint16_t>(referenceSize));
    if (out.Data().size() != 78) throw std::logic_error("static header size");

    for (std::int32_t v : {1, 1}) out.Put(v);
    out.Put(std::uint64_t{7});
    out.Put(std::uint64_t{8});
    for (std::int32_t v : {0, 0, 1, 1, 2, 2}) out.Put(v);
    out.Put(std::uint64_t{0});
    for (std::int32_t v : {1, 1, 1, 1, 1}) out.Put(v);
    if (layout.version3) out.Put(std::uint16_t{0});  // summary frame type
    out.Put(std::int32_t{0});
    out.Put(255.0);
    auto density = [&](std::uint64_t value) {
        if (layout.version3)
            out.Put(value);
        else
            out.Put(static_cast<std::uint32_t>(value));
    };
    auto explicitDimension = [&](double scale, double offset, std::int32_t format) {
        out.Put(scale);
        out.Put(offset);
        out.Put(std::int32_t{252});
        out.Text("V", 20);
        for (double v : {-1.0, 1.0, 0.001, 0.0}) out.Put(v);
        out.Put(format);
        for (std::int32_t v : {0, 0, 127, -128, 127, -128}) out.Put(v);
        out.Put(1.0);
        out.Text("V", 20);
        out.Put(0.0);
        density(1);
        out.Put(0.0);
        out.Put(0.0);
    };
    explicitDimension(layout.scale, layout.offset, layout.formatCode);
    explicitDimension(1.0, 0.0, 0);
    auto implicitDimension = [&](double scale, double offset, std::int32_t points) {
        out.Put(scale);
        out.Put(offset);
        out.Put(points);
        out.Text("s", 20);
        for (double v : {0.0, 1.0, 0.0, 0.0}) out.Put(v);
        out.Put(std::int32_t{1});
        out.Put(1.0);
        out.Text("s", 20);
        out.Put(0.0);
        density(1);
        out.Put(0.5);
        out.Put(0.0);
    };
    implicitDimension(layout.intervalS, layout.implicitOffsetS, size);
    implicitDimension(1.0, 0.0, 0);
    for (std::int32_t v : {1, 1, 0, 1, 1, 0, 0}) out.Put(v);  // two time bases, real point offset
    out.Put(layout.triggerOffsetPoints);
    out.Put(0.25);
    for (std::int32_t v : {1700000000, 0, 0}) out.Put(v);
    out.Put(std::uint16_t{0});
    for (std::uint32_t v : {0u, dataStart, postStart, postStop, postStop}) out.Put(v);
    if (out.Data().size() != 78 + referenceSize) throw std::logic_error("reference header size");

    // The curve follows the headers; a lying curve offset only changes the header field.
    for (int i = 0; i < layout.preChargePoints; ++i)
        PutSample(out, layout.formatCode, layout.chargeValue);
    for (double raw : layout.raw) PutSample(out, layout.formatCode, raw);
    for (int i = 0; i < layout.postChargePoints; ++i)
        PutSample(out, layout.formatCode, layout.chargeValue);

    std::string bytes = std::move(out.Data());
    WfmBytes count(layout.bigEndian);
    count.Put(static_cast<std::int32_t>(bytes.size() - 15));
    bytes.replace(11, 4, count.Data());
    return bytes;
}

}  // namespace kestrava::test
