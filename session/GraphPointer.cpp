#include "session/GraphPointer.h"

#include <algorithm>

#include "session/CSataUserInterface.h"
#include "session/WaveformGraph.h"
#include "signal/CSataBitDetector.h"

namespace kestrava {
namespace {

std::uint32_t SampleCountOf(CSataUserInterface& ui) {
    const CSataBitDetector* bits = ui.Decoder().BitDetector();
    return bits ? bits->SampleCount() : 0;
}

}  // namespace

std::uint32_t GraphPointer::Shown() const {
    return WaveformGraph::ShownSamples(ui_.view.width, SampleCountOf(ui_));
}

std::optional<GraphSpan> GraphPointer::Span() const {
    if (SampleCountOf(ui_) == 0) return std::nullopt;
    const WaveformHeader& time = ui_.Decoder().BitDetector()->Record().source;
    return GraphSpan{ui_.view.start, Shown(), time.firstTransferPointTimeS, time.sampleIntervalS};
}

std::optional<GraphPoint> GraphPointer::At(int x) const {
    const std::uint32_t count = SampleCountOf(ui_);
    if (count == 0 || columns_ <= 0 || x < 0 || x >= columns_) return std::nullopt;
    const std::uint32_t sample =
        WaveformGraph::SampleAtColumn(ui_.view.start, Shown(), columns_, x);
    if (sample >= count) return std::nullopt;
    const WaveformRecord& record = ui_.Decoder().BitDetector()->Record();
    GraphPoint point;
    point.sample = sample;
    point.seconds = record.source.firstTransferPointTimeS + record.source.sampleIntervalS * sample;
    if (sample < record.VoltCount()) point.volts = record.Volt(sample);
    return point;
}

void GraphPointer::ZoomAround(int x, bool in) {
    const std::optional<GraphPoint> point = At(x);
    if (!point) return;
    if (in)
        ui_.ZoomIn();
    else
        ui_.ZoomOut();
    const std::uint32_t shown = Shown();
    const auto before = static_cast<std::uint32_t>(static_cast<std::int64_t>(x) * shown / columns_);
    ui_.view.start = point->sample > before ? point->sample - before : 0;
}

bool GraphPointer::SelectCharacter(int x) {
    const std::optional<GraphPoint> point = At(x);
    if (!point) return false;
    // Lines carry the 1-based centre of their character's first bit, in ascending order;
    // a character begins half a bit before that centre.
    const std::int64_t reach =
        std::int64_t{point->sample} + 1 + ui_.Decoder().BitDetector()->Bits().samplesPerBit / 2;
    IListBox& list = ui_.MainList();
    int low = 0, high = list.Count();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (list.Data(middle) <= reach)
            low = middle + 1;
        else
            high = middle;
    }
    if (low == 0) return false;
    list.Select(low - 1);
    return true;
}

}  // namespace kestrava
