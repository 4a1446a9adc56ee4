#pragma once
// TGridPrinter: the grid printer bound to a table view. A TComboGrid prints its cells with
// the alignment and margin of each column's kind; any other table view prints its model's
// texts left-aligned and vertically centred with a margin of 2, without fixed rows (its
// titles live in the view's header, which is not printed).

#include <QPointer>
#include <QTableView>

#include "ui/printing/TCustomGridPrinter.h"

namespace quil::ui {

class TComboGrid;

class TGridPrinter : public TCustomGridPrinter {
    Q_OBJECT
public:
    explicit TGridPrinter(QObject* owner = nullptr);

    QTableView* Grid() const { return grid_; }
    // Throws EInvalidOperation "印刷中です。" during a run (the grid in use stays). A grid
    // that is destroyed unassigns itself. LineHeight takes the grid's default row height
    // when it is 0.
    void setGrid(QTableView* grid);
    bool IsComboGrid() const { return combo() != nullptr; }

protected:
    bool HasGrid() const override { return !grid_.isNull(); }
    int GetColCount() const override;
    int GetColWidth(int ACol) const override;
    int GetRowCount() const override { return rowCount(); }
    void GetCellText(int ACol, int ARow, QString& Text) const override;
    // Asks the grid's model to read the rows ahead when it offers readAhead(QList<int>).
    void ReadAhead(const QList<int>& rows) const override;
    void GetCellFormat(int ACol, quint8& Align, int& Margin) const override;
    int GetFixedRows() const override;
    int GetFixedCols() const override;
    QFont GetFont() const override;
    QPaintDevice* GetScreenCanvas() const override;
    bool HasMoreRows() const override;
    void PageFull() override {}
    void Reset() override;

private:
    TComboGrid* combo() const;
    int rowCount() const;

    QPointer<QTableView> grid_;
    bool isComboGrid_ = false;
};

// Sets `printer` up for a printed list of `grid`, which stays hidden (it only holds what is
// printed): one title row and no fixed column, rows 24 high, columns widened where a text
// would be cut, the page header 40 above the table and the table at `leftMargin` and
// `topMargin`.
void setUpListPrint(TGridPrinter& printer, TComboGrid& grid, int leftMargin, int topMargin);

}  // namespace quil::ui
