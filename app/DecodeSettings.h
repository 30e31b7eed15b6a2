// What a decode was made with, as far as the window can change it afterwards: thresholds,
// sync pattern, invert, lock sampler and the standard's definition. A shown decode whose
// settings differ from the current ones is out of date.
#pragma once

#include <string>

#include "base/CAnalysisHost.h"

namespace kestrava {

struct DecodeSettings {
    std::string refLevelP, hysteresisP, refLevelAbs, hysteresisAbs;
    unsigned char absolute = 0, auto50Percent = 0;
    std::string syncPattern;
    bool syncEnabled = false;
    int invert = 0, lockSampler = 0;
    std::string definitionPath;

    static DecodeSettings Of(const CAnalysisHost& host, const std::string& definitionPath) {
        return {host.GetRefLevelP(),     host.GetHysterisisP(),
                host.GetRefLevelAbs(),   host.GetHysterisisAbs(),
                host.GetIsAbsRefLevel(), host.GetIsAuto50Percent(),
                host.GetSyncPattern(),   host.GetSyncPatternEnabled(),
                host.GetInvert(),        host.GetLockSampler(),
                definitionPath};
    }
    bool operator==(const DecodeSettings&) const = default;
};

}  // namespace kestrava
