#include "formats/CQelWfmReader.h"

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>

#include "base/HugePages.h"
#include "base/MappedFile.h"
#include "base/Numbers.h"
#include "base/RegularFile.h"
#include "formats/ImportReport.h"

namespace kestrava {
namespace {

constexpr std::uint16_t kNativeOrder = 0x0F0F;
constexpr std::uint16_t kReversedOrder = 0xF0F0;
constexpr char kVersion1[] = ":WFM#001";
constexpr char kVersion3[] = ":WFM#003";
// Samples are converted through a bounded buffer, never a copy of the whole curve.
constexpr std::size_t kChunkBytes = std::size_t{1} << 18;
// Points handed to a sink at a time: small enough to stay in cache until it reads them.
constexpr std::size_t kSinkPoints = 16384;

// The unsigned integer of a field's size, for moving its bytes around.
template <class T>
using SameSizeUnsigned = std::conditional_t<
    sizeof(T) == 1, std::uint8_t,
    std::conditional_t<sizeof(T) == 2, std::uint16_t,
                       std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>>;

template <class U>
U ByteSwap(U value) {
    if constexpr (sizeof(U) == 1) return value;
    if constexpr (sizeof(U) == 2) return static_cast<U>(__builtin_bswap16(value));
    if constexpr (sizeof(U) == 4) return __builtin_bswap32(value);
    if constexpr (sizeof(U) == 8) return __builtin_bswap64(value);
}

template <class T, bool Reversed>
T Load(const unsigned char* at) {
    using U = SameSizeUnsigned<T>;
    U raw;
    std::memcpy(&raw, at, sizeof(U));
    if constexpr (Reversed) raw = ByteSwap(raw);
    return std::bit_cast<T>(raw);
}

template <class T>
T Load(const unsigned char* at, bool reversed) {
    return reversed ? Load<T, true>(at) : Load<T, false>(at);
}

// Offset of a reference-header field in a ":WFM#003" block, from its ":WFM#001" offset:
// the summary frame type adds 2 bytes at 76, each 8-byte point density 4 more.
constexpr std::size_t Version3Offset(std::size_t v1) {
    std::size_t offset = v1;
    if (v1 >= 76) offset += 2;
    for (std::size_t density : {224u, 380u, 512u, 644u})
        if (v1 > density) offset += 4;
    return offset;
}
static_assert(Version3Offset(738) + 4 == CQelWfmReader::kReferenceHeaderSizeV3);

// The reference header block with the field positions of its version.
class ReferenceBlock {
  public:
    ReferenceBlock(std::span<const unsigned char> bytes, bool reversed, bool version3)
        : bytes_(bytes), reversed_(reversed), version3_(version3) {}

    template <class T>
    T Get(std::size_t v1Offset) const {
        return Load<T>(At(v1Offset, sizeof(T)), reversed_);
    }
    std::uint64_t PointDensity(std::size_t v1Offset) const {
        return version3_ ? Get<std::uint64_t>(v1Offset) : Get<std::uint32_t>(v1Offset);
    }
    template <std::size_t N>
    std::array<char, N> Text(std::size_t v1Offset) const {
        std::array<char, N> text{};
        std::memcpy(text.data(), At(v1Offset, N), N);
        return text;
    }

    WfmExplicitDimension Explicit(std::size_t base) const {
        WfmExplicitDimension d;
        ReadExtent(d, base);
        d.formatCode = Get<std::int32_t>(base + 72);
        d.storageType = Get<std::int32_t>(base + 76);
        d.nValue = Get<std::int32_t>(base + 80);
        d.overRange = Get<std::int32_t>(base + 84);
        d.underRange = Get<std::int32_t>(base + 88);
        d.highRange = Get<std::int32_t>(base + 92);
        d.lowRange = Get<std::int32_t>(base + 96);
        ReadUserScale(d, base + 100);
        return d;
    }

    WfmImplicitDimension Implicit(std::size_t base) const {
        WfmImplicitDimension d;
        ReadExtent(d, base);
        d.spacing = Get<std::int32_t>(base + 72);
        ReadUserScale(d, base + 76);
        return d;
    }

