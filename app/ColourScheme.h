// The colours every window of the program shares: dark blue dialogs with white text,
// white edit and list fields with black text, light blue separators, and the colour
// buttons painted white on blue.
#pragma once

#include <optional>

#include <QColor>

#include "session/ListLineKind.h"

class QFrame;
class QPushButton;
class QWidget;

namespace kestrava {

inline const QColor kDialogBlue(39, 78, 117);
inline const QColor kButtonBlue(54, 108, 161);
inline const QColor kSeparatorBlue(174, 198, 220);
inline const QColor kRunningGreen(33, 138, 62);

// The colours of a list line that reports a fault; none for a plain line. Each text colour
// reads at 4.5:1 or better on its background.
struct LineColours {
    QColor text;
    QColor background;
};
std::optional<LineColours> ColoursOfLine(ListLineKind kind);

// Applies the scheme to a window and everything in it.
void ApplyColourScheme(QWidget& window);
// Paints a button's caption in text on background.
void ColourButton(QPushButton& button, const QColor& text, const QColor& background);
// A horizontal separator line in the separator colour.
QFrame* MakeSeparator(QWidget* parent);

}  // namespace kestrava
