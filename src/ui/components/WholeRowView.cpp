#include "ui/components/WholeRowView.h"

#include <QHeaderView>
#include <QTableView>

namespace quil::ui {

void selectWholeRows(QAbstractItemView& view) {
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setSelectionMode(QAbstractItemView::SingleSelection);
    view.setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void fitColumnsToFewRows(QTableView& table) {
    table.horizontalHeader()->setResizeContentsPrecision(kFittedRows);
}

QTableView* newWholeRowTable(QWidget* parent, QAbstractItemModel* model, const QString& name) {
    auto* table = new QTableView(parent);
    table->setObjectName(name);
    table->setModel(model);
    selectWholeRows(*table);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->horizontalHeader()->setStretchLastSection(true);
    fitColumnsToFewRows(*table);
    return table;
}

}  // namespace quil::ui
