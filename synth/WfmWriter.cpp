#include "synth/WfmWriter.h"

#include <bit>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

#include "synth/FileSink.h"
#include "synth/MemorySink.h"
#include "synth/RawWriter.h"
#include "synth/RecordSamples.h"
#include "synth/WfmLayout.h"

namespace kestrava::synth {
namespace {

// Puts numbers at fixed offsets of a buffer in the file's byte order.
class FieldWriter {
  public:
    FieldWriter(std::vector<std::uint8_t>& bytes, bool bigEndian)
        : bytes_(bytes), big_(bigEndian) {}

    void U8(std::size_t at, std::uint8_t v) { bytes_.at(at) = v; }
    void U16(std::size_t at, std::uint16_t v) { Put(at, v, 2); }
    void U32(std::size_t at, std::uint32_t v) { Put(at, v, 4); }
    void I32(std::size_t at, std::int32_t v) { Put(at, static_cast<std::uint32_t>(v), 4); }
    void U64(std::size_t at, std::uint64_t v) { Put(at, v, 8); }
    void F32(std::size_t at, float v) { Put(at, std::bit_cast<std::uint32_t>(v), 4); }
    void F64(std::size_t at, double v) { Put(at, std::bit_cast<std::uint64_t>(v), 8); }
    void Text(std::size_t at, const std::string& text, std::size_t width) {
        for (std::size_t i = 0; i < width; ++i) bytes_.at(at + i) = 0;
        const std::size_t n = std::min(text.size(), width - 1);  // keep a terminator
        std::memcpy(bytes_.data() + at, text.data(), n);
    }
    void Raw(std::size_t at, const char* text, std::size_t n) {
        std::memcpy(bytes_.data() + at, text, n);
    }

  private:
    void Put(std::size_t at, std::uint64_t v, int size) {
        if (at + size > bytes_.size()) throw std::out_of_range("waveform field beyond the buffer");
        for (int i = 0; i < size; ++i) {
            const int shift = 8 * (big_ ? size - 1 - i : i);
            bytes_[at + i] = static_cast<std::uint8_t>(v >> shift);
        }
    }

