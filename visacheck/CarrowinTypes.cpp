#include "visacheck/CarrowinTypes.h"

namespace kestrava {

std::string_view CarrowinResultHelp(std::int32_t code) {
    for (const ResultCodeInfo& info : kCarrowinResults)
        if (info.code == code) return info.helpText;
    return {};
}

std::string_view CarrowinResultName(std::int32_t code) {
    for (const ResultCodeInfo& info : kCarrowinResults)
        if (info.code == code) return info.name;
    return {};
}

std::string_view PlatformDescription(std::int32_t platform) {
    for (const PlatformInfo& info : kPlatforms)
        if (info.id == platform) return info.description;
    return {};
}

}  // namespace kestrava
