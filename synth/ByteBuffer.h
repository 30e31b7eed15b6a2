// File bytes built in a chosen byte order: numbers put at fixed offsets of a header or
// appended at the end.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <type_traits>
#include <vector>

namespace kestrava::synth {

class ByteBuffer {
  public:
    explicit ByteBuffer(bool bigEndian) : big_(bigEndian) {}

    template <class T>
    void PutAt(std::size_t at, T value) {
        using Bits = std::conditional_t<
            sizeof(T) == 1, std::uint8_t,
            std::conditional_t<sizeof(T) == 2, std::uint16_t,
                               std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>>;
        if (at + sizeof(T) > bytes_.size()) throw std::out_of_range("field beyond the header");
        const auto bits = std::bit_cast<Bits>(value);
        for (std::size_t i = 0; i < sizeof(T); ++i) {
            const std::size_t shift = 8 * (big_ ? sizeof(T) - 1 - i : i);
            bytes_[at + i] = static_cast<std::uint8_t>(bits >> shift);
        }
    }
    template <class T>
    void Append(T value) {
        bytes_.resize(bytes_.size() + sizeof(T));
        PutAt(bytes_.size() - sizeof(T), value);
    }
    // Text in a field of width bytes, NUL-padded and cut to fit.
    void TextAt(std::size_t at, std::string_view text, std::size_t width) {
        if (at + width > bytes_.size()) throw std::out_of_range("field beyond the header");
        std::fill_n(bytes_.begin() + static_cast<std::ptrdiff_t>(at), width, 0);
        std::copy_n(text.begin(), std::min(text.size(), width),
                    bytes_.begin() + static_cast<std::ptrdiff_t>(at));
    }
    void Grow(std::size_t size) { bytes_.resize(bytes_.size() + size); }
    std::size_t Size() const { return bytes_.size(); }
    std::vector<std::uint8_t>& Bytes() { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
    bool big_;
};

}  // namespace kestrava::synth
