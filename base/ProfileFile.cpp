#include "base/ProfileFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "base/Text.h"

namespace fs = std::filesystem;

namespace kestrava {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// The name of a "[name]" line, or nullopt for any other line.
std::optional<std::string_view> SectionName(std::string_view line) {
    std::string_view t = Trim(line, kSpaceTab);
    if (t.empty() || t.front() != '[') return std::nullopt;
    t.remove_prefix(1);
    std::size_t close = t.find(']');
    if (close != std::string_view::npos) t = t.substr(0, close);
    return Trim(t, kSpaceTab);
}

struct Entry {
    std::string_view key;
    std::string_view value;
};

// A "key=value" line; comments, section lines and lines without '=' are not entries.
std::optional<Entry> EntryOf(std::string_view line) {
    std::string_view t = Trim(line, kSpaceTab);
    if (t.empty() || t.front() == ';' || t.front() == '[') return std::nullopt;
    std::size_t eq = t.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    return Entry{Trim(t.substr(0, eq), kSpaceTab), Trim(t.substr(eq + 1), kSpaceTab)};
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// The process's file-creation mask, read without changing it (umask() would).
mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
        }
    }
    return 022;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

ProfileFile::ProfileFile(std::string_view text) {
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        byteOrderMark_ = true;
        text.remove_prefix(kByteOrderMark.size());
    }
    while (!text.empty()) {
        std::size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines_.emplace_back(line);
        if (nl == std::string_view::npos) break;
        text.remove_prefix(nl + 1);
    }
}

ProfileFile::LoadStatus ProfileFile::Load(const std::string& path) {
    *this = ProfileFile();
    std::error_code ec;
    fs::file_status st = fs::status(path, ec);
    if (!fs::exists(st)) return LoadStatus::kMissing;
    if (!fs::is_regular_file(st)) return LoadStatus::kRefused;
    std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size > kProfileFileMaxBytes) return LoadStatus::kRefused;
    std::ifstream in(path, std::ios::binary);
    if (!in) return LoadStatus::kRefused;
    // One byte more than the size found, so a file that grew since is caught, not cut.
    std::string text(static_cast<std::size_t>(size) + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    std::size_t got = static_cast<std::size_t>(in.gcount());
    if (in.bad() || got > size) return LoadStatus::kRefused;
    text.resize(got);
    *this = ProfileFile(text);
    return LoadStatus::kLoaded;
}

std::optional<ProfileFile::Span> ProfileFile::FindSection(std::string_view section) const {
    std::string_view wanted = Trim(section, kSpaceTab);
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        std::optional<std::string_view> name = SectionName(lines_[i]);
        if (!name || !SameName(*name, wanted)) continue;
        Span span{i, i + 1};
        while (span.end < lines_.size() && !SectionName(lines_[span.end])) ++span.end;
        return span;
    }
    return std::nullopt;
}

std::optional<std::size_t> ProfileFile::FindKey(const Span& span, std::string_view key) const {
    std::string_view wanted = Trim(key, kSpaceTab);
    for (std::size_t i = span.header + 1; i < span.end; ++i) {
        std::optional<Entry> entry = EntryOf(lines_[i]);
        if (entry && SameName(entry->key, wanted)) return i;
    }
    return std::nullopt;
}

std::optional<std::string> ProfileFile::Get(std::string_view section, std::string_view key) const {
    std::optional<Span> span = FindSection(section);
    if (!span) return std::nullopt;
    std::optional<std::size_t> line = FindKey(*span, key);
    if (!line) return std::nullopt;
    return std::string(EntryOf(lines_[*line])->value);
}

bool ProfileFile::Set(std::string_view section, std::string_view key, std::string_view value) {
    std::string_view sectionName = Trim(section, kSpaceTab);
    std::string_view keyName = Trim(key, kSpaceTab);
    // Names and values that would read back as something else are refused, not mangled.
    if (sectionName.empty() || HasLineBreak(sectionName) ||
        sectionName.find(']') != std::string_view::npos)
        return false;
    if (keyName.empty() || HasLineBreak(keyName) || keyName.find('=') != std::string_view::npos ||
        keyName.front() == ';' || keyName.front() == '[')
        return false;
    if (HasLineBreak(value)) return false;

    std::optional<Span> span = FindSection(sectionName);
    if (!span) {
        if (!lines_.empty() && !Trim(lines_.back(), kSpaceTab).empty()) lines_.emplace_back();
        lines_.push_back("[" + std::string(sectionName) + "]");
        lines_.push_back(std::string(keyName) + "=" + std::string(value));
        return true;
    }
    if (std::optional<std::size_t> line = FindKey(*span, keyName)) {
        // The key keeps the spelling it has in the file.
        std::string written(EntryOf(lines_[*line])->key);
        lines_[*line] = written + "=" + std::string(value);
        return true;
    }
    // After the section's last entry, so comments and blank lines that lead into the
    // next section stay where they are.
    std::size_t at = span->header + 1;
    for (std::size_t i = span->header + 1; i < span->end; ++i) {
        std::string_view t = Trim(lines_[i], kSpaceTab);
        if (!t.empty() && t.front() != ';') at = i + 1;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at),
                  std::string(keyName) + "=" + std::string(value));
    return true;
}

std::string ProfileFile::Text() const {
    std::string text;
    if (byteOrderMark_) text += kByteOrderMark;
    for (const std::string& line : lines_) {
        text += line;
        text += "\r\n";
    }
    return text;
}

bool ProfileFile::Save(const std::string& path) const {
    return ReplaceFileContents(path, Text());
}

std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view fallback) {
    ProfileFile file;
    std::optional<std::string> value;
    if (file.Load(path) == ProfileFile::LoadStatus::kLoaded) value = file.Get(section, key);
    std::string result = value ? std::move(*value) : std::string(fallback);
    if (result.size() > kProfileValueMax) result.resize(kProfileValueMax);
    return result;
}

bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value) {
    ProfileFile file;
    // A file that cannot be read whole is never replaced by one holding a single key.
    if (file.Load(path) == ProfileFile::LoadStatus::kRefused) return false;
    if (!file.Set(section, key, value)) return false;
    return file.Save(path);
}

bool ReplaceFileContents(const std::string& path, std::string_view text) {
    std::error_code ec;
    fs::path target = path;
    if (fs::is_symlink(target, ec)) {
        target = fs::weakly_canonical(target, ec);
        if (ec) return false;
    }
    fs::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    int fd = ::mkstemp(temp.data());
    if (fd < 0) return false;

    struct stat old {};
    mode_t mode =
        ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : (0666 & ~CurrentUmask());
    bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, text) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

}  // namespace kestrava
