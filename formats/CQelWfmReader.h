// Reader of ".wfm" waveform files, versions ":WFM#001" and ":WFM#003", in either byte
// order: the static file header, the reference header and the first record's samples
// converted to volts. Everything in the file is untrusted; every read is bounded by the
// file's real size, and a header that does not fit the file is refused.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/RecordDescription.h"
#include "formats/RecordSink.h"
#include "formats/WaveformFileReader.h"

namespace kestrava {

// Sample format codes (shared with WaveformHeader::sampleTypeCode).
inline constexpr std::int32_t kWfmInt16 = 0;
inline constexpr std::int32_t kWfmInt32 = 1;
inline constexpr std::int32_t kWfmUInt32 = 2;
inline constexpr std::int32_t kWfmFloat = 4;
inline constexpr std::int32_t kWfmDouble = 5;
inline constexpr std::int32_t kWfmInt8 = 7;

// Bytes of one sample of a format code; 0 for an unknown code.
int WfmSampleSize(std::int32_t formatCode);

struct WfmStaticFileHeader {
    std::uint16_t byteOrder = 0;
    std::array<char, 8> version{};
    std::uint8_t byteCountDigits = 0;
    std::int32_t bytesToEnd = 0;
    std::uint8_t bytesPerPoint = 0;
    std::int32_t curveBufferOffset = 0;
    std::int32_t horizontalZoomScale = 0;
    float horizontalZoomPosition = 0.0f;
    double verticalZoomScale = 0.0;
    float verticalZoomPosition = 0.0f;
    std::array<char, 32> label{};
    std::int32_t fastFramesMinusOne = 0;
    std::uint16_t waveformHeaderSize = 0;
};

// An explicit (vertical) dimension; dimension 1 holds the volts-per-raw-unit scale.
struct WfmExplicitDimension {
    double scale = 0.0;
    double offset = 0.0;
    std::int32_t size = 0;
    std::array<char, 20> units{};

    double extentMin = 0.0;
    double extentMax = 0.0;
    double resolution = 0.0;
    double referencePoint = 0.0;
    std::int32_t formatCode = 0;
    std::int32_t storageType = 0;
    std::int32_t nValue = 0;
    std::int32_t overRange = 0;
    std::int32_t underRange = 0;
    std::int32_t highRange = 0;
    std::int32_t lowRange = 0;
    double userScale = 0.0;
    std::array<char, 20> userUnits{};
    double userOffset = 0.0;
    std::uint64_t pointDensity = 0;
    double horizontalReference = 0.0;
    double triggerDelay = 0.0;
};

// An implicit (time) dimension; dimension 1 holds seconds per point.
struct WfmImplicitDimension {
    double scale = 0.0;
    double offset = 0.0;
    std::int32_t size = 0;
    std::array<char, 20> units{};
    double extentMin = 0.0;
    double extentMax = 0.0;
    double resolution = 0.0;
    double referencePoint = 0.0;
    std::int32_t spacing = 0;
    double userScale = 0.0;
    std::array<char, 20> userUnits{};
    double userOffset = 0.0;
    std::uint64_t pointDensity = 0;
    double horizontalReference = 0.0;
    double triggerDelay = 0.0;
};

struct WfmTimeBaseInfo {
    std::int32_t realPointSpacing = 0;
    std::int32_t sweep = 0;
    std::int32_t typeOfBase = 0;
};

struct WfmReferenceHeader {
    std::int32_t setType = 0;
    std::int32_t waveformCount = 0;
    std::uint64_t acquisitionCounter = 0;
    std::uint64_t transactionCounter = 0;
    std::int32_t slotId = 0;
    std::int32_t staticFlag = 0;
    std::int32_t updateSpecCount = 0;
    std::int32_t implicitDimRefCount = 0;
    std::int32_t explicitDimRefCount = 0;
    std::int32_t dataType = 0;
    std::uint64_t generalPurposeCounter = 0;
    std::int32_t accumulatedWaveformCount = 0;
    std::int32_t targetAccumulationCount = 0;
    std::int32_t curveRefCount = 0;
    std::int32_t requestedFastFrames = 0;
    std::int32_t acquiredFastFrames = 0;
    std::uint16_t summaryFrameType = 0;  // ":WFM#003" only
    std::int32_t pixmapDisplayFormat = 0;
    double pixmapMaxValue = 0.0;
    WfmExplicitDimension explicit1;
    WfmExplicitDimension explicit2;
    WfmImplicitDimension implicit1;
    WfmImplicitDimension implicit2;
    WfmTimeBaseInfo timeBase1;
    WfmTimeBaseInfo timeBase2;
    std::int32_t realPointOffset = 0;
    double triggerTimeOffsetPoints = 0.0;
    double fractionalSecond = 0.0;
    std::int32_t gmtSecond = 0;
    std::int32_t curveStateFlags = 0;
    std::int32_t checksumType = 0;
    std::uint16_t checksum = 0;
    std::uint32_t preChargeStart = 0;
    std::uint32_t dataStart = 0;  // bytes from the curve buffer
    std::uint32_t postChargeStart = 0;
    std::uint32_t postChargeStop = 0;
    std::uint32_t endOfCurveBuffer = 0;
};

class CQelWfmReader final : public WaveformFileReader {
  public:
    // What the format registry knows the format by.
    static constexpr std::string_view kExtension = ".wfm";
    static constexpr std::size_t kSignatureSize = 10;
    // True when the leading bytes are a byte-order mark and a version this reader reads.
    static bool Recognizes(std::span<const unsigned char> head);

