#include "tests/support/RecordingMessageBox.h"

namespace kestrava::test {

void RecordingMessageBox::Show(const std::string& text, const std::string& caption) {
    texts.push_back(text);
    captions.push_back(caption);
}

std::vector<std::string> RecordingMessageBox::Shown() const {
    std::vector<std::string> shown;
    for (std::size_t i = 0; i < texts.size(); ++i) shown.push_back(captions[i] + ": " + texts[i]);
    return shown;
}

}  // namespace kestrava::test