    // The fields both kinds of dimension begin with.
    template <class Dimension>
    void ReadExtent(Dimension& d, std::size_t base) const {
        d.scale = Get<double>(base);
        d.offset = Get<double>(base + 8);
        d.size = Get<std::int32_t>(base + 16);
        d.units = Text<20>(base + 20);
        d.extentMin = Get<double>(base + 40);
        d.extentMax = Get<double>(base + 48);
        d.resolution = Get<double>(base + 56);
        d.referencePoint = Get<double>(base + 64);
    }

    // The fields both kinds of dimension end with, from the user scale on.
    template <class Dimension>
    void ReadUserScale(Dimension& d, std::size_t at) const {
        d.userScale = Get<double>(at);
        d.userUnits = Text<20>(at + 8);
        d.userOffset = Get<double>(at + 28);
        d.pointDensity = PointDensity(at + 36);
        d.horizontalReference = Get<double>(at + 40);
        d.triggerDelay = Get<double>(at + 48);
    }

    WfmTimeBaseInfo TimeBase(std::size_t base) const {
        return {Get<std::int32_t>(base), Get<std::int32_t>(base + 4), Get<std::int32_t>(base + 8)};
    }

  private:
    const unsigned char* At(std::size_t v1Offset, std::size_t size) const {
        std::size_t offset = version3_ ? Version3Offset(v1Offset) : v1Offset;
        if (offset + size > bytes_.size()) throw std::out_of_range("reference header field");
        return bytes_.data() + offset;
    }

    std::span<const unsigned char> bytes_;
    bool reversed_;
    bool version3_;
};

// Reads the static header's fields one after the other, failing on the first that is short.
class FieldCursor {
  public:
    FieldCursor(std::span<const unsigned char> bytes, bool reversed)
        : bytes_(bytes), reversed_(reversed) {}
    template <class T>
    bool Read(T& out) {
        if (position_ + sizeof(T) > bytes_.size()) return false;
        out = Load<T>(bytes_.data() + position_, reversed_);
        position_ += sizeof(T);
        return true;
    }
    template <std::size_t N>
    bool Read(std::array<char, N>& out) {
        if (position_ + N > bytes_.size()) return false;
        std::memcpy(out.data(), bytes_.data() + position_, N);
        position_ += N;
        return true;
    }
    void SetReversed(bool reversed) { reversed_ = reversed; }

  private:
    std::span<const unsigned char> bytes_;
    std::size_t position_ = 0;
    bool reversed_;
};

// Blocks of a fixed length let the compiler convert several samples per instruction.
constexpr std::size_t kBlock = 16;

template <class Raw, bool Reversed>
void ConvertRun(const unsigned char* __restrict raw, std::size_t count, double scale, double offset,
                double* __restrict out) {
    std::size_t i = 0;
    for (; i + kBlock <= count; i += kBlock)
        for (std::size_t j = 0; j < kBlock; ++j)
            out[i + j] =
                static_cast<double>(Load<Raw, Reversed>(raw + (i + j) * sizeof(Raw))) * scale +
                offset;
    for (; i < count; ++i)
        out[i] = static_cast<double>(Load<Raw, Reversed>(raw + i * sizeof(Raw))) * scale + offset;
}

template <class Raw>
void ConvertRun(const unsigned char* raw, std::size_t count, bool reversed, double scale,
                double offset, double* out) {
    if (reversed)
        ConvertRun<Raw, true>(raw, count, scale, offset, out);
    else
        ConvertRun<Raw, false>(raw, count, scale, offset, out);
}

// Raw samples of a format to volts; false for a format with no conversion.
bool ConvertRaw(std::int32_t format, const unsigned char* raw, std::size_t count, bool reversed,
                double scale, double offset, double* out) {
    switch (format) {
        case kWfmInt8:
            ConvertRun<std::int8_t>(raw, count, false, scale, offset, out);
            return true;
        case kWfmInt16:
            ConvertRun<std::int16_t>(raw, count, reversed, scale, offset, out);
            return true;
        case kWfmInt32:
            ConvertRun<std::int32_t>(raw, count, reversed, scale, offset, out);
            return true;
        case kWfmUInt32:
            ConvertRun<std::uint32_t>(raw, count, reversed, scale, offset, out);
            return true;
        case kWfmFloat:
            ConvertRun<float>(raw, count, reversed, scale, offset, out);
            return true;
        case kWfmDouble:
            ConvertRun<double>(raw, count, reversed, scale, offset, out);
            return true;
        default:
            return false;
    }
}

// The format of a code that WfmSampleSize knows.
SampleFormat SampleFormatOf(std::int32_t formatCode) {
    switch (formatCode) {
        case kWfmInt8:
            return SampleFormat::Int8;
        case kWfmInt32:
            return SampleFormat::Int32;
        case kWfmUInt32:
            return SampleFormat::UInt32;
        case kWfmFloat:
            return SampleFormat::Float;
        case kWfmDouble:
            return SampleFormat::Double;
        default:
            return SampleFormat::Int16;
    }
}

}  // namespace

bool CQelWfmReader::Recognizes(std::span<const unsigned char> head) {
    if (head.size() < kSignatureSize) return false;
    std::uint16_t order;
    std::memcpy(&order, head.data(), sizeof order);
    if (order != kNativeOrder && order != kReversedOrder) return false;
    return std::memcmp(head.data() + 2, kVersion1, 8) == 0 ||
           std::memcmp(head.data() + 2, kVersion3, 8) == 0;
}

int WfmSampleSize(std::int32_t formatCode) {
    switch (formatCode) {
        case kWfmInt8:
            return 1;
        case kWfmInt16:
            return 2;
        case kWfmInt32:
        case kWfmUInt32:
        case kWfmFloat:
            return 4;
        case kWfmDouble:
            return 8;
        default:
            return 0;
    }
}

CQelWfmReader::~CQelWfmReader() {
    CloseFile();
}

void CQelWfmReader::CloseFile() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    fileSize_ = 0;
}

