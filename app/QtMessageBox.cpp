#include "app/QtMessageBox.h"

#include <QApplication>
#include <QMessageBox>

namespace kestrava {

void QtMessageBox::Show(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

bool AskYesNo(const std::string& text) {
    return QMessageBox::question(QApplication::activeWindow(), kProductCode,
                                 QString::fromStdString(text),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace kestrava
