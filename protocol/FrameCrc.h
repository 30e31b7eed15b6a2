// The CRC that closes every frame: CRC-32 (polynomial 0x04C11DB7, initial value 0x52325032,
// no final inversion) over the descrambled FIS dwords, each dword fed from its top bit.
#pragma once

#include <cstdint>
#include <span>

namespace kestrava {

class FrameCrc {
  public:
    static constexpr std::uint32_t kInitial = 0x52325032u;

    void Add(std::uint32_t dword);
    std::uint32_t Value() const { return value_; }

    static std::uint32_t Of(std::span<const std::uint32_t> dwords);

  private:
    std::uint32_t value_ = kInitial;
};

}  // namespace kestrava
