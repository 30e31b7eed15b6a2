#include "app/WindowStyle.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyleFactory>
#include <QStyleOption>

namespace kestrava {
namespace {

constexpr int kIndicatorSize = 14;
constexpr qreal kPenWidth = 2.0;

// Marks take the control's text colour: white in the window's dialogs, black in menus.
QColor MarkColour(const QStyleOption& option) {
    const QPalette::ColorGroup group =
        option.state & QStyle::State_Enabled ? QPalette::Active : QPalette::Disabled;
    return option.palette.color(group, QPalette::WindowText);
}

void DrawCheckBox(const QStyleOption& option, QPainter& painter) {
    const QColor mark = MarkColour(option);
    const QRectF box = QRectF(option.rect).adjusted(1, 1, -1, -1);
    painter.setPen(QPen(mark, kPenWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(box);
    if (option.state & QStyle::State_On) {
        QPainterPath tick;
        tick.moveTo(box.left() + box.width() * 0.2, box.top() + box.height() * 0.5);
        tick.lineTo(box.left() + box.width() * 0.42, box.top() + box.height() * 0.75);
        tick.lineTo(box.left() + box.width() * 0.8, box.top() + box.height() * 0.25);
        painter.setPen(QPen(mark, kPenWidth + 0.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(tick);
    } else if (option.state & QStyle::State_NoChange) {
        painter.fillRect(box.adjusted(3, box.height() / 2 - 1, -3, -box.height() / 2 + 1), mark);
    }
}

void DrawRadioButton(const QStyleOption& option, QPainter& painter) {
    const QColor mark = MarkColour(option);
    const QRectF ring = QRectF(option.rect).adjusted(1, 1, -1, -1);
    painter.setPen(QPen(mark, kPenWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(ring);
    if (option.state & QStyle::State_On) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(mark);
        painter.drawEllipse(ring.adjusted(3.5, 3.5, -3.5, -3.5));
    }
}

void DrawFocusRing(const QStyleOption& option, QPainter& painter) {
    painter.setPen(QPen(QColor::fromRgb(kFocusRing), kPenWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(option.rect).adjusted(1, 1, -1, -1));
}

}  // namespace

WindowStyle::WindowStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

void WindowStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                QPainter* painter, const QWidget* widget) const {
    if (!option || !painter) return QProxyStyle::drawPrimitive(element, option, painter, widget);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    switch (element) {
        case PE_IndicatorCheckBox:
            DrawCheckBox(*option, *painter);
            break;
        case PE_IndicatorRadioButton:
            DrawRadioButton(*option, *painter);
            break;
        case PE_FrameFocusRect:
            DrawFocusRing(*option, *painter);
            break;
        default:
            painter->restore();
            return QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
    painter->restore();
}

int WindowStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                             const QWidget* widget) const {
    if (metric == PM_IndicatorWidth || metric == PM_IndicatorHeight ||
        metric == PM_ExclusiveIndicatorWidth || metric == PM_ExclusiveIndicatorHeight)
        return kIndicatorSize;
    return QProxyStyle::pixelMetric(metric, option, widget);
}

}  // namespace kestrava
