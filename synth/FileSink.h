// A byte sink that writes a file as the bytes come, through a buffer of its own. The
// file is made at the first byte or at Finish(), so a writer that refuses its record
// before writing anything leaves no file behind.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "synth/ByteSink.h"

namespace kestrava::synth {

class FileSink : public ByteSink {
  public:
    explicit FileSink(std::string path);
    ~FileSink() override;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    void Write(std::span<const std::uint8_t> bytes) override;
    void Repeat(std::uint64_t from, std::uint64_t size) override;
    std::uint64_t Size() const override { return written_ + buffer_.size(); }

    // Makes the file if nothing was written, and closes it; throws SinkError on failure.
    void Finish();

  private:
    void Open();
    void Flush();
    [[noreturn]] void Fail(bool creating);

    static constexpr std::size_t kBufferBytes = 1 << 20;

    std::string path_;
    std::FILE* file_ = nullptr;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t written_ = 0;  // bytes handed to the file so far
};

}  // namespace kestrava::synth
