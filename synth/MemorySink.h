// A byte sink that keeps everything in memory: a whole file as one vector.
#pragma once

#include <cstdint>
#include <vector>

#include "synth/ByteSink.h"

namespace kestrava::synth {

class MemorySink : public ByteSink {
  public:
    void Write(std::span<const std::uint8_t> bytes) override;
    void Repeat(std::uint64_t from, std::uint64_t size) override;
    std::uint64_t Size() const override { return bytes_.size(); }

    std::vector<std::uint8_t> Take() { return std::move(bytes_); }

  private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace kestrava::synth
