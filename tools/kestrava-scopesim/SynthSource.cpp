#include "tools/kestrava-scopesim/SynthSource.h"

#include <utility>

namespace kestrava::scopesim {

SynthSource::SynthSource(synth::CaptureOptions options) : options_(std::move(options)) {
    options_.format = synth::SampleFormat::Float32;
}

synth::CaptureOptions SynthSource::DefaultOptions() {
    synth::CaptureOptions options;
    options.scenario.name = "session";
    options.scenario.dataBytes = 512;
    options.analog.bitRate = 1.5e9;
    options.analog.samplesPerBit = 20.0;
    options.analog.amplitudeV = 0.5;
    options.analog.riseTimeS = 0.2 / options.analog.bitRate;
    options.analog.noiseRmsV = 0.005;
    options.format = synth::SampleFormat::Float32;
    return options;
}

void SynthSource::SetNewSeedEachAcquisition(bool on) {
    std::lock_guard lock(mutex_);
    newSeeds_ = on;
}

Waveform SynthSource::Next() {
    synth::CaptureOptions options;
    {
        std::lock_guard lock(mutex_);
        options = options_;
        if (newSeeds_) {
            options.scenario.seed += made_;
            options.analog.seed += made_;
        }
    }
    synth::Capture capture = synth::CaptureGenerator::Generate(options);
    Waveform wave;
    wave.sampleIntervalS = capture.sampleIntervalS;
    wave.volts = std::move(capture.record.float32);
    std::lock_guard lock(mutex_);
    last_ = std::move(capture.traffic);
    ++made_;
    return wave;
}

synth::SataTraffic SynthSource::LastTraffic() const {
    std::lock_guard lock(mutex_);
    return last_;
}

std::uint64_t SynthSource::Acquisitions() const {
    std::lock_guard lock(mutex_);
    return made_;
}

WaveformSource MakeWaveformSource(std::shared_ptr<SynthSource> source) {
    return [source] { return source->Next(); };
}

}  // namespace kestrava::scopesim
