#include "app/ListNavigator.h"

#include <QEvent>
#include <QInputDialog>
#include <QKeySequence>
#include <QListView>
#include <QShortcut>

#include "app/ListBoxModel.h"
#include "session/ListLineKind.h"
#include "session/ListSearch.h"

namespace kestrava {

ListNavigator::ListNavigator(QWidget& window, QListView& characters, ListBoxModel& charactersModel,
                             QListView& protocol, ListBoxModel& protocolModel,
                             std::function<void(const QString&)> say)
    : QObject(&window),
      window_(window),
      characters_(characters),
      charactersModel_(charactersModel),
      protocol_(protocol),
      protocolModel_(protocolModel),
      say_(std::move(say)),
      lastUsed_(&characters) {
    auto shortcut = [this](const QKeySequence& keys, auto action) {
        connect(new QShortcut(keys, &window_), &QShortcut::activated, this, action);
    };
    shortcut(QKeySequence::Find, [this] { Find(); });
    shortcut(QKeySequence(Qt::Key_F3), [this] { NextFault(true); });
    shortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { NextFault(false); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_G), [this] { FindAgain(true); });
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_G), [this] { FindAgain(false); });
    characters_.installEventFilter(this);
    protocol_.installEventFilter(this);
}

bool ListNavigator::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn)
        lastUsed_ = watched == &protocol_ ? &protocol_ : &characters_;
    return QObject::eventFilter(watched, event);
}

void ListNavigator::Find() {
    bool ok = false;
    const QString text =
        QInputDialog::getText(&window_, QStringLiteral("Find"), QStringLiteral("Find in the list:"),
                              QLineEdit::Normal, findText_, &ok);
    if (!ok || text.isEmpty()) return;
    findText_ = text;
    FindAgain(true);
}

void ListNavigator::FindAgain(bool forward) {
    if (findText_.isEmpty()) return;
    const int line = NextMatchingLine(LastUsedModel(), lastUsed_->currentIndex().row(), forward,
                                      ContainsText(findText_.toStdString()));
    if (line < 0) {
        say_(QStringLiteral("\"%1\" not found").arg(findText_));
        return;
    }
    GoTo(*lastUsed_, line);
}

void ListNavigator::NextFault(bool forward) {
    const int line =
        NextMatchingLine(charactersModel_, characters_.currentIndex().row(), forward,
                         [](const std::string& text) { return IsErrorLine(KindOfListLine(text)); });
    if (line < 0) {
        say_(QStringLiteral("No faults in the characters list"));
        return;
    }
    GoTo(characters_, line);
}

void ListNavigator::GoTo(QListView& view, int line) {
    // Lines still waiting to be announced are announced first, so the view has the row.
    static_cast<ListBoxModel*>(view.model())->Flush();
    const QModelIndex index = view.model()->index(line, 0);
    view.setCurrentIndex(index);
    view.scrollTo(index, QAbstractItemView::PositionAtCenter);
}

}  // namespace kestrava
