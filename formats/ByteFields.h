// Fixed-offset fields of a header block read in the block's byte order; a field that
// does not fit the block reads as zero, so a parser checks the block's size once.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <type_traits>

namespace kestrava {

class ByteFields {
  public:
    ByteFields(std::span<const unsigned char> bytes, bool bigEndian)
        : bytes_(bytes), bigEndian_(bigEndian) {}

    template <class T>
    T Get(std::size_t offset) const {
        using Bits = std::conditional_t<
            sizeof(T) == 1, std::uint8_t,
            std::conditional_t<sizeof(T) == 2, std::uint16_t,
                               std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>>;
        if (offset > bytes_.size() || bytes_.size() - offset < sizeof(T)) return T{};
        Bits bits = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i) {
            const Bits byte = bytes_[offset + (bigEndian_ ? i : sizeof(T) - 1 - i)];
            bits = static_cast<Bits>((sizeof(T) > 1 ? bits << 8 : 0) | byte);
        }
        return std::bit_cast<T>(bits);
    }

    // size bytes from offset up to the first NUL, trailing blanks removed.
    std::string Text(std::size_t offset, std::size_t size) const {
        if (offset > bytes_.size()) return {};
        size = std::min(size, bytes_.size() - offset);
        const auto* begin = reinterpret_cast<const char*>(bytes_.data() + offset);
        std::string text(begin, strnlen(begin, size));
        while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
        return text;
    }

  private:
    std::span<const unsigned char> bytes_;
    bool bigEndian_;
};

}  // namespace kestrava
