#include "app/QtMessageBox.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "base/Log.h"
#include "instrument/InstrumentStop.h"

namespace kestrava {
namespace {

void ShowHere(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Ok, QApplication::activeWindow());
    StyleMessageBox(box);
    box.exec();
}

// A box asked for on the worker is shown on the window's thread, and the worker waits for
// it to be closed, as it waited before. A stop ends the wait: the window's thread may be
// waiting for the worker itself.
void ShowFromWorker(const std::string& text, const std::string& caption) {
    struct Shared {
        std::mutex mutex;
        std::condition_variable closed;
        bool done = false;
        bool abandoned = false;
    };
    auto shared = std::make_shared<Shared>();
    QMetaObject::invokeMethod(
        qApp,
        [shared, text, caption] {
            {
                std::lock_guard lock(shared->mutex);
                if (shared->abandoned) return;
            }
            ShowHere(text, caption);
            std::lock_guard lock(shared->mutex);
            shared->done = true;
            shared->closed.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(shared->mutex);
    while (!shared->done) {
        if (InstrumentStopRequested()) {
            shared->abandoned = true;
            WriteLog("QtMessageBox", "not shown after a stop: " + text, kLogInfo);
            return;
        }
        shared->closed.wait_for(lock, std::chrono::milliseconds(50));
    }
}

}  // namespace

void QtMessageBox::Show(const std::string& text, const std::string& caption) {
    if (qApp && QThread::currentThread() != qApp->thread())
        ShowFromWorker(text, caption);
    else
        ShowHere(text, caption);
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
