// Pressing and releasing button and check cells, Enter and Space, and the editor-show rule.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QTest>

#include "ui/components/TComboGrid.h"

using namespace quil::ui;

namespace {

struct Click {
    int col, row;
    bool operator==(const Click&) const = default;
};

class GridInput : public ::testing::Test {
protected:
    void SetUp() override {
        grid.setColCount(5);
        grid.setRowCount(40);
        grid.setFixedRows(1);
        grid.setFixedCols(1);
        button = &grid.CellKind(1);
        button->Kind = ckButton;
        button->Items.Add(QStringLiteral("押"));
        check = &grid.CellKind(2);
        check->Kind = ckCheck;
        check->Items.Add(QStringLiteral("×"), 0);
        check->Items.Add(QStringLiteral("○"), 1);
        fixedButton = &grid.CellKind(0);
        fixedButton->Kind = ckButton;
        fixedButton->Items.Add(QStringLiteral("行"));
        grid.resize(420, 300);
        grid.show();
        grid.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
        grid.setFocus();
        QObject::connect(&grid, &TComboGrid::OnGridBtnClick,
                         [this](TComboGrid* sender, int c, int r) {
                             EXPECT_EQ(sender, &grid);
                             clicks.push_back({c, r});
                         });
    }

    // The widget showing the cell and the cell's centre in that widget.
    std::pair<QWidget*, QPoint> spot(int c, int r, QPoint offset = {}) {
        const QRect R = grid.CellRect(c, r);
        EXPECT_FALSE(R.isEmpty());
        const QPoint p = R.center() + offset;
        QWidget* w = grid.childAt(p);
        return {w, w->mapFrom(&grid, p)};
    }
    void press(int c, int r) {
        auto [w, p] = spot(c, r);
        QTest::mousePress(w, Qt::LeftButton, {}, p);
    }
    void release(int c, int r, QPoint offset = {}) {
        auto [w, p] = spot(c, r, offset);
        QTest::mouseRelease(w, Qt::LeftButton, {}, p);
    }

    TComboGrid grid;
    TCellKind* button = nullptr;
    TCellKind* check = nullptr;
    TCellKind* fixedButton = nullptr;
    std::vector<Click> clicks;
};

}  // namespace

TEST_F(GridInput, ButtonPressAndReleaseInsideFiresOnce) {
    press(1, 3);
    EXPECT_EQ(grid.PressedCol(), 1);
    EXPECT_EQ(grid.PressedRow(), 3);
    EXPECT_TRUE(grid.PressedFocused());  // the press made it the current cell
    EXPECT_TRUE(clicks.empty());
    release(1, 3);
    EXPECT_EQ(clicks, (std::vector<Click>{{1, 3}}));
    EXPECT_EQ(grid.PressedCol(), -1);
    EXPECT_EQ(grid.PressedRow(), -1);
}

TEST_F(GridInput, ReleasingOutsideThePressedButtonFiresNothing) {
    press(1, 3);
    auto [w, p] = spot(1, 3);
    QTest::mouseRelease(w, Qt::LeftButton, {}, p + QPoint(0, 30));
    EXPECT_TRUE(clicks.empty());
    EXPECT_EQ(grid.PressedCol(), -1);
}

TEST_F(GridInput, ButtonsReactWhateverEditableAndEditingSay) {
    button->Editable = false;
    grid.setOptions(0);
    press(1, 2);
    release(1, 2);
    EXPECT_EQ(clicks.size(), 1u);
}

TEST_F(GridInput, CheckCellsToggleOnlyWhenEditableAndEditingIsOn) {
    grid.setCells(2, 2, QStringLiteral("×"));
    press(2, 2);
    release(2, 2);
    EXPECT_TRUE(clicks.empty());
    EXPECT_EQ(grid.Cells(2, 2), QStringLiteral("×"));

    grid.setOptions(goEditing);
    check->Editable = false;
    press(2, 2);
    release(2, 2);
    EXPECT_TRUE(clicks.empty());

    check->Editable = true;
    std::vector<QString> seenInHandler;
    QObject::connect(&grid, &TComboGrid::OnGridBtnClick,
                     [&](TComboGrid*, int c, int r) { seenInHandler.push_back(grid.Cells(c, r)); });
    press(2, 2);
    release(2, 2);
    EXPECT_EQ(grid.Cells(2, 2), QStringLiteral("○"));
    press(2, 2);
    release(2, 2);
    EXPECT_EQ(grid.Cells(2, 2), QStringLiteral("×"));
    EXPECT_EQ(clicks, (std::vector<Click>{{2, 2}, {2, 2}}));
    // The handler runs after the cell took its new state.
    EXPECT_EQ(seenInHandler, (std::vector<QString>{QStringLiteral("○"), QStringLiteral("×")}));
}

