// The drawing surface of the waveform graph. The window paints it with QPainter, the
// command line writes SVG, and tests record the calls.
#pragma once

#include <string>

namespace kestrava {

struct Rgb {
    int r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

class ICanvas {
  public:
    virtual ~ICanvas() = default;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual void FillBackground(Rgb colour) = 0;
    // The current pen also sets the text colour.
    virtual void SetPen(Rgb colour, int width) = 0;
    // The current brush also sets the text background.
    virtual void SetFill(Rgb colour) = 0;
    // Tenths of a point and a face name; a font that cannot be made leaves the old one.
    virtual void SetFont(int tenthsOfPoint, const std::string& face) = 0;
    virtual void MoveTo(int x, int y) = 0;
    virtual void LineTo(int x, int y) = 0;
    virtual void Ellipse(int x1, int y1, int x2, int y2) = 0;
    virtual void Text(int x, int y, const std::string& text) = 0;
};

}  // namespace kestrava
