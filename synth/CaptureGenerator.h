// One call from options to a finished capture: scenario traffic, analog samples,
// quantised record, waveform file bytes and the manifest that describes them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "synth/AnalogSynth.h"
#include "synth/CaptureFile.h"
#include "synth/CaptureScenario.h"
#include "synth/Manifest.h"
#include "synth/Quantizer.h"
#include "synth/SataTraffic.h"
#include "synth/WfmWriter.h"

namespace kestrava::synth {

struct CaptureOptions {
    ScenarioOptions scenario;
    AnalogOptions analog;
    SampleFormat format = SampleFormat::Int8;
    WfmOptions wfm;
    // The record begins this many line bits into the traffic (0 to 9), inside its first
    // character: a capture started at any bit phase.
    int skipBits = 0;

    std::string Validate() const;  // empty when usable
};

struct Capture {
    SataTraffic traffic;
    QuantizedRecord record;
    double sampleIntervalS = 0.0;
    Manifest manifest;
};

class CaptureGenerator {
  public:
    // Throws std::invalid_argument when the options do not Validate(), and
    // std::length_error for a capture beyond the sample limit.
    static Capture Generate(const CaptureOptions& options);
    // Writes the waveform file and its manifest; returns an empty text on success.
    static std::string WriteFiles(const Capture& capture, const WfmOptions& wfm,
                                  const std::string& wfmPath, const std::string& manifestPath);
    // The same in any of the generator's file formats.
    static std::string WriteFiles(const Capture& capture, const CaptureFileOptions& file,
                                  const std::string& path, const std::string& manifestPath);
};

}  // namespace kestrava::synth
