#include "app/QtMessageBox.h"

#include <QApplication>
#include <QMessageBox>

namespace kestrava {

void QtMessageBox::Show(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Ok, QApplication::activeWindow());
    StyleMessageBox(box);
    box.exec();
}

void StyleMessageBox(QMessageBox& box) {
    // The same light blue whichever window asks, with black text (7.8:1) on it.
    box.setStyleSheet(QStringLiteral(
        "QMessageBox { background: rgb(125,162,197); }"
        "QMessageBox QLabel { color: black; }"
        "QPushButton { color: black; background: white; border: 1px solid black;"
        "  padding: 3px 12px; }"
        "QPushButton:focus { border: 3px solid rgb(39,78,117); padding: 1px 10px; }"));
}

bool AskYesNo(const std::string& text) {
    QMessageBox box(QMessageBox::Question, kProductCode, QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
    StyleMessageBox(box);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace kestrava
