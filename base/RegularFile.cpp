#include "base/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kestrava {

RegularFile::RegularFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error_ = errno;
        reason_ = std::strerror(error_);
        return;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        error_ = errno;
        reason_ = std::strerror(error_);
        ::close(fd);
        return;
    }
    if (!S_ISREG(info.st_mode)) {
        reason_ = S_ISDIR(info.st_mode) ? "is a folder" : "not a regular file";
        ::close(fd);
        return;
    }
    // Reads of a regular file never block; the flag only served the open.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    fd_ = fd;
    size_ = static_cast<std::int64_t>(info.st_size);
}

RegularFile::~RegularFile() {
    if (fd_ >= 0) ::close(fd_);
}

int RegularFile::Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

}  // namespace kestrava
