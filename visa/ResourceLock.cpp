#include "visa/ResourceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#include "visa/Transport.h"

namespace kestrava::visa {
namespace {

std::mutex gMutex;
std::map<std::string, ViSession> gHolders;

constexpr auto kPollInterval = std::chrono::milliseconds(5);

int OpenLockFile(const std::string& path) {
    // Open an existing file first: a world-writable sticky folder may refuse O_CREAT on a
    // file another user made.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd >= 0 || errno != ENOENT) return fd;
    fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0 && errno == EEXIST) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd >= 0) ::fchmod(fd, 0644);
    return fd;
}

// The one folder of every program's lock files, whatever its TMPDIR: $XDG_RUNTIME_DIR when
// set, else /run/lock when this user may write there, else /tmp.
std::string LockFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime) return runtime;
    if (::access("/run/lock", W_OK | X_OK) == 0) return "/run/lock";
    return "/tmp";
}

}  // namespace

ResourceLock::ResourceLock(std::string key, ViSession owner)
    : key_(std::move(key)), owner_(owner) {}

ResourceLock::~ResourceLock() {
    if (depth_ > 0) {
        depth_ = 1;
        Release();
    }
    if (fd_ >= 0) ::close(fd_);
}

std::string ResourceLock::PathFor(const std::string& key) {
    std::string folder = LockFolder();
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    std::string name;
    for (char c : key) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        bool plain = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
        name += plain ? c : '_';
    }
    return folder + "/kestrava-visa-" + name + ".lock";
}

ViStatus ResourceLock::Acquire(uint32_t timeoutMs) {
    if (depth_ > 0) {
        ++depth_;
        return VI_SUCCESS_NESTED_EXCLUSIVE;
    }
    if (fd_ < 0) {
        fd_ = OpenLockFile(PathFor(key_));
        if (fd_ < 0) return VI_ERROR_SYSTEM_ERROR;
    }
    Deadline deadline = Deadline::AfterMs(timeoutMs);
    for (;;) {
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) break;
        if (errno != EWOULDBLOCK && errno != EINTR) return VI_ERROR_SYSTEM_ERROR;
        if (deadline.Expired()) return VI_ERROR_TMO;
        std::this_thread::sleep_for(kPollInterval);
    }
    depth_ = 1;
    std::lock_guard lock(gMutex);
    gHolders[key_] = owner_;
    return VI_SUCCESS;
}

ViStatus ResourceLock::Release() {
    if (depth_ == 0) return VI_ERROR_SESN_NLOCKED;
    if (--depth_ > 0) return VI_SUCCESS_NESTED_EXCLUSIVE;
    {
        std::lock_guard lock(gMutex);
        auto it = gHolders.find(key_);
        if (it != gHolders.end() && it->second == owner_) gHolders.erase(it);
    }
    ::flock(fd_, LOCK_UN);
    return VI_SUCCESS;
}

bool ResourceLock::HeldByOther(const std::string& key, ViSession session) {
    std::lock_guard lock(gMutex);
    auto it = gHolders.find(key);
    return it != gHolders.end() && it->second != session;
}

bool ResourceLock::HeldByAny(const std::string& key) {
    std::lock_guard lock(gMutex);
    return gHolders.count(key) > 0;
}

}  // namespace kestrava::visa
