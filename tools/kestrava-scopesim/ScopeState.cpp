#include "tools/kestrava-scopesim/ScopeState.h"

#include <algorithm>
#include <cmath>

#include "tools/kestrava-scopesim/ScpiParser.h"

namespace kestrava::scopesim {
namespace {

// Bounds what a user source returns: no more than kMaxRecordPoints, a usable interval.
Waveform Bounded(Waveform wave) {
    if (wave.volts.size() > kMaxRecordPoints) wave.volts.resize(kMaxRecordPoints);
    if (!(wave.sampleIntervalS > 0) || !std::isfinite(wave.sampleIntervalS))
        wave.sampleIntervalS = 1e-9;
    return wave;
}

}  // namespace

std::string SourceName(int index) {
    if (IsChannel(index)) return "CH" + std::to_string(index + 1);
    if (IsReference(index)) return "REF" + std::to_string(index - 3);
    if (IsMath(index)) return "MATH" + std::to_string(index - 7);
    return "";
}

std::optional<int> SourceFromName(std::string_view name) {
    std::string upper = Upper(name);
    for (int i = 0; i < kSourceCount; ++i)
        if (upper == SourceName(i)) return i;
    return std::nullopt;
}

ScopeState::ScopeState() {
    Reset();
    // References hold a stored pattern of their own; channels and math get their first record.
    for (int i = 4; i < 8; ++i) Refresh(i);
    Acquire();
    acquisitions = 0;
}

void ScopeState::Reset() {
    for (SourceState& source : sources) {
        source.displayed = false;
        source.scaleVPerDiv = 0.1;
        source.offsetV = 0;
        source.zoomPosition = 50;
        source.zoomScale = 1;
        source.zoomVerticalScale = 1;
    }
    sources[0].displayed = true;
    header = true;
    verbose = true;
    sequenceMode = false;
    running_ = true;  // an instrument at rest runs continuously
    pending_ = false;
    dataSource = 0;
    dataStart = 1;
    dataStop = static_cast<long long>(kDefaultRecordLength);
    encoding = Encoding::kBinary;
    format = NumberFormat::kRI;
    msbFirst = true;
    integerWidth = 1;
    recordLength = static_cast<long long>(kDefaultRecordLength);
    horizontalPositionPercent = 50;
    delayTimeS = 0;
    fastFrame = false;
    measurementSource = 0;
    measurementType = "MAXIMUM";
    bitRate = std::min(1.5e9, maxBitRate);
    serialSource = 0;
    serdesPatterns.clear();
    controlBits.clear();
    cursorFunction = "OFF";
    cursorSource = 0;
    cursorMode = "INDEPENDENT";
    cursorState = false;
    cursorPositionsS = {0, 0};
    zoomMode = false;
    stored.clear();
}

void ScopeState::SetSource(int index, WaveformSource source) {
    sources[index].source = std::move(source);
    // The record on screen comes from the new source at once.
    Refresh(index);
    if (IsChannel(index) && !sources[index + 8].source) Refresh(index + 8);
}

void ScopeState::Refresh(int index) {
    const WaveformSource& fn = sources[index].source;
    if (fn) {
        sources[index].record = StoredRecord(Bounded(fn()));
    } else if (IsChannel(index)) {
        size_t points =
            static_cast<size_t>(std::clamp<long long>(recordLength, 1, kMaxRecordPoints));
        sources[index].record = StoredRecord::Nrz(points, 0x11 * (index + 1));
    } else if (IsReference(index)) {
        sources[index].record = StoredRecord::Nrz(kDefaultRecordLength, 0x20 + index);
    } else {
        sources[index].record = sources[index - 8].record;  // MATHn shows CHn
    }
}

void ScopeState::Acquire() {
    for (int i = 0; i < 4; ++i) Refresh(i);
    for (int i = 8; i < 12; ++i) Refresh(i);
    ++acquisitions;
}

void ScopeState::Complete() {
    pending_ = false;
    running_ = false;
    Acquire();
}

void ScopeState::Update() {
    if (pending_ && autoTrigger && !faults.count(Fault::kBusyForever) && Clock::now() >= doneAt_)
        Complete();
}

void ScopeState::Run() {
    Update();
    if (sequenceMode) {
        if (!pending_) {
            pending_ = true;
            doneAt_ = Clock::now() + busyTime;
        }
    }
    running_ = true;
}

void ScopeState::Stop() {
    Update();
    if (pending_) {
        pending_ = false;  // an aborted sequence leaves the previous record
    } else if (running_) {
        Acquire();  // a free-running instrument keeps its last acquisition
    }
    running_ = false;
}

void ScopeState::Force() {
    Update();
    if (pending_ && !faults.count(Fault::kBusyForever))
        Complete();
    else if (running_ && !pending_)
        Acquire();
}

bool ScopeState::Busy() {
    Update();
    return pending_ || faults.count(Fault::kBusyForever) > 0;
}

bool ScopeState::Running() {
    Update();
    return running_ || pending_;
}

std::optional<ScopeState::Clock::time_point> ScopeState::SequenceDoneAt() const {
    if (!pending_ || !autoTrigger || faults.count(Fault::kBusyForever)) return std::nullopt;
    return doneAt_;
}

OutputFormat ScopeState::Format() const {
    OutputFormat out;
    out.encoding = encoding;
    out.msbFirst = msbFirst;
    // Math waveforms exist only as floating point.
    out.format = IsMath(dataSource) ? NumberFormat::kFP : format;
    out.width = out.format == NumberFormat::kFP ? 4 : integerWidth;
    return out;
}

Scaling ScopeState::ScalingOf(int index) const {
    OutputFormat out = Format();
    if (out.format == NumberFormat::kFP || IsMath(index)) return Scaling{1, 0, 0};
    const SourceState& source = sources[index];
    Scaling scaling;
    scaling.ymult = source.scaleVPerDiv / (out.width == 1 ? 25.0 : 6400.0);
    scaling.yoff = out.format == NumberFormat::kRP ? (out.width == 1 ? 128.0 : 32768.0) : 0.0;
    scaling.yzero = source.offsetV;
    return scaling;
}

std::pair<size_t, size_t> ScopeState::TransferRange() const {
    long long first = std::min(dataStart, dataStop);
    long long last = std::max(dataStart, dataStop);
    long long points = static_cast<long long>(RecordPoints(dataSource));
    last = std::min(last, points);
    if (first > last) return {static_cast<size_t>(first), 0};
    return {static_cast<size_t>(first), static_cast<size_t>(last - first + 1)};
}

double ScopeState::TriggerPoint(int index) const {
    return std::round(horizontalPositionPercent / 100.0 * static_cast<double>(RecordPoints(index)));
}

double ScopeState::TimeOfPoint(int index, double zeroBasedPoint) const {
    return (zeroBasedPoint - TriggerPoint(index)) * sources[index].record.SampleIntervalS() +
           delayTimeS;
}

}  // namespace kestrava::scopesim
