// Everything the simulated instrument remembers: its sources and their records, the
// acquisition system, the waveform output format, and the settings that the command
// handlers store and report. Not thread-safe; the simulator serialises access.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "tools/kestrava-scopesim/Faults.h"
#include "tools/kestrava-scopesim/StoredRecord.h"
#include "tools/kestrava-scopesim/Waveform.h"

namespace kestrava::scopesim {

// Source indexes: 0-3 CH1-CH4, 4-7 REF1-REF4, 8-11 MATH1-MATH4.
inline constexpr int kSourceCount = 12;
std::string SourceName(int index);
std::optional<int> SourceFromName(std::string_view name);  // any case: "CH1", "Ref2", "math3"
inline bool IsChannel(int index) {
    return index >= 0 && index < 4;
}
inline bool IsReference(int index) {
    return index >= 4 && index < 8;
}
inline bool IsMath(int index) {
    return index >= 8 && index < 12;
}

// Bounds on what a source may hand over, so a faulty source cannot exhaust memory. The
// built-in patterns hold one period whatever the length; a CURVe? reply holds 1, 2 or 4
// bytes a point.
inline constexpr size_t kMaxRecordPoints = 500'000'000;
inline constexpr size_t kDefaultRecordLength = 20000;

enum class Encoding { kBinary, kAscii };
enum class NumberFormat { kRI, kRP, kFP };

struct OutputFormat {
    Encoding encoding = Encoding::kBinary;
    NumberFormat format = NumberFormat::kRI;
    bool msbFirst = true;
    int width = 1;
};

// volts = (raw - yoff) * ymult + yzero
struct Scaling {
    double ymult = 1;
    double yoff = 0;
    double yzero = 0;
};

struct SourceState {
    bool displayed = false;
    double scaleVPerDiv = 0.1;
    double offsetV = 0;
    double zoomPosition = 50;
    double zoomScale = 1;
    double zoomVerticalScale = 1;
    StoredRecord record;
    WaveformSource source;  // set by the user; empty for the built-in pattern
};

class ScopeState {
  public:
    using Clock = std::chrono::steady_clock;
    ScopeState();

    // *RST: every setting back to its default; records, sources and configuration stay.
    void Reset();

    // Acquisition system. Sequences complete lazily, when anything asks.
    void Update();
    void Run();
    void Stop();
    void Force();
    bool Busy();
    bool Running();
    bool SequencePending() const { return pending_; }
    std::optional<Clock::time_point> SequenceDoneAt() const;
    // Takes a new record on every channel and math source now.
    void Acquire();
    void SetSource(int index, WaveformSource source);

    // Output of the current data source.
    OutputFormat Format() const;
    Scaling ScalingOf(int index) const;
    size_t RecordPoints(int index) const { return sources[index].record.Size(); }
    // First point (1-based) and point count of DATa:STARt..DATa:STOP within the record.
    std::pair<size_t, size_t> TransferRange() const;
    double TriggerPoint(int index) const;  // PT_OFF, in points
    double TimeOfPoint(int index, double zeroBasedPoint) const;

    std::array<SourceState, kSourceCount> sources;

    // Configuration, kept by *RST.
    std::string identity = "KESTRAVA-SIM,QVM71254C,SIM000001,CF:91.1CT FV:1.0.0";
    std::chrono::milliseconds busyTime{100};
    bool autoTrigger = true;
    double maxBitRate = 6.25e9;
    std::set<Fault> faults;
    bool silent = false;  // "silent-from-curve" met its CURVE?
    uint64_t acquisitions = 0;

    // Settings, reset by *RST.
    bool header = true;
    bool verbose = true;
    bool sequenceMode = false;  // ACQuire:STOPAfter SEQuence
    int dataSource = 0;
    long long dataStart = 1;
    long long dataStop = static_cast<long long>(kDefaultRecordLength);
    Encoding encoding = Encoding::kBinary;
    NumberFormat format = NumberFormat::kRI;
    bool msbFirst = true;
    int integerWidth = 1;
    long long recordLength = static_cast<long long>(kDefaultRecordLength);
    double horizontalPositionPercent = 50;
    double delayTimeS = 0;
    bool fastFrame = false;
    int measurementSource = 0;
    std::string measurementType = "MAXIMUM";
    double bitRate = 1.5e9;
    int serialSource = 0;
    std::map<int, std::string> serdesPatterns;
    std::map<int, int> controlBits;
    std::string cursorFunction = "OFF";
    int cursorSource = 0;
    std::string cursorMode = "INDEPENDENT";
    bool cursorState = false;
    std::array<double, 2> cursorPositionsS{0, 0};
    bool zoomMode = false;
    // Settings that are only stored and reported, by canonical header.
    std::map<std::string, std::string> stored;

    // Command errors since *CLS, and whether *ESR? has a command error to report.
    std::vector<std::string> errors;
    bool commandErrorPending = false;

  private:
    void Complete();
    void Refresh(int index);
    bool running_ = false;
    bool pending_ = false;
    Clock::time_point doneAt_{};
};

}  // namespace kestrava::scopesim
