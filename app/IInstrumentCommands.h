// What the main window asks of the instrument. The window only knows this interface;
// ScopeInstrument is the real implementation, and the default one does nothing so the
// program decodes files without an instrument. The window makes these calls on its
// worker thread, one at a time.
#pragma once

#include <cstdint>
#include <string>

#include "instrument/SerialTrigger.h"
#include "session/CSataUserInterface.h"

namespace kestrava {

struct GraphView;

class IInstrumentCommands {
  public:
    virtual ~IInstrumentCommands() = default;

    virtual void OpenConnection() {}
    virtual void CloseConnection() {}
    // A session to the instrument is open.
    virtual bool Connected() const { return false; }
    // "GPIB8::1::INSTR (TCPIP0::localhost::4000::SOCKET)": the instrument's name and where
    // it is reached, for the status line; empty without an instrument.
    virtual std::string Address() const { return {}; }
    virtual void SetTriggerSourceChannel(int /*source*/) {}
    virtual void SelectDisplayChannel(int /*source*/) {}
    // The defaults for the protocol definition given (taken when the command was asked for).
    virtual void SendTriggerDefaults(const TriggerDefinition& /*definition*/) {}
    // The instrument's highest serial-trigger bit rate, probed once at start-up; 0 when
    // no instrument answers, so no standard's trigger set-up is ever sent.
    virtual double MaximumBitRate() { return 0.0; }

    // Acquires the source selected in the decode's options into it, acquiring first as the
    // program-wide acquisition mode says.
    virtual void LoadWaveformFromOsc(CSataUserInterface::AwayDecode& /*away*/) {}
    // which 1 selects the first cursor kind, anything else the second.
    virtual void SetCursorPosition(CSataUserInterface& /*presentation*/, int /*which*/,
                                   int /*source*/, std::uint32_t /*position*/) {}
    // Zooms onto the view at, a copy of the presentation's taken when the command was asked.
    virtual void Zoom1(CSataUserInterface& /*presentation*/, int /*display*/,
                       const GraphView& /*at*/) {}
    // Where the trigger dialog and setup recall send their sequences; null without an
    // instrument, so nothing is sent.
    virtual ITriggerLink* TriggerLink() { return nullptr; }
};

// The instrument of a program without one: every command does nothing.
IInstrumentCommands& NullInstrument();

}  // namespace kestrava
