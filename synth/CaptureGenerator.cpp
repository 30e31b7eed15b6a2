#include "synth/CaptureGenerator.h"

#include <algorithm>
#include <cstdio>
#include <span>
#include <stdexcept>

namespace kestrava::synth {
namespace {

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

}  // namespace

std::string CaptureOptions::Validate() const {
    if (std::string p = scenario.Validate(); !p.empty()) return p;
    if (std::string p = analog.Validate(); !p.empty()) return p;
    if (skipBits < 0 || skipBits > 9) return "the bits skipped must lie between 0 and 9";
    return wfm.Validate();
}

Capture CaptureGenerator::Generate(const CaptureOptions& options) {
    if (std::string problem = options.Validate(); !problem.empty())
        throw std::invalid_argument(problem);
    const AnalogSynth synth(options.analog);
    SataTraffic traffic = CaptureScenario::Build(options.scenario);
    const std::size_t skipped =
        std::min(static_cast<std::size_t>(options.skipBits), traffic.bits.size());
    const std::vector<double> volts =
        synth.Synthesize(std::span<const std::uint8_t>(traffic.bits).subspan(skipped));
    QuantizedRecord record = Quantizer::ForSignal(options.format, options.analog).Quantize(volts);

    Manifest manifest(traffic, synth, static_cast<int>(skipped));
    const AnalogOptions& a = options.analog;
    manifest.Set("scenario", options.scenario.name);
    manifest.Set("lane", options.scenario.hostLane ? "host" : "device");
    manifest.Set("seed", std::to_string(options.scenario.seed));
    manifest.Set("align interval dwords",
                 std::to_string(options.scenario.traffic.alignIntervalDwords));
    manifest.Set("cont minimum run", std::to_string(options.scenario.traffic.contMinimumRun));
    manifest.Set("bit rate", Number(a.bitRate));
    manifest.Set("samples per bit", Number(a.samplesPerBit));
    manifest.Set("sample interval s", Number(synth.SampleIntervalS()));
    manifest.Set("amplitude V", Number(a.amplitudeV));
    manifest.Set("offset V", Number(a.offsetV));
    manifest.Set("rise time s", Number(a.riseTimeS));
    manifest.Set("noise rms V", Number(a.noiseRmsV));
    manifest.Set("jitter rms s", Number(a.jitterRmsS));
    manifest.Set("invert", a.invert ? "yes" : "no");
    manifest.Set("start phase UI", Number(a.startPhaseUi));
    if (skipped > 0) manifest.Set("bits skipped", std::to_string(skipped));
    manifest.Set("samples", std::to_string(record.Size()));
    manifest.Set("format", std::string(SampleFormatName(options.format)));
    manifest.Set("scale V", Number(record.scaleV));
    manifest.Set("offset of raw zero V", Number(record.offsetV));
    manifest.Set("file version", options.wfm.version == 3 ? ":WFM#003" : ":WFM#001");
    manifest.Set("byte order", options.wfm.bigEndian ? "big" : "little");
    return Capture{std::move(traffic), std::move(record), synth.SampleIntervalS(),
                   std::move(manifest)};
}

std::string CaptureGenerator::WriteFiles(const Capture& capture, const WfmOptions& wfm,
                                         const std::string& wfmPath,
                                         const std::string& manifestPath) {
    CaptureFileOptions file;
    file.wfm = wfm;
    return WriteFiles(capture, file, wfmPath, manifestPath);
}

std::string CaptureGenerator::WriteFiles(const Capture& capture, const CaptureFileOptions& file,
                                         const std::string& path, const std::string& manifestPath) {
    std::string problem;
    try {
        problem = CaptureFile::Write(file, path, capture.record, capture.sampleIntervalS);
    } catch (const std::exception& e) {
        problem = e.what();
    }
    if (!problem.empty() || manifestPath.empty()) return problem;
    return capture.manifest.Write(manifestPath);
}

}  // namespace kestrava::synth
