#include "app/ScopeInstrument.h"

#include "instrument/COscilloscope.h"
#include "session/CSataUserInterface.h"
#include "visa/kvext.h"

namespace kestrava {
namespace {

constexpr char kResource[] = "GPIB8::1::INSTR";

}  // namespace

ScopeInstrument::ScopeInstrument(COscilloscope& scope)
    : scope_(scope), link_(scope), trigger_(link_) {}

void ScopeInstrument::OpenConnection() {
    scope_.OpenConnection();
}

// The window's end is the one place the session is really closed.
void ScopeInstrument::CloseConnection() {
    scope_.CloseConnection(true);
}

bool ScopeInstrument::Connected() const {
    return scope_.Connected();
}

std::string ScopeInstrument::Address() const {
    ViChar address[VI_FIND_BUFLEN] = {};
    if (kvResolveResource(kResource, address) < VI_SUCCESS || std::string(address) == kResource)
        return kResource;
    return std::string(kResource) + " (" + address + ")";
}

void ScopeInstrument::SetTriggerSourceChannel(int source) {
    trigger_.SetTriggerSourceChannel(source);
}

void ScopeInstrument::SelectDisplayChannel(int source) {
    scope_.SelectDisplayChannel(source);
}

void ScopeInstrument::SendTriggerDefaults(const TriggerDefinition& definition) {
    trigger_.SendTriggerDefaults(definition);
}

double ScopeInstrument::MaximumBitRate() {
    return ProbeMaximumBitRate(link_);
}

void ScopeInstrument::LoadWaveformFromOsc(CSataUserInterface::AwayDecode& away) {
    away.LoadFromScope();
}

void ScopeInstrument::SetCursorPosition(CSataUserInterface& presentation, int which, int source,
                                        std::uint32_t position) {
    presentation.SetCursorPosition(which, source, position);
}

void ScopeInstrument::Zoom1(CSataUserInterface& presentation, int display, const GraphView& at) {
    presentation.Zoom1(display, at);
}

}  // namespace kestrava
