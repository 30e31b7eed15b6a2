// A canvas that writes the graph as an SVG picture, so a report can carry the decode.
#pragma once

#include <string>

#include "session/ICanvas.h"

namespace kestrava {

class SvgCanvas : public ICanvas {
  public:
    SvgCanvas(int width, int height);
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    void FillBackground(Rgb colour) override;
    void SetPen(Rgb colour, int width) override;
    void SetFill(Rgb colour) override;
    void SetFont(int tenthsOfPoint, const std::string& face) override;
    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;
    void Ellipse(int x1, int y1, int x2, int y2) override;
    void Text(int x, int y, const std::string& text) override;

    // The finished document.
    std::string Document();

  private:
    void FlushPath();

    int width_, height_;
    Rgb pen_{}, fill_{255, 255, 255};
    int penWidth_ = 1;
    int fontPx_ = 13;
    std::string face_ = "Courier New";
    int x_ = 0, y_ = 0;
    std::string path_;
    std::string body_;
};

}  // namespace kestrava
