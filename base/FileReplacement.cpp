#include "base/FileReplacement.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fstream>

namespace kestrava {
namespace {

constexpr int kMaxLinkHops = 40;
constexpr std::string_view kTemporaryTag = ".kestrava-";
constexpr std::string_view kUnique = "XXXXXX";  // what mkstemp fills in
constexpr const char* kChanged = "another program changed the file meanwhile";

FileReplacement::Identity IdentityFrom(const struct stat& s) {
    return {static_cast<std::uint64_t>(s.st_dev), static_cast<std::uint64_t>(s.st_ino),
            static_cast<std::int64_t>(s.st_size),
            static_cast<std::int64_t>(s.st_mtim.tv_sec) * 1000000000 + s.st_mtim.tv_nsec};
}

// The file a path names once its symbolic links are followed; empty when they go round
// in a loop. A link to a file not yet there names where the file is to be made.
std::string ResolveLinks(std::string path) {
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat s {};
        if (::lstat(path.c_str(), &s) != 0 || !S_ISLNK(s.st_mode)) return path;
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) return {};
        target.resize(static_cast<std::size_t>(n));
        const std::size_t cut = path.find_last_of('/');
        path = target.front() == '/' || cut == std::string::npos ? target
                                                                 : path.substr(0, cut + 1) + target;
    }
    return {};
}

void SplitPath(const std::string& path, std::string& folder, std::string& name) {
    const std::size_t cut = path.find_last_of('/');
    folder = cut == std::string::npos ? "." : cut == 0 ? "/" : path.substr(0, cut);
    name = cut == std::string::npos ? path : path.substr(cut + 1);
}

// Why an existing file may not be replaced; empty when it may.
std::string RefusalOf(const struct stat& s, const std::string& path) {
    if (S_ISDIR(s.st_mode)) return "is a folder";
    if (!S_ISREG(s.st_mode)) return "not a regular file";
    // The superuser may write anything: the mode says what the owner meant.
    if ((s.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0)
        return "the file is read-only";
    if (s.st_nlink > 1) return "the file has other hard links";
    return {};
}

bool IsTemporaryOf(std::string_view entry, std::string_view prefix) {
    if (entry.size() != prefix.size() + kUnique.size() || entry.substr(0, prefix.size()) != prefix)
        return false;
    for (char c : entry.substr(prefix.size()))
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    return true;
}

// Removes what writes of this target that were killed left beside it: only our own names,
// only plain files of ours with no other link, and only once nobody has written them for
// kStaleMinutes.
void ClearStaleTemporaries(const std::string& folder, const std::string& name) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    const std::string prefix = "." + name + std::string(kTemporaryTag);
    const std::time_t before = std::time(nullptr) - FileReplacement::kStaleMinutes * 60;
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsTemporaryOf(entry->d_name, prefix)) continue;
        struct stat s {};
        if (::fstatat(::dirfd(dir), entry->d_name, &s, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISREG(s.st_mode) && s.st_uid == ::geteuid() && s.st_nlink == 1 && s.st_mtime < before)
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

// The process's file-creation mask, read without changing it (umask() would).
mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
    return 022;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Gives the temporary the earlier file's owner and mode (a new file's as open() makes
// it), then the text, on the disk before it counts as written. Closes fd.
FileReplacement::Outcome Fill(int fd, std::string_view text, const struct stat* earlier) {
    FileReplacement::Outcome outcome;
    struct stat mine {};
    if (earlier && ::fstat(fd, &mine) == 0 &&
        (mine.st_uid != earlier->st_uid || mine.st_gid != earlier->st_gid) &&
        ::fchown(fd, earlier->st_uid, earlier->st_gid) != 0)
        outcome.refusal = "its owner cannot be kept";
    const mode_t mode = earlier ? earlier->st_mode & 07777 : 0666 & ~CurrentUmask();
    if (outcome.refusal.empty() &&
        (::fchmod(fd, mode) != 0 || !WriteAll(fd, text) || ::fsync(fd) != 0))
        outcome.error = errno;
    if (::close(fd) != 0 && outcome.error == 0) outcome.error = errno;
    outcome.written = outcome.refusal.empty() && outcome.error == 0;
    return outcome;
}

void SyncFolder(const std::string& folder) {
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    ::fsync(dir);
    ::close(dir);
}

// A device or a pipe the user named (/dev/null, /dev/stdout, a FIFO) takes the text as it
// comes; there is no earlier file to keep. A FIFO nobody reads is an error, not a wait.
FileReplacement::Outcome WriteThrough(const std::string& target, std::string_view text) {
    FileReplacement::Outcome outcome;
    const int fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        outcome.error = errno;
        return outcome;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!WriteAll(fd, text)) outcome.error = errno;
    if (::close(fd) != 0 && outcome.error == 0) outcome.error = errno;
    outcome.written = outcome.error == 0;
    return outcome;
}

bool IsStream(const struct stat& s) {
    return S_ISCHR(s.st_mode) || S_ISFIFO(s.st_mode);
}

bool StillThe(const std::string& path, const FileReplacement::Identity& identity) {
    struct stat s {};
    return ::stat(path.c_str(), &s) == 0 && IdentityFrom(s) == identity;
}

}  // namespace

FileReplacement::Outcome FileReplacement::Write(const std::string& path, std::string_view text,
                                                const Identity* unchanged) {
    Outcome outcome;
    const std::string target = ResolveLinks(path);
    if (target.empty()) {
        outcome.refusal = "its symbolic links go round in a loop";
        return outcome;
    }
    struct stat earlier {};
    const bool exists = ::stat(target.c_str(), &earlier) == 0;
    if (!exists && errno != ENOENT) {
        outcome.error = errno;
        return outcome;
    }
    if (exists && !unchanged && IsStream(earlier)) return WriteThrough(target, text);
    if (exists) outcome.refusal = RefusalOf(earlier, target);
    if (outcome.refusal.empty() && unchanged && (!exists || IdentityFrom(earlier) != *unchanged))
        outcome.refusal = kChanged;
    if (!outcome.refusal.empty()) return outcome;

    std::string folder, name;
    SplitPath(target, folder, name);
    ClearStaleTemporaries(folder, name);
    // Made afresh under a name nobody can foresee: nothing planted there is followed.
    std::string temporary =
        folder + "/." + name + std::string(kTemporaryTag) + std::string(kUnique);
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        outcome.error = errno;
        return outcome;
    }
    outcome = Fill(fd, text, exists ? &earlier : nullptr);
    if (outcome.written && unchanged && !StillThe(target, *unchanged)) {
        outcome.written = false;
        outcome.refusal = kChanged;
    }
    if (outcome.written && ::rename(temporary.c_str(), target.c_str()) != 0) {
        outcome.written = false;
        outcome.error = errno;
    }
    if (!outcome.written) {
        ::unlink(temporary.c_str());
        return outcome;
    }
    SyncFolder(folder);
    return outcome;
}

bool FileReplacement::IdentityOf(int fd, Identity& identity) {
    struct stat s {};
    if (::fstat(fd, &s) != 0) return false;
    identity = IdentityFrom(s);
    return true;
}

bool FileReplacement::SameFile(const std::string& a, const std::string& b) {
    struct stat x {};
    struct stat y {};
    return ::stat(a.c_str(), &x) == 0 && ::stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev &&
           x.st_ino == y.st_ino;
}

}  // namespace kestrava
