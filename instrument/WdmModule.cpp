// The waveform data module's lifetime, error codes and waveform file import.
#include "instrument/Wdm.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#include "instrument/WdmState.h"
#include "base/Folders.h"

namespace kestrava {
namespace wdm {

ModuleState& RawState() {
    static ModuleState state;
    return state;
}

void Start(ModuleState& state) {
    state = ModuleState{};
    state.started = true;
    std::error_code ec;
    const std::filesystem::path folder = Folders::WdmTempFolder();
    if (!std::filesystem::is_directory(folder, ec)) {
        std::filesystem::create_directory(folder, ec);
        if (ec) {
            state.errorCode = ec.value();
            return;
        }
    }
    try {
        state.engine = std::make_unique<EdgeSearchEngine>();
        state.reader = std::make_unique<CQelWfmReader>();
    } catch (...) {
        state.engine.reset();
        state.reader.reset();
        state.errorCode = ENOMEM;
        return;
    }
    state.errorCode = 0;
}

ModuleState& State() {
    ModuleState& state = RawState();
    if (!state.started) Start(state);
    return state;
}

}  // namespace wdm

bool WdmStart() {
    wdm::ModuleState& state = wdm::RawState();
    wdm::Start(state);
    return state.engine != nullptr;
}

void WdmStop() {
    wdm::RawState() = wdm::ModuleState{};
}

int WdmGetLastError() {
    return wdm::State().errorCode;
}

std::string WdmGetErrorText(int code) {
    for (const WdmErrorEntry& entry : kWdmErrorTexts)
        if (entry.code == code) return std::string(entry.text);
    if (code >= 0 && code < 1000) return std::strerror(code);
    return {};
}

namespace {

// The import behind both entry points: the module's file state follows the reader's result.
bool ImportFile(const std::string& fileName, int flag, const char* versionText,
                const char* secondName, WfmExplicitDimension& description, WfmPointSink* sink) {
    wdm::ModuleState& state = wdm::State();
    description = WfmExplicitDimension{};
    if (state.engine) state.engine->Clear();
    state.file = wdm::LoadedFile{};
    if (!state.reader) return false;
    CQelWfmReader& reader = *state.reader;
    if (reader.LoadFile(fileName, flag, versionText, secondName, sink) == 0) return false;
    const WfmReferenceHeader& header = reader.ReferenceHeader();
    description = header.explicit1;
    state.file.pointCount = reader.PointCount();
    state.file.timeBase = {reader.SampleIntervalS(), header.implicit1.offset,
                           reader.TriggerTimeS()};
    return true;
}

}  // namespace

std::span<const double> WdmLoadWaveformFile(const std::string& fileName, int flag,
                                            const char* versionText, const char* secondName,
                                            WfmExplicitDimension& description) {
    if (!ImportFile(fileName, flag, versionText, secondName, description, nullptr)) return {};
    return wdm::State().reader->Points();
}

std::int64_t WdmStreamWaveformFile(const std::string& fileName, int flag, const char* versionText,
                                   const char* secondName, WfmExplicitDimension& description,
                                   WfmPointSink& sink) {
    if (!ImportFile(fileName, flag, versionText, secondName, description, &sink)) return 0;
    return wdm::State().file.pointCount;
}

}  // namespace kestrava
