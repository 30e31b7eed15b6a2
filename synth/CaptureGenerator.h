// One call from options to a finished capture: scenario traffic, analog samples,
// quantised record, waveform file bytes and the manifest that describes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
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

// What a capture written straight to its files held, or why it was not written.
struct CaptureSummary {
    std::size_t samples = 0;
    std::size_t characters = 0;
    std::size_t frames = 0;
    std::string problem;  // empty when both files were written
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
    // Both files of Generate(options) made a block of samples at a time, byte for byte
    // the same, in memory that the traffic bounds rather than the samples (manifestPath
    // empty: no manifest). Throws like Generate, with kMaxCaptureSamples as the limit.
    static CaptureSummary Write(const CaptureOptions& options, const CaptureFileOptions& file,
                                const std::string& path, const std::string& manifestPath);

    // Sample positions are 32-bit: no capture holds more.
    static constexpr std::size_t kMaxCaptureSamples = 2147483647;
    // Empty when a capture may hold this many samples, else a text that says why not.
    static std::string SampleLimitProblem(std::size_t samples);

  private:
    static std::vector<std::pair<std::string, std::string>> ManifestHeader(
        const CaptureOptions& options, const AnalogSynth& synth, std::size_t skipped,
        std::size_t samples, double scaleV, double offsetV);
};

}  // namespace kestrava::synth
