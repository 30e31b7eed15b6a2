// The presentation object of the window: the GUI-free core with its view hooks wired to
// the main window's widgets (wait cursor, graph repaint, scroll bar, status box).
#pragma once

#include <cstdint>
#include <functional>

#include "session/CSataUserInterface.h"

namespace kestrava {

class CWindowUserInterface : public CSataUserInterface {
  public:
    struct Hooks {
        std::function<void()> invalidateGraph;
        std::function<void(std::uint32_t total, std::uint32_t page)> setScrollBar;
        std::function<void()> statusChanged;
    };

    CWindowUserInterface(IListBox& mainList, IListBox& highLevelList, Hooks hooks);

  protected:
    void SetWaitCursor(bool on) override;
    void InvalidateGraph() override;
    void SetScrollBar(std::uint32_t total, std::uint32_t page) override;
    void OnStatusChanged() override;

  private:
    Hooks hooks_;
    int waitDepth_ = 0;
};

}  // namespace kestrava
