#include "synth/SataPrimitive.h"

namespace kestrava::synth {

std::optional<SataPrimitive> PrimitiveNamed(std::string_view name) {
    for (const PrimitiveSpec& spec : kPrimitives)
        if (spec.name == name) return spec.kind;
    return std::nullopt;
}

}  // namespace kestrava::synth
