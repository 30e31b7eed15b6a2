#include "app/WorkerMenu.h"

#include <QActionGroup>
#include <QMenu>

#include "app/WindowSettings.h"
#include "base/Workers.h"

namespace kestrava {

WorkerMenu::WorkerMenu(QMenu& parent, WindowSettings& settings)
    : QObject(&parent), settings_(settings) {
    QMenu* menu = parent.addMenu(QStringLiteral("Decode &Workers"));
    auto* group = new QActionGroup(menu);
    const int cores = Workers::Available();
    const int chosen = settings.DecodeWorkers();
    auto add = [&](int workers, const QString& caption) {
        QAction* action = menu->addAction(caption);
        action->setCheckable(true);
        action->setChecked(workers == chosen);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, workers] { Choose(workers); });
    };
    add(0, QStringLiteral("&Every Core (%1)").arg(cores));
    menu->addSeparator();
    for (int workers = 1; workers <= cores && workers <= 64; workers *= 2)
        add(workers,
            workers == 1 ? QStringLiteral("&1 Core") : QStringLiteral("%1 Cores").arg(workers));
    // A saved count this machine has no entry for is still the one used.
    if (!group->checkedAction()) add(chosen, QStringLiteral("%1 Cores").arg(chosen));
    Workers::SetCount(chosen);
}

void WorkerMenu::Choose(int workers) {
    settings_.SetDecodeWorkers(workers);
    Workers::SetCount(workers);
}

}  // namespace kestrava
