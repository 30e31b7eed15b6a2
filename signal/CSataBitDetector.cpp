#include "signal/CSataBitDetector.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <stdexcept>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/CAnalysisHost.h"
#include "base/Folders.h"
#include "base/Guard.h"
#include "base/HugePages.h"
#include "base/Log.h"
#include "base/MessageBox.h"
#include "base/Numbers.h"
#include "formats/ImportReport.h"
#include "formats/RecordDescription.h"
#include "instrument/AcquisitionMode.h"
#include "instrument/COscilloscope.h"
#include "instrument/Int8Set.h"
#include "instrument/SettingNumbers.h"
#include "instrument/Wdm.h"
#include "signal/BitLayout.h"
#include "signal/VoltConversion.h"

namespace kestrava {
namespace {

constexpr char kRisingEdge[] = "RisingEdge";
constexpr char kFallingEdge[] = "FallingEdge";
// Bit positions are 32-bit sample indexes.
constexpr std::size_t kMaxSamples = std::numeric_limits<std::int32_t>::max() - 8;

// The name after the last folder separator of either kind.
std::string FileNameOf(const std::string& path) {
    std::size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string Format(const char* format, long long value) {
    char text[128];
    std::snprintf(text, sizeof text, format, static_cast<int>(value));
    return text;
}

}  // namespace

CSataBitDetector::CSataBitDetector(const std::string& path, CAnalysisHost* host,
                                   BitRateSource bitRate)
    : host_(host), bitRate_(std::move(bitRate)) {
    Guard(logSource_, "CSataBitDetector", [&] { LoadFile(path); });
}

CSataBitDetector::~CSataBitDetector() {
    WriteLog(logSource_, "Start:~CSataBitDetector", kLogError);
    WriteLog(logSource_, "End:~CSataBitDetector", kLogError);
}

CSataBitDetector::CSataBitDetector(const RecordStream& stream, const std::string& sourceText,
                                   CAnalysisHost* host, BitRateSource bitRate)
    : host_(host), bitRate_(std::move(bitRate)) {
    Guard(logSource_, "CSataBitDetector", [&] { LoadRecord(stream, sourceText); });
}

void CSataBitDetector::LoadFile(const std::string& path) {
    LoadRecord(
        [&](RecordDescription& description, RecordSink& sink) {
            return WdmStreamWaveformFile(path, 1, ":WFM#001", nullptr, description, sink);
        },
        "FILE - " + FileNameOf(path), path);
}

void CSataBitDetector::LoadRecord(const RecordStream& stream, const std::string& sourceText,
                                  const std::string& path) {
    if (!host_) throw std::invalid_argument("no presentation");
    host_->ClearKeptSummary();

    RecordDescription description;
    VoltConversion conversion(record_, kMaxSamples);
    const std::int64_t count = stream(description, conversion);
    if (!conversion.Finish(count)) {
        record_ = WaveformRecord{};
        // Sample positions are 32-bit: a longer record is refused whole, never wrapped.
        if (conversion.RefusedCount() > 0)
            ImportReport::Refuse(path.empty() ? sourceText : path,
                                 FormatText("%lld samples: more than the %lld a record may hold",
                                            static_cast<long long>(conversion.RefusedCount()),
                                            static_cast<long long>(kMaxSamples)));
        return;
    }
    record_.voltagesOwned = true;
    // The file's time base, kept as an acquisition keeps the instrument's.
    record_.source.sampleIntervalS = description.sampleIntervalS;
    record_.source.firstTransferPointTimeS =
        description.firstPointTimeS + description.triggerOffsetS;
    statisticsLoaded_ = true;
    record_.sampleCount = static_cast<std::uint32_t>(count);
    origin_ = Origin::File;

    host_->DisplayMessage("----------------START-----------------", kShow);
    host_->DisplayMessage("Source: " + sourceText, kShowAndKeep);
    host_->DisplayMessage("BIT DETECTION IN PROGRESS....", kShow);
    DecoderStart(false);
}

CSataBitDetector::CSataBitDetector(int source, CAnalysisHost* host, BitRateSource bitRate)
    : host_(host), bitRate_(std::move(bitRate)) {
    Guard(logSource_, "CSataBitDetectorScope", [&] { LoadFromInstrument(source); });
}

int CSataBitDetector::ModuleSourceOf(int source) {
    if (source >= 4 && source <= 7) return source + 4;
    if (source >= 8 && source <= 11) return source - 4;
    return source;
}

void CSataBitDetector::LoadFromInstrument(int source) {
    if (!host_) throw std::invalid_argument("no presentation");
    host_->ClearKeptSummary();
    WdmForgetInUse();  // this acquisition tells only its own trouble
    // A stored reference is read as it is; a new acquisition would not change it.
    if (source >= 4 && source <= 7) SetAcquisitionMode(kAcquireHeldRecord);
    COscilloscope& scope = TheOscilloscope();
    const bool connected = scope.OpenConnection() != 0;
    scope.SelectDisplayChannel(source);
    if (!connected) return;

    if (scope.FastFrameOn()) {
        ShowMessageBox("Fast Frame is not supported");
        return;
    }
    host_->SetHorizontalPosition(static_cast<float>(scope.HorizontalPosition()));

    InitializeAndAcquire(ModuleSourceOf(source));
    // Without a record there is nothing to recover; the module may still hold the record
    // of an earlier acquisition, which is not this one.
    if (record_.sampleCount == 0) return;
    DecoderStart(true);
}

void CSataBitDetector::InitializeAndAcquire(int moduleSource) {
    if (!Guard(logSource_, "CSataBitDetector::InitializeAndAcquire",
               [&] { Acquire(moduleSource); }) &&
        host_)
        host_->DisplayMessage("ERROR IN BIT DETECTION....", kShowAndKeep);
}

void CSataBitDetector::Acquire(int moduleSource) {
    if (!host_) throw std::invalid_argument("no presentation");
    std::string name(WdmSourceName(moduleSource));
    if (name.empty()) name = "CH1";
    host_->DisplayMessage("Source: " + name, kShowAndKeep);
    host_->DisplayMessage("Waiting for SCOPE to TRIGGER....", kShow);
    if (!TheOscilloscope().SelectChannelAndAcquire(name)) {
        host_->DisplayMessage("WAVEFORM NOT TRIGGERED....", kShowAndKeep);
        return;
    }
    host_->DisplayMessage("WAVEFORM TRIGGERING COMPLETE", kShow);
    host_->DisplayMessage("BIT DETECTION IN PROGRESS....", kShow);

    const std::span<const float> volts = WdmGetWaveformData(moduleSource, 0.0, 100.0);
    // An instrument that stopped answering, went away or is held by another program ends
    // the acquisition here: the header and the statistics would only wait for it again.
    if (WdmGetHalt() != WdmHalt::kNone) return;
    record_.voltagesOwned = false;
    record_.borrowedVoltages = volts.data();
    record_.borrowedCount = volts.size();
    record_.source = WdmGetWaveformHeader(moduleSource);
    MeasureStatistics(moduleSource);
    ConvertToCodes(volts, moduleSource);
}

void CSataBitDetector::ConvertToCodes(std::span<const float> volts, int moduleSource) {
    const WaveformHeader& header = record_.source;
    double step = header.yMult * 256.0;
    if ((moduleSource >= 4 && moduleSource <= 7) || header.sampleTypeCode == 4) step /= 65535.0;
    const double codeOffset = header.yOff / 256.0;
    const double lengthPoints = 100.0 * (static_cast<double>(header.recordLengthPoints) * 0.01);
    if (volts.data() == nullptr) return;
    // The header's record length is the instrument's word; the codes never run past the
    // volts actually transferred.
    const std::size_t count = std::min<std::size_t>(
        {lengthPoints > 0.0 ? static_cast<std::size_t>(std::min(lengthPoints, 4.0e9)) : 0,
         volts.size(), kMaxSamples});
    record_.sampleCount = static_cast<std::uint32_t>(count);
    ResizeLarge(record_.codes, count);
    std::int64_t sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        record_.codes[i] = LowByteOfTruncated((volts[i] - header.yZeroV) / step + codeOffset);
        sum += record_.codes[i];
    }
    if (count == 0) return;
    origin_ = Origin::Instrument;
    record_.meanCode = static_cast<int>(sum / static_cast<std::int64_t>(count));
    double accumulated = 0.0;
    std::int64_t spreadCount = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int code = record_.codes[i];
        if (std::abs(code - record_.meanCode) <= 5) continue;
        accumulated += std::fabs(std::trunc(code - accumulated / static_cast<double>(count)));
        ++spreadCount;
    }
    record_.codeSpread =
        spreadCount == 0 ? 0
                         : static_cast<int>(accumulated / (1.5 * static_cast<double>(spreadCount)));
}

