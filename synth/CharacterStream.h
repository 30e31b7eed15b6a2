// Line bits of named 8b/10b characters sent one after the other with running disparity:
// the traffic of standards whose ordered sets are character sequences (1000BASE-X,
// Fibre Channel, USB 3, SAS, JESD204B), for captures beside the Serial ATA scenarios.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::synth {

class CharacterStream {
  public:
    explicit CharacterStream(bool startNegative = true) : negative_(startNegative) {}

    // Appends the characters of a comma-separated list ("K28.5,D21.5"); throws
    // std::invalid_argument naming the first that is no character.
    void Add(std::string_view names);
    const std::vector<std::uint8_t>& Bits() const { return bits_; }
    std::size_t CharacterCount() const { return bits_.size() / 10; }

  private:
    bool negative_;
    std::vector<std::uint8_t> bits_;
};

}  // namespace kestrava::synth
