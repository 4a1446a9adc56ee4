#pragma once
// The combo grid's default model: a plain table of strings, one flat array, no per-cell
// objects. Row 0 and column 0 are cells like any other; the grid decides which are fixed.

#include <QAbstractTableModel>
#include <QStringList>

namespace quil::ui {

class TStringTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TStringTableModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Resizing keeps the texts of the cells that remain; new cells are empty.
    void setSize(int cols, int rows);
    const QString& cell(int col, int row) const;  // empty for a cell outside the table
    void setCell(int col, int row, const QString& text);
    // Sets the row's cells from column `firstCol` on with one change notification.
    void setRow(int row, const QStringList& texts, int firstCol = 0);
    void clear();  // every text empty, size unchanged

private:
    int cols_ = 0;
    int rows_ = 0;
    QList<QString> cells_;  // row-major
};

}  // namespace quil::ui
