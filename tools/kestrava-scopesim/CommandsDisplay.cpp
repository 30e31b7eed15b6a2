// Horizontal settings, measurements, cursors and zoom.
#include <algorithm>
#include <cmath>

#include "tools/kestrava-scopesim/CommandTable.h"

namespace kestrava::scopesim {
namespace {

constexpr const char* kMeasurementNames[] = {"MAXIMUM",   "MINIMUM", "MEAN", "PK2PK",
                                             "AMPLITUDE", "RMS",     "HIGH", "LOW"};

// Over the whole record in order, a piece at a time: a long record is never copied whole.
double Measure(const StoredRecord& record, const std::string& type) {
    if (record.Size() == 0) return NAN;
    float low = record.At(0), high = low;
    double sum = 0, squares = 0;
    std::vector<float> piece(std::min<size_t>(record.Size(), 1 << 16));
    for (size_t first = 0; first < record.Size(); first += piece.size()) {
        const size_t count = std::min(piece.size(), record.Size() - first);
        record.Read(first, count, piece.data());
        for (size_t i = 0; i < count; ++i) {
            const float v = piece[i];
            low = std::min(low, v);
            high = std::max(high, v);
            sum += v;
            squares += static_cast<double>(v) * v;
        }
    }
    if (type == "MAXIMUM" || type == "HIGH") return high;
    if (type == "MINIMUM" || type == "LOW") return low;
    if (type == "PK2PK" || type == "AMPLITUDE") return static_cast<double>(high) - low;
    double n = static_cast<double>(record.Size());
    return type == "MEAN" ? sum / n : std::sqrt(squares / n);
}

// A number setting of the source named by the header's {src} keyword.
CommandSpec ZoomSetting(const char* pattern, double SourceState::*field) {
    return {pattern,
            [field](CommandContext& c) { return Nr3(c.state.sources[c.sources[0]].*field); },
            [field](CommandContext& c) {
                if (auto value = c.Number(0)) c.state.sources[c.sources[0]].*field = *value;
            }};
}

CommandSpec Position(const char* pattern) {
    return {pattern, [](CommandContext& c) { return Nr3(c.state.horizontalPositionPercent); },
            [](CommandContext& c) {
                if (auto percent = c.Number(0))
                    c.state.horizontalPositionPercent = std::clamp(*percent, 0.0, 100.0);
            }};
}

CommandSpec Scale(const char* pattern) {
    return {pattern,
            [](CommandContext& c) {
                const ScopeState& s = c.state;
                return Nr3(static_cast<double>(s.RecordPoints(0)) *
                           s.sources[0].record.SampleIntervalS() / 10.0);
            },
            nullptr};
}

}  // namespace

void AddDisplayCommands(CommandList& list) {
    list.push_back(
        {"HORizontal:RECOrdlength", [](CommandContext& c) { return Nr1(c.state.recordLength); },
         [](CommandContext& c) {
             if (auto points = c.Integer(0))
                 c.state.recordLength = std::clamp<long long>(*points, 1, kMaxRecordPoints);
         }});
    list.push_back(Position("HORizontal:MAIn:POSition"));
    list.push_back(Position("HORizontal:POSition"));
    list.push_back(Scale("HORizontal:MAIn:SCAle"));
    list.push_back(Scale("HORizontal:SCAle"));
    list.push_back({"HORizontal:DELay:TIMe",
                    [](CommandContext& c) { return Nr3(c.state.delayTimeS); },
                    [](CommandContext& c) {
                        if (auto seconds = c.Number(0)) c.state.delayTimeS = *seconds;
                    }});
    list.push_back({"HORizontal:FASTframe:STATE",
                    [](CommandContext& c) { return Bool(c.state.fastFrame); },
                    [](CommandContext& c) {
                        if (auto on = c.Boolean(0)) c.state.fastFrame = *on;
                    }});

    list.push_back({"MEASUrement:IMMed:SOUrce*",
                    [](CommandContext& c) { return SourceName(c.state.measurementSource); },
                    [](CommandContext& c) {
                        if (auto source = c.Source(0)) c.state.measurementSource = *source;
                    }});
    list.push_back(
        {"MEASUrement:IMMed:TYPe", [](CommandContext& c) { return c.state.measurementType; },
         [](CommandContext& c) {
             if (auto choice = c.Choice(
                     0, {"MAXimum", "MINImum", "MEAN", "PK2pk", "AMPlitude", "RMS", "HIGH", "LOW"}))
                 c.state.measurementType = kMeasurementNames[*choice];
         }});
    list.push_back({"MEASUrement:IMMed:VALue",
                    [](CommandContext& c) {
                        ScopeState& s = c.state;
                        s.Update();
                        return Nr3(
                            Measure(s.sources[s.measurementSource].record, s.measurementType));
                    },
                    nullptr});
    list.push_back(
        {"MEASUrement:IMMed:UNIts", [](CommandContext&) { return Quoted("V"); }, nullptr});
    list.push_back(Stored("MEASUrement:IMMed:REFLevel:METHod", "PERCENT"));
    list.push_back(Stored("MEASUrement:MEAS#:METHod", "AUTO"));

    list.push_back(
        {"CURSor:FUNCtion", [](CommandContext& c) { return c.state.cursorFunction; },
         [](CommandContext& c) {
             static constexpr const char* kNames[] = {"OFF", "HBARS", "VBARS", "SCREEN",
                                                      "WAVEFORM"};
             if (auto choice = c.Choice(0, {"OFF", "HBArs", "VBArs", "SCREEN", "WAVEform"}))
                 c.state.cursorFunction = kNames[*choice];
         }});
    list.push_back({"CURSor:SOUrce*",
                    [](CommandContext& c) { return SourceName(c.state.cursorSource); },
                    [](CommandContext& c) {
                        if (auto source = c.Source(0)) c.state.cursorSource = *source;
                    }});
    list.push_back({"CURSor:MODe", [](CommandContext& c) { return c.state.cursorMode; },
                    [](CommandContext& c) {
                        if (auto choice = c.Choice(0, {"INDependent", "TRACk"}))
                            c.state.cursorMode = *choice == 0 ? "INDEPENDENT" : "TRACK";
                    }});
    list.push_back({"CURSor:STATE", [](CommandContext& c) { return Bool(c.state.cursorState); },
                    [](CommandContext& c) {
                        if (auto on = c.Boolean(0)) c.state.cursorState = *on;
                    }});
    list.push_back({"CURSor:VBArs", nullptr, [](CommandContext& c) {
                        // Snap puts the two bars on the first and last point of the data range.
                        if (!c.Choice(0, {"SNAp"})) return;
                        ScopeState& s = c.state;
                        s.cursorPositionsS[0] =
                            s.TimeOfPoint(s.cursorSource, static_cast<double>(s.dataStart - 1));
                        s.cursorPositionsS[1] =
                            s.TimeOfPoint(s.cursorSource, static_cast<double>(s.dataStop - 1));
                    }});
    list.push_back({"CURSor:VBArs:POSition#",
                    [](CommandContext& c) {
                        int bar = c.numbers[0];
                        if (bar < 1 || bar > 2) {
                            c.Refuse("no bar " + std::to_string(bar));
                            return std::string();
                        }
                        return Nr3(c.state.cursorPositionsS[bar - 1]);
                    },
                    [](CommandContext& c) {
                        int bar = c.numbers[0];
                        if (bar < 1 || bar > 2) {
                            c.Refuse("no bar " + std::to_string(bar));
                        } else if (auto seconds = c.Number(0)) {
                            c.state.cursorPositionsS[bar - 1] = *seconds;
                        }
                    }});

    auto zoomMode =
        CommandSpec{"ZOOm:MODe", [](CommandContext& c) { return Bool(c.state.zoomMode); },
                    [](CommandContext& c) {
                        if (auto on = c.Boolean(0)) c.state.zoomMode = *on;
                    }};
    list.push_back(zoomMode);
    zoomMode.pattern = "ZOOm:STATE";
    list.push_back(zoomMode);
    list.push_back(ZoomSetting("ZOOm:{src}:HORizontal:POSition", &SourceState::zoomPosition));
    list.push_back(ZoomSetting("ZOOm:{src}:HORizontal:SCAle", &SourceState::zoomScale));
    list.push_back(ZoomSetting("ZOOm:{src}:VERTical:SCAle", &SourceState::zoomVerticalScale));
}

}  // namespace kestrava::scopesim
