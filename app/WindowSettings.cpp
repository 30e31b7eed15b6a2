#include "app/WindowSettings.h"

#include <QMainWindow>
#include <QSplitter>

#include "base/Folders.h"

namespace kestrava {
namespace {

const QString kRecentKey = QStringLiteral("RecentFiles");
const QString kWorkersKey = QStringLiteral("DecodeWorkers");

QString SettingsPath() {
    return QString::fromStdString(Folders::Join(Folders::ConfigFolder(), "window.ini"));
}

QString SplitterKey(int index) {
    return QStringLiteral("Splitter%1").arg(index);
}

}  // namespace

WindowSettings::WindowSettings() : settings_(SettingsPath(), QSettings::IniFormat) {}

QStringList WindowSettings::RecentFiles() const {
    QStringList files = settings_.value(kRecentKey).toStringList();
    files.removeDuplicates();
    return files.mid(0, kRecentFiles);
}

void WindowSettings::AddRecentFile(const QString& path) {
    QStringList files = RecentFiles();
    files.removeAll(path);
    files.prepend(path);
    settings_.setValue(kRecentKey, files.mid(0, kRecentFiles));
    settings_.sync();
}

int WindowSettings::DecodeWorkers() const {
    bool ok = false;
    const int workers = settings_.value(kWorkersKey, 0).toInt(&ok);
    // A hand-edited file may say anything: a count out of range means every core.
    return ok && workers >= 0 && workers <= 1024 ? workers : 0;
}

void WindowSettings::SetDecodeWorkers(int workers) {
    settings_.setValue(kWorkersKey, workers);
    settings_.sync();
}

void WindowSettings::SaveLayout(const QMainWindow& window,
                                std::initializer_list<const QSplitter*> splitters) {
    settings_.setValue(QStringLiteral("Geometry"), window.saveGeometry());
    int index = 0;
    for (const QSplitter* splitter : splitters)
        settings_.setValue(SplitterKey(index++), splitter->saveState());
    settings_.sync();
}

void WindowSettings::RestoreLayout(QMainWindow& window,
                                   std::initializer_list<QSplitter*> splitters) {
    window.restoreGeometry(settings_.value(QStringLiteral("Geometry")).toByteArray());
    int index = 0;
    for (QSplitter* splitter : splitters)
        splitter->restoreState(settings_.value(SplitterKey(index++)).toByteArray());
}

}  // namespace kestrava
