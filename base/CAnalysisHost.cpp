#include "base/CAnalysisHost.h"

#include "base/Guard.h"

namespace kestrava {

CAnalysisHost::CAnalysisHost() = default;

void CAnalysisHost::DisplayMessage(const std::string& text, int mode) {
    Guard(logSource_, "DisplayMessage", [&] {
        statusText_ += text;
        statusText_ += "\r\n";
        TrimStatus();
        if (mode == kShowAndKeep) {
            keptSummary_ += text;
            keptSummary_ += "\r\n";
        } else if (mode == kShowSummary) {
            statusText_ = keptSummary_;
        }
        OnStatusChanged();
    });
}

// Past the limit the box drops 100 characters after the first, then the rest of that
// line, so it always loses whole lines from its beginning.
void CAnalysisHost::TrimStatus() {
    if (statusText_.size() <= kStatusLimit) return;
    statusText_.erase(1, 100);
    std::size_t lineEnd = statusText_.find('\n');
    statusText_.erase(0, lineEnd == std::string::npos ? statusText_.size() : lineEnd + 1);
}

void CAnalysisHost::ClearStatus() {
    statusText_.clear();
    OnStatusChanged();
}

void CAnalysisHost::AddLine(IListBox& list, const std::string& text, ItemData data) {
    Guard(logSource_, "AddLine", [&] { list.AddLine(text, data); });
}

void CAnalysisHost::ClearBox(IListBox& list) {
    Guard(logSource_, "ClearBox", [&] { list.Clear(); });
}

}  // namespace kestrava
