// kestrava-capgen: writes a Serial ATA capture as a waveform file, with a manifest of
// every character, primitive and frame it sent.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "synth/CaptureGenerator.h"
#include "synth/CharacterStream.h"
#include "synth/SynthSamples.h"

namespace {

using kestrava::synth::CaptureGenerator;
using kestrava::synth::CaptureOptions;
using kestrava::synth::CaptureScenario;

void PrintHelp() {
    std::printf(
        "Usage: kestrava-capgen [options] OUTPUT.wfm\n"
        "Writes a Serial ATA capture as a waveform file and, beside it, a manifest of what\n"
        "was sent (OUTPUT.txt): every character with its code and sample, the primitives in\n"
        "order, the frames with their dwords and CRC, ATAPI packets, faults and line bits.\n"
        "\n"
        "Capture file:\n"
        "  -o, --output PATH        the waveform file (or give it as the last argument)\n"
        "  --manifest PATH          the manifest (default: OUTPUT with .txt); \"-\" for none\n"
        "  --version 1|3            :WFM#001 or :WFM#003 (default 3)\n"
        "  --byte-order little|big  (default little)\n"
        "  --format int8|int16|float  sample format (default int8)\n"
        "  --label TEXT             waveform label (default KESTRAVA)\n"
        "  --file-format F          wfm, csv, trc, bin or raw (default wfm); byte order\n"
        "                           applies to trc and raw too\n"
        "  --separator C            csv columns: comma, semicolon or tab (default comma)\n"
        "  --no-block-prefix        trc without its leading #9 block prefix\n"
        "  --segments N             trc: a sequence of N copies of the record (default 1)\n"
        "  --logic-first            bin: a logic waveform ahead of the analog one\n"
        "Signal:\n"
        "  --bit-rate BPS           (default 1.5e9)\n"
        "  --samples-per-bit N      integer or not, e.g. 20 or 13.333 (default 20)\n"
        "  --amplitude V            peak-to-peak swing (default 0.5)\n"
        "  --offset V               centre level (default 0)\n"
        "  --rise-time S            10-90 %% rise time (default 0: ideal steps)\n"
        "  --noise V                Gaussian noise, rms (default 0)\n"
        "  --jitter S               random jitter of each transition, rms (default 0)\n"
        "  --phase UI               where the first sample lies in the first bit, [0,1)\n"
        "  --skip-bits N            the record begins N bits (0-9) into the first character\n"
        "  --invert                 a one is the low level\n"
        "  --seed N                 seeds noise, jitter, junk and payloads (default 1)\n"
        "Traffic:\n"
        "  --scenario NAME          what to send (default session):\n");
    for (const auto& info : CaptureScenario::List())
        std::printf("      %-12s %.*s\n", std::string(info.name).c_str(),
                    static_cast<int>(info.summary.size()), info.summary.data());
    std::printf(
        "  --characters LIST        send these characters instead (comma-separated, e.g.\n"
        "                           K28.5,D16.2 for 1000BASE-X idles), --repeat times over;\n"
        "                           no manifest is written\n"
        "  --lane host|device       whose transmitter is captured (default host)\n"
        "  --data-bytes N           payload of the long Data FIS (default 2048, at most 8192)\n"
        "  --repeat N               send the scenario's traffic N times over (default 1),\n"
        "                           for long captures\n"
        "  --align-interval N       dwords between ALIGN pairs, 0 for none (default 256)\n"
        "  --no-cont                send repeated primitives without CONT\n"
        "  --start-disparity -|+    running disparity before the first character (default -)\n"
        "  -h, --help               this text\n");
}

bool ParseDouble(std::string_view text, double& out) {
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, out);
    return r.ec == std::errc() && r.ptr == end;
}

template <typename T>
bool ParseInteger(std::string_view text, T& out) {
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, out);
    return r.ec == std::errc() && r.ptr == end;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "kestrava-capgen: %s\n", message.c_str());
    return 2;
}

