// The waveform file formats the generator writes a capture in, beyond its own ".wfm":
// text columns, ".trc", ".bin" and bare samples. Each has its own writer; this picks one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "synth/ByteSink.h"
#include "synth/Quantizer.h"
#include "synth/SampleStream.h"
#include "synth/WfmWriter.h"

namespace kestrava::synth {

enum class FileFormat : std::uint8_t { Wfm, Csv, Trc, Bin, Raw };
std::optional<FileFormat> FileFormatNamed(std::string_view name);  // wfm csv trc bin raw
std::string_view FileFormatName(FileFormat format);

struct CaptureFileOptions {
    FileFormat format = FileFormat::Wfm;
    WfmOptions wfm;           // byte order and first point time for every format
    char csvSeparator = ',';  // ',' ';' or '\t'
    bool trcBlockPrefix = true;
    int trcSegments = 1;         // a sequence of copies of the record
    bool binLogicFirst = false;  // a logic waveform ahead of the analog one
};

class CaptureFile {
  public:
    // The whole file; throws std::invalid_argument for a record the format cannot hold.
    static std::vector<std::uint8_t> Serialize(const CaptureFileOptions& options,
                                               const QuantizedRecord& record,
                                               double sampleIntervalS);
    // Writes the file; an empty text on success, else what went wrong.
    static std::string Write(const CaptureFileOptions& options, const std::string& path,
                             const QuantizedRecord& record, double sampleIntervalS);
    // The same a block of samples at a time, so the record need never be whole in memory.
    static std::string Write(const CaptureFileOptions& options, const std::string& path,
                             SampleStream& samples, double sampleIntervalS);
    // The file's bytes to any sink; throws like Serialize, and SinkError.
    static void Write(const CaptureFileOptions& options, SampleStream& samples,
                      double sampleIntervalS, ByteSink& out);
};

}  // namespace kestrava::synth
