// What every fuzz target shares: a private scratch folder that stands in for the user's
// folders (TMPDIR for the log and temporary files, XDG data and config homes, the
// installation folder), files to hand the input to readers that only take a path, and a
// loud failure for broken invariants.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrava::fuzz {

// Creates the scratch folder on first call and points the environment at it; message
// boxes are swallowed. Cheap after the first call.
void PrepareEnvironment();

// The scratch folder (PrepareEnvironment first).
const std::string& ScratchFolder();

// Writes the input to a file of that name in the scratch folder and returns its path.
std::string WriteInputFile(const std::uint8_t* data, std::size_t size, std::string_view name);

// Removes the diagnostic log every few dozen inputs: the loaders log freely, and a
// fuzzing run makes millions of inputs.
void TrimLog();

// A broken invariant: prints what and aborts, so the fuzzer keeps the input.
[[noreturn]] void Fail(std::string_view what);

inline void Check(bool condition, std::string_view what) {
    if (!condition) Fail(what);
}

// Reads the input from the front: small numbers that steer a target, then the rest.
class InputReader {
  public:
    InputReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t Byte() { return position_ < size_ ? data_[position_++] : 0; }
    std::string_view Rest() const {
        return {reinterpret_cast<const char*>(data_) + position_, size_ - position_};
    }
    const std::uint8_t* RestData() const { return data_ + position_; }
    std::size_t RestSize() const { return size_ - position_; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

}  // namespace kestrava::fuzz
