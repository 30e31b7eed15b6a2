#include "synth/FileSink.h"

#include <unistd.h>

#include <algorithm>

namespace kestrava::synth {

FileSink::FileSink(std::string path) : path_(std::move(path)) {
    buffer_.reserve(kBufferBytes);
}

FileSink::~FileSink() {
    if (file_ != nullptr) std::fclose(file_);
}

void FileSink::Open() {
    if (file_ != nullptr) return;
    file_ = std::fopen(path_.c_str(), "w+b");
    if (file_ == nullptr) Fail(true);
}

void FileSink::Fail(bool creating) {
    throw SinkError(creating, (creating ? "cannot create " : "cannot write ") + path_);
}

void FileSink::Flush() {
    Open();
    if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size())
        Fail(false);
    written_ += buffer_.size();
    buffer_.clear();
}

void FileSink::Write(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const std::size_t n = std::min(bytes.size(), kBufferBytes - buffer_.size());
        buffer_.insert(buffer_.end(), bytes.begin(),
                       bytes.begin() + static_cast<std::ptrdiff_t>(n));
        bytes = bytes.subspan(n);
        if (buffer_.size() == kBufferBytes) Flush();
    }
}

void FileSink::Repeat(std::uint64_t from, std::uint64_t size) {
    if (from > Size() || size > Size() - from)
        throw std::out_of_range("repeated bytes beyond those written");
    Flush();
    if (std::fflush(file_) != 0) Fail(false);
    // Read back what is already in the file; the file's own position stays at its end.
    std::vector<std::uint8_t> chunk(std::min<std::uint64_t>(size, kBufferBytes));
    for (std::uint64_t done = 0; done < size;) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(size - done, chunk.size()));
        if (::pread(fileno(file_), chunk.data(), n, static_cast<off_t>(from + done)) !=
            static_cast<ssize_t>(n))
            Fail(false);
        Write({chunk.data(), n});
        done += n;
    }
}

void FileSink::Finish() {
    Flush();
    const int closed = std::fclose(file_);
    file_ = nullptr;
    if (closed != 0) Fail(false);
}

}  // namespace kestrava::synth
