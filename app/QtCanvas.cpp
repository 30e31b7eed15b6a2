#include "app/QtCanvas.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPen>

namespace kestrava {
namespace {

QColor ToQColor(Rgb colour) {
    return QColor(colour.r, colour.g, colour.b);
}

}  // namespace

QtCanvas::QtCanvas(QPainter& painter, int width, int height)
    : painter_(painter), width_(width), height_(height) {
    painter_.setBackgroundMode(Qt::OpaqueMode);
}

void QtCanvas::FillBackground(Rgb colour) {
    painter_.fillRect(0, 0, width_, height_, ToQColor(colour));
}

void QtCanvas::SetPen(Rgb colour, int width) {
    // Width 0 is the one-pixel cosmetic pen in both worlds.
    painter_.setPen(QPen(ToQColor(colour), width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
}

void QtCanvas::SetFill(Rgb colour) {
    painter_.setBrush(ToQColor(colour));
    painter_.setBackground(ToQColor(colour));
}

void QtCanvas::SetFont(int tenthsOfPoint, const std::string& face) {
    if (tenthsOfPoint <= 0 || face.empty()) return;
    QFont font(QString::fromStdString(face));
    font.setPointSizeF(tenthsOfPoint / 10.0);
    // Courier New is rarely installed on Linux: fall back to any fixed-pitch face.
    font.setStyleHint(QFont::TypeWriter);
    painter_.setFont(font);
}

void QtCanvas::MoveTo(int x, int y) {
    current_ = QPoint(x, y);
}

void QtCanvas::LineTo(int x, int y) {
    const QPoint to(x, y);
    painter_.drawLine(current_, to);
    current_ = to;
}

void QtCanvas::Ellipse(int x1, int y1, int x2, int y2) {
    painter_.drawEllipse(QRect(QPoint(x1, y1), QPoint(x2 - 1, y2 - 1)));
}

void QtCanvas::Text(int x, int y, const std::string& text) {
    const QFontMetrics metrics(painter_.font());
    const QString line = QString::fromStdString(text);
    const QRect box(x, y, metrics.horizontalAdvance(line), metrics.height());
    painter_.fillRect(box, painter_.background());
    painter_.drawText(QPoint(x, y + metrics.ascent()), line);
}

}  // namespace kestrava
