#include "protocol/FrameCrc.h"

#include <array>

namespace kestrava {
namespace {

constexpr std::uint32_t kPolynomial = 0x04C11DB7u;

// The remainder of each top byte shifted through eight steps, so a dword takes four lookups.
constexpr std::array<std::uint32_t, 256> MakeTopByteTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t top = 0; top < 256; ++top) {
        std::uint32_t remainder = top << 24;
        for (int step = 0; step < 8; ++step)
            remainder = (remainder << 1) ^ ((remainder >> 31) ? kPolynomial : 0u);
        table[top] = remainder;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kTopByte = MakeTopByteTable();

}  // namespace

void FrameCrc::Add(std::uint32_t dword) {
    std::uint32_t value = value_ ^ dword;
    for (int byte = 0; byte < 4; ++byte) value = (value << 8) ^ kTopByte[value >> 24];
    value_ = value;
}

std::uint32_t FrameCrc::Of(std::span<const std::uint32_t> dwords) {
    FrameCrc crc;
    for (std::uint32_t dword : dwords) crc.Add(dword);
    return crc.Value();
}

}  // namespace kestrava
