// The primitives that drive frame tracking, named after the shipped SATA definition
// (data/Macros/Sata.csv). They are matched by their position in the loaded definition,
// so a definition that orders its primitives differently tracks frames by other names.
#pragma once

namespace kestrava {

enum class PrimitiveRole : int {
    Align = 0,  // restarts the count of a data word's characters, holds stay held
    Cont = 1,   // what follows until the next primitive repeats, it is not data
    Eof = 3,    // closes the frame
    Hold = 4,   // the transmitter pauses a frame
    Holda = 5,  // the receiver acknowledges a pause
    Sof = 14,   // opens a frame and restarts the scrambler
    Sync = 15,  // idle: inside a frame it cuts the frame short
};

constexpr int RoleNumber(PrimitiveRole role) {
    return static_cast<int>(role);
}

}  // namespace kestrava
