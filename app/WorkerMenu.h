// Source > Decode Workers: how many cores the bit recovery of the next decode uses, kept
// in the window's settings. The decode is the same for every choice; only its time differs.
#pragma once

#include <QObject>

class QMenu;

namespace kestrava {

class WindowSettings;

class WorkerMenu : public QObject {
  public:
    // Adds the submenu to parent and sets the workers the settings name.
    WorkerMenu(QMenu& parent, WindowSettings& settings);

  private:
    void Choose(int workers);

    WindowSettings& settings_;
};

}  // namespace kestrava
