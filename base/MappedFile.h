// A read-only view of part of an open file, mapped into memory instead of copied: a
// long capture's samples are then the page cache's, held once. A file cut shorter by
// another program while it is mapped reads as zeros past its new end instead of
// stopping the program, and Truncated() says so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace kestrava {

class MappedFile {
  public:
    // Maps length bytes from offset of the open file descriptor (the caller keeps it);
    // null when the system refuses.
    static std::shared_ptr<const MappedFile> Map(int fd, std::int64_t offset, std::size_t length);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    std::span<const unsigned char> Bytes() const { return {data_, length_}; }
    // True once a page of the view was found gone from the file.
    bool Truncated() const;

  private:
    MappedFile(void* base, std::size_t baseLength, const unsigned char* data, std::size_t length,
               int slot);

    void* base_;
    std::size_t baseLength_;
    const unsigned char* data_;
    std::size_t length_;
    int slot_;
};

}  // namespace kestrava
