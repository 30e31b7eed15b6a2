// The window's widget style: the platform's style with check boxes, radio buttons and the
// keyboard focus drawn so that every state stands out from its background.
#pragma once

#include <QProxyStyle>

namespace kestrava {

class WindowStyle : public QProxyStyle {
  public:
    WindowStyle();
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
};

// The focus ring's colour, amber: it stands out on the window's blue and on white fields.
inline constexpr unsigned kFocusRing = 0xFFC000;

}  // namespace kestrava
