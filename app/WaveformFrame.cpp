#include "app/WaveformFrame.h"

#include <algorithm>
#include <limits>

#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/QtCanvas.h"

namespace kestrava {
namespace {

int ToInt(std::uint32_t value) {
    return static_cast<int>(std::min<std::uint32_t>(value, std::numeric_limits<int>::max()));
}

}  // namespace

GraphArea::GraphArea(QWidget* parent) : QWidget(parent) {
    setMinimumSize(200, 120);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
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
