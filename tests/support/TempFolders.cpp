#include "tests/support/TempFolders.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace kestrava::test {
namespace {

void Save(const char* name, std::string& saved, bool& had) {
    const char* v = std::getenv(name);
    had = v != nullptr;
    saved = v ? v : "";
}

void Restore(const char* name, const std::string& saved, bool had) {
    if (had)
        ::setenv(name, saved.c_str(), 1);
    else
        ::unsetenv(name);
}

}  // namespace

void TempFolders::SetUp() {
    std::string pattern = (fs::temp_directory_path() / "kestrava-test-XXXXXX").string();
    char* made = ::mkdtemp(pattern.data());
    ASSERT_NE(made, nullptr);
    root_ = made;
    fs::create_directories(DataHome());
    fs::create_directories(Tmp());
    fs::create_directories(RuntimeDir());
    Save("XDG_DATA_HOME", savedXdg_, hadXdg_);
    Save("TMPDIR", savedTmp_, hadTmp_);
    Save("XDG_CONFIG_HOME", savedConfig_, hadConfig_);
    Save("XDG_RUNTIME_DIR", savedRuntime_, hadRuntime_);
    ::setenv("XDG_DATA_HOME", DataHome().c_str(), 1);
    ::setenv("TMPDIR", Tmp().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", ConfigHome().c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", RuntimeDir().c_str(), 1);
}

void TempFolders::TearDown() {
    Restore("XDG_DATA_HOME", savedXdg_, hadXdg_);
    Restore("TMPDIR", savedTmp_, hadTmp_);
    Restore("XDG_CONFIG_HOME", savedConfig_, hadConfig_);
    Restore("XDG_RUNTIME_DIR", savedRuntime_, hadRuntime_);
    std::error_code ec;
    if (!root_.empty()) fs::remove_all(root_, ec);
}

std::string TempFolders::ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void TempFolders::WriteFile(const std::string& path, const std::string& contents) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << contents;
}

std::string TempFolders::SourceDir() {
    const char* dir = std::getenv("KESTRAVA_SOURCE_DIR");
    return dir ? dir : KESTRAVA_DEFAULT_SOURCE_DIR;
}

}  // namespace kestrava::test
