#pragma once
// The record list as it is printed: the main window's list model without its leading marker
// column, read through. A row's texts are made by the list's own model when the printer
// asks for them, so printing a million-row list copies no cell.

#include <QAbstractTableModel>
#include <QPointer>

namespace quil::ui {

class PrintedListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit PrintedListModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    // Reads `source` from now on and tells the views its current size. Views are told of
    // the source's later changes only at the next call: the printer reads sizes and texts
    // straight through, and the list's edits cost nothing here.
    void setSource(QAbstractItemModel* source);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // Passes rows about to be read to the source when it reads ahead (a list on a server).
    Q_INVOKABLE void readAhead(const QList<int>& rows);

private:
    QPointer<QAbstractItemModel> source_;
};

}  // namespace quil::ui