// Characters of any 8b/10b standard, sent as listed: the capture without a scenario.
int WriteCharacters(const CaptureOptions& options, const kestrava::synth::CaptureFileOptions& file,
                    const std::string& characters, const std::string& output) {
    using namespace kestrava::synth;
    const AnalogSynth synth(options.analog);
    // One pass tells the length of all, so a capture too long is refused before it is made.
    CharacterStream once(options.scenario.traffic.startNegative);
    once.Add(characters);
    const std::size_t bits = once.Bits().size() * static_cast<std::size_t>(options.scenario.repeat);
    if (std::string problem = CaptureGenerator::SampleLimitProblem(synth.SampleCountFor(bits));
        !problem.empty())
        return Fail(problem);
    CharacterStream stream(options.scenario.traffic.startNegative);
    for (int i = 0; i < options.scenario.repeat; ++i) stream.Add(characters);
    SynthSamples samples(synth, stream.Bits(),
                         Quantizer::ForSignal(options.format, options.analog));
    if (std::string problem = CaptureFile::Write(file, output, samples, synth.SampleIntervalS());
        !problem.empty())
        return Fail(problem);
    std::printf("%s: %zu samples, %zu characters\n", output.c_str(), samples.Shape().count,
                stream.CharacterCount());
    return 0;
}

std::string ManifestPathFor(const std::string& wfm) {
    const std::size_t slash = wfm.find_last_of('/');
    const std::size_t dot = wfm.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        return wfm.substr(0, dot) + ".txt";
    return wfm + ".txt";
}

}  // namespace

