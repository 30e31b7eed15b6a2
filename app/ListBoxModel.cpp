#include "app/ListBoxModel.h"

#include <QBrush>
#include <QMetaObject>

#include "app/ColourScheme.h"

namespace kestrava {

ListBoxModel::ListBoxModel(QObject* parent) : QAbstractListModel(parent) {}

void ListBoxModel::Clear() {
    beginResetModel();
    texts_.clear();
    data_.clear();
    announced_ = 0;
    selected_ = -1;
    endResetModel();
}

int ListBoxModel::AddLine(std::string text, ItemData data) {
    texts_.push_back(std::move(text));
    data_.push_back(data);
    ScheduleFlush();
    return Count() - 1;
}

std::string ListBoxModel::Text(int index) const {
    return InRange(index) ? texts_[static_cast<std::size_t>(index)] : std::string();
}

ItemData ListBoxModel::Data(int index) const {
    return InRange(index) ? data_[static_cast<std::size_t>(index)] : -1;
}

void ListBoxModel::Select(int index) {
    Flush();
    selected_ = InRange(index) ? index : -1;
    emit selectionRequested(selected_);
}

void ListBoxModel::SetSelectedFromView(int index) {
    selected_ = InRange(index) ? index : -1;
}

void ListBoxModel::ScheduleFlush() {
    if (flushPending_) return;
    flushPending_ = true;
    QMetaObject::invokeMethod(this, &ListBoxModel::Flush, Qt::QueuedConnection);
}

void ListBoxModel::Flush() {
    flushPending_ = false;
    const int count = Count();
    if (count <= announced_) return;
    beginInsertRows(QModelIndex(), announced_, count - 1);
    announced_ = count;
    endInsertRows();
}

int ListBoxModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : announced_;
}

QVariant ListBoxModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= announced_) return {};
    const auto row = static_cast<std::size_t>(index.row());
    if (role == Qt::DisplayRole) return QString::fromStdString(texts_[row]);
    if (role == kItemDataRole) return data_[row];
    if (role == Qt::ForegroundRole || role == Qt::BackgroundRole) {
        const auto colours = ColoursOfLine(KindOfListLine(texts_[row]));
        if (!colours) return {};
        return QBrush(role == Qt::ForegroundRole ? colours->text : colours->background);
    }
    return {};
}

}  // namespace kestrava
