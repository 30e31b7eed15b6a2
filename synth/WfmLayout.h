// Field offsets of the waveform file (":WFM#001" and ":WFM#003"). Reference header
// offsets are given within the block for ":WFM#001"; WfmLayout::At maps them to
// ":WFM#003", which inserts a 2-byte summary frame type at 76 and widens each of the
// four point-density fields from 4 to 8 bytes.
#pragma once

#include <cstddef>

namespace kestrava::synth::wfm {

// Static file header, file offsets.
inline constexpr std::size_t kByteOrder = 0;                // u16 0x0F0F
inline constexpr std::size_t kVersion = 2;                  // 8 characters
inline constexpr std::size_t kDigitsInByteCount = 10;       // u8
inline constexpr std::size_t kBytesToEof = 11;              // i32, counted from offset 15
inline constexpr std::size_t kBytesPerPoint = 15;           // u8
inline constexpr std::size_t kCurveBufferOffset = 16;       // i32
inline constexpr std::size_t kHorizontalZoomScale = 20;     // i32
inline constexpr std::size_t kHorizontalZoomPosition = 24;  // f32
inline constexpr std::size_t kVerticalZoomScale = 28;       // f64
inline constexpr std::size_t kVerticalZoomPosition = 36;    // f32
inline constexpr std::size_t kLabel = 40;                   // 32 characters
inline constexpr std::size_t kFramesMinusOne = 72;          // u32
inline constexpr std::size_t kHeaderSize = 76;              // u16
inline constexpr std::size_t kStaticHeaderSize = 78;

inline constexpr std::size_t kReferenceSizeV1 = 742;
inline constexpr std::size_t kReferenceSizeV3 = 760;

// Reference header, offsets within the block in the ":WFM#001" layout.
inline constexpr std::size_t kSetType = 0;
inline constexpr std::size_t kWaveformCount = 4;
inline constexpr std::size_t kUpdateSpecCount = 32;
inline constexpr std::size_t kImplicitDimRefCount = 36;
inline constexpr std::size_t kExplicitDimRefCount = 40;
inline constexpr std::size_t kDataType = 44;
inline constexpr std::size_t kAccumulatedCount = 56;
inline constexpr std::size_t kTargetAccumulation = 60;
inline constexpr std::size_t kCurveRefCount = 64;
inline constexpr std::size_t kRequestedFastFrames = 68;
inline constexpr std::size_t kAcquiredFastFrames = 72;
inline constexpr std::size_t kSummaryFrameTypeV3 = 76;  // u16, ":WFM#003" only, unshifted
inline constexpr std::size_t kPixmapDisplayFormat = 76;

// Explicit dimension 1 (volts) and 2; implicit dimension 1 (time) and 2 share one shape.
inline constexpr std::size_t kExplicitDim1 = 88;
inline constexpr std::size_t kExplicitDim2 = 244;
// Offsets within an explicit dimension, relative to its scale field.
inline constexpr std::size_t kDimScale = 0;            // f64
inline constexpr std::size_t kDimOffset = 8;           // f64
inline constexpr std::size_t kDimSize = 16;            // u32
inline constexpr std::size_t kDimUnits = 20;           // 20 characters
inline constexpr std::size_t kDimExtentMin = 40;       // f64
inline constexpr std::size_t kDimExtentMax = 48;       // f64
inline constexpr std::size_t kDimResolution = 56;      // f64
inline constexpr std::size_t kDimRefPoint = 64;        // f64
inline constexpr std::size_t kExpFormat = 72;          // i32
inline constexpr std::size_t kExpStorageType = 76;     // i32
inline constexpr std::size_t kExpNValue = 80;          // i32
inline constexpr std::size_t kExpOverRange = 84;       // i32
inline constexpr std::size_t kExpUnderRange = 88;      // i32
inline constexpr std::size_t kExpHighRange = 92;       // i32
inline constexpr std::size_t kExpLowRange = 96;        // i32
inline constexpr std::size_t kExpUserScale = 100;      // f64
inline constexpr std::size_t kExpUserUnits = 108;      // 20 characters
inline constexpr std::size_t kExpUserOffset = 128;     // f64
inline constexpr std::size_t kExpPointDensity = 136;   // u32 (u64 in ":WFM#003")
inline constexpr std::size_t kExpHorizontalRef = 140;  // f64
inline constexpr std::size_t kExpTriggerDelay = 148;   // f64

inline constexpr std::size_t kImplicitDim1 = 400;
inline constexpr std::size_t kImplicitDim2 = 532;
// Within an implicit dimension, after the shared scale ... reference point fields.
inline constexpr std::size_t kImpSpacing = 72;         // u32
inline constexpr std::size_t kImpUserScale = 76;       // f64
inline constexpr std::size_t kImpUserUnits = 84;       // 20 characters
inline constexpr std::size_t kImpUserOffset = 104;     // f64
inline constexpr std::size_t kImpPointDensity = 112;   // u32 (u64 in ":WFM#003")
inline constexpr std::size_t kImpHorizontalRef = 116;  // f64
inline constexpr std::size_t kImpTriggerDelay = 124;   // f64

inline constexpr std::size_t kTimeBase1 = 664;  // real point spacing, sweep, type: u32 each
inline constexpr std::size_t kTimeBase2 = 676;
inline constexpr std::size_t kRealPointOffset = 688;    // u32
inline constexpr std::size_t kTriggerTimeOffset = 692;  // f64, in points
inline constexpr std::size_t kFractionalSecond = 700;   // f64
inline constexpr std::size_t kGmtSecond = 708;          // i32
inline constexpr std::size_t kCurveStateFlags = 712;    // u32
inline constexpr std::size_t kChecksumType = 716;       // u32
inline constexpr std::size_t kChecksum = 720;           // u16
inline constexpr std::size_t kPrechargeStart = 722;     // u32, bytes from the curve buffer
inline constexpr std::size_t kDataStart = 726;
inline constexpr std::size_t kPostchargeStart = 730;
inline constexpr std::size_t kPostchargeStop = 734;
inline constexpr std::size_t kEndOfCurveBuffer = 738;

// The four point-density fields, in the ":WFM#001" layout.
inline constexpr std::size_t kPointDensities[4] = {
    kExplicitDim1 + kExpPointDensity, kExplicitDim2 + kExpPointDensity,
    kImplicitDim1 + kImpPointDensity, kImplicitDim2 + kImpPointDensity};

inline constexpr std::size_t kChargePoints = 16;  // pre-charge and post-charge points each

// The file offset of a reference header field given in the ":WFM#001" layout.
constexpr std::size_t At(std::size_t v1Offset, int version) {
    std::size_t offset = kStaticHeaderSize + v1Offset;
    if (version != 3) return offset;
    if (v1Offset >= kSummaryFrameTypeV3) offset += 2;
    for (std::size_t density : kPointDensities)
        if (v1Offset > density) offset += 4;
    return offset;
}

}  // namespace kestrava::synth::wfm
