#include "app/SingleInstance.h"

#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QWidget>

namespace kestrava {
namespace {

constexpr int kConnectTimeoutMs = 500;
constexpr int kTopmostMs = 1500;

}  // namespace

SingleInstance::SingleInstance(const QString& name, QObject* parent)
    : QObject(parent), name_(name) {}

QString SingleInstance::DefaultName() {
    return QStringLiteral("Veltrace-%1").arg(static_cast<qulonglong>(::getuid()));
}

bool SingleInstance::RaiseRunning() {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(kConnectTimeoutMs)) return false;
    socket.write("raise\n");
    socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    return true;
}

void SingleInstance::Listen(QWidget* window) {
    window_ = window;
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left by a crashed run would refuse the listen.
    QLocalServer::removeServer(name_);
    if (!server_->listen(name_)) return;
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = server_->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            BringForward();
        }
    });
}

void SingleInstance::BringForward() {
    if (!window_) return;
    const bool wasOnTop = window_->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    window_->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    window_->showNormal();
    window_->raise();
    window_->activateWindow();
    QTimer::singleShot(kTopmostMs, window_, [window = window_, wasOnTop] {
        if (wasOnTop) return;
        window->setWindowFlag(Qt::WindowStaysOnTopHint, false);
        window->showNormal();
    });
}

}  // namespace kestrava
