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

// Such a table over `model`, named `name`, its rows of a fixed height and its last column
// stretched.
QTableView* newWholeRowTable(QWidget* parent, QAbstractItemModel* model, const QString& name);

}  // namespace quil::ui
