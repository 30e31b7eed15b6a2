// Shared by the window tests: one QApplication on the offscreen platform, private data
// folders filled from the installed data, and message boxes recorded instead of shown.
#pragma once

#include <string>

#include "tests/support/RecordingMessageBox.h"
#include "tests/support/TempFolders.h"

namespace kestrava::test {

// The one QApplication of the test program, on the offscreen platform.
void EnsureApplication();

class AppTest : public TempFolders {
  protected:
    void SetUp() override;
    void TearDown() override;
    static std::string SampleCapture();

    RecordingMessageBox messages;
};

}  // namespace kestrava::test
