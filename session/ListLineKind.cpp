#include "session/ListLineKind.h"

namespace kestrava {

ListLineKind KindOfListLine(std::string_view text) {
    if (text.starts_with("Invalid Code")) return ListLineKind::kInvalid;
    if (text.starts_with("---Got ") || text.starts_with("---Missed "))
        return ListLineKind::kSampleSlip;
    if (text.starts_with("---Silence")) return ListLineKind::kSilence;
    if (text.find("rd error]") != std::string_view::npos) return ListLineKind::kDisparityError;
    return ListLineKind::kPlain;
}

}  // namespace kestrava
