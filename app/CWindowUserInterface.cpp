#include "app/CWindowUserInterface.h"

#include <QApplication>
#include <QCursor>
#include <QThread>

namespace kestrava {
namespace {

bool OnWindowThread() {
    return qApp && QThread::currentThread() == qApp->thread();
}

}  // namespace

CWindowUserInterface::CWindowUserInterface(IListBox& mainList, IListBox& highLevelList, Hooks hooks)
    : CSataUserInterface(mainList, highLevelList), hooks_(std::move(hooks)) {}

// Work on the worker thread shows the status line instead of the wait cursor.
void CWindowUserInterface::SetWaitCursor(bool on) {
    if (!OnWindowThread()) return;
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
    if (!OnWindowThread()) return;
    if (hooks_.invalidateGraph) hooks_.invalidateGraph();
}

void CWindowUserInterface::SetScrollBar(std::uint32_t total, std::uint32_t page) {
    if (!OnWindowThread()) return;
    if (hooks_.setScrollBar) hooks_.setScrollBar(total, page);
}

void CWindowUserInterface::OnStatusChanged() {
    if (!OnWindowThread()) return;
    if (hooks_.statusChanged) hooks_.statusChanged();
}

}  // namespace kestrava
