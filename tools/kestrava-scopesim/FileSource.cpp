#include "tools/kestrava-scopesim/FileSource.h"

#include <memory>

#include "formats/FormatRegistry.h"

namespace kestrava::scopesim {

std::optional<Waveform> ReadWaveformFile(const std::string& path) {
    std::unique_ptr<WaveformFileReader> reader = TheFormatRegistry().ReaderFor(path);
    if (!reader || !reader->Import(path, nullptr) || reader->Points().empty()) return std::nullopt;
    Waveform waveform;
    waveform.volts.assign(reader->Points().begin(), reader->Points().end());
    waveform.sampleIntervalS = reader->Description().sampleIntervalS;
    return waveform;
}

}  // namespace kestrava::scopesim
