// One running window per user: a later start asks the running one to come forward and
// ends, through a local socket named after the window title and the user.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QWidget;

namespace kestrava {

class SingleInstance : public QObject {
    Q_OBJECT
  public:
    explicit SingleInstance(const QString& name, QObject* parent = nullptr);

    // True when another instance answered and was asked to come forward.
    bool RaiseRunning();
    // Listens for later starts; each one brings window forward, topmost for 1.5 s.
    void Listen(QWidget* window);

    static QString DefaultName();

  private:
    void BringForward();

    QString name_;
    QLocalServer* server_ = nullptr;
    QWidget* window_ = nullptr;
};

}  // namespace kestrava