std::size_t CQelWfmReader::ReadAt(std::int64_t offset, void* buffer, std::size_t size) const {
    if (fd_ < 0 || offset < 0) return 0;
    std::size_t done = 0;
    auto* bytes = static_cast<unsigned char*>(buffer);
    while (done < size) {
        ssize_t got = ::pread(fd_, bytes + done, size - done, static_cast<off_t>(offset) + done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

int CQelWfmReader::LoadFile(const std::string& fileName, int flag, const char*, const char*,
                            RecordSink* sink) {
    try {
        path_ = fileName;
        RegularFile file(fileName);
        if (!file.IsOpen()) return Refuse(file.Reason());
        CloseFile();
        fileSize_ = file.Size();
        fd_ = file.Release();
        callerFlag_ = flag;
        return ImportQelWfm(sink);
    } catch (...) {
        return 0;
    }
}

int CQelWfmReader::ReadWfmStaticFileHdrInfo() {
    try {
        std::array<unsigned char, kStaticHeaderSize> bytes{};
        std::size_t got = ReadAt(0, bytes.data(), bytes.size());
        FieldCursor cursor(std::span<const unsigned char>(bytes.data(), got), false);
        WfmStaticFileHeader h;
        if (!cursor.Read(h.byteOrder)) return 0;
        if (h.byteOrder != kNativeOrder && h.byteOrder != kReversedOrder) return 0;
        bool reversed = h.byteOrder == kReversedOrder;
        cursor.SetReversed(reversed);
        if (!cursor.Read(h.version)) return 0;
        bool version1 = std::memcmp(h.version.data(), kVersion1, 8) == 0;
        bool version3 = std::memcmp(h.version.data(), kVersion3, 8) == 0;
        if (!version1 && !version3) return 0;
        if (!cursor.Read(h.byteCountDigits) || !cursor.Read(h.bytesToEnd) ||
            !cursor.Read(h.bytesPerPoint) || !cursor.Read(h.curveBufferOffset) ||
            !cursor.Read(h.horizontalZoomScale) || !cursor.Read(h.horizontalZoomPosition) ||
            !cursor.Read(h.verticalZoomScale) || !cursor.Read(h.verticalZoomPosition) ||
            !cursor.Read(h.label) || !cursor.Read(h.fastFramesMinusOne) ||
            !cursor.Read(h.waveformHeaderSize))
            return 0;
        static_ = h;
        byteReversed_ = reversed;
        version3_ = version3;
        return 1;
    } catch (...) {
        return 0;
    }
}

int CQelWfmReader::ReadQelWfmReferenceHeader() {
    try {
        std::array<unsigned char, kReferenceHeaderSizeV3> bytes{};
        std::size_t size = version3_ ? kReferenceHeaderSizeV3 : kReferenceHeaderSizeV1;
        if (ReadAt(kStaticHeaderSize, bytes.data(), size) < size) return 0;
        ReferenceBlock block(std::span<const unsigned char>(bytes.data(), size), byteReversed_,
                             version3_);
        WfmReferenceHeader r;
        r.setType = block.Get<std::int32_t>(0);
        r.waveformCount = block.Get<std::int32_t>(4);
        r.acquisitionCounter = block.Get<std::uint64_t>(8);
        r.transactionCounter = block.Get<std::uint64_t>(16);
        r.slotId = block.Get<std::int32_t>(24);
        r.staticFlag = block.Get<std::int32_t>(28);
        r.updateSpecCount = block.Get<std::int32_t>(32);
        r.implicitDimRefCount = block.Get<std::int32_t>(36);
        r.explicitDimRefCount = block.Get<std::int32_t>(40);
        r.dataType = block.Get<std::int32_t>(44);
        r.generalPurposeCounter = block.Get<std::uint64_t>(48);
        r.accumulatedWaveformCount = block.Get<std::int32_t>(56);
        r.targetAccumulationCount = block.Get<std::int32_t>(60);
        r.curveRefCount = block.Get<std::int32_t>(64);
        r.requestedFastFrames = block.Get<std::int32_t>(68);
        r.acquiredFastFrames = block.Get<std::int32_t>(72);
        if (version3_) r.summaryFrameType = Load<std::uint16_t>(bytes.data() + 76, byteReversed_);
        r.pixmapDisplayFormat = block.Get<std::int32_t>(76);
        r.pixmapMaxValue = block.Get<double>(80);
        r.explicit1 = block.Explicit(88);
        r.explicit2 = block.Explicit(244);
        r.implicit1 = block.Implicit(400);
        r.implicit2 = block.Implicit(532);
        r.timeBase1 = block.TimeBase(664);
        r.timeBase2 = block.TimeBase(676);
        r.realPointOffset = block.Get<std::int32_t>(688);
        r.triggerTimeOffsetPoints = block.Get<double>(692);
        r.fractionalSecond = block.Get<double>(700);
        r.gmtSecond = block.Get<std::int32_t>(708);
        r.curveStateFlags = block.Get<std::int32_t>(712);
        r.checksumType = block.Get<std::int32_t>(716);
        r.checksum = block.Get<std::uint16_t>(720);
        r.preChargeStart = block.Get<std::uint32_t>(722);
        r.dataStart = block.Get<std::uint32_t>(726);
        r.postChargeStart = block.Get<std::uint32_t>(730);
        r.postChargeStop = block.Get<std::uint32_t>(734);
        r.endOfCurveBuffer = block.Get<std::uint32_t>(738);
        reference_ = r;
        sampleIntervalS_ = r.implicit1.scale;
        triggerTimeS_ = r.triggerTimeOffsetPoints * sampleIntervalS_;
        return 1;
    } catch (...) {
        return 0;
    }
}

std::int64_t CQelWfmReader::RecordPointCount(int bytesPerPoint) const {
    const std::int64_t size = reference_.implicit1.size;
    const std::int64_t start = reference_.dataStart;
    const std::int64_t postStart = reference_.postChargeStart;
    const std::int64_t curve = static_.curveBufferOffset;
    if (postStart > start && (postStart - start) % bytesPerPoint == 0 && curve >= 0 &&
        curve + postStart <= fileSize_) {
        // Some 16-bit files carry 32-point charge regions that the size field leaves out;
        // the charge offsets then tell the real record length.
        std::int64_t between = (postStart - start) / bytesPerPoint;
        if (between <= size && between >= size - kChargePoints) return between;
    }
    return size - kChargePoints;
}

RecordDescription CQelWfmReader::Describe(std::int64_t count) const {
    const WfmExplicitDimension& volts = reference_.explicit1;
    RecordDescription record;
    record.format = SampleFormatOf(volts.formatCode);
    record.sampleSize = WfmSampleSize(volts.formatCode);
    record.rawReversed = byteReversed_;
    record.count = count;
    record.scale = volts.scale;
    record.offset = volts.offset;
    record.sampleIntervalS = sampleIntervalS_;
    record.firstPointTimeS = reference_.implicit1.offset;
    record.triggerOffsetS = triggerTimeS_;
    return record;
}

bool CQelWfmReader::ConvertSamples(std::int64_t dataOffset, std::int64_t count, RecordSink* sink) {
    const std::int32_t format = reference_.explicit1.formatCode;
    const int sampleSize = WfmSampleSize(format);
    const double scale = reference_.explicit1.scale;
    const double offset = reference_.explicit1.offset;
    std::unique_ptr<double[]> points;
    std::vector<double> block;
    bool volts = true;
    if (sink) {
        if (!sink->Begin(description_)) return false;
        if (sampleSize == 1 && sink->WantsMapping())
            if (auto mapped = MappedFile::Map(fd_, dataOffset, static_cast<std::size_t>(count))) {
                sink->TakeMapped(std::move(mapped));
                pointCount_ = count;
                return true;
            }
        volts = sink->WantsVolts();
        if (volts) block.resize(kSinkPoints);
    } else {
        // Every point is written below, so the array is not cleared first.
        points = std::make_unique_for_overwrite<double[]>(static_cast<std::size_t>(count));
        AdviseHugePages(points.get(), static_cast<std::size_t>(count) * sizeof(double));
    }
    std::vector<unsigned char> chunk(kChunkBytes);
    const std::int64_t perChunk = static_cast<std::int64_t>(kChunkBytes) / sampleSize;
    for (std::int64_t first = 0; first < count; first += perChunk) {
        const auto run = static_cast<std::size_t>(std::min(perChunk, count - first));
        const std::size_t bytes = run * static_cast<std::size_t>(sampleSize);
        if (ReadAt(dataOffset + first * sampleSize, chunk.data(), bytes) < bytes) return false;
        if (!sink)
            if (!ConvertRaw(format, chunk.data(), run, byteReversed_, scale, offset,
                            points.get() + first))
                return false;
        for (std::size_t done = 0; sink && done < run; done += kSinkPoints) {
            const std::size_t part = std::min(kSinkPoints, run - done);
            const unsigned char* raw = chunk.data() + done * static_cast<std::size_t>(sampleSize);
            if (volts && !ConvertRaw(format, raw, part, byteReversed_, scale, offset, block.data()))
                return false;
            sink->Take({block.data(), volts ? part : 0},
                       {raw, part * static_cast<std::size_t>(sampleSize)});
        }
    }
    points_ = std::move(points);
    pointCount_ = count;
    return true;
}

int CQelWfmReader::Refuse(const std::string& reason) const {
    ImportReport::Refuse(path_, reason);
    return 0;
}

int CQelWfmReader::ImportQelWfm(RecordSink* sink) {
    try {
        points_.reset();
        pointCount_ = 0;
        description_ = RecordDescription{};
        if (!ReadWfmStaticFileHdrInfo())
            return Refuse("not a :WFM#001 or :WFM#003 file, or its file header is cut short");
        if (!ReadQelWfmReferenceHeader()) return Refuse("the waveform header is cut short");
        const int sampleSize = WfmSampleSize(reference_.explicit1.formatCode);
        // A sample width that disagrees with the format would walk the buffer wrongly.
        if (sampleSize == 0 || sampleSize != static_.bytesPerPoint)
            return Refuse("the sample format disagrees with the bytes per point");
        const std::int64_t count = RecordPointCount(sampleSize);
        if (count <= 0) return Refuse("the header announces no points");
        const std::int64_t curve = static_.curveBufferOffset;
        if (curve < 0) return Refuse("the curve buffer offset is negative");
        const std::int64_t dataOffset = curve + static_cast<std::int64_t>(reference_.dataStart);
        // The points must lie inside the file before anything is allocated for them.
        if (dataOffset > fileSize_ || count > (fileSize_ - dataOffset) / sampleSize)
            return Refuse(FormatText(
                "the header announces %lld points, but the file holds %lld",
                static_cast<long long>(count),
                static_cast<long long>(
                    dataOffset > fileSize_ ? 0 : (fileSize_ - dataOffset) / sampleSize)));
        description_ = Describe(count);
        if (ConvertSamples(dataOffset, count, sink)) return 1;
        description_ = RecordDescription{};
        return Refuse("the samples could not be read");
    } catch (const std::bad_alloc&) {
        points_.reset();
        pointCount_ = 0;
        description_ = RecordDescription{};
        return Refuse("not enough memory for the record");
    } catch (...) {
        points_.reset();
        pointCount_ = 0;
        description_ = RecordDescription{};
        return 0;
    }
}

}  // namespace kestrava
