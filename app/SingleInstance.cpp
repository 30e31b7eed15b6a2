#include "app/SingleInstance.h"

#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QWidget>

namespace kestrava {
namespace {

constexpr int kConnectTimeoutMs = 500;
// A request is one line: "raise", or "open " and a path; anything longer is no request.
constexpr qint64 kMaxRequestBytes = 8192;
const QByteArray kOpenPrefix = QByteArrayLiteral("open ");
constexpr int kTopmostMs = 1500;

}  // namespace

SingleInstance::SingleInstance(const QString& name, QObject* parent)
    : QObject(parent), name_(name) {}

QString SingleInstance::DefaultName() {
    return QStringLiteral("Veltrace-%1").arg(static_cast<qulonglong>(::getuid()));
}

bool SingleInstance::RaiseRunning(const QString& path) {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(kConnectTimeoutMs)) return false;
    socket.write(path.isEmpty() ? QByteArrayLiteral("raise\n")
                                : kOpenPrefix + path.toUtf8() + '\n');
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
        while (QLocalSocket* peer = server_->nextPendingConnection()) Serve(peer);
    });
}

void SingleInstance::Serve(QLocalSocket* peer) {
    connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
    connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
        if (!peer->canReadLine()) {
            if (peer->bytesAvailable() > kMaxRequestBytes) peer->abort();
            return;
        }
        const QByteArray line = peer->readLine(kMaxRequestBytes).trimmed();
        peer->disconnectFromServer();
        if (line.startsWith(kOpenPrefix)) emit openRequested(QString::fromUtf8(line.mid(5)));
        BringForward();
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
