#include "protocol/LinkAnalysis.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "protocol/CSataPrimDecoder.h"
#include "protocol/CSataWordDecoder.h"
#include "protocol/FrameVerdicts.h"
#include "protocol/PrimitiveRole.h"

namespace kestrava {
namespace {

struct Timing {
    const CSataWordDecoder& words;
    double intervalS;
    double firstS;
    double AtWord(int word) const {
        const auto& starts = words.StartPositions();
        if (word < 0 || starts.empty()) return firstS;
        const std::size_t w = std::min(static_cast<std::size_t>(word), starts.size() - 1);
        return firstS + static_cast<double>(starts[w] - 1) * intervalS;
    }
};

bool Skipped(int number) {
    const auto role = static_cast<PrimitiveRole>(number);
    return role == PrimitiveRole::Align || role == PrimitiveRole::Sof || role == PrimitiveRole::Eof;
}

// Runs end where the next primitive of another kind begins; CONT continues a run.
void AddRuns(const CSataPrimDecoder& prims, const Timing& timing, std::vector<LaneItem>& items) {
    const auto& found = prims.FoundPrimitives();
    int open = -1;  // the number of the open run
    for (std::size_t i = 0; i < found.size(); ++i) {
        const int number = found[i].number;
        if (static_cast<PrimitiveRole>(number) == PrimitiveRole::Align) continue;
        const bool continues =
            open == number || static_cast<PrimitiveRole>(number) == PrimitiveRole::Cont;
        if (open >= 0 && continues) {
            if (static_cast<PrimitiveRole>(number) == PrimitiveRole::Cont)
                items.back().cont = true;
            else
                ++items.back().count;
            continue;
        }
        if (open >= 0) items.back().endS = timing.AtWord(found[i].wordIndex);
        open = Skipped(number) ? -1 : number;
        if (open < 0) continue;
        LaneItem run;
        run.name = prims.GetPrimitive(static_cast<int>(i));
        run.startS = run.endS = timing.AtWord(found[i].wordIndex);
        items.push_back(run);
    }
    if (open >= 0) items.back().endS = timing.AtWord(timing.words.WordCount() - 1);
}

void AddFrames(const CSataPrimDecoder& prims, const Timing& timing, std::vector<LaneItem>& items) {
    const std::vector<FrameVerdict> verdicts = JudgeFrames(prims);
    const auto& records = prims.FrameRecords();
    for (std::size_t i = 0; i < verdicts.size() && i < records.size(); ++i) {
        LaneItem frame;
        frame.frame = true;
        frame.name = verdicts[i].text;
        frame.startS = timing.AtWord(records[i].frame.sofWordIndex);
        frame.endS = records[i].endWordIndex >= 0 ? timing.AtWord(records[i].endWordIndex)
                                                  : timing.AtWord(timing.words.WordCount() - 1);
        items.push_back(frame);
    }
}

// One lane split into its runs and its frames, each ordered by start; runs follow each
// other, so their ends are ordered too. Every look-up is a binary search and a walk
// through the window asked about, so a link decodes in time linear in its items.
struct Lane {
    std::vector<const LaneItem*> runs;
    std::vector<const LaneItem*> frames;

    explicit Lane(const std::vector<LaneItem>& items) {
        for (const LaneItem& item : items) (item.frame ? frames : runs).push_back(&item);
    }
    // The first run of the name that starts within the span.
    const LaneItem* FirstRun(const std::string& name, double fromS, double toS) const {
        for (auto it = StartingFrom(runs, fromS); it != runs.end() && (*it)->startS <= toS; ++it)
            if ((*it)->name == name) return *it;
        return nullptr;
    }
    // A run of the name that overlaps the span.
    bool Overlaps(const std::string& name, double fromS, double toS) const {
        auto it = std::partition_point(runs.begin(), runs.end(),
                                       [&](const LaneItem* r) { return r->endS < fromS; });
        for (; it != runs.end() && (*it)->startS <= toS; ++it)
            if ((*it)->name == name) return true;
        return false;
    }
    bool FrameStarts(double fromS, double toS) const {
        auto it = StartingFrom(frames, fromS);
        return it != frames.end() && (*it)->startS <= toS;
    }
    // The run right before the time, when it is of the name.
    const LaneItem* RunBefore(const std::string& name, double timeS) const {
        auto it = StartingFrom(runs, timeS);
        if (it == runs.begin() || (*std::prev(it))->name != name) return nullptr;
        return *std::prev(it);
    }

