#include "session/SetupFile.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <optional>

#include "base/Guard.h"
#include "base/Log.h"
#include "base/Numbers.h"
#include "base/ProfileFile.h"
#include "definition/CMacros.h"
#include "instrument/SerialTrigger.h"
#include "session/CSataUserInterface.h"

namespace kestrava {
namespace {

const std::string kLogSource = "CKestravaDlg";

// Volts as whole millivolts, truncated toward zero and kept within an int.
int Millivolts(const std::string& volts) {
    const double mv = std::trunc(LeadingNumber(volts) * 1000.0);
    if (!(mv > static_cast<double>(INT_MIN))) return INT_MIN;
    if (!(mv < static_cast<double>(INT_MAX))) return INT_MAX;
    return static_cast<int>(mv);
}

std::string VoltsText(int millivolts) {
    return FormatText("%2.3f", millivolts / 1000.0);
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    if (prefix.size() > text.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

// One profile read: the value, or nullopt when the key is missing.
class Reader {
  public:
    explicit Reader(const ProfileFile& file) : file_(file) {}
    std::optional<std::string> Text(const char* key) const {
        return ProfileValue(file_, kMainSection, key);
    }
    std::optional<int> Int(const char* key) const {
        std::optional<std::string> text = Text(key);
        if (!text) return std::nullopt;
        return ProfileInt(*text);
    }

  private:
    const ProfileFile& file_;
};

void RecallSyncPattern(const std::string& text, CSataUserInterface& ui, ISetupTarget& target) {
    const std::vector<std::string> entries = target.SyncPatternEntries();
    auto found = std::find_if(entries.begin(), entries.end(),
                              [&](const std::string& e) { return StartsWithNoCase(e, text); });
    if (found != entries.end()) {
        target.SelectSyncPatternEntry(static_cast<int>(found - entries.begin()));
    } else if (!text.empty()) {
        target.AddSyncPatternEntry(text);
        target.SelectSyncPatternEntry(static_cast<int>(entries.size()));
    }
    ui.SetSyncPattern(text);
}

// By the title when it is listed, else by what the index alone meant.
void RecallStandard(const Reader& r, ISetupTarget& target) {
    const StandardSelection list = target.SerialStandardList();
    int index = -1;
    if (auto title = r.Text(kStandardTitleKey)) index = list.IndexOf(*title);
    if (index < 0)
        if (auto v = r.Int("Serial Standard")) index = list.IndexOfSaved(*v);
    if (index >= 0) target.SelectSerialStandard(index);
}

void RecallMain(const Reader& r, CSataUserInterface& ui, ISetupTarget& target) {
    // The standard is loaded before the sync pattern is looked up in its list.
    if (auto v = r.Int("Data Source")) target.SelectDataSource(*v);
    RecallStandard(r, target);
    if (auto v = r.Int("Display Window")) target.SetDisplayWindow(*v);
    if (auto v = r.Int("Data Filter")) target.SetDataFilter(*v);
    if (r.Int("Data Filter Frames") == 1) target.SetDataFilter(kFramesList);

    if (auto v = r.Text("RefLevelP")) ui.SetRefLevelP(*v);
    if (auto v = r.Text("HysterisisP")) ui.SetHysterisisP(*v);
    if (auto v = r.Int("RefLevelAbs")) ui.SetRefLevelAbs(VoltsText(*v));
    if (auto v = r.Int("HysterisisAbs")) ui.SetHysterisisAbs(VoltsText(*v));
    if (auto v = r.Int("IsAuto50Percent")) ui.SetIsAuto50Percent(*v != 0 ? 1 : 0);
    if (auto v = r.Int("IsAbsRefLevel")) ui.SetIsAbsRefLevel(*v != 0 ? 1 : 0);

    if (auto v = r.Text("SyncPattern")) RecallSyncPattern(*v, ui, target);
    if (auto v = r.Int("CheckBox SyncPattern")) {
        target.SetSyncEnableFlag(*v);
        ui.SetSyncPatternEnabled(*v != 0);
    }
    target.RefreshThresholdFields();
}

void ResendTrigger(const TriggerSetup& record, ISetupTarget& target) {
    ITriggerLink* link = target.TriggerLink();
    if (!link || !BitRateWithinMaximum(TheMacros(), target.MaximumBitRate())) return;
    target.SetWaitCursor(true);
    CSerialTrigger trigger(*link);
    ResendSavedTrigger(trigger, record, TriggerDefinitionOf(TheMacros()), target.DataSourceText());
    target.SetWaitCursor(false);
}

// A flag is on only when written as 1, as the menu checks it, so the check mark and the
// decode always agree (a 2 in a hand-edited file is off for both).
void RecallViewFlags(const Reader& r, CSataUserInterface& ui, ISetupTarget& target) {
    auto flag = [&](const char* key, auto&& apply) {
        if (auto v = r.Int(key)) apply(*v == 1);
    };
    flag("WordNames", [&](bool on) { ui.view.wordNames = on; });
    flag("SamplePoints", [&](bool on) { ui.view.samplePoints = on; });
    flag("RecovSig", [&](bool on) { ui.view.recoveredSignal = on; });
    flag("OrigSig", [&](bool on) { ui.view.originalSignal = on; });
    flag("GridLines", [&](bool on) { ui.view.gridAndLevels = on; });
    std::optional<int> onTop = r.Int("AlwaysOnTop");
    flag("InvertSignal", [&](bool on) { ui.SetInvert(on ? 1 : 0); });
    flag("LockSampler", [&](bool on) { ui.SetLockSampler(on ? 1 : 0); });
    target.SetCheckMarks();
    if (onTop) target.SetAlwaysOnTop(*onTop == 1);
}

}  // namespace

bool SaveSetting(const std::string& path, CSataUserInterface& ui, ISetupTarget& target,
                 const TriggerSetup& record) {
    bool saved = false;
    const bool ran = Guard(kLogSource, "SaveSetting", [&] {
        ProfileFile file;
        // A file that cannot be read whole is never replaced by our two sections alone.
        if (file.Load(path) == ProfileFile::LoadStatus::kRefused) {
            WriteLog(kLogSource, "SaveSetting: cannot read " + path, kLogError);
            return;
        }
        auto set = [&file](const char* key, int value) {
            return file.Set(kMainSection, key, std::to_string(value));
        };
        bool ok = true;
        ok = set("Data Source", target.DataSourceIndex()) && ok;
        const StandardSelection standards = target.SerialStandardList();
        ok = set("Serial Standard", standards.SavedIndexOf(target.SerialStandardIndex())) && ok;
        ok = set("Display Window", target.DisplayWindowState()) && ok;
        // Frames is ours alone: the filter key keeps the values every setup file has had.
        const bool frames = ui.highLevelKind == kFramesList;
        ok = set("Data Filter", frames ? kPrimitivesList : ui.highLevelKind) && ok;
        if (frames) ok = set("Data Filter Frames", 1) && ok;
        ok = set("WordNames", ui.view.wordNames ? 1 : 0) && ok;
        ok = set("SamplePoints", ui.view.samplePoints ? 1 : 0) && ok;
        ok = set("RecovSig", ui.view.recoveredSignal ? 1 : 0) && ok;
        ok = set("OrigSig", ui.view.originalSignal ? 1 : 0) && ok;
        ok = set("GridLines", ui.view.gridAndLevels ? 1 : 0) && ok;
        ok = set("AlwaysOnTop", target.AlwaysOnTop() == 1 ? 1 : 0) && ok;
        ok = set("InvertSignal", ui.GetInvert()) && ok;
        ok = set("LockSampler", ui.GetLockSampler()) && ok;
        ok = set("RefLevelP", ProfileInt(ui.GetRefLevelP())) && ok;
        ok = set("HysterisisP", ProfileInt(ui.GetHysterisisP())) && ok;
        ok = set("RefLevelAbs", Millivolts(ui.GetRefLevelAbs())) && ok;
        ok = set("HysterisisAbs", Millivolts(ui.GetHysterisisAbs())) && ok;
        ok = set("IsAuto50Percent", ui.GetIsAuto50Percent()) && ok;
        ok = set("IsAbsRefLevel", ui.GetIsAbsRefLevel()) && ok;
        ok = file.Set(kMainSection, "SyncPattern", ui.GetSyncPattern()) && ok;
        ok = set("CheckBox SyncPattern", target.SyncEnableFlag()) && ok;
        if (const std::string title = standards.Title(target.SerialStandardIndex()); !title.empty())
            ok = file.Set(kMainSection, kStandardTitleKey, title) && ok;
        ok = record.Save(file) && ok;
        if (!ok)
            WriteLog(kLogSource, "SaveSetting: a value with a line break was not written",
                     kLogError);
        saved = file.Save(path);
        if (!saved) WriteLog(kLogSource, "SaveSetting: cannot write " + path, kLogError);
    });
    if (!ran) ui.DisplayMessage("Unknown Error", kShow);
    return ran && saved;
}

bool RecallSetting(const std::string& path, CSataUserInterface& ui, ISetupTarget& target,
                   TriggerSetup& record) {
    bool recalled = false;
    const bool ran = Guard(kLogSource, "RecallSetting", [&] {
        ProfileFile file;
        if (file.Load(path) != ProfileFile::LoadStatus::kLoaded) {
            WriteLog(kLogSource, "RecallSetting: cannot read " + path, kLogError);
            return;
        }
        const Reader reader(file);
        ui.ClearAllContents();
        target.RedrawWaveform();
        RecallMain(reader, ui, target);
        record.Load(file);
        ResendTrigger(record, target);
        RecallViewFlags(reader, ui, target);
        ui.UpdateOptions();
        recalled = true;
    });
    if (!ran) {
        target.SetWaitCursor(false);
        ui.DisplayMessage("Unknown Error", kShow);
    }
    return ran && recalled;
}

// ---------------------------------------------------------------------------------------

BasicSetupTarget::BasicSetupTarget(CSataUserInterface& ui, ITriggerLink* link,
                                   double maximumBitRate)
    : ui_(ui), link_(link), maximumBitRate_(maximumBitRate) {
    // The session driver starts on the Sata definition.
    standardIndex_ = std::max(standards_.IndexOf("Sata"), 0);
}

void BasicSetupTarget::SelectDataSource(int index) {
    if (index < 0 || index >= kSourceCount) return;
    sourceIndex_ = index;
    ui_.SetSource(index);
    if (link_) CSerialTrigger(*link_).SetTriggerSourceChannel(index);
    SelectDisplayChannel(index);
}

void BasicSetupTarget::SelectSerialStandard(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= standards_.Titles().size()) return;
    standardIndex_ = index;
    LoadStandard();
}

void BasicSetupTarget::LoadStandard() {
    const std::string title = StandardTitle();
    if (title.empty()) return;
    syncEntries_.clear();
    syncSelected_ = -1;
    ui_.SetSyncPattern("");
    syncEntries_ = StandardSelection::UserPatterns(title);
    if (!syncEntries_.empty()) ui_.SetSyncPattern(syncEntries_.front());
    auto exact = std::find(syncEntries_.begin(), syncEntries_.end(), ui_.GetSyncPattern());
    if (exact != syncEntries_.end()) syncSelected_ = static_cast<int>(exact - syncEntries_.begin());

    if (StandardSelection::LoadDefinition(title, maximumBitRate_) && link_) {
        link_->OpenConnection();
        CSerialTrigger(*link_).SendTriggerDefaults(TriggerDefinitionOf(TheMacros()));
    }
}

void BasicSetupTarget::SetDisplayWindow(int state) {
    if (state < 0 || state > 3) return;
    displayState_ = state;
    ui_.viewLayout = state;
    if (state == 1 || state == 3) ui_.SetSCrollRange();
}

void BasicSetupTarget::SetDataFilter(int filter) {
    ui_.highLevelKind = filter >= kFisList && filter <= kFramesList ? filter : kPrimitivesList;
    ui_.PopulateHighLevalList();
}

}  // namespace kestrava
