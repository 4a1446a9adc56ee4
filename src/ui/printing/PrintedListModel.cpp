#include "ui/printing/PrintedListModel.h"

#include <algorithm>

#include "store/ListColumns.h"

namespace quil::ui {

namespace {
// The printed list starts after the marker column.
constexpr int kFirstPrinted = store::kListMarkerColumn + 1;
}  // namespace

void PrintedListModel::setSource(QAbstractItemModel* source) {
    beginResetModel();
    source_ = source;
    endResetModel();
}

int PrintedListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !source_ ? 0 : source_->rowCount();
}

int PrintedListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() || !source_ ? 0 : std::max(0, source_->columnCount() - kFirstPrinted);
}

void PrintedListModel::readAhead(const QList<int>& rows) {
    if (source_ && source_->metaObject()->indexOfMethod("readAhead(QList<int>)") >= 0)
        QMetaObject::invokeMethod(source_, "readAhead", Qt::DirectConnection,
                                  Q_ARG(QList<int>, rows));
}

QVariant PrintedListModel::data(const QModelIndex& index, int role) const {
    if (!source_ || !index.isValid() || role != Qt::DisplayRole) return {};
    return source_->index(index.row(), index.column() + kFirstPrinted).data(role);
}

}  // namespace quil::ui
