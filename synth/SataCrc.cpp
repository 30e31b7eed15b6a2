#include "synth/SataCrc.h"

#include <array>

namespace kestrava::synth {
namespace {

constexpr std::array<std::uint32_t, 256> MakeTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t r = i << 24;
        for (int bit = 0; bit < 8; ++bit)
            r = (r & 0x80000000u) ? (r << 1) ^ SataCrc::kPolynomial : r << 1;
        table[i] = r;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kTable = MakeTable();

}  // namespace

void SataCrc::AddByte(std::uint8_t byte) {
    value_ = value_ << 8 ^ kTable[(value_ >> 24 ^ byte) & 0xFF];
}

void SataCrc::AddDword(std::uint32_t dword) {
    for (int shift = 24; shift >= 0; shift -= 8) AddByte(static_cast<std::uint8_t>(dword >> shift));
}

std::uint32_t SataCrc::Of(std::span<const std::uint32_t> dwords) {
    SataCrc crc;
    for (std::uint32_t d : dwords) crc.AddDword(d);
    return crc.Value();
}

}  // namespace kestrava::synth
