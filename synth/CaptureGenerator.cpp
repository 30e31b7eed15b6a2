#include "synth/CaptureGenerator.h"

#include <algorithm>
#include <cstdio>
#include <span>
#include <stdexcept>

#include "synth/SynthSamples.h"

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
    for (const auto& [key, value] :
         ManifestHeader(options, synth, skipped, record.Size(), record.scaleV, record.offsetV))
        manifest.Set(key, value);
    return Capture{std::move(traffic), std::move(record), synth.SampleIntervalS(),
                   std::move(manifest)};
}

CaptureSummary CaptureGenerator::Write(const CaptureOptions& options,
                                       const CaptureFileOptions& file, const std::string& path,
                                       const std::string& manifestPath) {
    if (std::string problem = options.Validate(); !problem.empty())
        throw std::invalid_argument(problem);
    const AnalogSynth synth(options.analog);
    // Counted first: a capture too long to hold is refused before its traffic is made.
    const std::int64_t bits = CaptureScenario::CountBits(options.scenario);
    const auto kept = static_cast<std::size_t>(std::max<std::int64_t>(bits - options.skipBits, 0));
    if (std::string problem = SampleLimitProblem(synth.SampleCountFor(kept)); !problem.empty())
        throw std::length_error(problem);

    const SataTraffic traffic = CaptureScenario::Build(options.scenario);
    const std::size_t skipped =
        std::min(static_cast<std::size_t>(options.skipBits), traffic.bits.size());
    const Quantizer quantizer = Quantizer::ForSignal(options.format, options.analog);
    SynthSamples samples(synth, std::span<const std::uint8_t>(traffic.bits).subspan(skipped),
                         quantizer);
    CaptureSummary summary;
    summary.samples = samples.Shape().count;
    summary.characters = traffic.characters.size();
    summary.frames = traffic.frames.size();
    summary.problem = CaptureFile::Write(file, path, samples, synth.SampleIntervalS());
    if (!summary.problem.empty() || manifestPath.empty()) return summary;
    summary.problem = Manifest::Write(manifestPath,
                                      ManifestHeader(options, synth, skipped, summary.samples,
                                                     quantizer.ScaleV(), quantizer.OffsetV()),
                                      traffic, synth, static_cast<int>(skipped));
    return summary;
}

std::string CaptureGenerator::SampleLimitProblem(std::size_t samples) {
    if (samples <= kMaxCaptureSamples) return {};
    return std::to_string(samples) + " samples: more than the " +
           std::to_string(kMaxCaptureSamples) + " a capture may hold";
}

std::vector<std::pair<std::string, std::string>> CaptureGenerator::ManifestHeader(
    const CaptureOptions& options, const AnalogSynth& synth, std::size_t skipped,
    std::size_t samples, double scaleV, double offsetV) {
    const AnalogOptions& a = options.analog;
    std::vector<std::pair<std::string, std::string>> h;
    h.emplace_back("scenario", options.scenario.name);
    h.emplace_back("lane", options.scenario.hostLane ? "host" : "device");
    h.emplace_back("seed", std::to_string(options.scenario.seed));
    h.emplace_back("align interval dwords",
                   std::to_string(options.scenario.traffic.alignIntervalDwords));
    h.emplace_back("cont minimum run", std::to_string(options.scenario.traffic.contMinimumRun));
    h.emplace_back("bit rate", Number(a.bitRate));
    h.emplace_back("samples per bit", Number(a.samplesPerBit));
    h.emplace_back("sample interval s", Number(synth.SampleIntervalS()));
    h.emplace_back("amplitude V", Number(a.amplitudeV));
    h.emplace_back("offset V", Number(a.offsetV));
    h.emplace_back("rise time s", Number(a.riseTimeS));
    h.emplace_back("noise rms V", Number(a.noiseRmsV));
    h.emplace_back("jitter rms s", Number(a.jitterRmsS));
    h.emplace_back("invert", a.invert ? "yes" : "no");
    h.emplace_back("start phase UI", Number(a.startPhaseUi));
    if (skipped > 0) h.emplace_back("bits skipped", std::to_string(skipped));
    h.emplace_back("samples", std::to_string(samples));
    h.emplace_back("format", std::string(SampleFormatName(options.format)));
    h.emplace_back("scale V", Number(scaleV));
    h.emplace_back("offset of raw zero V", Number(offsetV));
    h.emplace_back("file version", options.wfm.version == 3 ? ":WFM#003" : ":WFM#001");
    h.emplace_back("byte order", options.wfm.bigEndian ? "big" : "little");
    return h;
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
