#include "app/ColourScheme.h"

#include <QApplication>
#include <QFrame>
#include <QPushButton>
#include <QWidget>

#include "app/WindowStyle.h"

namespace kestrava {

void ApplyColourScheme(QWidget& window) {
    // Indicators and the focus ring come from the style, once for the whole program.
    if (!dynamic_cast<WindowStyle*>(QApplication::style())) QApplication::setStyle(new WindowStyle);
    // Every state differs from the others by at least 3:1 in contrast: disabled fields are
    // hollow, the keyboard focus is an amber ring where the window's blue was.
    window.setStyleSheet(QStringLiteral(
        "QDialog, QMainWindow, QWidget#centralArea { background: rgb(39,78,117); }"
        "QLabel, QCheckBox, QRadioButton, QGroupBox { color: white; }"
        "QGroupBox { border: 1px solid rgb(174,198,220); border-radius: 3px;"
        "  margin-top: 1.2ex; padding-top: 0.6ex; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 3px; }"
        "QLineEdit, QListView, QPlainTextEdit, QComboBox { background: white; color: black; }"
        "QLineEdit, QComboBox { border: 2px solid rgb(39,78,117); padding: 1px; }"
        "QLineEdit:focus, QComboBox:focus { border-color: rgb(255,192,0); }"
        "QLineEdit:disabled, QComboBox:disabled { background: rgb(39,78,117);"
        "  color: rgb(174,198,220); border: 1px dashed rgb(174,198,220); padding: 2px; }"
        "QLabel:disabled, QCheckBox:disabled, QRadioButton:disabled { color: rgb(174,198,220); }"
        "QPushButton { color: white; background: rgb(54,108,161); border: 1px solid white;"
        "  padding: 3px 8px; }"
        "QPushButton:pressed { background: rgb(39,78,117); }"
        "QPushButton:focus { border: 3px solid rgb(255,192,0); padding: 1px 6px; }"
        "QPushButton:disabled { color: rgb(174,198,220); }"
        "QSplitter::handle { background: rgb(174,198,220); }"));
}

std::optional<LineColours> ColoursOfLine(ListLineKind kind) {
    switch (kind) {
        case ListLineKind::kInvalid:
            return LineColours{QColor(150, 0, 0), QColor(255, 214, 214)};
        case ListLineKind::kDisparityError:
            return LineColours{QColor(120, 60, 0), QColor(255, 232, 196)};
        case ListLineKind::kSampleSlip:
            return LineColours{QColor(70, 30, 140), QColor(226, 214, 255)};
        case ListLineKind::kSilence:
            return LineColours{QColor(60, 60, 60), QColor(225, 225, 225)};
        case ListLineKind::kPlain:
            break;
    }
    return std::nullopt;
}

void ColourButton(QPushButton& button, const QColor& text, const QColor& background) {
    button.setStyleSheet(QStringLiteral("QPushButton { color: %1; background: %2; }")
                             .arg(text.name(), background.name()));
}

QFrame* MakeSeparator(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFixedHeight(2);
    line->setStyleSheet(QStringLiteral("background: rgb(174,198,220); border: none;"));
    return line;
}

}  // namespace kestrava
