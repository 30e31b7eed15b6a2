// What the main window asks of the instrument. The window only knows this interface;
// ScopeInstrument is the real implementation, and the default one does nothing so the
// program decodes files without an instrument.
#pragma once

#include <cstdint>

namespace kestrava {

class CSataUserInterface;
class ITriggerLink;

class IInstrumentCommands {
  public:
    virtual ~IInstrumentCommands() = default;

    virtual void OpenConnection() {}
    virtual void CloseConnection() {}
    virtual void SetTriggerSourceChannel(int /*source*/) {}
    virtual void SelectDisplayChannel(int /*source*/) {}
    virtual void SendTriggerDefaults() {}
    // The instrument's highest serial-trigger bit rate, probed once at start-up; 0 when
    // no instrument answers, so no standard's trigger set-up is ever sent.
    virtual double MaximumBitRate() { return 0.0; }

    // Loads the selected source into the presentation, acquiring first as the program-wide
    // acquisition mode says.
    virtual void LoadWaveformFromOsc(CSataUserInterface& /*presentation*/) {}
    // which 1 selects the first cursor kind, anything else the second.
    virtual void SetCursorPosition(CSataUserInterface& /*presentation*/, int /*which*/,
                                   int /*source*/, std::uint32_t /*position*/) {}
    virtual void Zoom1(CSataUserInterface& /*presentation*/, int /*display*/) {}
    // Where the trigger dialog and setup recall send their sequences; null without an
    // instrument, so nothing is sent.
    virtual ITriggerLink* TriggerLink() { return nullptr; }
};

// The instrument of a program without one: every command does nothing.
IInstrumentCommands& NullInstrument();

}  // namespace kestrava
