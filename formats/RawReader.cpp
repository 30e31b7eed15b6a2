#include "formats/RawReader.h"

#include <bit>

#include "formats/ImportReport.h"

namespace kestrava {

bool RawReader::Recognizes(std::span<const unsigned char>) {
    return ImportReport::Options().rawFormat.has_value();
}

std::string RawReader::Parse(const FileView& file, Layout& layout) {
    const ImportOptions options = ImportReport::Options();
    if (!options.rawFormat)
        return "a file of bare samples needs their format, interval, scale and offset given "
               "(--raw int8|int16|float32 --sample-interval S --scale V --offset V)";
    RecordDescription& r = layout.record;
    r.format = *options.rawFormat;
    r.sampleSize = r.format == SampleFormat::Int8 ? 1 : r.format == SampleFormat::Int16 ? 2 : 4;
    if (file.Size() % r.sampleSize != 0)
        return std::to_string(file.Size()) + " bytes are no whole number of " +
               std::to_string(r.sampleSize) + "-byte samples";
    r.count = file.Size() / r.sampleSize;
    r.rawReversed = options.rawBigEndian != (std::endian::native == std::endian::big);
    r.scale = options.rawScale;
    r.offset = options.rawOffset;
    r.sampleIntervalS = options.rawSampleIntervalS;
    layout.dataOffset = 0;
    return {};
}

}  // namespace kestrava
