#include "base/Folders.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace kestrava {
namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : fallback;
}

std::string ExecutableFolder() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

// Fills a private folder beside the target and renames it into place, so a program
// starting at the same moment sees either no folder or a complete one, never a half copy.
void CopyMissingFolder(const std::string& name) {
    std::error_code ec;
    fs::path target = Folders::DataFolder(name);
    fs::path source = fs::path(Folders::InstallFolder()) / name;
    if (fs::exists(target, ec) || !fs::is_directory(source, ec)) return;
    fs::create_directories(target.parent_path(), ec);
    const fs::path filling =
        target.parent_path() / ("." + name + "-filling-" + std::to_string(::getpid()));
    fs::remove_all(filling, ec);  // left by a killed start that had this process number
    if (!fs::create_directory(filling, ec)) return;
    fs::copy(source, filling, fs::copy_options::recursive | fs::copy_options::skip_existing, ec);
    // A folder another start put there first stays; this copy goes.
    if (ec || ::rename(filling.c_str(), target.c_str()) != 0) fs::remove_all(filling, ec);
}

}  // namespace

std::string Folders::DataRoot() {
    std::string home = EnvOr("HOME", "/tmp");
    std::string xdg = EnvOr("XDG_DATA_HOME", home + "/.local/share");
    return xdg + "/UlmarApplications/KORVAN";
}

std::string Folders::DataFolder(const std::string& name) {
    return Join(DataRoot(), name);
}

std::string Folders::ConfigFolder() {
    const std::string xdg = EnvOr("XDG_CONFIG_HOME", "");
    if (!xdg.empty() && xdg.front() == '/') return Join(xdg, "kestrava");
    return Join(EnvOr("HOME", "/tmp"), ".config/kestrava");
}

std::string Folders::TempFolder() {
    std::string tmp = EnvOr("TMPDIR", "/tmp");
    while (tmp.size() > 1 && tmp.back() == '/') tmp.pop_back();
    return tmp;
}

std::string Folders::LogFilePath() {
    return Join(TempFolder(), "KORVAN.log");
}

std::string Folders::WdmTempFolder() {
    return Join(TempFolder(), "wdmtemp");
}

std::string Folders::InstallFolder() {
    const char* overridden = std::getenv("KESTRAVA_INSTALL_DIR");
    if (overridden && *overridden) return overridden;
    return (fs::path(ExecutableFolder()) / ".." / "share" / "KORVAN").lexically_normal().string();
}

bool Folders::PrepareDataFolders() {
    std::error_code ec;
    fs::create_directories(DataRoot(), ec);
    if (ec) return false;
    CopyMissingFolder("Macros");
    CopyMissingFolder("Encoding");
    // The help sends a new user to the sample captures in this folder.
    CopyMissingFolder("Waveforms");
    for (const char* name : {"Macros", "Encoding", "UserPattern", "Setup", "Reports", "Waveforms"})
        fs::create_directories(DataFolder(name), ec);
    return true;
}

std::string Folders::Join(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

bool Folders::Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

}  // namespace kestrava
