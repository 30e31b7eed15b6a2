#include "tools/kestrava-decode/DecodeOptions.h"

#include <charconv>
#include <functional>
#include <map>

#include "instrument/SourceNames.h"

namespace kestrava {

const char* const kDecodeUsage =
    "usage: kestrava-decode [OPTIONS] FILE.wfm\n"
    "       kestrava-decode [OPTIONS] --scope SOURCE [--mode 0|1|2]\n"
    "  --list characters|primitives|fis|atapi|frames|link\n"
    "                                           which list to print (default characters);\n"
    "                                           frames: one verdict per frame (CRC, length)\n"
    "  --lane host=FILE.wfm --lane device=FILE.wfm\n"
    "                                           the two lanes of one link, with --list link:\n"
    "                                           both on one time axis, each frame answered\n"
    "  --scope HOST,DEVICE                      with --list link: two sources of one\n"
    "                                           acquisition as the host and device lanes\n"
    "  --format text|csv|json                   how to print the list (default text); csv and\n"
    "                                           json give sample, time, kind, value, flags\n"
    "  --hide-filler                            leave ALIGN, SYNC and CONT repeats out of the\n"
    "                                           primitives list (SYNC out of the link list);\n"
    "                                           the count goes to stderr\n"
    "  --report                                 print the report exactly as Save As writes it\n"
    "  -o, --output FILE                        write there instead of standard output\n"
    "  --merge REPORT                           merge this decode into an earlier report\n"
    "  --standard TITLE                         protocol definition (default Sata)\n"
    "  --setup FILE.ini                         recall a setup file first (standard, thresholds,\n"
    "                                           sync pattern, options); options given win\n"
    "  --sync-pattern NAMES                     align on a sync pattern (comma-separated)\n"
    "  --ref-level P  --hysteresis P            thresholds in percent (default 50, 20)\n"
    "  --abs-ref-level V  --abs-hysteresis V    thresholds in volts\n"
    "  --invert  --lock-sampler                 the two decode options\n"
    "  --plot FILE.svg [--at SAMPLE] [--width SAMPLES]\n"
    "                                           draw the waveform graph as SVG\n"
    "  --status                                 print the status box summary on stderr\n"
    "  --threads N                              workers for the bit recovery (default: every\n"
    "                                           core); the output is the same for any N\n"
    "  --scope SOURCE                           decode a live acquisition of CH1..CH4, REF1..REF4\n"
    "                                           or MATH1..MATH4 from the instrument "
    "(GPIB8::1::INSTR)\n"
    "  --mode 0|1|2                             0 the record held, 1 single sequence (default),\n"
    "                                           2 single sequence with forced trigger\n"
    "  --column N|NAME                          a text file's voltage column, by number or header\n"
    "  --waveform N                             which waveform of a .bin file (default the first\n"
    "                                           analog one)\n"
    "  --raw int8|int16|float32                 read the file as bare samples, with:\n"
    "  --sample-interval S  --scale V  --offset V\n"
    "                                           volts = sample * scale + offset (default 1, 0)\n"
    "  --raw-byte-order little|big              (default little)\n"
    "  --help  --version\n";

namespace {

bool ParseCount(const std::string& text, long long& value) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && value >= 0;
}

bool IsNumber(const std::string& text) {
    double value;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

// "CH1" or, for the two lanes of one acquisition, "CH1,CH2"; the problem, else empty.
std::string ParseScopeSources(const std::string& text, DecodeOptions& o) {
    std::vector<std::string> names;
    for (std::size_t start = 0;;) {
        const std::size_t comma = text.find(',', start);
        names.push_back(text.substr(start, comma == std::string::npos ? comma : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    for (const std::string& name : names)
        if (SourceIndex(name) < 0)
            return "--scope takes CH1..CH4, REF1..REF4 or MATH1..MATH4, not '" + name + "'";
    if (names.size() > 2)
        return "--scope takes one source, or two (host,device) for --list link, not '" + text + "'";
    if (names.size() == 2 && SourceIndex(names[0]) == SourceIndex(names[1]))
        return "--scope names " + names[1] + " twice: the two lanes need two sources";
    o.scopeSource = names[0];
    o.deviceScopeSource = names.size() == 2 ? names[1] : std::string();
    return {};
}

// The link list is printed as a list only: no report, merge, plot or recalled setup.
std::string LinkOutputProblem(const DecodeOptions& o) {
    if (o.report || !o.mergePath.empty() || !o.plotPath.empty() || !o.setupPath.empty())
        return "--list link prints a list (text, csv or json), without --report, --merge, "
               "--plot or --setup";
    return {};
}

}  // namespace

ParsedCommandLine ParseDecodeCommandLine(const std::vector<std::string>& args) {
    ParsedCommandLine parsed;
    DecodeOptions& o = parsed.options;
    auto fail = [&](std::string message) {
        parsed.error = std::move(message) + " (try --help)";
        return parsed;
    };

    using Setter = std::function<std::string(const std::string&)>;
    auto text = [](std::string& field) -> Setter {
        return [&field](const std::string& v) {
            field = v;
            return std::string();
        };
    };
    auto number = [](std::optional<std::string>& field, const char* what) -> Setter {
        return [&field, what](const std::string& v) {
            if (!IsNumber(v)) return std::string(what) + " needs a number, not '" + v + "'";
            field = v;
            return std::string();
        };
    };
    auto count = [](std::optional<long long>& field, const char* what) -> Setter {
        return [&field, what](const std::string& v) {
            long long n;
            if (!ParseCount(v, n))
                return std::string(what) + " needs a whole number, not '" + v + "'";
            field = n;
            return std::string();
        };
    };
    const std::map<std::string, Setter> withValue = {
        {"--list",
         [&](const std::string& v) {
             if (v != "characters" && v != "primitives" && v != "fis" && v != "atapi" &&
                 v != "frames" && v != "link")
                 return "--list takes characters, primitives, fis, atapi, frames or link, not '" +
                        v + "'";
             o.list = v;
             return std::string();
         }},
        {"--format",
         [&](const std::string& v) {
             if (v != "text" && v != "csv" && v != "json")
                 return "--format takes text, csv or json, not '" + v + "'";
             o.format = v;
             return std::string();
         }},
        {"--lane",
         [&](const std::string& v) {
             if (v.rfind("host=", 0) == 0 && v.size() > 5)
                 o.hostLanePath = v.substr(5);
             else if (v.rfind("device=", 0) == 0 && v.size() > 7)
                 o.deviceLanePath = v.substr(7);
             else
                 return "--lane takes host=FILE or device=FILE, not '" + v + "'";
             return std::string();
         }},
        {"-o", text(o.outputPath)},
        {"--output", text(o.outputPath)},
        {"--merge", text(o.mergePath)},
        {"--standard", text(o.standard)},
        {"--setup", text(o.setupPath)},
        {"--sync-pattern", text(o.syncPattern)},
        {"--plot", text(o.plotPath)},
        {"--ref-level", number(o.refLevelPercent, "--ref-level")},
        {"--hysteresis", number(o.hysteresisPercent, "--hysteresis")},
        {"--abs-ref-level", number(o.refLevelVolts, "--abs-ref-level")},
        {"--abs-hysteresis", number(o.hysteresisVolts, "--abs-hysteresis")},
        {"--at", count(o.plotAt, "--at")},
        {"--width", count(o.plotWidth, "--width")},
        {"--threads",
         [&](const std::string& v) {
             long long n;
             if (!ParseCount(v, n) || n < 1 || n > 1024)
                 return "--threads needs a whole number from 1 to 1024, not '" + v + "'";
             o.threads = n;
             return std::string();
         }},
        {"--scope", [&](const std::string& v) { return ParseScopeSources(v, o); }},
        {"--column",
         [&](const std::string& v) {
             if (v.empty()) return std::string("--column needs a number or a header name");
             o.column = v;
             return std::string();
         }},
        {"--waveform", count(o.waveform, "--waveform")},
        {"--raw",
         [&](const std::string& v) {
             if (v != "int8" && v != "int16" && v != "float32")
                 return "--raw takes int8, int16 or float32, not '" + v + "'";
             o.rawFormat = v;
             return std::string();
         }},
        {"--raw-byte-order",
         [&](const std::string& v) {
             if (v != "little" && v != "big")
                 return "--raw-byte-order takes little or big, not '" + v + "'";
             o.rawByteOrder = v;
             return std::string();
         }},
        {"--sample-interval", number(o.sampleInterval, "--sample-interval")},
        {"--scale", number(o.rawScale, "--scale")},
        {"--offset", number(o.rawOffset, "--offset")},
        {"--mode",
         [&](const std::string& v) {
             if (v != "0" && v != "1" && v != "2") return "--mode takes 0, 1 or 2, not '" + v + "'";
             o.acquisitionMode = v[0] - '0';
             return std::string();
         }},
    };
    const std::map<std::string, bool*> flags = {
        {"--report", &o.report},
        {"--invert", &o.invert},
        {"--lock-sampler", &o.lockSampler},
        {"--status", &o.status},
        {"--help", &o.help},
        {"-h", &o.help},
        {"--version", &o.version},
        {"--hide-filler", &o.hideFiller},
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (auto flag = flags.find(arg); flag != flags.end()) {
            *flag->second = true;
        } else if (auto setter = withValue.find(arg); setter != withValue.end()) {
            if (i + 1 >= args.size()) return fail(arg + " needs a value");
            std::string problem = setter->second(args[++i]);
            if (!problem.empty()) return fail(problem);
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            return fail("unknown option " + arg);
        } else if (o.waveformPath.empty()) {
            o.waveformPath = arg;
        } else {
            return fail("only one waveform file, please: '" + arg + "'");
        }
    }
    if (o.help || o.version) return parsed;
    if (!o.scopeSource.empty() && !o.waveformPath.empty())
        return fail("either a waveform file or --scope, not both");
    if (o.acquisitionMode && o.scopeSource.empty()) return fail("--mode goes with --scope");
    if (!o.deviceScopeSource.empty()) {
        if (o.list != "link") return fail("two --scope sources go with --list link");
        if (!o.hostLanePath.empty() || !o.deviceLanePath.empty() || !o.waveformPath.empty())
            return fail("--scope HOST,DEVICE replaces the lanes' files");
        if (o.column || o.waveform || !o.rawFormat.empty())
            return fail("--column, --waveform and --raw read files, not --scope");
        return LinkOutputProblem(o).empty() ? parsed : fail(LinkOutputProblem(o));
    }
    const bool lanes = !o.hostLanePath.empty() || !o.deviceLanePath.empty();
    if (lanes || o.list == "link") {
        if (o.hostLanePath.empty() || o.deviceLanePath.empty())
            return fail("--list link needs --lane host=FILE and --lane device=FILE");
        if (o.list != "link") return fail("--lane goes with --list link");
        if (!o.waveformPath.empty() || !o.scopeSource.empty())
            return fail("the lanes replace the waveform file");
        return LinkOutputProblem(o).empty() ? parsed : fail(LinkOutputProblem(o));
    }
    if (o.waveformPath.empty() && o.scopeSource.empty()) return fail("no waveform file given");
    if (o.report && o.list != "characters")
        return fail("--report prints the characters list; leave out --list");
    if (o.rawFormat.empty() &&
        (o.sampleInterval || o.rawScale || o.rawOffset || !o.rawByteOrder.empty()))
        return fail("--sample-interval, --scale, --offset and --raw-byte-order go with --raw");
    if (!o.rawFormat.empty() && !o.sampleInterval) return fail("--raw needs --sample-interval");
    if ((o.column || o.waveform || !o.rawFormat.empty()) && !o.scopeSource.empty())
        return fail("--column, --waveform and --raw read files, not --scope");
    if (o.format != "text" && (o.report || !o.mergePath.empty()))
        return fail("--format goes with a list, not with --report or --merge");
    if (o.hideFiller && o.list != "primitives")
        return fail("--hide-filler goes with --list primitives or link");
    if ((o.plotAt || o.plotWidth) && o.plotPath.empty())
        return fail("--at and --width go with --plot");
    return parsed;
}

DecodeChoices ChoicesOf(const DecodeOptions& o) {
    DecodeChoices c;
    c.standard = o.standard;
    c.setupPath = o.setupPath;
    c.syncPattern = o.syncPattern;
    c.refLevelPercent = o.refLevelPercent;
    c.hysteresisPercent = o.hysteresisPercent;
    c.refLevelVolts = o.refLevelVolts;
    c.hysteresisVolts = o.hysteresisVolts;
    c.invert = o.invert;
    c.lockSampler = o.lockSampler;
    if (o.threads) c.threads = static_cast<int>(*o.threads);
    return c;
}

}  // namespace kestrava
