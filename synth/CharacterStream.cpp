#include "synth/CharacterStream.h"

#include <stdexcept>

#include "synth/Encoder8b10b.h"

namespace kestrava::synth {

void CharacterStream::Add(std::string_view names) {
    Encoder8b10b encoder(negative_);
    std::vector<std::uint8_t> bits;
    for (std::size_t start = 0; start <= names.size();) {
        std::size_t end = names.find(',', start);
        if (end == std::string_view::npos) end = names.size();
        std::string_view name = names.substr(start, end - start);
        while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
        while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
        const int value = CharacterValue(name);
        if (value < 0)
            throw std::invalid_argument("no such character: '" + std::string(name) + "'");
        const std::uint16_t code = encoder.Encode(value);
        for (int bit = 9; bit >= 0; --bit)
            bits.push_back(static_cast<std::uint8_t>((code >> bit) & 1));
        start = end + 1;
    }
    // Nothing is kept from a list with a bad name.
    bits_.insert(bits_.end(), bits.begin(), bits.end());
    negative_ = encoder.RunningDisparityNegative();
}

}  // namespace kestrava::synth
