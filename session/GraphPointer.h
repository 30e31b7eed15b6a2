// The pointer over the waveform graph: which sample a pixel column shows (with its time and
// volts), the wheel's zoom around that sample, and a click that selects the character there.
#pragma once

#include <cstdint>
#include <optional>

namespace kestrava {

class CSataUserInterface;

struct GraphPoint {
    std::uint32_t sample = 0;  // 0-based
    double seconds = 0.0;      // from the record's first sample time and interval
    double volts = 0.0;
};

// The samples across the graph and where they lie in time.
struct GraphSpan {
    std::uint32_t start = 0;
    std::uint32_t samples = 0;
    double firstSeconds = 0.0;     // time of sample 0
    double intervalSeconds = 0.0;  // 0 when the record tells no time
};

class GraphPointer {
  public:
    // columns: the graph's drawing width in pixels.
    GraphPointer(CSataUserInterface& ui, int columns) : ui_(ui), columns_(columns) {}

    // Nothing when no waveform is shown.
    std::optional<GraphSpan> Span() const;
    // Nothing when no waveform is shown or x lies outside the graph.
    std::optional<GraphPoint> At(int x) const;
    // Zooms in or out as the Zoom buttons do, keeping the sample under x where it is.
    void ZoomAround(int x, bool in);
    // Selects the characters-list line of the character under x; false when there is none.
    bool SelectCharacter(int x);

  private:
    std::uint32_t Shown() const;  // samples across the graph, as the graph draws them

    CSataUserInterface& ui_;
    int columns_;
};

}  // namespace kestrava
