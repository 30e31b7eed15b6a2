// Both lanes of one link on one time axis: each lane's primitive runs and frames, merged
// by time, with what the other lane answered: the R_RDY before a frame, the R_OK or R_ERR
// after it, a HOLDA for a HOLD, and an X_RDY that no R_RDY follows.
#pragma once

#include <string>
#include <vector>

namespace kestrava {

class CSataPrimDecoder;
class CSataWordDecoder;

// A run of one primitive (CONT and the repeats it stands for included) or a frame.
struct LaneItem {
    bool frame = false;
    std::string name;   // the primitive, or the frame's verdict line
    int count = 1;      // primitives seen in the run, CONT left out
    bool cont = false;  // CONT suppressed the rest of the run
    double startS = 0.0;
    double endS = 0.0;
};

struct LinkLine {
    double timeS = 0.0;
    bool hostToDevice = true;
    std::string text;
    bool filler = false;  // a SYNC run: the link idles
};

struct LinkLimits {
    double answerS = 10e-6;  // how long a handshake, an acknowledgement or a HOLDA may take
};

// The runs and frames of one decoded lane, timed by the record's time base. ALIGN is
// left out, and SOF and EOF, which the frame stands for.
std::vector<LaneItem> LaneItems(const CSataPrimDecoder& prims, const CSataWordDecoder& words,
                                double sampleIntervalS, double firstSampleTimeS);

std::vector<LinkLine> AnalyseLink(const std::vector<LaneItem>& host,
                                  const std::vector<LaneItem>& device, const LinkLimits& limits);

// "   12.3456 us  H>D  text"
std::string LinkText(const std::vector<LinkLine>& lines);

}  // namespace kestrava
