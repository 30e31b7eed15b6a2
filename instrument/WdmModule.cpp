// The waveform data module's lifetime, error codes and waveform file import.
#include "instrument/Wdm.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/Folders.h"
#include "formats/FormatRegistry.h"
#include "instrument/WdmState.h"

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
    } catch (...) {
        state.engine.reset();
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
bool ImportFile(const std::string& fileName, RecordDescription& description, RecordSink* sink) {
    wdm::ModuleState& state = wdm::State();
    description = RecordDescription{};
    if (state.engine) state.engine->Clear();
    state.file = wdm::LoadedFile{};
    // The last file's volts go before the next file's are read.
    state.reader.reset();
    if (!state.engine) return false;
    state.reader = TheFormatRegistry().ReaderFor(fileName);
    if (!state.reader || !state.reader->Import(fileName, sink)) return false;
    description = state.reader->Description();
    state.file.pointCount = description.count;
    state.file.timeBase = {description.sampleIntervalS, description.firstPointTimeS,
                           description.triggerOffsetS};
    return true;
}

}  // namespace

std::int64_t WdmStreamWaveformRecord(const RecordDescription& description,
                                     const std::function<bool(RecordSink&)>& feed,
                                     RecordSink& sink) {
    wdm::ModuleState& state = wdm::State();
    if (state.engine) state.engine->Clear();
    state.file = wdm::LoadedFile{};
    state.reader.reset();
    if (!state.engine || description.count <= 0 || !sink.Begin(description) || !feed(sink))
        return 0;
    state.file.pointCount = description.count;
    state.file.timeBase = {description.sampleIntervalS, description.firstPointTimeS,
                           description.triggerOffsetS};
    return description.count;
}

std::span<const double> WdmLoadWaveformFile(const std::string& fileName, int, const char*,
                                            const char*, RecordDescription& description) {
    if (!ImportFile(fileName, description, nullptr)) return {};
    return wdm::State().reader->Points();
}

std::int64_t WdmStreamWaveformFile(const std::string& fileName, int, const char*, const char*,
                                   RecordDescription& description, RecordSink& sink) {
    if (!ImportFile(fileName, description, &sink)) return 0;
    return wdm::State().file.pointCount;
}

}  // namespace kestrava
