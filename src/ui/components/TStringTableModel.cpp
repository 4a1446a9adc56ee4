#include "ui/components/TStringTableModel.h"

namespace quil::ui {

namespace {
const QString kEmpty;
}

int TStringTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int TStringTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : cols_;
}

QVariant TStringTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) return {};
    return cell(index.column(), index.row());
}

bool TStringTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole) return false;
    setCell(index.column(), index.row(), value.toString());
    return true;
}

Qt::ItemFlags TStringTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

void TStringTableModel::setSize(int cols, int rows) {
    cols = qMax(0, cols);
    rows = qMax(0, rows);
    if (cols == cols_ && rows == rows_) return;
    if (cols != cols_) {
        // A column change rearranges every row: rebuild the array once.
        beginResetModel();
        QList<QString> next(qsizetype(cols) * rows);
        for (int r = 0; r < qMin(rows, rows_); ++r) {
            for (int c = 0; c < qMin(cols, cols_); ++c) {
                next[qsizetype(r) * cols + c] = std::move(cells_[qsizetype(r) * cols_ + c]);
            }
        }
        cells_ = std::move(next);
        cols_ = cols;
        rows_ = rows;
        endResetModel();
        return;
    }
    if (rows > rows_) {
        beginInsertRows(QModelIndex(), rows_, rows - 1);
        cells_.resize(qsizetype(cols_) * rows);
        rows_ = rows;
        endInsertRows();
    } else {
        beginRemoveRows(QModelIndex(), rows, rows_ - 1);
        cells_.resize(qsizetype(cols_) * rows);
        rows_ = rows;
        endRemoveRows();
    }
}

const QString& TStringTableModel::cell(int col, int row) const {
    if (col < 0 || row < 0 || col >= cols_ || row >= rows_) return kEmpty;
    return cells_.at(qsizetype(row) * cols_ + col);
}

void TStringTableModel::setCell(int col, int row, const QString& text) {
    if (col < 0 || row < 0 || col >= cols_ || row >= rows_) return;
    QString& slot = cells_[qsizetype(row) * cols_ + col];
    if (slot == text) return;
    slot = text;
    const QModelIndex i = index(row, col);
    Q_EMIT dataChanged(i, i, {Qt::DisplayRole, Qt::EditRole});
}

void TStringTableModel::setRow(int row, const QStringList& texts, int firstCol) {
    if (row < 0 || row >= rows_ || firstCol < 0 || firstCol >= cols_) return;
    const int n = qMin(int(texts.size()), cols_ - firstCol);
    if (n <= 0) return;
    for (int i = 0; i < n; ++i) cells_[qsizetype(row) * cols_ + firstCol + i] = texts.at(i);
    Q_EMIT dataChanged(index(row, firstCol), index(row, firstCol + n - 1),
                       {Qt::DisplayRole, Qt::EditRole});
}

void TStringTableModel::clear() {
    for (QString& s : cells_) s.clear();
    if (rows_ > 0 && cols_ > 0) {
        Q_EMIT dataChanged(index(0, 0), index(rows_ - 1, cols_ - 1),
                           {Qt::DisplayRole, Qt::EditRole});
    }
}

}  // namespace quil::ui
