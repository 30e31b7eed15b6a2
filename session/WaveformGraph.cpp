#include "session/WaveformGraph.h"

#include <algorithm>

#include "base/CAnalysisHost.h"
#include "protocol/CSataWordDecoder.h"
#include "session/SataDecoder.h"
#include "signal/CSataBitDetector.h"

namespace kestrava {
namespace {

constexpr Rgb kGrid{125, 125, 125};
constexpr Rgb kCentreLine{50, 50, 50};
constexpr Rgb kOriginal{0, 130, 0};
constexpr Rgb kLevels{255, 255, 0};
constexpr Rgb kRecovered{0, 0, 200};
constexpr Rgb kMarker{255, 0, 0};
constexpr Rgb kWordLine{255, 100, 100};
constexpr Rgb kWordText{255, 255, 255};
constexpr Rgb kWordBackground{255, 0, 0};
constexpr int kPointRadius = 5;

}  // namespace

WaveformGraph::WaveformGraph(const CSataBitDetector& bits, const CSataWordDecoder* words,
                             const CAnalysisHost& host)
    : bits_(bits), words_(words), host_(host) {}

void WaveformGraph::Draw(ICanvas& canvas, GraphView& view) {
    const std::uint32_t count = bits_.SampleCount();
    view.width = ShownSamples(view.width, count);
    if (view.start + static_cast<std::uint64_t>(view.width) > count)
        view.start = count - view.width;
    if (view.width == 0) return;

    start_ = view.start;
    samples_ = view.width;
    width_ = canvas.Width();
    height_ = canvas.Height();
    polarity_ = host_.GetInvert() == 1 ? -1 : 1;
    const bool hasCodes = bits_.Record().CodeCount() >= count;
    const bool hasLevels = bits_.LevelCount() >= count;

    if (view.gridAndLevels) DrawGrid(canvas);
    if (hasCodes) FindCodeScale();
    if (view.originalSignal && hasCodes) DrawOriginal(canvas);
    if (view.gridAndLevels && hasCodes) DrawLevels(canvas);
    if (view.recoveredSignal && hasLevels) DrawRecovered(canvas);
    if (view.samplePoints && hasLevels && !view.overview) DrawSamplePoints(canvas);
    canvas.SetFont(100, "Courier New");
    if (view.wordNames && words_ && words_->WordCount() > 0 && !view.overview)
        DrawWordNames(canvas);
}

int WaveformGraph::X(std::int64_t sample) const {
    return static_cast<int>(width_ * (sample - static_cast<std::int64_t>(start_)) / samples_);
}

std::uint32_t WaveformGraph::SampleAtColumn(int x) const {
    return SampleAtColumn(start_, samples_, width_, x);
}

std::uint32_t WaveformGraph::SampleAtColumn(std::uint32_t start, std::uint32_t samples, int columns,
                                            int x) {
    return start + static_cast<std::uint32_t>(static_cast<std::int64_t>(x) * samples / columns);
}

void WaveformGraph::DrawGrid(ICanvas& canvas) const {
    for (int i = 0; i < 10; ++i) {
        canvas.SetPen(i == 5 ? kCentreLine : kGrid, 0);
        int y = i * (height_ / 10);
        canvas.MoveTo(0, y);
        canvas.LineTo(width_, y);
    }
    if (samples_ >= 80) return;
    canvas.SetPen(kGrid, 0);
    for (std::uint32_t i = 0; i < samples_; ++i) {
        int x = static_cast<int>(static_cast<std::int64_t>(i) * width_ / samples_);
        canvas.MoveTo(x, 0);
        canvas.LineTo(x, height_);
    }
}

// The visible codes fill the height: the largest at the top, or at the bottom when the
// waveform is inverted.
void WaveformGraph::FindCodeScale() {
    const CodeRange range = bits_.Record().CodesOf(start_, samples_);
    const int largest = range.largest, smallest = range.smallest;
    topCode_ = polarity_ == 1 ? largest : smallest;
    bottomCode_ = polarity_ == 1 ? smallest : largest;
}

int WaveformGraph::CodeY(int code) const {
    int span = bottomCode_ - topCode_;
    if (span == 0) span = 1;
    return (code - topCode_) * height_ / span;
}

void WaveformGraph::DrawOriginal(ICanvas& canvas) const {
    const WaveformRecord& record = bits_.Record();
    canvas.SetPen(kOriginal, 0);
    canvas.MoveTo(0, CodeY(record.Code(start_)));
    for (int x = 0; x < width_; ++x) canvas.LineTo(x, CodeY(record.Code(SampleAtColumn(x))));
}

void WaveformGraph::DrawLevels(ICanvas& canvas) const {
    const WaveformRecord& record = bits_.Record();
    canvas.SetPen(kLevels, 0);
    for (int code : {record.meanCode, record.meanCode + record.codeSpread,
                     record.meanCode - record.codeSpread}) {
        canvas.MoveTo(0, CodeY(code));
        canvas.LineTo(width_, CodeY(code));
    }
}

void WaveformGraph::DrawRecovered(ICanvas& canvas) const {
    const double count = bits_.SampleCount();
    const double trigger = count * host_.GetHorizontalPosition() * 0.01;
    bool markerDue = trigger - samples_ <= start_ && start_ <= trigger;
    canvas.SetPen(kRecovered, 0);
    canvas.MoveTo(0, height_ / 2);
    for (int x = 0; x < width_; ++x) {
        double f = bits_.Level(SampleAtColumn(x)) + 1.5;
        int scaled = static_cast<int>(height_ * f / 3);
        int y = polarity_ == 1 ? height_ - scaled : scaled;
        canvas.LineTo(x, y);
        canvas.LineTo(x + 1, y);
        if (markerDue) {
            DrawTriggerMarker(canvas);
            canvas.MoveTo(x + 1, y);
            markerDue = false;
        }
    }
}

void WaveformGraph::DrawTriggerMarker(ICanvas& canvas) const {
    // In float first, as the marker has always been placed.
    const double trigger =
        static_cast<float>(bits_.SampleCount()) * host_.GetHorizontalPosition() * 0.01;
    int xm = static_cast<int>(width_ * (trigger - start_) / samples_);
    canvas.SetPen(kMarker, 3);
    canvas.MoveTo(xm, 10);
    canvas.LineTo(xm - 4, 1);
    canvas.LineTo(xm + 4, 1);
    canvas.LineTo(xm, 10);
    canvas.LineTo(xm, 1);
    canvas.SetPen(kRecovered, 0);
}

void WaveformGraph::DrawSamplePoints(ICanvas& canvas) const {
    const BitStream& bits = bits_.Bits();
    canvas.SetPen(kRecovered, 0);
    canvas.SetFill(kLevels);
    const int high = static_cast<int>(height_ * 0.5 / 3);
    const int low = static_cast<int>(height_ * 2.5 / 3);
    auto first = bits.bitPositions.begin();
    auto last = first + std::min<std::size_t>(bits.bitCount, bits.bitPositions.size());
    for (auto it = std::lower_bound(first, last, static_cast<std::int32_t>(start_)); it != last;
         ++it) {
        std::int64_t s = *it;
        if (s >= static_cast<std::int64_t>(start_) + samples_) break;
        if (s < 0 || s >= static_cast<std::int64_t>(bits_.LevelCount())) continue;
        int level = bits_.Level(static_cast<std::size_t>(s));
        if (level == 0) continue;
        int x = X(s);
        int y = level == polarity_ ? high : low;
        canvas.Ellipse(x - kPointRadius, y - kPointRadius, x + kPointRadius, y + kPointRadius);
    }
}

void WaveformGraph::DrawWordNames(ICanvas& canvas) const {
    const auto& starts = words_->StartPositions();
    const auto& ends = words_->EndPositions();
    const std::int64_t last = static_cast<std::int64_t>(start_) + samples_;
    auto first = std::lower_bound(starts.begin(), starts.end(), static_cast<std::int32_t>(start_));
    for (auto it = first; it != starts.end() && *it <= last; ++it) {
        std::size_t w = static_cast<std::size_t>(it - starts.begin());
        int xp = X(*it), xe = X(ends[w]);
        canvas.SetPen(kWordLine, 0);
        canvas.MoveTo(xp, 0);
        canvas.LineTo(xp, height_);
        canvas.MoveTo(xp, height_ - 15);
        canvas.LineTo(xe, height_ - 15);
        canvas.MoveTo(xe, height_ - 10);
        canvas.LineTo(xe, height_ - 20);
        canvas.SetPen(kWordText, 0);
        canvas.SetFill(kWordBackground);
        canvas.Text(xp, height_ - 20, words_->GetWordName(static_cast<int>(w)));
    }
}

}  // namespace kestrava
