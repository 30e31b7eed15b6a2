// Where a writer's bytes go, in order: memory for a file built whole, or the file itself
// for a capture written a block at a time.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace kestrava::synth {

// A sink that could not create or write its file; the text names the file.
class SinkError : public std::runtime_error {
  public:
    SinkError(bool creating, const std::string& what)
        : std::runtime_error(what), creating_(creating) {}
    bool Creating() const { return creating_; }

  private:
    bool creating_;
};

class ByteSink {
  public:
    virtual ~ByteSink() = default;

    // Throws SinkError when the bytes cannot be stored.
    virtual void Write(std::span<const std::uint8_t> bytes) = 0;
    // Appends again size bytes already written from offset from: a sequence record's
    // further copies, without making the samples twice.
    virtual void Repeat(std::uint64_t from, std::uint64_t size) = 0;
    virtual std::uint64_t Size() const = 0;
};

}  // namespace kestrava::synth