TEST_F(GridInput, FixedColumnButtonsCanBePressedFixedRowsCannot) {
    press(0, 4);
    EXPECT_EQ(grid.PressedCol(), 0);
    release(0, 4);
    EXPECT_EQ(clicks, (std::vector<Click>{{0, 4}}));
    press(1, 0);
    EXPECT_EQ(grid.PressedCol(), -1);
    release(1, 0);
    EXPECT_EQ(clicks.size(), 1u);
}

TEST_F(GridInput, PressesOnTextCellsAndGridLinesDoNothing) {
    press(3, 3);
    EXPECT_EQ(grid.PressedCol(), -1);
    const QRect R = grid.CellRect(1, 3);
    const QPoint onLine(R.right() + 1, R.center().y());  // the grid line right of the cell
    QTest::mousePress(grid.viewport(), Qt::LeftButton, {}, onLine - grid.viewport()->pos());
    EXPECT_EQ(grid.PressedCol(), -1);
    QTest::mouseRelease(grid.viewport(), Qt::LeftButton, {}, onLine - grid.viewport()->pos());
    EXPECT_TRUE(clicks.empty());
}

TEST_F(GridInput, HoldingSpaceOnAButtonCellClicksOnce) {
    grid.setCurrentCell(1, 5);
    QTest::keyPress(&grid, Qt::Key_Space);
    EXPECT_EQ(grid.PressedCol(), 1);
    EXPECT_EQ(grid.PressedRow(), 5);
    for (int i = 0; i < 3; ++i) {  // the keyboard's auto-repeat
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "),
                         true);
        QApplication::sendEvent(&grid, &repeat);
    }
    QTest::keyRelease(&grid, Qt::Key_Space);
    EXPECT_EQ(clicks, (std::vector<Click>{{1, 5}}));
    EXPECT_EQ(grid.PressedCol(), -1);
    EXPECT_EQ(grid.Row(), 5);
}

TEST_F(GridInput, SpaceTogglesAnEditableCheckCell) {
    grid.setOptions(goEditing);
    grid.setCells(2, 6, QStringLiteral("nothing"));
    grid.setCurrentCell(2, 6);
    QTest::keyClick(&grid, Qt::Key_Space);
    EXPECT_EQ(grid.Cells(2, 6), QStringLiteral("×"));  // no match: entry 0
    EXPECT_EQ(clicks, (std::vector<Click>{{2, 6}}));
}

TEST_F(GridInput, EnterClicksAButtonCellButNeverTogglesACheckCell) {
    grid.setCurrentCell(1, 7);
    QTest::keyClick(&grid, Qt::Key_Return);
    EXPECT_EQ(clicks, (std::vector<Click>{{1, 7}}));
    grid.setOptions(goEditing);
    grid.setCells(2, 7, QStringLiteral("○"));
    grid.setCurrentCell(2, 7);
    QTest::keyClick(&grid, Qt::Key_Return);
    EXPECT_EQ(grid.Cells(2, 7), QStringLiteral("○"));
    EXPECT_EQ(clicks.size(), 1u);
}

TEST(ToggleCheck, StatesAndValues) {
    TComboGrid grid;
    TCellKind& k = grid.CellKind(0);
    k.Kind = ckCheck;
    k.Items.Add(QStringLiteral("x"), 0);
    k.Items.Add(QStringLiteral("o"), 1);
    EXPECT_EQ(grid.ToggleCheck(0, QStringLiteral("x")), QStringLiteral("o"));
    EXPECT_EQ(grid.ToggleCheck(0, QStringLiteral("O")), QStringLiteral("x"));
    EXPECT_EQ(grid.ToggleCheck(0, QStringLiteral("?")), QStringLiteral("x"));
    k.Items.Clear();
    k.Items.Add(QStringLiteral("a"), 0);
    k.Items.Add(QStringLiteral("b"), 2);
    EXPECT_EQ(grid.ToggleCheck(0, QStringLiteral("a")), QStringLiteral("a"));
    EXPECT_EQ(grid.ToggleCheck(0, QStringLiteral("b")), QStringLiteral("b"));
    EXPECT_EQ(grid.ToggleCheck(0, QStringLiteral("c")), QStringLiteral("a"));
    k.Items.Clear();
    EXPECT_EQ(grid.ToggleCheck(0, QStringLiteral("c")), QString());  // no entries: no crash
}

