// Source selection, the data range and encoding, the waveform preamble and CURVe?.
#include <algorithm>
#include <cstdio>

#include "base/Numbers.h"
#include "tools/kestrava-scopesim/CommandTable.h"
#include "tools/kestrava-scopesim/CurveEncoder.h"

namespace kestrava::scopesim {
namespace {

std::string FormatName(NumberFormat format) {
    switch (format) {
        case NumberFormat::kRI:
            return "RI";
        case NumberFormat::kRP:
            return "RP";
        case NumberFormat::kFP:
            return "FP";
    }
    return "RI";
}

// "2.000ns/div" style text of a quantity with an engineering prefix.
std::string Engineering(double value, const char* unit) {
    static constexpr struct {
        double factor;
        const char* prefix;
    } kPrefixes[] = {{1, ""}, {1e-3, "m"}, {1e-6, "u"}, {1e-9, "n"}, {1e-12, "p"}, {1e-15, "f"}};
    double magnitude = value < 0 ? -value : value;
    for (const auto& p : kPrefixes) {
        if (magnitude >= p.factor || p.factor == 1e-15) {
            char text[48];
            FormatInto(text, sizeof text, "%.3f%s%s", value / p.factor, p.prefix, unit);
            return text;
        }
    }
    return "0";
}

std::string WaveformId(const ScopeState& s) {
    int index = s.dataSource;
    const SourceState& source = s.sources[index];
    std::string label = SourceName(index);  // "Ch1", "Ref1", "Math1"
    for (size_t i = 1; i < label.size(); ++i)
        if (label[i] >= 'A' && label[i] <= 'Z') label[i] = static_cast<char>(label[i] - 'A' + 'a');
    double perDiv =
        static_cast<double>(s.RecordPoints(index)) * source.record.SampleIntervalS() / 10.0;
    std::string text = label + ", ";
    if (!IsMath(index)) text += "DC coupling, ";
    text += Engineering(source.scaleVPerDiv, "V/div") + ", " + Engineering(perDiv, "s/div") + ", " +
            std::to_string(s.RecordPoints(index)) + " points, Sample mode";
    return text;
}

std::string Curve(CommandContext& c) {
    ScopeState& s = c.state;
    s.Update();
    auto [first, count] = s.TransferRange();
    const SourceState& source = s.sources[s.dataSource];
    OutputFormat format = s.Format();
    const Scaling scaling = s.ScalingOf(s.dataSource);
    if (format.encoding == Encoding::kAscii) {
        std::string data;
        AppendCurveData(data, source.record, first - 1, count, format, scaling);
        return data;
    }
    // The data goes straight after its head, with room for what the reply adds: a long
    // record's reply is held once.
    const size_t bytes = count * static_cast<size_t>(format.width);
    std::string block = BlockHeader(bytes);
    const size_t head = block.size();
    block.reserve(head + bytes + kReplyRoom);
    AppendCurveData(block, source.record, first - 1, count, format, scaling);
    if (s.faults.count(Fault::kCorruptBlockHeader)) block[1] = 'X';
    if (s.faults.count(Fault::kIndefiniteBlock)) block.replace(0, head, "#0");
    if (s.faults.count(Fault::kDisconnectMidBlock)) c.disconnectAfter = head + bytes / 2;
    c.fallsSilent = s.faults.count(Fault::kSilentFromCurve) > 0;
    return block;
}

long long PointCount(const ScopeState& s) {
    long long points = static_cast<long long>(s.TransferRange().second);
    return s.faults.count(Fault::kCountExceedsBlock) ? points * 2 + 100 : points;
}

std::optional<int> Channel(CommandContext& c) {
    int number = c.numbers[0];
    if (number >= 1 && number <= 4) return number - 1;
    c.Refuse("no channel " + std::to_string(number));
    return std::nullopt;
}

void SetWidth(CommandContext& c) {
    auto width = c.Integer(0);
    if (!width) return;
    if (*width == 4)
        c.state.format = NumberFormat::kFP;
    else if (*width == 1 || *width == 2)
        c.state.integerWidth = static_cast<int>(*width);
    else
        c.Refuse("width must be 1, 2 or 4");
}

// The preamble fields under WFMOutpre (and its older name WFMPre).
void AddPreamble(CommandList& list, const std::string& root) {
    auto field = [&](const char* name, auto query,
                     std::function<void(CommandContext&)> set = nullptr) {
        list.push_back({root + ":" + name, query, set});
    };
    field(
        "BYT_Nr", [](CommandContext& c) { return Nr1(c.state.Format().width); }, SetWidth);
    field(
        "BIT_Nr", [](CommandContext& c) { return Nr1(8 * c.state.Format().width); },
        [](CommandContext& c) {
            if (auto bits = c.Integer(0)) {
                c.args[0] = std::to_string(*bits / 8);
                SetWidth(c);
            }
        });
    field(
        "ENCdg",
        [](CommandContext& c) {
            return std::string(c.state.encoding == Encoding::kAscii ? "ASC" : "BIN");
        },
        [](CommandContext& c) {
            if (auto choice = c.Choice(0, {"BINary", "ASCii"}))
                c.state.encoding = *choice == 0 ? Encoding::kBinary : Encoding::kAscii;
        });
    field(
        "BN_Fmt", [](CommandContext& c) { return FormatName(c.state.Format().format); },
        [](CommandContext& c) {
            if (auto choice = c.Choice(0, {"RI", "RP", "FP"}))
                c.state.format = *choice == 0   ? NumberFormat::kRI
                                 : *choice == 1 ? NumberFormat::kRP
                                                : NumberFormat::kFP;
        });
    field(
        "BYT_Or", [](CommandContext& c) { return std::string(c.state.msbFirst ? "MSB" : "LSB"); },
        [](CommandContext& c) {
            if (auto choice = c.Choice(0, {"LSB", "MSB"})) c.state.msbFirst = *choice == 1;
        });
    field("WFId", [](CommandContext& c) { return Quoted(WaveformId(c.state)); });
    field("NR_Pt", [](CommandContext& c) { return Nr1(PointCount(c.state)); });
    field("PT_Fmt", [](CommandContext&) { return std::string("Y"); });
    field("XUNit", [](CommandContext&) { return Quoted("s"); });
    field("YUNit", [](CommandContext&) { return Quoted("V"); });
    field("XINcr", [](CommandContext& c) {
        return Nr3(c.state.sources[c.state.dataSource].record.SampleIntervalS());
    });
    field("XZEro", [](CommandContext& c) { return Nr3(c.state.delayTimeS); });
    field("PT_Off", [](CommandContext& c) {
        return Nr1(static_cast<long long>(c.state.TriggerPoint(c.state.dataSource)));
    });
    field("YMUlt",
          [](CommandContext& c) { return Nr3(c.state.ScalingOf(c.state.dataSource).ymult); });
    field("YOFf",
          [](CommandContext& c) { return Nr3(c.state.ScalingOf(c.state.dataSource).yoff); });
    field("YZEro",
          [](CommandContext& c) { return Nr3(c.state.ScalingOf(c.state.dataSource).yzero); });
    field("NR_FR", [](CommandContext&) { return std::string("1"); });
    // The whole preamble in one reply.
    list.push_back({root,
                    [](CommandContext& c) {
                        ScopeState& s = c.state;
                        Scaling scaling = s.ScalingOf(s.dataSource);
                        OutputFormat format = s.Format();
                        std::string parts[] = {
                            Nr1(format.width),
                            Nr1(8 * format.width),
                            format.encoding == Encoding::kAscii ? "ASC" : "BIN",
                            FormatName(format.format),
                            format.msbFirst ? "MSB" : "LSB",
                            Quoted(WaveformId(s)),
                            Nr1(PointCount(s)),
                            "Y",
                            Quoted("s"),
                            Nr3(s.sources[s.dataSource].record.SampleIntervalS()),
                            Nr3(s.delayTimeS),
                            Nr1(static_cast<long long>(s.TriggerPoint(s.dataSource))),
                            Quoted("V"),
                            Nr3(scaling.ymult),
                            Nr3(scaling.yoff),
                            Nr3(scaling.yzero)};
                        std::string out;
                        for (const std::string& part : parts)
                            out += (out.empty() ? "" : ";") + part;
                        return out;
                    },
                    nullptr});
}

}  // namespace

void AddWaveformCommands(CommandList& list) {
    list.push_back({"SELect:{src}",
                    [](CommandContext& c) { return Bool(c.state.sources[c.sources[0]].displayed); },
                    [](CommandContext& c) {
                        if (auto on = c.Boolean(0)) c.state.sources[c.sources[0]].displayed = *on;
                    }});
    list.push_back({"DATa:SOUrce", [](CommandContext& c) { return SourceName(c.state.dataSource); },
                    [](CommandContext& c) {
                        if (auto source = c.Source(0)) c.state.dataSource = *source;
                    }});
    list.push_back({"DATa:STARt", [](CommandContext& c) { return Nr1(c.state.dataStart); },
                    [](CommandContext& c) {
                        if (auto at = c.Integer(0))
                            c.state.dataStart = std::clamp<long long>(*at, 1, kMaxRecordPoints);
                    }});
    list.push_back({"DATa:STOP", [](CommandContext& c) { return Nr1(c.state.dataStop); },
                    [](CommandContext& c) {
                        if (auto at = c.Integer(0))
                            c.state.dataStop = std::clamp<long long>(*at, 1, kMaxRecordPoints);
                    }});
    list.push_back(
        {"DATa:WIDth", [](CommandContext& c) { return Nr1(c.state.Format().width); }, SetWidth});
    list.push_back({"DATa:ENCdg",
                    [](CommandContext& c) {
                        const ScopeState& s = c.state;
                        if (s.encoding == Encoding::kAscii) return std::string("ASCII");
                        std::string name = FormatName(s.format) == "RI"   ? "RIBINARY"
                                           : FormatName(s.format) == "RP" ? "RPBINARY"
                                                                          : "FPBINARY";
                        return s.msbFirst ? name : "S" + name;
                    },
                    [](CommandContext& c) {
                        auto choice = c.Choice(0, {"ASCIi", "RIBinary", "RPBinary", "FPBinary",
                                                   "SRIbinary", "SRPbinary", "SFPbinary"});
                        if (!choice) return;
                        ScopeState& s = c.state;
                        if (*choice == 0) {
                            s.encoding = Encoding::kAscii;
                            return;
                        }
                        static constexpr NumberFormat kFormats[] = {
                            NumberFormat::kRI, NumberFormat::kRP, NumberFormat::kFP};
                        s.encoding = Encoding::kBinary;
                        s.format = kFormats[(*choice - 1) % 3];
                        s.msbFirst = *choice <= 3;
                    }});
    list.push_back({"CURVe", Curve, nullptr});
    AddPreamble(list, "WFMOutpre");
    AddPreamble(list, "WFMPre");
    list.push_back({"CH#:SCAle",
                    [](CommandContext& c) {
                        auto channel = Channel(c);
                        return channel ? Nr3(c.state.sources[*channel].scaleVPerDiv)
                                       : std::string();
                    },
                    [](CommandContext& c) {
                        auto channel = Channel(c);
                        auto volts = channel ? c.Number(0) : std::nullopt;
                        if (volts && *volts > 0)
                            c.state.sources[*channel].scaleVPerDiv = *volts;
                        else if (volts)
                            c.Refuse("scale must be positive");
                    }});
    list.push_back({"CH#:OFFSet",
                    [](CommandContext& c) {
                        auto channel = Channel(c);
                        return channel ? Nr3(c.state.sources[*channel].offsetV) : std::string();
                    },
                    [](CommandContext& c) {
                        auto channel = Channel(c);
                        auto volts = channel ? c.Number(0) : std::nullopt;
                        if (volts) c.state.sources[*channel].offsetV = *volts;
                    }});
}

}  // namespace kestrava::scopesim
