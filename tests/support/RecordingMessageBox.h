// A message box sink that records what it was asked to show, for tests to compare.
#pragma once

#include <string>
#include <vector>

#include "base/MessageBox.h"

namespace kestrava::test {

class RecordingMessageBox : public IMessageBox {
  public:
    void Show(const std::string& text, const std::string& caption) override;
    // Each box as "caption: text", in the order shown.
    std::vector<std::string> Shown() const;

    std::vector<std::string> texts;
    std::vector<std::string> captions;
};

}  // namespace kestrava::test
