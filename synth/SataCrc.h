// The Serial ATA frame CRC: the 32-bit polynomial 0x04C11DB7 preset to 0x52325032, fed
// with each dword most significant bit first, no reflection and no final inversion.
#pragma once

#include <cstdint>
#include <span>

namespace kestrava::synth {

class SataCrc {
  public:
    static constexpr std::uint32_t kPolynomial = 0x04C11DB7;
    static constexpr std::uint32_t kPreset = 0x52325032;

    explicit SataCrc(std::uint32_t preset = kPreset) : value_(preset) {}

    void AddDword(std::uint32_t dword);
    void AddByte(std::uint8_t byte);
    std::uint32_t Value() const { return value_; }

    // The CRC of a frame's dwords (unscrambled, CRC excluded).
    static std::uint32_t Of(std::span<const std::uint32_t> dwords);

  private:
    std::uint32_t value_;
};

}  // namespace kestrava::synth
