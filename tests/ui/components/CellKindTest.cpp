// Column kinds: created on demand, owned by column indexes, copied for the editor.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "ui/components/TComboGrid.h"

using namespace quil::ui;

namespace {

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int count = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++count;
        return false;
    }
};

}  // namespace

TEST(CellKind, NewGridHasNoKindsAndNothingPressed) {
    TComboGrid grid;
    EXPECT_EQ(grid.cellKindCount(), 0);
    EXPECT_EQ(grid.PressedCol(), -1);
    EXPECT_EQ(grid.PressedRow(), -1);
}

TEST(CellKind, AskingForColumnSevenCreatesOnlyThatKind) {
    TComboGrid grid;
    TCellKind& k = grid.CellKind(7);
    EXPECT_EQ(grid.cellKindCount(), 8);
    EXPECT_TRUE(grid.HasCellKind(7));
    for (int c = 0; c < 7; ++c) EXPECT_FALSE(grid.HasCellKind(c)) << c;
    EXPECT_EQ(k.Grid(), &grid);
    EXPECT_EQ(k.Kind, ckText);
    EXPECT_EQ(k.Alignment(), 17);
    EXPECT_EQ(k.FixedAlignment(), 17);
    EXPECT_EQ(k.Margin, 2);
    EXPECT_TRUE(k.Editable);
    EXPECT_EQ(k.ListWidth, 0);
    EXPECT_EQ(k.EditLimit, 0);
    EXPECT_EQ(&grid.CellKind(7), &k);  // the same kind on every later access
    grid.CellKind(3);
    EXPECT_TRUE(grid.HasCellKind(3));
    EXPECT_EQ(grid.cellKindCount(), 8);
}

TEST(CellKind, KindsStayWithTheirIndexWhenColumnsShrink) {
    TComboGrid grid;
    grid.setColCount(6);
    grid.CellKind(5).Kind = ckButton;
    grid.setColCount(2);
    EXPECT_EQ(grid.cellKindCount(), 6);
    grid.setColCount(6);
    EXPECT_EQ(grid.CellKind(5).Kind, ckButton);
}

TEST(CellKind, AssignCopiesEverythingButTheGrid) {
    TComboGrid grid;
    TCellKind& src = grid.CellKind(0);
    src.Kind = ckList;
    src.Items.Add(QStringLiteral("一"), 4);
    src.ListWidth = 120;
    src.Margin = -3;
    src.setFixedAlignment(18);
    src.setAlignment(20);
    src.EditLimit = 9;
    src.Editable = false;
    TCellKind copy;
    copy.Assign(src);
    EXPECT_EQ(copy.Grid(), nullptr);
    EXPECT_EQ(copy.Kind, ckList);
    EXPECT_EQ(copy.Items, src.Items);
    EXPECT_EQ(copy.ListWidth, 120);
    EXPECT_EQ(copy.Margin, -3);
    EXPECT_EQ(copy.FixedAlignment(), 18);
    EXPECT_EQ(copy.Alignment(), 20);
    EXPECT_EQ(copy.EditLimit, 9);
    EXPECT_FALSE(copy.Editable);
    copy.setItems(nullptr);
    EXPECT_EQ(copy.Items.Count(), 0);
}

TEST(CellKind, ItemsMatchTextsWithoutRegardToCase) {
    TCellItems items;
    items.Add(QStringLiteral("Yes"), 1);
    items.Add(QStringLiteral("no"), 0);
    EXPECT_EQ(items.IndexOf(QStringLiteral("YES")), 0);
    EXPECT_EQ(items.IndexOf(QStringLiteral("No")), 1);
    EXPECT_EQ(items.IndexOf(QStringLiteral("maybe")), -1);
}

TEST(CellKind, ChangingAnAlignmentRepaintsTheGridOnlyWhenTheValueChanges) {
    TComboGrid grid;
    grid.setColCount(3);
    grid.setRowCount(3);
    grid.resize(300, 200);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    QApplication::processEvents();
    PaintCounter counter;
    grid.viewport()->installEventFilter(&counter);
    grid.CellKind(1).setAlignment(17);
    grid.CellKind(1).setFixedAlignment(17);
    QApplication::processEvents();
    EXPECT_EQ(counter.count, 0);
    grid.CellKind(1).setAlignment(caRight);
    QApplication::processEvents();
    EXPECT_GT(counter.count, 0);
    counter.count = 0;
    TCellKind detached;
    detached.setAlignment(caCenter);  // no grid: nothing to repaint, and no crash
    QApplication::processEvents();
    EXPECT_EQ(counter.count, 0);
}
