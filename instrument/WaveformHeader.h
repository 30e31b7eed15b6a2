// The description of one instrument source as the waveform data module reports it:
// sample type, record length, transfer range, time base, vertical scaling and units.
// Copied whole into the waveform record of an instrument acquisition.
#pragma once

#include <array>
#include <cstdint>

namespace kestrava {

struct WaveformHeader {
    std::int32_t sampleTypeCode = 0;  // the sample format codes of the waveform file reader
    std::int32_t reserved1 = 0;
    std::int64_t reserved2 = 0;
    std::int64_t recordLengthPoints = 0;
    std::array<std::int64_t, 2> reserved3{};
    std::int64_t transferRangePoints = 0;
    double reserved4 = 0.0;
    double sampleIntervalS = 0.0;           // XINCR
    double triggerPointOffsetPoints = 0.0;  // PT_OFF
    double firstTransferPointTimeS = 0.0;   // XZERO
    double firstPointTimeToTriggerS = 0.0;  // -(XINCR * PT_OFF)
    double yMult = 0.0;                     // volts per digitising level
    double yZeroV = 0.0;
    double yOff = 0.0;  // digitising levels
    double levelToVoltScale = 0.0;
    double levelToVoltOffset = 0.0;
    std::array<char, 256> horizontalUnit{};
    std::array<char, 256> verticalUnit{};
};

}  // namespace kestrava
