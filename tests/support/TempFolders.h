// A test fixture that points the data root, the log, the module's temporary folder and
// the configuration (the VISA alias file) at a fresh folder of its own, so no test
// touches the user's files.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace kestrava::test {

class TempFolders : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The fresh folder; XDG_DATA_HOME is <root>/data, TMPDIR is <root>/tmp,
    // XDG_RUNTIME_DIR (the instruments' lock files) is <root>/tmp/run and XDG_CONFIG_HOME
    // is <root>/config (not made until a file is written there).
    const std::string& Root() const { return root_; }
    std::string DataHome() const { return root_ + "/data"; }
    std::string Tmp() const { return root_ + "/tmp"; }
    std::string ConfigHome() const { return root_ + "/config"; }
    std::string RuntimeDir() const { return root_ + "/tmp/run"; }
    // Reads a whole file; empty when it does not exist.
    static std::string ReadFile(const std::string& path);
    static void WriteFile(const std::string& path, const std::string& contents);
    // The repository's own folder (for shipped data and the shared real captures).
    static std::string SourceDir();

  private:
    std::string root_;
    std::string savedXdg_, savedTmp_, savedConfig_, savedRuntime_;
    bool hadXdg_ = false, hadTmp_ = false, hadConfig_ = false, hadRuntime_ = false;
};

}  // namespace kestrava::test
