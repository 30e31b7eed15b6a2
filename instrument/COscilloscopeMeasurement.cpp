// The instrument's answers the bit detector works with: fast frame, the horizontal
// position and the immediate measurements of a source's levels.
#include "instrument/COscilloscope.h"

#include <string>

#include "instrument/InstrumentStop.h"
#include "instrument/SettingNumbers.h"

namespace kestrava {
namespace {

// Replies are read as at most this many bytes.
constexpr std::size_t kMeasurementReply = 200;

}  // namespace

bool COscilloscope::FastFrameOn() {
    std::string reply;
    Write("HORizontal:FASTframe:State?");
    ReadStatus(reply, kMeasurementReply);
    return SettingInteger(reply) == 1;
}

double COscilloscope::HorizontalPosition() {
    std::string reply;
    Write("HORizontal:MAIn:POSition?");
    ReadStatus(reply, kMeasurementReply);
    return SettingDouble(reply);
}

void COscilloscope::MeasureMaxMinMean(const std::string& source, float& maximum, float& minimum,
                                      float& mean) {
    auto command = [&](const std::string& text) { return WriteStatus(text) >= 0; };
    auto value = [&](float& out) {
        std::string reply;
        if (!command("MEASUrement:IMMed:VALue?") || ReadStatus(reply, kMeasurementReply) < 0)
            return false;
        out = static_cast<float>(SettingDouble(reply));
        return true;
    };
    if (!command("MEASUrement:IMMed:SOUrce " + source) ||
        !command("MEASUrement:IMMed:REFLevel:METHod PERCent") ||
        !command("MEASUrement:MEAS1:METHod HIStogram"))
        return;
    // A stop leaves the statistics as they were: the record they were for is dropped.
    if (!SleepUnlessStopped(timings_.measurementSettle.count())) return;
    if (!command("MEASUrement:IMMed:TYPe MAXimum") || !value(maximum)) return;
    if (!command("MEASUrement:IMMed:TYPe MINImum") || !value(minimum)) return;
    if (command("MEASUrement:IMMed:TYPe MEAN")) value(mean);
}

}  // namespace kestrava
