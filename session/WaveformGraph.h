// The waveform graph: grid, original samples, threshold levels, the recovered bits with
// the trigger marker, the sample points and the word names, drawn one pixel column at a
// time so its cost follows the graph's width, not the record's length.
#pragma once

#include <algorithm>
#include <cstdint>

#include "session/ICanvas.h"

namespace kestrava {

class CAnalysisHost;
class CSataBitDetector;
class CSataWordDecoder;
struct GraphView;

class WaveformGraph {
  public:
    WaveformGraph(const CSataBitDetector& bits, const CSataWordDecoder* words,
                  const CAnalysisHost& host);

    // Clamps the view to the record, then draws it.
    void Draw(ICanvas& canvas, GraphView& view);
    // The samples a graph shows for a view this wide, of a record of count samples: at
    // least 10, at most the record.
    static std::uint32_t ShownSamples(std::uint32_t width, std::uint32_t count) {
        return std::min(std::max<std::uint32_t>(width, 10), count);
    }
    // The sample pixel column x of a graph `columns` wide shows, samples from start on.
    static std::uint32_t SampleAtColumn(std::uint32_t start, std::uint32_t samples, int columns,
                                        int x);

  private:
    void DrawGrid(ICanvas& canvas) const;
    void FindCodeScale();
    int CodeY(int code) const;
    void DrawOriginal(ICanvas& canvas) const;
    void DrawLevels(ICanvas& canvas) const;
    void DrawRecovered(ICanvas& canvas) const;
    void DrawTriggerMarker(ICanvas& canvas) const;
    void DrawSamplePoints(ICanvas& canvas) const;
    void DrawWordNames(ICanvas& canvas) const;
    int X(std::int64_t sample) const;
    std::uint32_t SampleAtColumn(int x) const;

    const CSataBitDetector& bits_;
    const CSataWordDecoder* words_;
    const CAnalysisHost& host_;
    int polarity_ = 1;
    int width_ = 0, height_ = 0;  // pixels
    std::uint32_t start_ = 0, samples_ = 0;
    int topCode_ = 0, bottomCode_ = 0;
};

}  // namespace kestrava
