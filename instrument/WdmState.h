// The waveform data module's one state, shared by the module's source files; not for
// use outside instrument/.
#pragma once

#include <cstdint>
#include <memory>

#include "instrument/CQelWfmReader.h"
#include "instrument/EdgeSearchEngine.h"

namespace kestrava::wdm {

// What the edge searches need of the last loaded file.
struct LoadedFile {
    std::int64_t pointCount = 0;
    EdgeTimeBase timeBase;
};

struct ModuleState {
    bool started = false;
    int errorCode = 0;
    std::unique_ptr<CQelWfmReader> reader;
    std::unique_ptr<EdgeSearchEngine> engine;
    LoadedFile file;
    // The VISA session and the transfer state (last float array, percentages, source,
    // first point) belong here as well, next to the file they share the engine with.
};

// The module state, started on first use.
ModuleState& State();
// The state without starting the module.
ModuleState& RawState();
void Start(ModuleState& state);

}  // namespace kestrava::wdm
