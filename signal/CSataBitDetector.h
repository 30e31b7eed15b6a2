// The bit detector: loads one waveform into its record and recovers the bit stream from
// it (threshold with hysteresis, edge search, bits laid out between the edges at the
// protocol bit rate). All work happens in the constructor; Recalculate repeats the
// recovery with the presentation's current thresholds.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "formats/RecordDescription.h"
#include "formats/RecordSink.h"
#include "instrument/EdgeSearchEngine.h"
#include "instrument/Int8Set.h"
#include "signal/BitStream.h"
#include "signal/WaveformRecord.h"

namespace kestrava {

class CAnalysisHost;

// The protocol bit rate in bits per second, asked for at the start of every recovery: the
// caller's definition may change between a load and a recalculation. Empty when there is
// no definition, which fails the recovery.
using BitRateSource = std::function<std::optional<double>()>;

// Streams a record into the sink and fills in its description: the point count, 0 when
// the record could not be read whole.
using RecordStream = std::function<std::int64_t(RecordDescription&, RecordSink&)>;

class CSataBitDetector {
  public:
    // Loads a waveform file through the waveform data module and recovers its bits.
    CSataBitDetector(const std::string& path, CAnalysisHost* host, BitRateSource bitRate);
    // Loads a record from elsewhere (samples a caller holds in memory) as a file is loaded;
    // the status names its source "Source: " + sourceText.
    CSataBitDetector(const RecordStream& stream, const std::string& sourceText, CAnalysisHost* host,
                     BitRateSource bitRate);
    // Acquires source 0-11 (CH1-CH4, REF1-REF4, MATH1-MATH4) from the instrument and
    // recovers its bits.
    CSataBitDetector(int source, CAnalysisHost* host, BitRateSource bitRate);
    ~CSataBitDetector();
    CSataBitDetector(const CSataBitDetector&) = delete;
    CSataBitDetector& operator=(const CSataBitDetector&) = delete;

    // Runs bit recovery. The instrument flag keeps the statistics of an earlier run or of
    // the instrument's measurement instead of computing them from the volts.
    void DecoderStart(bool instrument);
    // Frees the levels and bits and runs the recovery again, statistics kept.
    void Recalculate();

    // Instrument acquisition of a source in the waveform data module's numbering, with the
    // conversion of its volts to codes.
    void InitializeAndAcquire(int moduleSource);
    // The instrument's maximum, minimum and mean of the source.
    void MeasureStatistics(int moduleSource);
    // The module's numbering of a source of ours: references and math swap places.
    static int ModuleSourceOf(int source);

    const BitStream& Bits() const { return bits_; }
    // Samples with a level: all of them once a run has chosen its thresholds, else none.
    std::size_t LevelCount() const { return levelsKnown_ ? record_.VoltCount() : 0; }
    // Sample i < LevelCount() against the threshold: +1 above, -1 below, 0 on it. Worked
    // out when asked, as only the graph's visible columns need them.
    std::int8_t Level(std::size_t i) const;
    const WaveformRecord& Record() const { return record_; }
    std::uint32_t SampleCount() const { return record_.sampleCount; }
    // The presentation empties the graph this way; the detector then counts as not valid.
    void ClearSampleCount() { record_.sampleCount = 0; }
    // Threshold and hysteresis (volts) of the last run.
    float Threshold() const { return thresholdV_; }
    float Hysteresis() const { return hysteresisV_; }

  private:
    // Where the volts came from decides where a run searches for edges.
    enum class Origin { None, File, Instrument };

    void LoadFile(const std::string& path);
    // path names the file in a refusal's reason; empty for a record from memory.
    void LoadRecord(const RecordStream& stream, const std::string& sourceText,
                    const std::string& path = {});
    void LoadFromInstrument(int source);
    void Acquire(int moduleSource);
    void ConvertToCodes(std::span<const float> volts, int moduleSource);
    void RecoverBits(bool instrument);
    void ComputeStatistics();
    void ChooseThreshold();
    // The thresholds of the levels, then the edge search.
    bool FindEdgesAndLevels();
    bool FindEdges();
    void ReportCompletion(std::int64_t edges);

    std::string logSource_ = "CSataBitDetector";
    CAnalysisHost* host_ = nullptr;
    BitRateSource bitRate_;
    Origin origin_ = Origin::None;
    WaveformRecord record_;
    BitStream bits_;
    float thresholdV_ = 0.0f;
    float hysteresisV_ = 0.0f;
    float midHysteresisV_ = 0.0f;  // for the mid-level edge kind, unused by this recovery
    // Set when the file load has already taken the statistics in its conversion pass.
    bool statisticsLoaded_ = false;
    bool levelsKnown_ = false;  // a run has set the thresholds the levels are read with
    // An 8-bit file's values above and below the threshold.
    Int8Set int8Above_;
    Int8Set int8Below_;
};

}  // namespace kestrava
