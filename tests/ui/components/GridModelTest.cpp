// The grid's table: its default string model, another model plugged in, fixed areas and
// column widths.
#include <gtest/gtest.h>

#include <QAbstractTableModel>
#include <QTest>

#include "ui/components/TComboGrid.h"
#include "ui/components/TStringTableModel.h"

using namespace quil::ui;

namespace {

// Formats its cells when asked, as a record list does; counts how often it was asked.
class CountingModel : public QAbstractTableModel {
public:
    mutable int asked = 0;
    int rowCount(const QModelIndex& = {}) const override { return 100001; }
    int columnCount(const QModelIndex& = {}) const override { return 12; }
    QVariant data(const QModelIndex& i, int role) const override {
        if (role != Qt::DisplayRole) return {};
        ++asked;
        return i.row() == 0 ? QStringLiteral("題%1").arg(i.column())
                            : QStringLiteral("%1-%2").arg(i.row()).arg(i.column());
    }
};

}  // namespace

TEST(GridModel, ResizingKeepsTextsAndWidths) {
    TComboGrid grid;
    grid.setColCount(3);
    grid.setRowCount(3);
    grid.setCells(2, 2, QStringLiteral("右下"));
    grid.setColWidths(1, 120);
    grid.setColCount(5);
    grid.setRowCount(10);
    EXPECT_EQ(grid.Cells(2, 2), QStringLiteral("右下"));
    EXPECT_EQ(grid.ColWidths(1), 120);
    EXPECT_EQ(grid.ColWidths(4), grid.DefaultColWidth());
    grid.setRowCount(2);
    EXPECT_EQ(grid.Cells(2, 2), QString());  // outside the table: empty
    grid.setRowCount(3);
    EXPECT_EQ(grid.Cells(2, 2), QString());  // a removed row comes back empty
    EXPECT_EQ(grid.RowHeights(1), 24);
}

TEST(GridModel, FixedColumnsKeepTheirWidthsAndTheCurrentCellStaysOutsideThem) {
    TComboGrid grid;
    grid.setColCount(4);
    grid.setRowCount(4);
    grid.setColWidths(0, 30);
    grid.setFixedCols(1);
    grid.setFixedRows(1);
    EXPECT_EQ(grid.ColWidths(0), 30);
    grid.setColWidths(0, 40);
    EXPECT_EQ(grid.ColWidths(0), 40);
    EXPECT_EQ(grid.Col(), 1);
    EXPECT_EQ(grid.Row(), 1);
    grid.setCurrentCell(0, 2);  // fixed: refused
    EXPECT_EQ(grid.Col(), 1);
    grid.setFixedCols(0);
    EXPECT_EQ(grid.ColWidths(0), 40);
}

TEST(GridModel, CellRectAndMouseToCellAgreeAcrossTheFixedAreaAndTheBody) {
    TComboGrid grid;
    grid.setColCount(4);
    grid.setRowCount(6);
    grid.setFixedCols(1);
    grid.setFixedRows(1);
    grid.resize(400, 300);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    for (auto [c, r] : {std::pair{0, 0}, {2, 0}, {0, 3}, {3, 5}}) {
        const QRect R = grid.CellRect(c, r);
        ASSERT_FALSE(R.isEmpty()) << c << "," << r;
        EXPECT_EQ(R.height(), 23);
        int col = -1, row = -1;
        EXPECT_TRUE(grid.MouseToCell(R.center(), col, row));
        EXPECT_EQ(col, c);
        EXPECT_EQ(row, r);
    }
    EXPECT_TRUE(grid.CellRect(9, 9).isEmpty());
}

TEST(GridModel, APluggedInModelIsReadLazilyThroughTheSameInterface) {
    CountingModel model;
    TComboGrid grid;
    grid.setFixedRows(1);
    grid.setModel(&model);
    EXPECT_EQ(grid.RowCount(), 100001);
    EXPECT_EQ(grid.ColCount(), 12);
    EXPECT_EQ(grid.Cells(3, 0), QStringLiteral("題3"));
    EXPECT_EQ(grid.Cells(3, 100000), QStringLiteral("100000-3"));
    grid.setRowCount(5);  // the model decides its size
    EXPECT_EQ(grid.RowCount(), 100001);

    model.asked = 0;
    grid.resize(600, 400);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    (void)grid.grab();
    EXPECT_GT(model.asked, 0);
    EXPECT_LT(model.asked, 12 * 40);  // only what is in view, never the whole table

    grid.setModel(nullptr);  // back to the grid's own table of strings
    EXPECT_EQ(grid.model(), grid.stringModel());
}

// A grid made over a model behaves as one given the model later: the fixed area applies to
// the model's rows and columns.
TEST(GridModel, AGridMadeOverAModelIsTheSameAsOneGivenItLater) {
    CountingModel model;
    TComboGrid grid(&model, nullptr);
    EXPECT_EQ(grid.model(), &model);
    EXPECT_EQ(grid.RowCount(), 100001);
    grid.setFixedCols(2);
    grid.setFixedRows(1);
    grid.setColWidths(5, 77);
    grid.resize(600, 400);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    EXPECT_EQ(grid.Col(), 2);
    EXPECT_EQ(grid.Row(), 1);
    EXPECT_EQ(grid.ColWidths(5), 77);
    grid.setModel(nullptr);
    EXPECT_EQ(grid.model(), grid.stringModel());
}

TEST(GridModel, SelectionCoversTheSelectedRowsAndRowsAddedLaterAreBody) {
    TComboGrid grid;
    grid.setColCount(4);
    grid.setRowCount(2);
    grid.setFixedRows(1);
    grid.setFixedCols(1);
    for (int r = 2; r <= 8; ++r) grid.setRowCount(r + 1);  // growing one row at a time
    EXPECT_FALSE(grid.isRowHidden(8));
    EXPECT_TRUE(grid.isRowHidden(0));  // the title row stays in the fixed area
    grid.setOptions(goRowSelect | goRangeSelect);
    grid.setCurrentCell(1, 3);
    grid.selectionModel()->select(
        QItemSelection(grid.model()->index(3, 1), grid.model()->index(5, 3)),
        QItemSelectionModel::ClearAndSelect);
    const QRect sel = grid.Selection();
    EXPECT_EQ(sel.top(), 3);
    EXPECT_EQ(sel.bottom(), 5);
}
