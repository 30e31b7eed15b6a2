#include "app/CWindowUserInterface.h"

#include <QApplication>
#include <QCursor>

namespace kestrava {

CWindowUserInterface::CWindowUserInterface(IListBox& mainList, IListBox& highLevelList, Hooks hooks)
    : CSataUserInterface(mainList, highLevelList), hooks_(std::move(hooks)) {}

void CWindowUserInterface::SetWaitCursor(bool on) {
    // Nested operations each show and hide the cursor; keep the override stack balanced.
    if (on) {
        ++waitDepth_;
        QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    } else if (waitDepth_ > 0) {
        --waitDepth_;
        QApplication::restoreOverrideCursor();
    }
}

void CWindowUserInterface::InvalidateGraph() {
    if (hooks_.invalidateGraph) hooks_.invalidateGraph();
}

void CWindowUserInterface::SetScrollBar(std::uint32_t total, std::uint32_t page) {
    if (hooks_.setScrollBar) hooks_.setScrollBar(total, page);
}

void CWindowUserInterface::OnStatusChanged() {
    if (hooks_.statusChanged) hooks_.statusChanged();
}

}  // namespace kestrava
