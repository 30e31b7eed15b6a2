// A decoded-text list for Qt views: the lines live in two vectors and the view asks for
// the rows it shows, so a list of half a million lines costs no widget per line.
#pragma once

#include <string>
#include <vector>

#include <QAbstractListModel>

#include "base/ListBox.h"

namespace kestrava {

class ListBoxModel : public QAbstractListModel, public IListBox {
    Q_OBJECT
  public:
    static constexpr int kItemDataRole = Qt::UserRole;

    explicit ListBoxModel(QObject* parent = nullptr);

    // IListBox
    void Clear() override;
    int AddLine(std::string text, ItemData data) override;
    int Count() const override { return static_cast<int>(texts_.size()); }
    std::string Text(int index) const override;
    ItemData Data(int index) const override;
    void Select(int index) override;
    int Selected() const override { return selected_; }

    // The view's own selection, recorded without asking the view to follow.
    void SetSelectedFromView(int index);
    // Tells the views about lines added since the last call; lines are announced in one
    // batch instead of one notification per line.
    void Flush();

    // QAbstractListModel
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

  signals:
    // A line was selected by the analysis (or none, -1); the view should follow.
    void selectionRequested(int index);

  private:
    bool InRange(int index) const { return index >= 0 && index < Count(); }
    void ScheduleFlush();

    std::vector<std::string> texts_;
    std::vector<ItemData> data_;
    int announced_ = 0;  // rows the views know of
    int selected_ = -1;
    bool flushPending_ = false;
};

}  // namespace kestrava
