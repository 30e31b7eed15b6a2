#include "synth/MemorySink.h"

#include <algorithm>
#include <stdexcept>

namespace kestrava::synth {

void MemorySink::Write(std::span<const std::uint8_t> bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

void MemorySink::Repeat(std::uint64_t from, std::uint64_t size) {
    if (from > bytes_.size() || size > bytes_.size() - from)
        throw std::out_of_range("repeated bytes beyond those written");
    const std::size_t end = bytes_.size();
    bytes_.resize(end + size);  // the copy reads from the resized vector, never freed memory
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(from), size,
                bytes_.begin() + static_cast<std::ptrdiff_t>(end));
}

}  // namespace kestrava::synth
