// The waveform data module's one state, shared by the module's source files; not for
// use outside instrument/.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "formats/WaveformFileReader.h"
#include "instrument/EdgeSearchEngine.h"
#include "instrument/Wdm.h"

namespace kestrava::wdm {

// What the edge searches need of the last loaded file.
struct LoadedFile {
    std::int64_t pointCount = 0;
    EdgeTimeBase timeBase;
};

struct ModuleState {
    bool started = false;
    int errorCode = 0;
    // The reader of the last file loaded, which keeps that file's volts.
    std::unique_ptr<WaveformFileReader> reader;
    std::unique_ptr<EdgeSearchEngine> engine;
    LoadedFile file;
    // The one VISA session to the instrument, shared with COscilloscope; 0 when none.
    std::uint32_t session = 0;
    // The last transfer: its volts, the percentages asked for, its source and the
    // zero-based first point. transferState is kTransferNone or kTransferFloatData.
    std::vector<float> data;
    double startPercent = 0.0;
    double stopPercent = 0.0;
    int sourceIndex = 0;
    std::int64_t firstPoint = 0;
    int transferState = 0;
    // The header read for the transferred source after the transfer: the time base the
    // edge searches over that record use.
    WaveformHeader header;
    bool headerCached = false;
    // What stopped the last transfer at the instrument, and the user's words for it.
    WdmHalt halt = WdmHalt::kNone;
    std::string problem;
};

inline constexpr int kTransferNone = 0;
inline constexpr int kTransferFloatData = 3;

// Timeouts survive a module restart: they are the user's (or a test's) setting.
WdmTimeouts& Timeouts();
// Drops the last transfer's volts, its header and the edge searches.
void ReleaseTransferBuffers(ModuleState& state);

// The module state, started on first use.
ModuleState& State();
// The state without starting the module.
ModuleState& RawState();
void Start(ModuleState& state);

}  // namespace kestrava::wdm
