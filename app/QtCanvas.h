// The graph's canvas on a QPainter, with the drawing habits of the graph: a current
// position for line drawing, the pen colour as text colour, the fill colour as text
// background, and text placed by its top-left corner.
#pragma once

#include <QColor>
#include <QFont>
#include <QPoint>

#include "session/ICanvas.h"

class QPainter;

namespace kestrava {

class QtCanvas : public ICanvas {
  public:
    // Draws into the painter's rectangle (0, 0, width, height); the painter is not owned.
    QtCanvas(QPainter& painter, int width, int height);

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

  private:
    QPainter& painter_;
    int width_, height_;
    QPoint current_;
};

}  // namespace kestrava
