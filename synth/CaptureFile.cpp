#include "synth/CaptureFile.h"

#include <fstream>
#include <stdexcept>

#include "synth/AgBinWriter.h"
#include "synth/CsvWriter.h"
#include "synth/RawWriter.h"
#include "synth/TrcWriter.h"

namespace kestrava::synth {
namespace {

constexpr std::string_view kNames[] = {"wfm", "csv", "trc", "bin", "raw"};

}  // namespace

std::optional<FileFormat> FileFormatNamed(std::string_view name) {
    for (std::size_t i = 0; i < std::size(kNames); ++i)
        if (kNames[i] == name) return static_cast<FileFormat>(i);
    return std::nullopt;
}

std::string_view FileFormatName(FileFormat format) {
    return kNames[static_cast<std::size_t>(format)];
}

std::vector<std::uint8_t> CaptureFile::Serialize(const CaptureFileOptions& o,
                                                 const QuantizedRecord& record,
                                                 double sampleIntervalS) {
    switch (o.format) {
        case FileFormat::Csv: {
            const std::string text = CsvWriter::Serialize(record, sampleIntervalS,
                                                          o.wfm.firstPointTimeS, o.csvSeparator);
            return {text.begin(), text.end()};
        }
        case FileFormat::Trc:
            return TrcWriter::Serialize(record, sampleIntervalS, o.wfm.firstPointTimeS,
                                        o.wfm.bigEndian, o.trcBlockPrefix, o.trcSegments);
        case FileFormat::Bin:
            return AgBinWriter::Serialize(record, sampleIntervalS, o.wfm.firstPointTimeS,
                                          o.binLogicFirst);
        case FileFormat::Raw:
            return RawWriter::Serialize(record, o.wfm.bigEndian);
        default:
            return WfmWriter(o.wfm).Serialize(record, sampleIntervalS);
    }
}

std::string CaptureFile::Write(const CaptureFileOptions& options, const std::string& path,
                               const QuantizedRecord& record, double sampleIntervalS) {
    if (options.format == FileFormat::Wfm)
        return WfmWriter(options.wfm).Write(path, record, sampleIntervalS);
    std::vector<std::uint8_t> bytes;
    try {
        bytes = Serialize(options, record, sampleIntervalS);
    } catch (const std::exception& e) {
        return e.what();
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    return out ? std::string() : "cannot write " + path;
}

}  // namespace kestrava::synth
