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
    bool Connected() const override;
    std::string Address() const override;
    void SetTriggerSourceChannel(int source) override;
    void SelectDisplayChannel(int source) override;
    void SendTriggerDefaults(const TriggerDefinition& definition) override;
    double MaximumBitRate() override;
    void LoadWaveformFromOsc(CSataUserInterface::AwayDecode& away) override;
    void SetCursorPosition(CSataUserInterface& presentation, int which, int source,
                           std::uint32_t position) override;
    void Zoom1(CSataUserInterface& presentation, int display, const GraphView& at) override;
    ITriggerLink* TriggerLink() override { return &link_; }

  private:
    COscilloscope& scope_;
    ScopeTriggerLink link_;
    CSerialTrigger trigger_;
};

}  // namespace kestrava
