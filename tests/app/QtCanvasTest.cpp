// The window's canvas: what QtCanvas paints, read back from the pixels.
#include <QImage>
#include <QPainter>

#include "app/QtCanvas.h"
#include "tests/app/AppTestSupport.h"

namespace kestrava::test {
namespace {

TEST_F(AppTest, QtCanvasDrawsLinesCirclesAndBoxedText) {
    QImage image(100, 60, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        QtCanvas canvas(painter, 100, 60);
        EXPECT_EQ(canvas.Width(), 100);
        canvas.FillBackground({174, 198, 220});
        canvas.SetPen({0, 0, 200}, 0);
        canvas.MoveTo(0, 10);
        canvas.LineTo(50, 10);
        canvas.SetFill({255, 255, 0});
        canvas.Ellipse(60, 0, 70, 10);
        canvas.SetPen({255, 255, 255}, 0);
        canvas.SetFill({255, 0, 0});
        canvas.SetFont(100, "Courier New");
        canvas.Text(2, 30, "K28.5");
    }
    EXPECT_EQ(image.pixelColor(90, 55), QColor(174, 198, 220));
    EXPECT_EQ(image.pixelColor(25, 10), QColor(0, 0, 200));
    EXPECT_EQ(image.pixelColor(65, 5), QColor(255, 255, 0));
    // White characters on a red box.
    int red = 0, white = 0;
    for (int x = 2; x < 30; ++x)
        for (int y = 30; y < 42; ++y) {
            red += image.pixelColor(x, y) == QColor(255, 0, 0);
            white += image.pixelColor(x, y) == QColor(255, 255, 255);
        }
    EXPECT_GT(red, 50);
    EXPECT_GT(white, 5);
}

}  // namespace
}  // namespace kestrava::test