TEST_F(GridInput, EditorShowsOnlyOnEditableTextAndListColumns) {
    grid.CellKind(3).Kind = ckList;
    grid.setCurrentCell(4, 2);
    grid.setEditorMode(true);
    EXPECT_FALSE(grid.EditorMode());  // editing is off

    grid.setOptions(goEditing);
    grid.setEditorMode(true);
    EXPECT_TRUE(grid.EditorMode());
    ASSERT_NE(grid.inplaceEditor(), nullptr);
    EXPECT_EQ(grid.inplaceEditor()->CellKind().Kind, ckText);

    grid.setCurrentCell(1, 2);  // a button column ends editor mode
    grid.setEditorMode(true);
    EXPECT_FALSE(grid.EditorMode());
    grid.setCurrentCell(2, 2);
    grid.setEditorMode(true);
    EXPECT_FALSE(grid.EditorMode());

    grid.CellKind(3).Editable = false;
    grid.setCurrentCell(3, 2);
    grid.setEditorMode(true);
    EXPECT_FALSE(grid.EditorMode());
    EXPECT_FALSE(grid.CanEditShow());

    grid.setOptions(goEditing | goRowSelect);
    grid.setCurrentCell(4, 2);
    grid.setEditorMode(true);
    EXPECT_FALSE(grid.EditorMode());
}

TEST_F(GridInput, AlwaysShowEditorAnswersTrueOutsideEditorMode) {
    grid.setCurrentCell(4, 2);
    EXPECT_FALSE(grid.CanEditShow());
    grid.setOptions(goAlwaysShowEditor);  // whatever the base answer (editing is off)
    EXPECT_TRUE(grid.CanEditShow());
    grid.setCurrentCell(1, 2);
    EXPECT_FALSE(grid.CanEditShow());
}

TEST_F(GridInput, ScrollingTheCurrentCellOutOfViewEndsEditorMode) {
    grid.setOptions(goEditing);
    grid.setCurrentCell(4, 1);
    grid.setEditorMode(true);
    ASSERT_TRUE(grid.EditorMode());
    grid.verticalScrollBar()->setValue(grid.verticalScrollBar()->maximum());
    QApplication::processEvents();
    EXPECT_FALSE(grid.EditorMode());
    grid.verticalScrollBar()->setValue(0);
    QApplication::processEvents();
    EXPECT_FALSE(grid.EditorMode());  // not in editor mode, no always-show: stays closed

    grid.setOptions(goEditing | goAlwaysShowEditor);
    grid.verticalScrollBar()->setValue(grid.verticalScrollBar()->maximum());
    QApplication::processEvents();
    grid.verticalScrollBar()->setValue(0);
    QApplication::processEvents();
    EXPECT_TRUE(grid.EditorMode());
}

TEST_F(GridInput, EditedTextReachesTheCell) {
    grid.setOptions(goEditing);
    grid.setCurrentCell(4, 3);
    grid.setEditorMode(true);
    ASSERT_NE(grid.inplaceEditor(), nullptr);
    grid.inplaceEditor()->setFocus();
    QTest::keyClicks(grid.inplaceEditor(), QStringLiteral("abc"));
    grid.setEditorMode(false);
    EXPECT_EQ(grid.Cells(4, 3), QStringLiteral("abc"));
}

TEST_F(GridInput, TypingOnAGridThatDoesNotEditMovesNothing) {
    grid.setCells(3, 9, QStringLiteral("zebra"));
    grid.setCurrentCell(3, 2);
    QTest::keyClicks(&grid, QStringLiteral("ze"));
    EXPECT_EQ(grid.Row(), 2);
    EXPECT_EQ(grid.Cells(3, 2), QString());
}

TEST_F(GridInput, KeyMovesAndRightPressesReportAUserMoveProgrammaticMovesDoNot) {
    int moves = 0;
    QObject::connect(&grid, &TComboGrid::OnUserMove, [&](TComboGrid* sender) {
        EXPECT_EQ(sender, &grid);
        ++moves;
    });
    grid.setCurrentCell(3, 2);
    EXPECT_EQ(moves, 0);

    QTest::keyClick(&grid, Qt::Key_Down);
    EXPECT_EQ(grid.Row(), 3);
    EXPECT_EQ(moves, 1);
    QTest::keyClick(&grid, Qt::Key_Up);
    QTest::keyClick(&grid, Qt::Key_Up);
    EXPECT_EQ(grid.Row(), 1);
    EXPECT_EQ(moves, 3);
    // Up from the first row below the fixed area goes nowhere.
    QTest::keyClick(&grid, Qt::Key_Up);
    EXPECT_EQ(grid.Row(), 1);
    EXPECT_EQ(moves, 3);

    auto [w, p] = spot(3, 4);
    QTest::mousePress(w, Qt::RightButton, {}, p);
    QTest::mouseRelease(w, Qt::RightButton, {}, p);
    EXPECT_EQ(grid.Row(), 4);
    EXPECT_EQ(moves, 4);
    // A right press on the current cell moves nothing.
    QTest::mousePress(w, Qt::RightButton, {}, p);
    QTest::mouseRelease(w, Qt::RightButton, {}, p);
    EXPECT_EQ(moves, 4);
}