    std::vector<std::uint8_t>& bytes_;
    bool big_;
};

int DecimalDigits(std::uint64_t v) {
    int digits = 1;
    while (v >= 10) {
        v /= 10;
        ++digits;
    }
    return digits;
}

}  // namespace

std::string WfmOptions::Validate() const {
    if (version != 1 && version != 3) return "version must be 1 or 3";
    return {};
}

WfmWriter::WfmWriter(WfmOptions options) : options_(std::move(options)) {
    if (std::string problem = options_.Validate(); !problem.empty())
        throw std::invalid_argument(problem);
}

int WfmWriter::FormatCode(SampleFormat format) {
    switch (format) {
        case SampleFormat::Int8:
            return 7;
        case SampleFormat::Int16:
            return 0;
        case SampleFormat::Float32:
            return 4;
    }
    return 7;
}

std::vector<std::uint8_t> WfmWriter::Header(const RecordShape& record,
                                            double sampleIntervalS) const {
    using namespace wfm;
    const int v = options_.version;
    const std::size_t points = record.count;
    const std::size_t bpp = BytesPerSample(record.format);
    const std::size_t referenceSize = v == 3 ? kReferenceSizeV3 : kReferenceSizeV1;
    const std::size_t curveOffset = kStaticHeaderSize + referenceSize;
    const std::size_t bufferPoints = points + 2 * kChargePoints;
    const std::size_t limit = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
    if (points == 0) throw std::length_error("a waveform file needs at least one sample");
    // Its sizes and offsets are 32-bit signed: the whole file stays within them.
    const std::size_t most = (limit - curveOffset) / bpp - 2 * kChargePoints;
    if (points > most)
        throw std::length_error(std::to_string(points) + " samples: more than the " +
                                std::to_string(most) + " a waveform file of " +
                                std::to_string(8 * bpp) + "-bit samples may hold");
    const std::size_t fileSize = curveOffset + bufferPoints * bpp;

    std::vector<std::uint8_t> bytes(curveOffset, 0);
    FieldWriter out(bytes, options_.bigEndian);

    // Static header. The mark reads 0x0F0F in the writer's own order; a reader of the
    // other order sees 0xF0F0 and reverses every field.
    out.U8(kByteOrder, options_.bigEndian ? 0xF0 : 0x0F);
    out.U8(kByteOrder + 1, options_.bigEndian ? 0xF0 : 0x0F);
    out.Raw(kVersion, v == 3 ? ":WFM#003" : ":WFM#001", 8);
    const std::uint64_t bytesToEof = fileSize - (kBytesToEof + 4);
    out.U8(kDigitsInByteCount, static_cast<std::uint8_t>(DecimalDigits(bytesToEof)));
    out.U32(kBytesToEof, static_cast<std::uint32_t>(bytesToEof));
    out.U8(kBytesPerPoint, static_cast<std::uint8_t>(bpp));
    out.U32(kCurveBufferOffset, static_cast<std::uint32_t>(curveOffset));
    out.I32(kHorizontalZoomScale, 1);
    out.F32(kHorizontalZoomPosition, 0.0f);
    out.F64(kVerticalZoomScale, 1.0);
    out.F32(kVerticalZoomPosition, 0.0f);
    out.Text(kLabel, options_.label, 32);
    out.U32(kFramesMinusOne, 0);
    out.U16(kHeaderSize, static_cast<std::uint16_t>(referenceSize));

    // Reference header: one waveform, one vector, one curve.
    out.U32(At(kSetType, v), 0);
    out.U32(At(kWaveformCount, v), 1);
    out.U32(At(kUpdateSpecCount, v), 1);
    out.U32(At(kImplicitDimRefCount, v), 1);
    out.U32(At(kExplicitDimRefCount, v), 1);
    out.U32(At(kDataType, v), 2);
    out.U32(At(kAccumulatedCount, v), 1);
    out.U32(At(kTargetAccumulation, v), 1);
    out.U32(At(kCurveRefCount, v), 1);
    out.U32(At(kRequestedFastFrames, v), 1);
    out.U32(At(kAcquiredFastFrames, v), 1);
    if (v == 3) out.U16(kStaticHeaderSize + kSummaryFrameTypeV3, 0);
    out.U32(At(kPixmapDisplayFormat, v), 0);

    auto putDensity = [&](std::size_t v1Offset) {
        if (v == 3)
            out.U64(At(v1Offset, v), 1);
        else
            out.U32(At(v1Offset, v), 1);
    };

    // Explicit dimension 1: volts = raw × scale + offset.
    const std::size_t e = kExplicitDim1;
    const bool isFloat = record.format == SampleFormat::Float32;
    const double rawMax = record.format == SampleFormat::Int8    ? 127.0
                          : record.format == SampleFormat::Int16 ? 32767.0
                                                                 : 0.0;
    const double rawMin = record.format == SampleFormat::Int8    ? -128.0
                          : record.format == SampleFormat::Int16 ? -32768.0
                                                                 : 0.0;
    out.F64(At(e + kDimScale, v), record.scaleV);
    out.F64(At(e + kDimOffset, v), record.offsetV);
    out.U32(At(e + kDimSize, v), record.format == SampleFormat::Int8 ? 256u
                                 : isFloat                           ? 0u
                                                                     : 65536u);
    out.Text(At(e + kDimUnits, v), "V", 20);
    out.F64(At(e + kDimExtentMin, v), rawMin * record.scaleV + record.offsetV);
    out.F64(At(e + kDimExtentMax, v), rawMax * record.scaleV + record.offsetV);
    out.F64(At(e + kDimResolution, v), record.scaleV);
    out.F64(At(e + kDimRefPoint, v), 0.0);
    out.I32(At(e + kExpFormat, v), FormatCode(record.format));
    out.I32(At(e + kExpStorageType, v), 0);
    out.I32(At(e + kExpNValue, v), 0);
    out.I32(At(e + kExpOverRange, v), static_cast<std::int32_t>(rawMax));
    out.I32(At(e + kExpUnderRange, v), static_cast<std::int32_t>(rawMin));
    out.I32(At(e + kExpHighRange, v), static_cast<std::int32_t>(rawMax));
    out.I32(At(e + kExpLowRange, v), static_cast<std::int32_t>(rawMin));
    out.F64(At(e + kExpUserScale, v), 1.0);
    out.Text(At(e + kExpUserUnits, v), "V", 20);
    out.F64(At(e + kExpUserOffset, v), 0.0);
    putDensity(e + kExpPointDensity);
    out.F64(At(e + kExpHorizontalRef, v), 50.0);
    out.F64(At(e + kExpTriggerDelay, v), 0.0);
    putDensity(kExplicitDim2 + kExpPointDensity);

    // Implicit dimension 1: time = index × interval + time of the first point.
    const std::size_t t = kImplicitDim1;
    out.F64(At(t + kDimScale, v), sampleIntervalS);
    out.F64(At(t + kDimOffset, v), options_.firstPointTimeS);
    out.U32(At(t + kDimSize, v), static_cast<std::uint32_t>(bufferPoints));
    out.Text(At(t + kDimUnits, v), "s", 20);
    out.F64(At(t + kDimExtentMin, v), options_.firstPointTimeS);
    out.F64(At(t + kDimExtentMax, v),
            options_.firstPointTimeS + static_cast<double>(points - 1) * sampleIntervalS);
    out.F64(At(t + kDimResolution, v), sampleIntervalS);
    out.F64(At(t + kDimRefPoint, v), 0.0);
    out.U32(At(t + kImpSpacing, v), 1);
    out.F64(At(t + kImpUserScale, v), 1.0);
    out.Text(At(t + kImpUserUnits, v), "s", 20);
    out.F64(At(t + kImpUserOffset, v), 0.0);
    putDensity(t + kImpPointDensity);
    out.F64(At(t + kImpHorizontalRef, v), 50.0);
    out.F64(At(t + kImpTriggerDelay, v), 0.0);
    putDensity(kImplicitDim2 + kImpPointDensity);

    out.U32(At(kTimeBase1, v), 1);      // real point spacing
    out.U32(At(kTimeBase1 + 4, v), 2);  // sweep: sampled
    out.U32(At(kTimeBase1 + 8, v), 0);  // base: time
    out.U32(At(kRealPointOffset, v), 0);
    out.F64(At(kTriggerTimeOffset, v), options_.triggerPositionPoints);
    out.F64(At(kFractionalSecond, v), 0.0);
    out.I32(At(kGmtSecond, v), 0);
    out.U32(At(kCurveStateFlags, v), 0);
    out.U32(At(kChecksumType, v), 0);
    out.U16(At(kChecksum, v), 0);
    out.U32(At(kPrechargeStart, v), 0);
    out.U32(At(kDataStart, v), static_cast<std::uint32_t>(kChargePoints * bpp));
    out.U32(At(kPostchargeStart, v), static_cast<std::uint32_t>((kChargePoints + points) * bpp));
    out.U32(At(kPostchargeStop, v), static_cast<std::uint32_t>(bufferPoints * bpp));
    out.U32(At(kEndOfCurveBuffer, v), static_cast<std::uint32_t>(bufferPoints * bpp));

    return bytes;
}

void WfmWriter::Write(SampleStream& samples, double sampleIntervalS, ByteSink& out) const {
    const RecordShape shape = samples.Shape();
    out.Write(Header(shape, sampleIntervalS));
    // Curve buffer: the charge points repeat the first and the last sample.
    const std::size_t bpp = BytesPerSample(shape.format);
    QuantizedRecord block;
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint8_t> last;
    std::size_t written = 0;
    while (samples.Next(block)) {
        bytes.clear();
        RawWriter::AppendSamples(block, options_.bigEndian, bytes);
        if (bytes.empty()) continue;
        if (written == 0) Charge(out, {bytes.data(), bpp});
        out.Write(bytes);
        last.assign(bytes.end() - static_cast<std::ptrdiff_t>(bpp), bytes.end());
        written += block.Size();
    }
    if (written != shape.count) throw std::logic_error("the samples ended before the record did");
    Charge(out, last);
}

void WfmWriter::Charge(ByteSink& out, std::span<const std::uint8_t> sample) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < wfm::kChargePoints; ++i)
        bytes.insert(bytes.end(), sample.begin(), sample.end());
    out.Write(bytes);
}

std::vector<std::uint8_t> WfmWriter::Serialize(const QuantizedRecord& record,
                                               double sampleIntervalS) const {
    RecordSamples samples(record);
    MemorySink sink;
    Write(samples, sampleIntervalS, sink);
    return sink.Take();
}

std::string WfmWriter::Write(const std::string& path, const QuantizedRecord& record,
                             double sampleIntervalS) const {
    RecordSamples samples(record);
    return Write(path, samples, sampleIntervalS);
}

std::string WfmWriter::Write(const std::string& path, SampleStream& samples,
                             double sampleIntervalS) const {
    try {
        FileSink file(path);
        Write(samples, sampleIntervalS, file);
        file.Finish();
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

}  // namespace kestrava::synth
