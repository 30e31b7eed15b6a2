// One "Waveforms" frame of the main window: the graph area, its scroll bar and the
// "Zoom" group. The window has two, shown in different display states.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include <QGroupBox>
#include <QWidget>

#include "session/GraphPointer.h"
#include "session/ICanvas.h"

class QPushButton;
class QScrollBar;

namespace kestrava {

// The graph area; painting is delegated so the presentation draws onto a QtCanvas. Pointer
// positions are handed on in the drawing's own columns.
class GraphArea : public QWidget {
    Q_OBJECT
  public:
    explicit GraphArea(QWidget* parent = nullptr);
    std::function<void(ICanvas&)> draw;
    std::function<std::optional<GraphSpan>()> axis;
    std::function<void(int column)> pointed;  // -1 when the pointer leaves
    std::function<void(int column, bool in)> wheeled;
    std::function<void(int column)> clicked;

    int Columns() const { return width() - 3; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    void DrawAxis(QPainter& painter, const GraphSpan& axis) const;
};

// A time in the unit that keeps it short: "12.5 ns", "3.2 µs".
QString TimeText(double seconds);

class WaveformFrame : public QGroupBox {
    Q_OBJECT
  public:
    explicit WaveformFrame(QWidget* parent = nullptr);

    GraphArea* Graph() const { return graph_; }
    QScrollBar* ScrollBar() const { return scrollBar_; }
    QPushButton* ShowAllButton() const { return showAll_; }
    QPushButton* InButton() const { return in_; }
    QPushButton* OutButton() const { return out_; }
    QPushButton* DwordButton() const { return dword_; }
    QPushButton* GoToTrigButton() const { return goToTrig_; }

    // Range 0..total with a page of the given size: the last position shows the last page.
    void SetRange(std::uint32_t total, std::uint32_t page);
    // Moves the bar without reporting it as a user scroll.
    void SetPosition(std::uint32_t position);

  private:
    GraphArea* graph_;
    QScrollBar* scrollBar_;
    QPushButton *showAll_, *in_, *out_, *dword_, *goToTrig_;
};

}  // namespace kestrava
