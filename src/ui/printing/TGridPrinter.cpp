#include "ui/printing/TGridPrinter.h"

#include <QHeaderView>
#include <QTableView>

#include "ui/printing/EInvalidOperation.h"
#include "ui/components/TComboGrid.h"

namespace quil::ui {

TGridPrinter::TGridPrinter(QObject* owner) : TCustomGridPrinter(owner) {}

void TGridPrinter::setGrid(QTableView* grid) {
    if (Printing()) throw EInvalidOperation("印刷中です。");
    grid_ = grid;
    if (!grid) return;
    isComboGrid_ = qobject_cast<TComboGrid*>(grid) != nullptr;
    if (LineHeight == 0) {
        const TComboGrid* c = combo();
        LineHeight = c ? c->DefaultRowHeight() : grid->verticalHeader()->defaultSectionSize();
    }
}

void setUpListPrint(TGridPrinter& printer, TComboGrid& grid, int leftMargin, int topMargin) {
    grid.hide();
    grid.setFixedRows(1);
    grid.setFixedCols(0);
    printer.LineHeight = 24;
    printer.FitColumns = true;
    printer.setGrid(&grid);
    printer.HeaderMargin = 40;
    printer.LeftMargin = leftMargin;
    printer.TopMargin = topMargin;
}

TComboGrid* TGridPrinter::combo() const {
    return grid_ && isComboGrid_ ? static_cast<TComboGrid*>(grid_.data()) : nullptr;
}

int TGridPrinter::rowCount() const {
    if (!grid_) return 0;
    if (const TComboGrid* c = combo()) return c->RowCount();
    return grid_->model() ? grid_->model()->rowCount() : 0;
}

int TGridPrinter::GetColCount() const {
    if (!grid_) return 0;
    if (const TComboGrid* c = combo()) return c->ColCount();
    return grid_->model() ? grid_->model()->columnCount() : 0;
}

int TGridPrinter::GetColWidth(int ACol) const {
    if (!grid_) return 0;
    if (const TComboGrid* c = combo()) return c->ColWidths(ACol);
    return grid_->columnWidth(ACol);
}

void TGridPrinter::GetCellText(int ACol, int ARow, QString& Text) const {
    Text.clear();
    if (!grid_) return;
    if (const TComboGrid* c = combo()) {
        Text = c->Cells(ACol, ARow);
    } else if (const QAbstractItemModel* m = grid_->model()) {
        Text = m->index(ARow, ACol).data(Qt::DisplayRole).toString();
    }
}

void TGridPrinter::ReadAhead(const QList<int>& rows) const {
    QAbstractItemModel* m = grid_ ? grid_->model() : nullptr;
    if (m && m->metaObject()->indexOfMethod("readAhead(QList<int>)") >= 0)
        QMetaObject::invokeMethod(m, "readAhead", Qt::DirectConnection, Q_ARG(QList<int>, rows));
}

void TGridPrinter::GetCellFormat(int ACol, quint8& Align, int& Margin) const {
    Align = 17;
    Margin = 2;
    TComboGrid* c = combo();
    if (!c || !c->HasCellKind(ACol)) return;
    const TCellKind& kind = c->CellKind(ACol);
    Align = ACol < c->FixedCols() || PrintingTitles() ? kind.FixedAlignment() : kind.Alignment();
    Margin = kind.Margin;
}

int TGridPrinter::GetFixedRows() const {
    const TComboGrid* c = combo();
    return c ? c->FixedRows() : 0;
}

int TGridPrinter::GetFixedCols() const {
    const TComboGrid* c = combo();
    return c ? c->FixedCols() : 0;
}

QFont TGridPrinter::GetFont() const { return grid_ ? grid_->font() : QFont(); }

QPaintDevice* TGridPrinter::GetScreenCanvas() const { return grid_.data(); }

bool TGridPrinter::HasMoreRows() const { return nextRow_ <= rowCount() - 1; }

void TGridPrinter::Reset() {
    TCustomGridPrinter::Reset();
    nextRow_ = GetFixedRows();
}

}  // namespace quil::ui
