#include "formats/BinaryRecordReader.h"

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/RegularFile.h"
#include "formats/ImportReport.h"

namespace kestrava {
namespace {

// Samples are converted through a bounded buffer, never a copy of the whole record.
constexpr std::size_t kChunkBytes = std::size_t{1} << 18;
// Points handed to a sink at a time; a multiple of 16, as a sink expects.
constexpr std::size_t kSinkPoints = 16384;

std::size_t ReadFully(int fd, std::int64_t offset, unsigned char* out, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(fd, out + done, size - done, static_cast<off_t>(offset) + done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

template <class Raw, class Bits>
double SampleAt(const unsigned char* at, bool reversed) {
    Bits bits;
    std::memcpy(&bits, at, sizeof bits);
    if (reversed) {
        if constexpr (sizeof(Bits) == 2) bits = static_cast<Bits>(__builtin_bswap16(bits));
        if constexpr (sizeof(Bits) == 4) bits = __builtin_bswap32(bits);
    }
    return static_cast<double>(std::bit_cast<Raw>(bits));
}

template <class Raw, class Bits>
void ConvertRun(const unsigned char* raw, std::size_t count, const RecordDescription& r,
                double* out) {
    for (std::size_t i = 0; i < count; ++i)
        out[i] = SampleAt<Raw, Bits>(raw + i * sizeof(Raw), r.rawReversed) * r.scale + r.offset;
}

void ToVolts(const unsigned char* raw, std::size_t count, const RecordDescription& r, double* out) {
    switch (r.format) {
        case SampleFormat::Int8:
            ConvertRun<std::int8_t, std::uint8_t>(raw, count, r, out);
            return;
        case SampleFormat::Int16:
            ConvertRun<std::int16_t, std::uint16_t>(raw, count, r, out);
            return;
        default:
            ConvertRun<float, std::uint32_t>(raw, count, r, out);
            return;
    }
}

int SizeOf(SampleFormat format) {
    switch (format) {
        case SampleFormat::Int8:
            return 1;
        case SampleFormat::Int16:
            return 2;
        case SampleFormat::Float:
            return 4;
        default:
            return 0;
    }
}

std::string Text(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

}  // namespace

std::vector<unsigned char> BinaryRecordReader::FileView::Read(std::int64_t offset,
                                                              std::size_t size) const {
    if (offset < 0 || offset >= size_) return {};
    const auto left = static_cast<std::uint64_t>(size_ - offset);
    std::vector<unsigned char> bytes(static_cast<std::size_t>(std::min<std::uint64_t>(size, left)));
    bytes.resize(ReadFully(fd_, offset, bytes.data(), bytes.size()));
    return bytes;
}

std::string BinaryRecordReader::Check(const Layout& layout, std::int64_t fileSize) {
    const RecordDescription& r = layout.record;
    const int size = SizeOf(r.format);
    if (size == 0 || size != r.sampleSize) return "a sample format this reader does not convert";
    if (r.count <= 0) return "the header gives " + std::to_string(r.count) + " samples";
    if (layout.dataOffset < 0 || layout.dataOffset > fileSize)
        return "the samples would start at byte " + std::to_string(layout.dataOffset) +
               ", outside the file of " + std::to_string(fileSize) + " bytes";
    if (r.count > (fileSize - layout.dataOffset) / size)
        return "the header claims " + std::to_string(r.count) + " samples from byte " +
               std::to_string(layout.dataOffset) + ", more than the file of " +
               std::to_string(fileSize) + " bytes holds";
    if (!std::isfinite(r.sampleIntervalS) || r.sampleIntervalS <= 0.0)
        return "the sample interval " + Text(r.sampleIntervalS) + " s is not a positive number";
    if (!std::isfinite(r.scale) || r.scale == 0.0)
        return "the vertical gain " + Text(r.scale) + " is not a usable number";
    if (!std::isfinite(r.offset))
        return "the vertical offset " + Text(r.offset) + " is not a number";
    if (!std::isfinite(r.firstPointTimeS) || !std::isfinite(r.triggerOffsetS))
        return "the time of the first sample is not a number";
    return {};
}

bool BinaryRecordReader::Import(const std::string& path, RecordSink* sink) {
    description_ = RecordDescription{};
    points_.reset();
    ImportReport::Clear();
    RegularFile file(path);
    if (!file.IsOpen()) {
        ImportReport::Refuse(path, file.Reason());
        return false;
    }
    try {
        Layout layout;
        std::string problem = Parse(FileView(file.Fd(), file.Size()), layout);
        if (problem.empty()) problem = Check(layout, file.Size());
        if (!problem.empty()) {
            ImportReport::Refuse(path, problem);
            return false;
        }
        if (!Convert(file.Fd(), layout, sink)) {
            points_.reset();
            ImportReport::Refuse(path, "the samples could not be read");
            return false;
        }
        description_ = layout.record;
        if (!layout.note.empty()) ImportReport::Remark(path, layout.note);
        return true;
    } catch (const std::bad_alloc&) {
        points_.reset();
        ImportReport::Refuse(path, "not enough memory for the record");
        return false;
    }
}

bool BinaryRecordReader::Convert(int fd, const Layout& layout, RecordSink* sink) {
    const RecordDescription& r = layout.record;
    const auto count = static_cast<std::size_t>(r.count);
    const auto size = static_cast<std::size_t>(r.sampleSize);
    std::unique_ptr<double[]> points;
    std::vector<double> block;
    bool volts = true;
    if (sink) {
        if (!sink->Begin(r)) return false;
        volts = sink->WantsVolts();
        if (volts) block.resize(kSinkPoints);
    } else {
        points = std::make_unique_for_overwrite<double[]>(count);
    }
    std::vector<unsigned char> chunk(kChunkBytes);
    const std::size_t perChunk = kChunkBytes / size;
    for (std::size_t first = 0; first < count; first += perChunk) {
        const std::size_t run = std::min(perChunk, count - first);
        const std::int64_t at = layout.dataOffset + static_cast<std::int64_t>(first * size);
        if (ReadFully(fd, at, chunk.data(), run * size) < run * size) return false;
        if (!sink) {
            ToVolts(chunk.data(), run, r, points.get() + first);
            continue;
        }
        for (std::size_t done = 0; done < run; done += kSinkPoints) {
            const std::size_t part = std::min(kSinkPoints, run - done);
            const unsigned char* raw = chunk.data() + done * size;
            if (volts) ToVolts(raw, part, r, block.data());
            sink->Take({block.data(), volts ? part : 0}, {raw, part * size});
        }
    }
    points_ = std::move(points);
    return true;
}

}  // namespace kestrava
