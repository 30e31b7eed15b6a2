#include "fuzz/FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "base/Folders.h"
#include "base/Log.h"
#include "base/MessageBox.h"

namespace kestrava::fuzz {
namespace {

class QuietMessageBox : public IMessageBox {
  public:
    void Show(const std::string&, const std::string&) override {}
};

std::string& Scratch() {
    static std::string folder;
    return folder;
}

void RemoveScratch() {
    std::error_code error;
    if (!Scratch().empty()) std::filesystem::remove_all(Scratch(), error);
}

}  // namespace

void PrepareEnvironment() {
    if (!Scratch().empty()) return;
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/kestrava-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) Fail("cannot create the scratch folder");
    Scratch() = pattern;
    namespace fs = std::filesystem;
    for (const char* sub : {"tmp", "data", "config", "input"})
        fs::create_directories(fs::path(pattern) / sub);
    ::setenv("TMPDIR", (pattern + "/tmp").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (pattern + "/data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (pattern + "/config").c_str(), 1);
    // The shipped code table and definitions, so loaders that fall back on them find them.
    ::setenv("KESTRAVA_INSTALL_DIR", KESTRAVA_FUZZ_DATA_DIR, 1);
    Folders::PrepareDataFolders();
    static QuietMessageBox quiet;
    SetMessageBoxSink(&quiet);
    std::atexit(RemoveScratch);
}

const std::string& ScratchFolder() {
    return Scratch();
}

std::string WriteInputFile(const std::uint8_t* data, std::size_t size, std::string_view name) {
    std::string path = Scratch() + "/input/" + std::string(name);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) Fail("cannot write the input file");
    if (size > 0 && std::fwrite(data, 1, size, file) != size) Fail("short write of the input file");
    std::fclose(file);
    return path;
}

void TrimLog() {
    static unsigned calls = 0;
    if (++calls % 64 == 0) DeleteLog();
}

void Fail(std::string_view what) {
    std::fprintf(stderr, "fuzz invariant broken: %.*s\n", static_cast<int>(what.size()),
                 what.data());
    std::abort();
}

}  // namespace kestrava::fuzz
