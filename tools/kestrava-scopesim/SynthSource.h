// Acquisitions of synthetic Serial ATA traffic: each record the simulator takes is a new
// capture from the generator, whose traffic is kept so a test can compare the decode of
// the acquisition with what was sent.
//
//   auto synth = std::make_shared<SynthSource>(options);
//   sim.SetSource("CH1", MakeWaveformSource(synth));
//   ... acquire and decode ...
//   synth->LastTraffic();            // what the record carried
//   sim.SetSource("CH2", MakeOtherLaneSource(synth));   // the far end's lane beside it
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "synth/CaptureGenerator.h"
#include "tools/kestrava-scopesim/Waveform.h"

namespace kestrava::scopesim {

class SynthSource {
  public:
    // Captures are made as floats whatever the options' file format says: the simulator
    // quantises them itself, as the instrument's output format asks.
    explicit SynthSource(synth::CaptureOptions options = DefaultOptions());

    // One record; with new seeds each time, every acquisition carries other payloads.
    Waveform Next();
    // The other lane of the record made last (the first to come before any): what the far
    // end sent meanwhile, in step with it when the scenario plays both lanes in step.
    Waveform OtherLane() const;
    void SetNewSeedEachAcquisition(bool on);

    // The traffic of the record made last (empty before the first) and how many were made.
    synth::SataTraffic LastTraffic() const;
    std::uint64_t Acquisitions() const;

    // A short host-lane session at 1.5 Gb/s, 20 samples per bit, 0.5 V swing, gentle
    // edges and a little noise.
    static synth::CaptureOptions DefaultOptions();

  private:
    mutable std::mutex mutex_;
    synth::CaptureOptions options_;
    synth::CaptureOptions lastOptions_;  // those of the record made last
    bool newSeeds_ = true;
    std::uint64_t made_ = 0;
    synth::SataTraffic last_;
};

// The simulator's source function over a shared generator.
WaveformSource MakeWaveformSource(std::shared_ptr<SynthSource> source);
// A source showing the other lane of each record the generator makes: set on a channel
// after the generator's, every acquisition gives both lanes of one stretch of traffic.
WaveformSource MakeOtherLaneSource(std::shared_ptr<SynthSource> source);

}  // namespace kestrava::scopesim
