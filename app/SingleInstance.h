// One running window per user: a later start asks the running one to come forward (and to
// open the file it was given) and ends, through a local socket named after the window
// title and the user.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;
class QWidget;

namespace kestrava {

class SingleInstance : public QObject {
    Q_OBJECT
  public:
    explicit SingleInstance(const QString& name, QObject* parent = nullptr);

    // True when another instance answered and was asked to come forward, and to open
    // path when one is given.
    bool RaiseRunning(const QString& path = {});
    // Listens for later starts; each one brings window forward, topmost for 1.5 s.
    void Listen(QWidget* window);

    static QString DefaultName();

  signals:
    // A later start handed over a file to open.
    void openRequested(const QString& path);

  private:
    void BringForward();
    void Serve(QLocalSocket* peer);

    QString name_;
    QLocalServer* server_ = nullptr;
    QWidget* window_ = nullptr;
};

}  // namespace kestrava
