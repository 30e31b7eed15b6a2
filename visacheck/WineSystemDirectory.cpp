#include "visacheck/WineSystemDirectory.h"

#include <system_error>
#include <vector>

#include "visacheck/Guid.h"

namespace fs = std::filesystem;

namespace kestrava {
namespace {

constexpr std::string_view kSystemDirectory = "C:\\windows\\system32";
// A directory with more entries than this is not searched for a differently-cased name.
constexpr int kMaxEntriesScanned = 100000;

// The entry of folder named like `name` without regard to case; `name` when none is.
fs::path MatchComponent(const fs::path& folder, const std::string& name) {
    std::error_code ec;
    fs::path exact = folder / name;
    if (fs::exists(fs::symlink_status(exact, ec))) return exact;
    int scanned = 0;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (++scanned > kMaxEntriesScanned) break;
        if (EqualsNoCase(it->path().filename().string(), name)) return it->path();
    }
    return exact;
}

}  // namespace

WineSystemDirectory::WineSystemDirectory(fs::path prefix) : prefix_(std::move(prefix)) {}

std::optional<std::string> WineSystemDirectory::Path() const {
    std::optional<fs::path> host = HostPath(kSystemDirectory);
    std::error_code ec;
    if (!host || !fs::is_directory(*host, ec)) return std::nullopt;
    return std::string(kSystemDirectory);
}

std::optional<fs::path> WineSystemDirectory::HostPath(std::string_view path) const {
    if (path.substr(0, 4) == "\\\\?\\") path.remove_prefix(4);
    if (!path.empty() && path.front() == '/') return fs::path(path).lexically_normal();
    if (path.size() < 2 || path[1] != ':') return std::nullopt;
    const char letter = LowerAscii(path.substr(0, 1))[0];
    if (letter < 'a' || letter > 'z') return std::nullopt;
    std::string_view rest = path.substr(2);
    if (!rest.empty() && rest.front() != '\\' && rest.front() != '/') return std::nullopt;

    std::error_code ec;
    fs::path drive = prefix_ / "dosdevices" / (std::string(1, letter) + ":");
    if (!fs::exists(drive, ec)) {
        // Wine's defaults when the prefix does not say: C: its drive_c, Z: the host's root.
        if (letter == 'c')
            drive = prefix_ / "drive_c";
        else if (letter == 'z')
            drive = "/";
        else
            return std::nullopt;
    }
    // dosdevices entries are links; their target is the drive's real place.
    fs::path real = fs::canonical(drive, ec);
    if (!ec) drive = real;
    // Windows resolves "." and ".." by text before looking at the disk, never above the drive.
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= rest.size()) {
        std::size_t sep = rest.find_first_of("\\/", start);
        std::string_view part = rest.substr(start, sep - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.emplace_back(part);
        }
        if (sep == std::string_view::npos) break;
        start = sep + 1;
    }
    fs::path host = drive;
    for (const std::string& part : parts) host = MatchComponent(host, part);
    return host;
}

std::string WineSystemDirectory::WindowsPath(const fs::path& hostPath) const {
    std::error_code ec;
    fs::path absolute = fs::weakly_canonical(hostPath, ec);
    if (ec) absolute = hostPath;
    fs::path driveC = fs::weakly_canonical(prefix_ / "drive_c", ec);
    std::string text = absolute.string();
    std::string root = driveC.string();
    std::string windows;
    if (!ec && text.size() > root.size() && text.compare(0, root.size(), root) == 0 &&
        text[root.size()] == '/')
        windows = "C:" + text.substr(root.size());
    else
        windows = "Z:" + text;
    for (char& c : windows)
        if (c == '/') c = '\\';
    return windows;
}

}  // namespace kestrava
