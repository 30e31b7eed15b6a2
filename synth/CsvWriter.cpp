#include "synth/CsvWriter.h"

#include <charconv>
#include <cstdio>
#include <stdexcept>

namespace kestrava::synth {
namespace {

// The shortest text that reads back as the same double.
void AppendExact(std::string& text, double value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    text.append(buffer, result.ptr);
}

}  // namespace

std::string CsvWriter::Serialize(const QuantizedRecord& record, double sampleIntervalS,
                                 double firstPointTimeS, char separator) {
    if (separator != ',' && separator != ';' && separator != '\t')
        throw std::invalid_argument("the text columns are separated by ',', ';' or a tab");
    std::string text = "Model" + std::string(1, separator) + "KESTRAVA-SYNTH\n";
    text += "Sample Interval" + std::string(1, separator);
    AppendExact(text, sampleIntervalS);
    text += "\nTime" + std::string(1, separator) + "CH1\n";
    text.reserve(text.size() + record.Size() * 32);
    for (std::size_t i = 0; i < record.Size(); ++i) {
        AppendExact(text, firstPointTimeS + static_cast<double>(i) * sampleIntervalS);
        text += separator;
        AppendExact(text, record.VoltsAt(i));
        text += '\n';
    }
    return text;
}

}  // namespace kestrava::synth
