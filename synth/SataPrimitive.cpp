#include "synth/SataPrimitive.h"

namespace kestrava::synth {

std::optional<SataPrimitive> PrimitiveNamed(std::string_view name) {
    for (const PrimitiveSpec& primitive : kPrimitives)
        if (primitive.name == name) return primitive.kind;
    return std::nullopt;
}

}  // namespace kestrava::synth
