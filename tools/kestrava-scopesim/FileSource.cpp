#include "tools/kestrava-scopesim/FileSource.h"

#include "formats/CQelWfmReader.h"

namespace kestrava::scopesim {

std::optional<Waveform> ReadWaveformFile(const std::string& path) {
    CQelWfmReader reader;
    if (!reader.LoadFile(path, 1) || reader.PointCount() <= 0) return std::nullopt;
    Waveform waveform;
    waveform.volts.assign(reader.Points().begin(), reader.Points().end());
    waveform.sampleIntervalS = reader.SampleIntervalS();
    return waveform;
}

}  // namespace kestrava::scopesim