int main(int argc, char** argv) {
    CaptureOptions options;
    kestrava::synth::CaptureFileOptions file;
    std::string output, manifest, characters;
    bool manifestGiven = false;

    std::vector<std::string_view> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        auto value = [&](std::string_view& out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        auto number = [&](double& out) {
            std::string_view text;
            return value(text) && ParseDouble(text, out);
        };
        std::string_view text;
        if (arg == "-h" || arg == "--help") {
            PrintHelp();
            return 0;
        } else if (arg == "-o" || arg == "--output") {
            if (!value(text)) return Fail("--output needs a path");
            output = text;
        } else if (arg == "--manifest") {
            if (!value(text)) return Fail("--manifest needs a path");
            manifest = text;
            manifestGiven = true;
        } else if (arg == "--version") {
            if (!value(text) || (text != "1" && text != "3")) return Fail("--version takes 1 or 3");
            options.wfm.version = text == "1" ? 1 : 3;
        } else if (arg == "--byte-order") {
            if (!value(text) || (text != "little" && text != "big"))
                return Fail("--byte-order takes little or big");
            options.wfm.bigEndian = text == "big";
        } else if (arg == "--format") {
            if (!value(text)) return Fail("--format takes int8, int16 or float");
            const auto format = kestrava::synth::SampleFormatNamed(text);
            if (!format) return Fail("--format takes int8, int16 or float");
            options.format = *format;
        } else if (arg == "--file-format") {
            const auto format = value(text) ? kestrava::synth::FileFormatNamed(text) : std::nullopt;
            if (!format) return Fail("--file-format takes wfm, csv, trc, bin or raw");
            file.format = *format;
        } else if (arg == "--separator") {
            if (!value(text) || (text != "comma" && text != "semicolon" && text != "tab"))
                return Fail("--separator takes comma, semicolon or tab");
            file.csvSeparator = text == "comma" ? ',' : text == "semicolon" ? ';' : '\t';
        } else if (arg == "--no-block-prefix") {
            file.trcBlockPrefix = false;
        } else if (arg == "--segments") {
            if (!value(text) || !ParseInteger(text, file.trcSegments) || file.trcSegments < 1 ||
                file.trcSegments > 1000)
                return Fail("--segments takes a whole number from 1 to 1000");
        } else if (arg == "--logic-first") {
            file.binLogicFirst = true;
        } else if (arg == "--label") {
            if (!value(text)) return Fail("--label needs a text");
            options.wfm.label = text;
        } else if (arg == "--bit-rate") {
            if (!number(options.analog.bitRate)) return Fail("--bit-rate needs a number");
        } else if (arg == "--samples-per-bit") {
            if (!number(options.analog.samplesPerBit))
                return Fail("--samples-per-bit needs a number");
        } else if (arg == "--amplitude") {
            if (!number(options.analog.amplitudeV)) return Fail("--amplitude needs a number");
        } else if (arg == "--offset") {
            if (!number(options.analog.offsetV)) return Fail("--offset needs a number");
        } else if (arg == "--rise-time") {
            if (!number(options.analog.riseTimeS)) return Fail("--rise-time needs a number");
        } else if (arg == "--noise") {
            if (!number(options.analog.noiseRmsV)) return Fail("--noise needs a number");
        } else if (arg == "--jitter") {
            if (!number(options.analog.jitterRmsS)) return Fail("--jitter needs a number");
        } else if (arg == "--phase") {
            if (!number(options.analog.startPhaseUi)) return Fail("--phase needs a number");
        } else if (arg == "--skip-bits") {
            if (!value(text) || !ParseInteger(text, options.skipBits))
                return Fail("--skip-bits needs a whole number");
        } else if (arg == "--invert") {
            options.analog.invert = true;
        } else if (arg == "--seed") {
            if (!value(text) || !ParseInteger(text, options.analog.seed))
                return Fail("--seed needs a whole number");
            options.scenario.seed = options.analog.seed;
        } else if (arg == "--scenario") {
            if (!value(text)) return Fail("--scenario needs a name");
            options.scenario.name = text;
        } else if (arg == "--characters") {
            if (!value(text) || text.empty())
                return Fail("--characters needs a list of characters");
            characters = text;
        } else if (arg == "--lane") {
            if (!value(text) || (text != "host" && text != "device"))
                return Fail("--lane takes host or device");
            options.scenario.hostLane = text == "host";
        } else if (arg == "--data-bytes") {
            if (!value(text) || !ParseInteger(text, options.scenario.dataBytes))
                return Fail("--data-bytes needs a whole number");
        } else if (arg == "--repeat") {
            if (!value(text) || !ParseInteger(text, options.scenario.repeat))
                return Fail("--repeat needs a whole number");
        } else if (arg == "--align-interval") {
            if (!value(text) || !ParseInteger(text, options.scenario.traffic.alignIntervalDwords))
                return Fail("--align-interval needs a whole number");
        } else if (arg == "--no-cont") {
            options.scenario.traffic.contMinimumRun = 0;
        } else if (arg == "--start-disparity") {
            if (!value(text) || (text != "-" && text != "+"))
                return Fail("--start-disparity takes - or +");
            options.scenario.traffic.startNegative = text == "-";
        } else if (!arg.empty() && arg[0] == '-') {
            return Fail("unknown option " + std::string(arg) + " (see --help)");
        } else if (output.empty()) {
            output = arg;
        } else {
            return Fail("more than one output file given");
        }
    }
    if (output.empty()) return Fail("no output file given (see --help)");
    if (!manifestGiven) manifest = ManifestPathFor(output);
    if (manifest == "-") manifest.clear();
    if (std::string problem = options.Validate(); !problem.empty()) return Fail(problem);

    try {
        file.wfm = options.wfm;
        if (!characters.empty()) return WriteCharacters(options, file, characters, output);
        const auto capture = CaptureGenerator::Write(options, file, output, manifest);
        if (!capture.problem.empty()) return Fail(capture.problem);
        std::printf("%s: %zu samples, %zu characters, %zu frames\n", output.c_str(),
                    capture.samples, capture.characters, capture.frames);
        if (!manifest.empty()) std::printf("%s: manifest\n", manifest.c_str());
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    return 0;
}
