#pragma once
// The lists whose rows are chosen whole, one at a time, and never edited in place (records,
// accounts, detectors, report rows).

#include <QString>

class QAbstractItemModel;
class QAbstractItemView;
class QTableView;
class QWidget;

namespace quil::ui {

void selectWholeRows(QAbstractItemView& view);

// The rows a table's columns are fitted to (resizeColumnsToContents): those in view and up
// to this many more. Qt's own 1,000 cost a report's window up to about 17 ms at every
// reading again, another computer's save included.
inline constexpr int kFittedRows = 100;
void fitColumnsToFewRows(QTableView& table);

// Such a table over `model`, named `name`, its rows of a fixed height and its last column
// stretched.
QTableView* newWholeRowTable(QWidget* parent, QAbstractItemModel* model, const QString& name);

}  // namespace quil::ui
