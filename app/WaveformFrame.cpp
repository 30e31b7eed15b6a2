#include "app/WaveformFrame.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "app/QtCanvas.h"

namespace kestrava {
namespace {

int ToInt(std::uint32_t value) {
    return static_cast<int>(std::min<std::uint32_t>(value, std::numeric_limits<int>::max()));
}

constexpr int kAxisTicks = 5;

}  // namespace

// Four significant digits at most, in the largest unit that keeps the number at 1 or more.
QString TimeText(double seconds) {
    static const struct {
        double scale;
        const char* unit;
    } kUnits[] = {{1e-12, "ps"}, {1e-9, "ns"}, {1e-6, "\u00b5s"}, {1e-3, "ms"}, {1.0, "s"}};
    const double magnitude = std::abs(seconds);
    if (magnitude == 0.0) return QStringLiteral("0 s");
    auto unit = std::begin(kUnits);
    while (unit + 1 != std::end(kUnits) && magnitude >= (unit + 1)->scale) ++unit;
    return QString::number(seconds / unit->scale, 'g', 4) + QChar(' ') +
           QString::fromUtf8(unit->unit);
}

GraphArea::GraphArea(QWidget* parent) : QWidget(parent) {
    setMinimumSize(200, 120);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setMouseTracking(true);
}

void GraphArea::mouseMoveEvent(QMouseEvent* event) {
    if (pointed) pointed(event->position().toPoint().x() - 1);
}

void GraphArea::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && clicked) clicked(event->position().toPoint().x() - 1);
}

void GraphArea::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y();
    if (steps == 0 || !wheeled) return event->ignore();
    wheeled(event->position().toPoint().x() - 1, steps > 0);
    event->accept();
}

void GraphArea::leaveEvent(QEvent*) {
    if (pointed) pointed(-1);
}

// Ticks along the top edge with the sample number and its time: the drawing itself has no
// scale, and the report and plot keep their own look.
void GraphArea::DrawAxis(QPainter& painter, const GraphSpan& axis) const {
    const int columns = Columns();
    if (axis.samples == 0 || columns <= 0) return;
    painter.setPen(QColor(20, 20, 20));
    painter.setBackgroundMode(Qt::TransparentMode);  // the word names leave an opaque red
    QFont font = painter.font();
    font.setPointSizeF(7.5);
    painter.setFont(font);
    for (int tick = 0; tick < kAxisTicks; ++tick) {
        const int x = columns * tick / kAxisTicks;
        const std::uint32_t sample =
            axis.start + static_cast<std::uint32_t>(std::int64_t{x} * axis.samples / columns);
        painter.drawLine(x, 0, x, 5);
        QString label = QString::number(sample);
        if (axis.intervalSeconds > 0)
            label +=
                QStringLiteral("  ") + TimeText(axis.firstSeconds + axis.intervalSeconds * sample);
        painter.drawText(x + 3, 14, label);
    }
}

void GraphArea::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(39, 78, 117));
    if (!draw) return;
    // One pixel in on the left and top, two on the right and bottom, as the frame's border.
    painter.translate(1, 1);
    painter.setClipRect(0, 0, width() - 3, height() - 3);
    QtCanvas canvas(painter, width() - 3, height() - 3);
    draw(canvas);
    if (axis)
        if (const std::optional<GraphSpan> shown = axis()) DrawAxis(painter, *shown);
}

WaveformFrame::WaveformFrame(QWidget* parent) : QGroupBox(QStringLiteral("Waveforms"), parent) {
    graph_ = new GraphArea(this);
    scrollBar_ = new QScrollBar(Qt::Horizontal, this);
    scrollBar_->setRange(0, 0);

    auto* zoom = new QGroupBox(QStringLiteral("Zoom"), this);
    showAll_ = new QPushButton(QStringLiteral("Show All"), zoom);
    in_ = new QPushButton(QStringLiteral("In"), zoom);
    out_ = new QPushButton(QStringLiteral("Out"), zoom);
    dword_ = new QPushButton(QStringLiteral("Dword"), zoom);
    goToTrig_ = new QPushButton(QStringLiteral("Go To Trig"), zoom);
    auto* zoomRow = new QHBoxLayout(zoom);
    for (QPushButton* button : {showAll_, in_, out_, dword_, goToTrig_}) zoomRow->addWidget(button);

    auto* column = new QVBoxLayout(this);
    column->addWidget(graph_, 1);
    column->addWidget(scrollBar_);
    column->addWidget(zoom);
}

void WaveformFrame::SetRange(std::uint32_t total, std::uint32_t page) {
    QSignalBlocker block(scrollBar_);
    const std::uint32_t last = total > page ? total - page : 0;
    scrollBar_->setRange(0, ToInt(last));
    scrollBar_->setPageStep(std::max(1, ToInt(page)));
    // A line is 1/619 of the visible window plus one sample.
    scrollBar_->setSingleStep(ToInt(page / 619 + 1));
}

void WaveformFrame::SetPosition(std::uint32_t position) {
    QSignalBlocker block(scrollBar_);
    scrollBar_->setValue(ToInt(position));
}

}  // namespace kestrava
