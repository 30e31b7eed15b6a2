// Finding lines in the window's two lists: Ctrl+F finds a text in the list last used,
// F3 and Shift+F3 step to the next and previous fault in the characters list. The line
// found becomes the list's current line, which moves the graph as a click on it does.
#pragma once

#include <functional>

#include <QObject>
#include <QString>

class QListView;
class QWidget;

namespace kestrava {

class ListBoxModel;

class ListNavigator : public QObject {
    Q_OBJECT
  public:
    // say shows a short result ("not found") in the window's status line.
    ListNavigator(QWidget& window, QListView& characters, ListBoxModel& charactersModel,
                  QListView& protocol, ListBoxModel& protocolModel,
                  std::function<void(const QString&)> say);

    // Asks for a text, then finds it after the current line of the list last used.
    void Find();
    // Finds the last text again, forwards or backwards.
    void FindAgain(bool forward);
    // The next (or previous) characters-list line that reports a fault.
    void NextFault(bool forward);

    void SetFindText(const QString& text) { findText_ = text; }
    // The model of the list the user worked in last (the characters list at first).
    ListBoxModel& LastUsedModel() const {
        return lastUsed_ == &protocol_ ? protocolModel_ : charactersModel_;
    }

  private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void GoTo(QListView& view, int line);

    QWidget& window_;
    QListView& characters_;
    ListBoxModel& charactersModel_;
    QListView& protocol_;
    ListBoxModel& protocolModel_;
    std::function<void(const QString&)> say_;
    QListView* lastUsed_;
    QString findText_;
};

}  // namespace kestrava