    static constexpr std::size_t kStaticHeaderSize = 78;
    static constexpr std::size_t kReferenceHeaderSizeV1 = 742;
    static constexpr std::size_t kReferenceHeaderSizeV3 = 760;
    // Charge points that the implicit size counts in an ordinary file (16 before, 16 after).
    static constexpr std::int64_t kChargePoints = 32;

    CQelWfmReader() = default;
    ~CQelWfmReader() override;
    CQelWfmReader(const CQelWfmReader&) = delete;
    CQelWfmReader& operator=(const CQelWfmReader&) = delete;

    // 1 when the file was opened and imported, 0 otherwise. The flag is kept for the
    // caller; the two further values are not used by the import. With a sink the points
    // go to it and Points() stays empty; a failure may come after some blocks were taken.
    int LoadFile(const std::string& fileName, int flag, const char* versionText = nullptr,
                 const char* secondName = nullptr, RecordSink* sink = nullptr);
    int ReadWfmStaticFileHdrInfo();
    int ReadQelWfmReferenceHeader();
    int ImportQelWfm(RecordSink* sink = nullptr);

    // The registry's import: LoadFile with the flag 1.
    bool Import(const std::string& path, RecordSink* sink) override {
        return LoadFile(path, 1, nullptr, nullptr, sink) == 1;
    }
    const RecordDescription& Description() const override { return description_; }

    // Points of the last successful import (0 before one).
    std::int64_t PointCount() const { return pointCount_; }
    // Empty after a streamed import, which keeps no points.
    std::span<const double> Points() const override {
        if (!points_) return {};
        return {points_.get(), static_cast<std::size_t>(pointCount_)};
    }

    const WfmStaticFileHeader& StaticHeader() const { return static_; }
    const WfmReferenceHeader& ReferenceHeader() const { return reference_; }
    bool IsByteReversed() const { return byteReversed_; }
    bool IsVersion3() const { return version3_; }
    int CallerFlag() const { return callerFlag_; }
    double SampleIntervalS() const { return sampleIntervalS_; }
    double TriggerTimeS() const { return triggerTimeS_; }

  private:
    void CloseFile();
    // Leaves the reason with the import report; always 0, a failed step's result.
    int Refuse(const std::string& reason) const;
    // Reads up to size bytes at offset; returns how many arrived.
    std::size_t ReadAt(std::int64_t offset, void* buffer, std::size_t size) const;
    // Points of the first record: from the charge offsets when they fit the file and the
    // size field, else the implicit size less the 32 charge points.
    std::int64_t RecordPointCount(int bytesPerPoint) const;
    RecordDescription Describe(std::int64_t count) const;
    bool ConvertSamples(std::int64_t dataOffset, std::int64_t count, RecordSink* sink);

    int fd_ = -1;
    std::string path_;
    std::int64_t fileSize_ = 0;
    int callerFlag_ = 0;
    bool byteReversed_ = false;
    bool version3_ = false;
    WfmStaticFileHeader static_;
    WfmReferenceHeader reference_;
    double sampleIntervalS_ = 0.0;
    double triggerTimeS_ = 0.0;
    std::unique_ptr<double[]> points_;
    std::int64_t pointCount_ = 0;
    RecordDescription description_;
};

}  // namespace kestrava
