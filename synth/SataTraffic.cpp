#include "synth/SataTraffic.h"

namespace kestrava::synth {

std::string_view FaultName(FaultKind kind) {
    switch (kind) {
        case FaultKind::None:
            return "none";
        case FaultKind::InvalidCode:
            return "invalid-code";
        case FaultKind::WrongDisparity:
            return "wrong-disparity";
        case FaultKind::ExtraBit:
            return "extra-bit";
        case FaultKind::LostBit:
            return "lost-bit";
    }
    return "none";
}

}  // namespace kestrava::synth
