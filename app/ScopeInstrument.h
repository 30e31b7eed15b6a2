// The window's instrument: the program-wide oscilloscope object, its serial trigger and
// the presentation's acquisition and display commands.
#pragma once

#include "app/IInstrumentCommands.h"
#include "instrument/SerialTrigger.h"

namespace kestrava {

class COscilloscope;

class ScopeInstrument final : public IInstrumentCommands {
  public:
    explicit ScopeInstrument(COscilloscope& scope);

    void OpenConnection() override;
    void CloseConnection() override;
    void SetTriggerSourceChannel(int source) override;
    void SelectDisplayChannel(int source) override;
    // Sends the defaults for the protocol definition loaded at the time of the call.
    void SendTriggerDefaults() override;
    double MaximumBitRate() override;
    void LoadWaveformFromOsc(CSataUserInterface& presentation) override;
    void SetCursorPosition(CSataUserInterface& presentation, int which, int source,
                           std::uint32_t position) override;
    void Zoom1(CSataUserInterface& presentation, int display) override;
    ITriggerLink* TriggerLink() override { return &link_; }

  private:
    COscilloscope& scope_;
    ScopeTriggerLink link_;
    CSerialTrigger trigger_;
};

}  // namespace kestrava
