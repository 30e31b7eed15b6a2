// What the window keeps between runs in the user's settings folder (window.ini): its size
// and place, the splitters between its panes, the waveform files opened last and the
// workers a decode runs on.
#pragma once

#include <initializer_list>

#include <QSettings>
#include <QStringList>

class QMainWindow;
class QSplitter;

namespace kestrava {

class WindowSettings {
  public:
    static constexpr int kRecentFiles = 8;

    WindowSettings();

    // Most recent first, each file once.
    QStringList RecentFiles() const;
    void AddRecentFile(const QString& path);

    // Workers of the bit recovery; 0 for every core.
    int DecodeWorkers() const;
    void SetDecodeWorkers(int workers);

    void SaveLayout(const QMainWindow& window, std::initializer_list<const QSplitter*> splitters);
    // Leaves the window as it is when nothing was saved or the saved state does not fit.
    void RestoreLayout(QMainWindow& window, std::initializer_list<QSplitter*> splitters);

  private:
    QSettings settings_;
};

}  // namespace kestrava