void CSataBitDetector::MeasureStatistics(int moduleSource) {
    Guard(logSource_, "MeasureStatistics", [&] {
        std::string name(WdmSourceName(moduleSource));
        if (name.empty()) name = "CH1";
        TheOscilloscope().MeasureMaxMinMean(name, record_.maximum, record_.minimum, record_.mean);
    });
}

void CSataBitDetector::DecoderStart(bool instrument) {
    if (!Guard(logSource_, "CSataBitDetector::DecoderStart", [&] { RecoverBits(instrument); }) &&
        host_)
        host_->DisplayMessage("ERROR IN BIT DETECTION....", kShowAndKeep);
}

void CSataBitDetector::Recalculate() {
    Guard(logSource_, "Recalculate", [&] {
        // The bit count goes with the arrays, so nothing reads bits that are gone.
        bits_ = BitStream{};
        levelsKnown_ = false;
        DecoderStart(true);
    });
}

void CSataBitDetector::RecoverBits(bool instrument) {
    if (!host_) throw std::invalid_argument("no presentation");
    const std::optional<double> bitRate = bitRate_ ? bitRate_() : std::nullopt;
    if (!bitRate) throw std::logic_error("no protocol definition");
    bits_.samplesPerBit = 1;
    const float bitRateBps = static_cast<float>(*bitRate);

    if (!instrument && !statisticsLoaded_) ComputeStatistics();
    statisticsLoaded_ = false;
    host_->SetSignalMaxMin(record_.maximum, record_.minimum);
    midHysteresisV_ = std::fabs(record_.mean * 0.1f);
    ChooseThreshold();
    if (!FindEdgesAndLevels()) return;

    // The module's own lists, timed as the module times them: no copy per edge.
    const EdgeLists edges{WdmGetRisingEdgePositions(kRisingEdge),
                          WdmGetFallingEdgePositions(kFallingEdge), WdmGetEdgeTimeBase()};
    const bool laidOut = LayOutBits(edges, bitRateBps, record_.sampleCount, bits_);
    const auto edgeCount =
        static_cast<std::int64_t>(edges.risingPositions.size() + edges.fallingPositions.size());
    // The bits are all the decode needs of the crossings; their lists, a double per sample
    // in a record that changes level at every sample, go before the decode starts.
    WdmClearEdgeSearches();
    // An empty list alone reads like a clean link; say why nothing was decoded.
    if (edgeCount == 0)
        host_->DisplayMessage(
            FormatText("No edge crossed the thresholds (reference level %g V, "
                       "hysteresis %g V)",
                       static_cast<double>(thresholdV_), static_cast<double>(hysteresisV_)),
            kShowAndKeep);
    if (!laidOut) return;

    const std::string logFolder = Folders::DataFolder("Log");
    if (Folders::Exists(logFolder)) WriteBitDumps(bits_, logFolder);
    ReportCompletion(edgeCount);
}

