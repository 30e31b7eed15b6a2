#include "synth/CsvWriter.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <stdexcept>

#include "synth/MemorySink.h"
#include "synth/RecordSamples.h"

namespace kestrava::synth {
namespace {

// The shortest text that reads back as the same double.
void AppendExact(std::string& text, double value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    text.append(buffer, result.ptr);
}

void Flush(std::string& text, ByteSink& out) {
    out.Write({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    text.clear();
}

}  // namespace

std::string CsvWriter::Serialize(const QuantizedRecord& record, double sampleIntervalS,
                                 double firstPointTimeS, char separator) {
    RecordSamples samples(record);
    MemorySink sink;
    Write(samples, sampleIntervalS, firstPointTimeS, separator, sink);
    const std::vector<std::uint8_t> bytes = sink.Take();
    return {bytes.begin(), bytes.end()};
}

void CsvWriter::Write(SampleStream& samples, double sampleIntervalS, double firstPointTimeS,
                      char separator, ByteSink& out) {
    if (separator != ',' && separator != ';' && separator != '\t')
        throw std::invalid_argument("the text columns are separated by ',', ';' or a tab");
    std::string text = "Model" + std::string(1, separator) + "KESTRAVA-SYNTH\n";
    text += "Sample Interval" + std::string(1, separator);
    AppendExact(text, sampleIntervalS);
    text += "\nTime" + std::string(1, separator) + "CH1\n";
    constexpr std::size_t kFlushBytes = 1 << 20;
    QuantizedRecord block;
    std::size_t i = 0;  // the index of the record's sample, for its time
    while (samples.Next(block)) {
        for (std::size_t j = 0; j < block.Size(); ++j, ++i) {
            AppendExact(text, firstPointTimeS + static_cast<double>(i) * sampleIntervalS);
            text += separator;
            AppendExact(text, block.VoltsAt(j));
            text += '\n';
            if (text.size() >= kFlushBytes) Flush(text, out);
        }
    }
    Flush(text, out);
}

}  // namespace kestrava::synth
