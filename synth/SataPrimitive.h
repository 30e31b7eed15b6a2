// The eighteen Serial ATA primitives: a control character followed by three data
// characters, sent least significant byte first.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "synth/Encoder8b10b.h"

namespace kestrava::synth {

// In alphabetical order.
// clang-format off
enum class SataPrimitive : std::uint8_t {
    Align, Cont, Dmat, Eof, Hold, Holda, Pmack, Pmnak, PmreqP, PmreqS,
    RErr, RIp, ROk, RRdy, Sof, Sync, Wtrm, XRdy,
};
// clang-format on

struct PrimitiveSpec {
    SataPrimitive kind;
    std::string_view name;
    std::array<int, 4> characters;  // character values, first sent first
};

namespace detail {
// A table row from the four character names as the standard writes them.
constexpr PrimitiveSpec Define(SataPrimitive kind, std::string_view name, std::string_view chars) {
    PrimitiveSpec primitive{kind, name, {}};
    for (int i = 0; i < 4; ++i) {
        const std::size_t end = chars.find(' ');
        primitive.characters[i] = CharacterValue(chars.substr(0, end));
        chars = end == std::string_view::npos ? std::string_view{} : chars.substr(end + 1);
    }
    return primitive;
}
}  // namespace detail

// clang-format off
inline constexpr std::array<PrimitiveSpec, 18> kPrimitives{{
    detail::Define(SataPrimitive::Align,  "ALIGN",   "K28.5 D10.2 D10.2 D27.3"),
    detail::Define(SataPrimitive::Cont,   "CONT",    "K28.3 D10.5 D25.4 D25.4"),
    detail::Define(SataPrimitive::Dmat,   "DMAT",    "K28.3 D21.5 D22.1 D22.1"),
    detail::Define(SataPrimitive::Eof,    "EOF",     "K28.3 D21.5 D21.6 D21.6"),
    detail::Define(SataPrimitive::Hold,   "HOLD",    "K28.3 D10.5 D21.6 D21.6"),
    detail::Define(SataPrimitive::Holda,  "HOLDA",   "K28.3 D10.5 D21.4 D21.4"),
    detail::Define(SataPrimitive::Pmack,  "PMACK",   "K28.3 D21.4 D21.4 D21.4"),
    detail::Define(SataPrimitive::Pmnak,  "PMNAK",   "K28.3 D21.4 D21.7 D21.7"),
    detail::Define(SataPrimitive::PmreqP, "PMREQ_P", "K28.3 D21.5 D23.0 D23.0"),
    detail::Define(SataPrimitive::PmreqS, "PMREQ_S", "K28.3 D21.4 D21.3 D21.3"),
    detail::Define(SataPrimitive::RErr,   "R_ERR",   "K28.3 D21.5 D22.2 D22.2"),
    detail::Define(SataPrimitive::RIp,    "R_IP",    "K28.3 D21.5 D21.2 D21.2"),
    detail::Define(SataPrimitive::ROk,    "R_OK",    "K28.3 D21.5 D21.1 D21.1"),
    detail::Define(SataPrimitive::RRdy,   "R_RDY",   "K28.3 D21.4 D10.2 D10.2"),
    detail::Define(SataPrimitive::Sof,    "SOF",     "K28.3 D21.5 D23.1 D23.1"),
    detail::Define(SataPrimitive::Sync,   "SYNC",    "K28.3 D21.4 D21.5 D21.5"),
    detail::Define(SataPrimitive::Wtrm,   "WTRM",    "K28.3 D21.5 D24.2 D24.2"),
    detail::Define(SataPrimitive::XRdy,   "X_RDY",   "K28.3 D21.5 D23.2 D23.2"),
}};
// clang-format on

namespace detail {
constexpr bool WellFormed() {
    for (std::size_t i = 0; i < kPrimitives.size(); ++i) {
        if (static_cast<std::size_t>(kPrimitives[i].kind) != i) return false;
        for (int c : kPrimitives[i].characters)
            if (c < 0) return false;
    }
    return true;
}
}  // namespace detail
static_assert(detail::WellFormed(), "primitives out of order or naming unknown characters");

constexpr const PrimitiveSpec& SpecOf(SataPrimitive kind) {
    return kPrimitives[static_cast<std::size_t>(kind)];
}
constexpr std::string_view NameOf(SataPrimitive kind) {
    return SpecOf(kind).name;
}
std::optional<SataPrimitive> PrimitiveNamed(std::string_view name);

}  // namespace kestrava::synth
