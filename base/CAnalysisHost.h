// The analysis-facing half of the presentation object: the options every stage reads,
// the signal statistics bit recovery reports back, the status box with its kept summary,
// and the two list operations. CSataUserInterface derives from it; the stages take a
// pointer to it, so they build and test without the window.
#pragma once

#include <string>

#include "base/ListBox.h"

namespace kestrava {

// Display modes of DisplayMessage.
inline constexpr int kShow = 0;
inline constexpr int kShowAndKeep = 1;
inline constexpr int kShowSummary = 2;

class CAnalysisHost {
  public:
    static constexpr std::size_t kStatusLimit = 20000;

    CAnalysisHost();
    virtual ~CAnalysisHost() = default;

    // Status box: append "text\r\n", trim the front by whole lines beyond 20000
    // characters, then per mode keep the line in the summary or restore the summary.
    void DisplayMessage(const std::string& text, int mode);
    const std::string& StatusText() const { return statusText_; }
    const std::string& KeptSummary() const { return keptSummary_; }
    void ClearKeptSummary() { keptSummary_.clear(); }
    void ClearStatus();
    // Empties the status box, both lists and the graph range; the presentation clears
    // what it owns beyond the status box.
    virtual void ClearAllContents() { ClearStatus(); }

    void AddLine(IListBox& list, const std::string& text, ItemData data);
    void ClearBox(IListBox& list);

    int GetInvert() const { return invert_; }
    void SetInvert(int on) { invert_ = on; }
    int GetLockSampler() const { return lockSampler_; }
    void SetLockSampler(int on) { lockSampler_ = on; }
    int GetSource() const { return source_; }
    void SetSource(int source) { source_ = source; }
    const std::string& GetSyncPattern() const { return syncPattern_; }
    void SetSyncPattern(std::string names) { syncPattern_ = std::move(names); }
    bool GetSyncPatternEnabled() const { return syncPatternEnabled_; }
    void SetSyncPatternEnabled(bool on) { syncPatternEnabled_ = on; }

    const std::string& GetRefLevelP() const { return refLevelP_; }
    void SetRefLevelP(std::string text) { refLevelP_ = std::move(text); }
    const std::string& GetHysterisisP() const { return hysterisisP_; }
    void SetHysterisisP(std::string text) { hysterisisP_ = std::move(text); }
    const std::string& GetRefLevelAbs() const { return refLevelAbs_; }
    void SetRefLevelAbs(std::string text) { refLevelAbs_ = std::move(text); }
    const std::string& GetHysterisisAbs() const { return hysterisisAbs_; }
    void SetHysterisisAbs(std::string text) { hysterisisAbs_ = std::move(text); }
    unsigned char GetIsAbsRefLevel() const { return isAbsRefLevel_; }
    void SetIsAbsRefLevel(unsigned char on) { isAbsRefLevel_ = on; }
    unsigned char GetIsAuto50Percent() const { return isAuto50Percent_; }
    void SetIsAuto50Percent(unsigned char on) { isAuto50Percent_ = on; }

    float GetHorizontalPosition() const { return horizontalPosition_; }
    void SetHorizontalPosition(float percent) { horizontalPosition_ = percent; }
    float GetSignalMax() const { return signalMax_; }
    float GetSignalMin() const { return signalMin_; }
    void SetSignalMaxMin(float maximum, float minimum) {
        signalMax_ = maximum;
        signalMin_ = minimum;
    }

  protected:
    // Called after every change of the status text; the window mirrors it here.
    virtual void OnStatusChanged() {}

    std::string logSource_ = "CSataUserInterface";

  private:
    void TrimStatus();

    std::string statusText_;
    std::string keptSummary_;
    int invert_ = 0;
    int lockSampler_ = 0;
    int source_ = 0;
    std::string syncPattern_;
    bool syncPatternEnabled_ = false;
    std::string refLevelP_ = "50";
    std::string hysterisisP_ = "20";
    std::string refLevelAbs_ = "0.0";
    std::string hysterisisAbs_ = "0.03";
    unsigned char isAbsRefLevel_ = 0;
    unsigned char isAuto50Percent_ = 0;
    float horizontalPosition_ = 50.0f;
    float signalMax_ = 0.0f;
    float signalMin_ = 0.0f;
};

}  // namespace kestrava
