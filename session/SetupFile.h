// Setup files: the user's working set-up in a profile file with the sections "Main" and
// "Trigger". Saving writes every key; recalling replays the selections in order, so the
// standard is reloaded, the trigger source set and the saved trigger sent again.
//
// The selections that belong to the window reach it through ISetupTarget; the window
// implements it over its widgets, the command-line tools use BasicSetupTarget.
#pragma once

#include <string>
#include <vector>

#include "instrument/SourceNames.h"
#include "session/StandardSelection.h"
#include "session/TriggerSetup.h"

namespace kestrava {

class CSataUserInterface;
class ITriggerLink;

inline constexpr const char* kMainSection = "Main";
// The selected standard's title, beside its index; a recall prefers it (StandardSelection).
inline constexpr const char* kStandardTitleKey = "Serial Standard Title";

// The window's side of a setup: values it holds for saving and the selections a recall
// replays, in the order they are called.
class ISetupTarget {
  public:
    virtual ~ISetupTarget() = default;

    // Saved values held by the window.
    virtual int DataSourceIndex() const = 0;
    virtual int SerialStandardIndex() const = 0;
    virtual int DisplayWindowState() const = 0;
    virtual int AlwaysOnTop() const = 0;  // 1 checked, else 0
    virtual int SyncEnableFlag() const = 0;

    // Recall.
    virtual void RedrawWaveform() = 0;
    // Selects the entry and acts as a Data Source change (presentation source, trigger
    // source, display channel). An index outside the list keeps the selection.
    virtual void SelectDataSource(int index) = 0;
    // Selects the entry and loads the standard, which rebuilds the Sync Pattern list.
    // An index outside the list keeps the selection and loads nothing.
    virtual void SelectSerialStandard(int index) = 0;
    // The standards the Serial Standard index counts in; by default the Macros folder now.
    virtual StandardSelection SerialStandardList() const { return StandardSelection(); }
    // A state outside 0-3 changes nothing.
    virtual void SetDisplayWindow(int state) = 0;
    // A filter outside 0-2 becomes 0.
    virtual void SetDataFilter(int filter) = 0;
    virtual std::vector<std::string> SyncPatternEntries() const = 0;
    virtual void AddSyncPatternEntry(const std::string& text) = 0;
    virtual void SelectSyncPatternEntry(int index) = 0;
    virtual void SetSyncEnableFlag(int flag) = 0;
    virtual void RefreshThresholdFields() = 0;
    // The trigger re-send: where to, the source text, and the instrument maximum.
    virtual ITriggerLink* TriggerLink() = 0;
    virtual std::string DataSourceText() const = 0;
    virtual double MaximumBitRate() const = 0;
    virtual void SetWaitCursor(bool on) = 0;
    // Topmost exactly when on.
    virtual void SetAlwaysOnTop(bool on) = 0;
    // The five display items and "Invert Waveform" checked as the presentation's flags say.
    virtual void SetCheckMarks() = 0;
};

// Writes the "Main" keys and the "Trigger" section into the file at path, keeping every
// other line of an existing file; CRLF line ends. False when the file could not be read
// whole or written.
bool SaveSetting(const std::string& path, CSataUserInterface& ui, ISetupTarget& target,
                 const TriggerSetup& record = TheTriggerSetup());

// Restores from the file at path in the fixed order. A key that is missing leaves its
// value as it was (a "Trigger" key: its preset). False, with nothing changed, when the
// file is missing or refused.
bool RecallSetting(const std::string& path, CSataUserInterface& ui, ISetupTarget& target,
                   TriggerSetup& record = TheTriggerSetup());

// The setup target without a window: state held in memory, the presentation updated,
// the instrument reached through an optional link.
class BasicSetupTarget : public ISetupTarget {
  public:
    BasicSetupTarget(CSataUserInterface& ui, ITriggerLink* link = nullptr,
                     double maximumBitRate = 0.0);

    int DataSourceIndex() const override { return sourceIndex_; }
    int SerialStandardIndex() const override { return standardIndex_; }
    int DisplayWindowState() const override { return displayState_; }
    int AlwaysOnTop() const override { return alwaysOnTop_ ? 1 : 0; }
    int SyncEnableFlag() const override { return syncEnable_; }

    void RedrawWaveform() override {}
    void SelectDataSource(int index) override;
    void SelectSerialStandard(int index) override;
    void SetDisplayWindow(int state) override;
    void SetDataFilter(int filter) override;
    std::vector<std::string> SyncPatternEntries() const override { return syncEntries_; }
    void AddSyncPatternEntry(const std::string& text) override { syncEntries_.push_back(text); }
    void SelectSyncPatternEntry(int index) override { syncSelected_ = index; }
    void SetSyncEnableFlag(int flag) override { syncEnable_ = flag; }
    void RefreshThresholdFields() override {}
    ITriggerLink* TriggerLink() override { return link_; }
    std::string DataSourceText() const override { return std::string(SourceName(sourceIndex_)); }
    double MaximumBitRate() const override { return maximumBitRate_; }
    void SetWaitCursor(bool) override {}
    void SetAlwaysOnTop(bool on) override { alwaysOnTop_ = on; }
    void SetCheckMarks() override {}

    StandardSelection SerialStandardList() const override { return standards_; }
    const std::vector<std::string>& Standards() const { return standards_.Titles(); }
    std::string StandardTitle() const { return standards_.Title(standardIndex_); }
    int SelectedSyncPattern() const { return syncSelected_; }
    // Loads the selected standard (Serial Standard change).
    void LoadStandard();

  protected:
    // The instrument's display follows the data source; the window sends it.
    virtual void SelectDisplayChannel(int /*index*/) {}

    CSataUserInterface& ui_;

  private:
    ITriggerLink* link_;
    double maximumBitRate_;
    StandardSelection standards_;
    int sourceIndex_ = 0;
    int standardIndex_ = 0;
    int displayState_ = 1;
    bool alwaysOnTop_ = false;
    int syncEnable_ = 0;
    std::vector<std::string> syncEntries_;
    int syncSelected_ = -1;
};

}  // namespace kestrava
