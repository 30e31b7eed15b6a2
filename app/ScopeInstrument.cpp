#include "app/ScopeInstrument.h"

#include "definition/CMacros.h"
#include "instrument/COscilloscope.h"
#include "session/CSataUserInterface.h"
#include "session/TriggerSetup.h"

namespace kestrava {

ScopeInstrument::ScopeInstrument(COscilloscope& scope)
    : scope_(scope), link_(scope), trigger_(link_) {}

void ScopeInstrument::OpenConnection() {
    scope_.OpenConnection();
}

// The window's end is the one place the session is really closed.
void ScopeInstrument::CloseConnection() {
    scope_.CloseConnection(true);
}

void ScopeInstrument::SetTriggerSourceChannel(int source) {
    trigger_.SetTriggerSourceChannel(source);
}

void ScopeInstrument::SelectDisplayChannel(int source) {
    scope_.SelectDisplayChannel(source);
}

void ScopeInstrument::SendTriggerDefaults() {
    trigger_.SendTriggerDefaults(TriggerDefinitionOf(TheMacros()));
}

double ScopeInstrument::MaximumBitRate() {
    return ProbeMaximumBitRate(link_);
}

void ScopeInstrument::LoadWaveformFromOsc(CSataUserInterface& presentation) {
    presentation.LoadWaveformFromOsc();
}

void ScopeInstrument::SetCursorPosition(CSataUserInterface& presentation, int which, int source,
                                        std::uint32_t position) {
    presentation.SetCursorPosition(which, source, position);
}

void ScopeInstrument::Zoom1(CSataUserInterface& presentation, int display) {
    presentation.Zoom1(display);
}

}  // namespace kestrava
