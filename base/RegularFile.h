// Opening a file named from outside (a user, a setup file, a configuration) for reading.
// Only a regular file opens: a FIFO would block, a device never end, a folder read as
// nothing. The open itself never blocks, even on a FIFO without a writer.
#pragma once

#include <cstdint>
#include <string>

namespace kestrava {

class RegularFile {
  public:
    // Opens `path`; on failure Fd() is -1 and Reason() says why, as a person reads it.
    explicit RegularFile(const std::string& path);
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    std::int64_t Size() const { return size_; }
    // Hands the descriptor to the caller, who closes it.
    int Release();
    // errno of the failed open, or 0 when the path opened but is no regular file.
    int Error() const { return error_; }
    const std::string& Reason() const { return reason_; }

  private:
    int fd_ = -1;
    std::int64_t size_ = 0;
    int error_ = 0;
    std::string reason_;
};

}  // namespace kestrava
