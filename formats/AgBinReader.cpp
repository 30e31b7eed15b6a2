#include "formats/AgBinReader.h"

#include <bit>

#include "formats/ByteFields.h"
#include "formats/ImportReport.h"

namespace kestrava {
namespace {

constexpr std::int32_t kLogicWaveform = 6;
// Buffer types that hold the analog trace: normal, maximum and minimum.
constexpr std::int16_t kFirstAnalogBuffer = 1;
constexpr std::int16_t kLastAnalogBuffer = 3;

// One waveform header's fields that the import needs.
struct Waveform {
    std::int32_t headerSize = 0;
    std::int32_t type = 0;
    std::int32_t buffers = 0;
    std::int32_t points = 0;
    double xIncrementS = 0.0;
    double xOriginS = 0.0;
};

Waveform WaveformAt(const std::vector<unsigned char>& bytes) {
    const ByteFields f(bytes, false);
    return {f.Get<std::int32_t>(0),  f.Get<std::int32_t>(4), f.Get<std::int32_t>(8),
            f.Get<std::int32_t>(12), f.Get<double>(32),      f.Get<double>(40)};
}

bool Describe(const Waveform& w, std::int16_t type, std::int16_t width, RecordDescription& r) {
    if (type < kFirstAnalogBuffer || type > kLastAnalogBuffer) return false;
    if (width != 1 && width != 2 && width != 4) return false;
    r.format = width == 4   ? SampleFormat::Float
               : width == 2 ? SampleFormat::Int16
                            : SampleFormat::Int8;
    r.sampleSize = width;
    r.rawReversed = std::endian::native == std::endian::big;
    r.count = w.points;
    r.scale = 1.0;
    r.offset = 0.0;
    r.sampleIntervalS = w.xIncrementS;
    r.firstPointTimeS = w.xOriginS;
    return true;
}

}  // namespace

bool AgBinReader::Recognizes(std::span<const unsigned char> head) {
    return head.size() >= kSignatureSize && head[0] == 'A' && head[1] == 'G' && head[2] >= '0' &&
           head[2] <= '9' && head[3] >= '0' && head[3] <= '9';
}

std::string AgBinReader::Parse(const FileView& file, Layout& layout) {
    const std::vector<unsigned char> header = file.Read(0, kFileHeaderSize);
    if (header.size() < kFileHeaderSize || !Recognizes(header))
        return "no 'AG' file header at the start of the file";
    const ByteFields f(header, false);
    const std::int64_t claimedSize = f.Get<std::int32_t>(4);
    const std::int32_t count = f.Get<std::int32_t>(8);
    if (claimedSize > file.Size())
        return "the file header claims " + std::to_string(claimedSize) + " bytes, the file holds " +
               std::to_string(file.Size());
    if (count <= 0) return "the file header counts " + std::to_string(count) + " waveforms";
    const int wanted = ImportReport::Options().waveform;
    if (wanted > count)
        return "waveform " + std::to_string(wanted) + " asked for, the file holds " +
               std::to_string(count);

    std::int64_t at = kFileHeaderSize;
    // Every waveform and buffer moves on by at least its header, so the walk ends.
    for (int index = 1; index <= count && at < file.Size(); ++index) {
        const Waveform w = WaveformAt(file.Read(at, kWaveformHeaderSize));
        if (w.headerSize < static_cast<std::int32_t>(kWaveformHeaderSize))
            return "waveform " + std::to_string(index) + " has a header of " +
                   std::to_string(w.headerSize) + " bytes";
        if (w.buffers < 0) return "waveform " + std::to_string(index) + " has negative buffers";
        at += w.headerSize;
        const bool chosen = wanted == index || (wanted == 0 && w.type != kLogicWaveform);
        for (std::int32_t b = 0; b < w.buffers && at < file.Size(); ++b) {
            const std::vector<unsigned char> dataBytes = file.Read(at, kDataHeaderSize);
            const ByteFields d(dataBytes, false);
            const std::int32_t dataHeader = d.Get<std::int32_t>(0);
            const std::int64_t bytes = d.Get<std::int32_t>(8);
            if (dataHeader < static_cast<std::int32_t>(kDataHeaderSize) || bytes < 0)
                return "waveform " + std::to_string(index) + " has a buffer header that lies";
            at += dataHeader;
            if (chosen &&
                Describe(w, d.Get<std::int16_t>(4), d.Get<std::int16_t>(6), layout.record)) {
                if (bytes < layout.record.count * layout.record.sampleSize)
                    return "waveform " + std::to_string(index) + " claims " +
                           std::to_string(w.points) + " points in a buffer of " +
                           std::to_string(bytes) + " bytes";
                layout.dataOffset = at;
                if (count > 1)
                    layout.note = "waveform " + std::to_string(index) + " of " +
                                  std::to_string(count) + " is read";
                return {};
            }
            at += bytes;
        }
        if (wanted == index)
            return "waveform " + std::to_string(index) + " holds no analog samples";
    }
    return "no analog waveform in the file";
}

}  // namespace kestrava
