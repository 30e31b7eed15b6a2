// Shared set-up of the protocol definition tests: private data folders, recorded message
// boxes and helpers that write definition and code table files where the loader looks.
#pragma once

#include <string>

#include "definition/CMacros.h"
#include "tests/support/RecordingMessageBox.h"
#include "tests/support/TempFolders.h"

namespace kestrava::test {

class MacrosTest : public TempFolders {
  protected:
    void SetUp() override;
    void TearDown() override;

    static std::string EncodingPath(const std::string& name);
    static std::string MacrosPath(const std::string& name);
    // Copies the shipped data/Encoding/8b10b.csv into the private Encoding folder.
    static void InstallShippedTable();
    static std::string ShippedFile(const std::string& relative);
    std::string LogText() const;

    RecordingMessageBox messages;
};

}  // namespace kestrava::test