void CSataBitDetector::ComputeStatistics() {
    std::span<const float> volts = record_.Voltages();
    if (volts.empty()) return;
    LaneStatistics statistics(volts[0]);
    statistics.AddAll(volts);
    statistics.StoreInto(record_, volts.size());
}

void CSataBitDetector::ChooseThreshold() {
    if (host_->GetIsAuto50Percent() && AcquisitionMode() != kAcquireHeldRecord)
        host_->SetIsAbsRefLevel(0);
    if (!host_->GetIsAbsRefLevel()) {
        const int percent = SettingInteger(host_->GetRefLevelP());
        const int hysteresisPercent = SettingInteger(host_->GetHysterisisP());
        const float span = record_.maximum - record_.minimum;
        thresholdV_ = static_cast<float>(percent * 0.01 * span + record_.minimum);
        hysteresisV_ = static_cast<float>(hysteresisPercent * 0.01 * span);
    } else {
        thresholdV_ = static_cast<float>(SettingDouble(host_->GetRefLevelAbs()));
        hysteresisV_ = static_cast<float>(SettingDouble(host_->GetHysterisisAbs()));
    }
}

std::int8_t CSataBitDetector::Level(std::size_t i) const {
    if (record_.HasInt8Samples()) {
        const std::int8_t x = record_.Int8Samples()[i];
        return static_cast<std::int8_t>(int8Above_.Contains(x) - int8Below_.Contains(x));
    }
    const float v = record_.Voltages()[i];
    return static_cast<std::int8_t>((v > thresholdV_) - (v < thresholdV_));
}

bool CSataBitDetector::FindEdgesAndLevels() {
    if (record_.HasInt8Samples()) {
        const float threshold = thresholdV_;
        int8Above_ = Int8Set::WhereVolts(record_.int8Volts, [=](float v) { return v > threshold; });
        int8Below_ = Int8Set::WhereVolts(record_.int8Volts, [=](float v) { return v < threshold; });
    }
    levelsKnown_ = true;
    return FindEdges();
}

bool CSataBitDetector::FindEdges() {
    // A rerun replaces the earlier searches, so that its thresholds are the ones answered.
    WdmClearEdgeSearches();
    if (!WdmAddEdgeSearch(thresholdV_, hysteresisV_, kEdgeRising, kRisingEdge) ||
        !WdmAddEdgeSearch(thresholdV_, hysteresisV_, kEdgeFalling, kFallingEdge))
        return false;
    switch (origin_) {
        case Origin::File:
            // A file's record is searched in its own volts, also on a rerun.
            if (record_.HasInt8Samples())
                return WdmFindEdgesInInt8Data(record_.Int8Samples(), record_.int8Volts);
            return WdmFindEdgesInData(record_.Voltages());
        case Origin::Instrument:
            // An acquisition is searched in the module's transferred record.
            return WdmFindEdgesInAcquiredData();
        case Origin::None:
            break;
    }
    return false;
}

void CSataBitDetector::ReportCompletion(std::int64_t edges) {
    host_->DisplayMessage(Format("Number of Edges: %i ", edges), kShow);
    host_->DisplayMessage("BIT DETECTION COMPLETE....", kShow);
    const int estimateS = DecodeTimeEstimateS(edges);
    if (estimateS > 45) {
        const bool syncPattern = host_->GetSyncPatternEnabled() && !host_->GetSyncPattern().empty();
        host_->DisplayMessage(Format("APPROXIMATE TIME REMAINING FOR DECODE COMPLETION: %i seconds",
                                     syncPattern ? estimateS * 2 / 3 : estimateS),
                              kShow);
    }
}

}  // namespace kestrava
