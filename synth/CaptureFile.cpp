#include "synth/CaptureFile.h"

#include "synth/AgBinWriter.h"
#include "synth/CsvWriter.h"
#include "synth/FileSink.h"
#include "synth/MemorySink.h"
#include "synth/RawWriter.h"
#include "synth/RecordSamples.h"
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
    RecordSamples samples(record);
    MemorySink sink;
    Write(o, samples, sampleIntervalS, sink);
    return sink.Take();
}

void CaptureFile::Write(const CaptureFileOptions& o, SampleStream& samples, double sampleIntervalS,
                        ByteSink& out) {
    const double first = o.wfm.firstPointTimeS;
    switch (o.format) {
        case FileFormat::Csv:
            return CsvWriter::Write(samples, sampleIntervalS, first, o.csvSeparator, out);
        case FileFormat::Trc:
            return TrcWriter::Write(samples, sampleIntervalS, first, o.wfm.bigEndian,
                                    o.trcBlockPrefix, o.trcSegments, out);
        case FileFormat::Bin:
            return AgBinWriter::Write(samples, sampleIntervalS, first, o.binLogicFirst, out);
        case FileFormat::Raw:
            RawWriter::Write(samples, o.wfm.bigEndian, out);
            return;
        default:
            return WfmWriter(o.wfm).Write(samples, sampleIntervalS, out);
    }
}

std::string CaptureFile::Write(const CaptureFileOptions& options, const std::string& path,
                               const QuantizedRecord& record, double sampleIntervalS) {
    RecordSamples samples(record);
    return Write(options, path, samples, sampleIntervalS);
}

std::string CaptureFile::Write(const CaptureFileOptions& options, const std::string& path,
                               SampleStream& samples, double sampleIntervalS) {
    try {
        FileSink file(path);
        Write(options, samples, sampleIntervalS, file);
        file.Finish();
    } catch (const SinkError& e) {
        // Only the own format tells a file it could not make from one it could not fill.
        return options.format == FileFormat::Wfm ? e.what() : "cannot write " + path;
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

}  // namespace kestrava::synth
