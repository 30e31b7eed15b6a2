#include "tools/kestrava-scopesim/SynthSource.h"

#include <utility>

namespace kestrava::scopesim {

SynthSource::SynthSource(synth::CaptureOptions options) : options_(std::move(options)) {
    options_.format = synth::SampleFormat::Float32;
    lastOptions_ = options_;
}

namespace {

Waveform WaveformOf(synth::Capture& capture) {
    Waveform wave;
    wave.sampleIntervalS = capture.sampleIntervalS;
    wave.volts = std::move(capture.record.float32);
    return wave;
}

}  // namespace

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
    Waveform wave = WaveformOf(capture);
    std::lock_guard lock(mutex_);
    last_ = std::move(capture.traffic);
    lastOptions_ = options;
    ++made_;
    return wave;
}

Waveform SynthSource::OtherLane() const {
    synth::CaptureOptions options;
    {
        std::lock_guard lock(mutex_);
        options = lastOptions_;
    }
    options.scenario.hostLane = !options.scenario.hostLane;
    // The far end's transmitter has noise of its own.
    options.analog.seed = ~options.analog.seed;
    synth::Capture capture = synth::CaptureGenerator::Generate(options);
    return WaveformOf(capture);
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

WaveformSource MakeOtherLaneSource(std::shared_ptr<SynthSource> source) {
    return [source] { return source->OtherLane(); };
}

}  // namespace kestrava::scopesim
