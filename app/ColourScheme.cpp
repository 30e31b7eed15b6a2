#include "app/ColourScheme.h"

#include <QFrame>
#include <QPushButton>
#include <QWidget>

namespace kestrava {

void ApplyColourScheme(QWidget& window) {
    window.setStyleSheet(QStringLiteral(
        "QDialog, QMainWindow, QWidget#centralArea { background: rgb(39,78,117); }"
        "QLabel, QCheckBox, QRadioButton, QGroupBox { color: white; }"
        "QGroupBox { border: 1px solid rgb(174,198,220); border-radius: 3px;"
        "  margin-top: 1.2ex; padding-top: 0.6ex; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 3px; }"
        "QLineEdit, QListView, QPlainTextEdit, QComboBox { background: white; color: black; }"
        "QLineEdit:disabled, QComboBox:disabled { background: white; color: black; }"
        "QPushButton { color: white; background: rgb(54,108,161); border: 1px solid white;"
        "  padding: 3px 8px; }"
        "QPushButton:pressed { background: rgb(39,78,117); }"
        "QPushButton:disabled { color: rgb(174,198,220); }"
        "QSplitter::handle { background: rgb(174,198,220); }"));
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