  private:
    static std::vector<const LaneItem*>::const_iterator StartingFrom(
        const std::vector<const LaneItem*>& items, double fromS) {
        return std::partition_point(items.begin(), items.end(),
                                    [&](const LaneItem* i) { return i->startS < fromS; });
    }
};

std::string FrameAnswer(const Lane& own, const Lane& other, const LaneItem& frame,
                        const LinkLimits& limits) {
    std::string text = frame.name;
    const LaneItem* xrdy = own.RunBefore("X_RDY", frame.startS);
    const bool ready = xrdy && other.Overlaps("R_RDY", xrdy->startS, frame.startS);
    text += ready ? "; after R_RDY" : "; no R_RDY before it";
    const double untilS = frame.endS + limits.answerS;
    const LaneItem* ok = other.FirstRun("R_OK", frame.startS, untilS);
    const LaneItem* err = other.FirstRun("R_ERR", frame.startS, untilS);
    if (err && (!ok || err->startS < ok->startS))
        text += "; R_ERR: the receiver refused it";
    else if (ok)
        text += "; R_OK";
    else
        text += "; never acknowledged";
    return text;
}

std::string RunText(const Lane& own, const Lane& other, const LaneItem& run,
                    const LinkLimits& limits) {
    char text[64];
    std::snprintf(text, sizeof text, "%s x%d%s", run.name.c_str(), run.count,
                  run.cont ? " (CONT)" : "");
    std::string line = text;
    const double untilS = run.startS + limits.answerS;
    if (run.name == "X_RDY" && !other.Overlaps("R_RDY", run.startS, untilS) &&
        !own.FrameStarts(run.startS, untilS))
        line += "; handshake stalled: no R_RDY";
    if (run.name == "HOLD")
        line += other.Overlaps("HOLDA", run.startS, run.endS + limits.answerS)
                    ? "; answered by HOLDA"
                    : "; no HOLDA";
    return line;
}

void AddLane(const std::vector<LaneItem>& items, const Lane& own, const Lane& other,
             bool hostToDevice, const LinkLimits& limits, std::vector<LinkLine>& lines) {
    for (const LaneItem& item : items)
        lines.push_back(
            {item.startS, hostToDevice,
             item.frame ? FrameAnswer(own, other, item, limits) : RunText(own, other, item, limits),
             !item.frame && item.name == "SYNC"});
}

}  // namespace

std::vector<LaneItem> LaneItems(const CSataPrimDecoder& prims, const CSataWordDecoder& words,
                                double sampleIntervalS, double firstSampleTimeS) {
    const Timing timing{words, sampleIntervalS, firstSampleTimeS};
    std::vector<LaneItem> items;
    AddRuns(prims, timing, items);
    AddFrames(prims, timing, items);
    std::stable_sort(items.begin(), items.end(),
                     [](const LaneItem& a, const LaneItem& b) { return a.startS < b.startS; });
    return items;
}

std::vector<LinkLine> AnalyseLink(const std::vector<LaneItem>& host,
                                  const std::vector<LaneItem>& device, const LinkLimits& limits) {
    std::vector<LinkLine> lines;
    lines.reserve(host.size() + device.size());
    const Lane hostLane(host), deviceLane(device);
    AddLane(host, hostLane, deviceLane, true, limits, lines);
    AddLane(device, deviceLane, hostLane, false, limits, lines);
    std::stable_sort(lines.begin(), lines.end(),
                     [](const LinkLine& a, const LinkLine& b) { return a.timeS < b.timeS; });
    return lines;
}

std::string LinkText(const std::vector<LinkLine>& lines) {
    std::string text;
    char head[48];
    for (const LinkLine& line : lines) {
        std::snprintf(head, sizeof head, "%12.4f us  %s  ", line.timeS * 1e6,
                      line.hostToDevice ? "H>D" : "D>H");
        text += head;
        text += line.text;
        text += '\n';
    }
    return text;
}

}  // namespace kestrava
