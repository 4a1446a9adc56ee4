// The in-place editor: edit mask, CP932 limit, and the drop-down list of list columns.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "ui/components/EditMask.h"
#include "ui/components/TComboGrid.h"
#include "ui/components/TComboInplaceEdit.h"

using namespace quil::ui;

namespace {

// Types each character as its own key press (QTest's key helpers know ASCII only).
void typeText(QWidget* w, const QString& text) {
    for (QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(w, &release);
    }
}

class MaskedGrid : public TComboGrid {
public:
    QString GetEditMask(int ACol, int) const override {
        return ACol == 2 ? QStringLiteral("00") : QString();
    }
};

class InplaceEdit : public ::testing::Test {
protected:
    void SetUp() override {
        grid.setColCount(5);
        grid.setRowCount(30);
        grid.setFixedRows(1);
        grid.setFixedCols(1);
        grid.setOptions(goEditing);
        grid.setColWidths(3, 90);
        TCellKind& list = grid.CellKind(3);
        list.Kind = ckList;
        for (const char* s : {"赤", "青", "黄"}) list.Items.Add(QString::fromUtf8(s));
        grid.resize(500, 300);
        grid.show();
        grid.activateWindow();
        QApplication::setActiveWindow(&grid);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
        QObject::connect(&grid, &TComboGrid::OnGridBtnClick, [this](TComboGrid*, int c, int r) {
            clicks.push_back({c, r});
        });
    }
    TComboInplaceEdit* openEditor(int c, int r) {
        grid.setCurrentCell(c, r);
        grid.setEditorMode(true);
        TComboInplaceEdit* e = grid.inplaceEditor();
        if (e) e->setFocus();
        return e;
    }

    MaskedGrid grid;
    std::vector<std::pair<int, int>> clicks;
};

}  // namespace

TEST(EditMaskConversion, StoredMasksBecomeQtInputMasks) {
    EXPECT_EQ(toQtInputMask(QString()), QString());
    EXPECT_EQ(toQtInputMask(QStringLiteral("!99/99/00;1;_")), QStringLiteral("00/00/99;_"));
    EXPECT_EQ(toQtInputMask(QStringLiteral("LLL-aa;0; ")), QStringLiteral("AAA-nn; "));
    EXPECT_EQ(toQtInputMask(QStringLiteral("\\A0>cC")), QStringLiteral("\\A9>xX;_"));
    EXPECT_EQ(toQtInputMask(QStringLiteral("9H")), QStringLiteral("0\\H;_"));
}

TEST_F(InplaceEdit, TextColumnsTakeTheirOwnMaskOrTheGridsAndTheirByteLimit) {
    grid.CellKind(4).Items.Add(QStringLiteral("000"));
    TComboInplaceEdit* e = openEditor(4, 2);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->EditMask(), QStringLiteral("000"));
    EXPECT_EQ(e->inputMask(), QStringLiteral("999;_"));
    grid.setEditorMode(false);
    EXPECT_FALSE(grid.EditorMode());
    EXPECT_EQ(grid.inplaceEditor(), nullptr);

    grid.CellKind(2).Kind = ckCheck;
    e = openEditor(2, 2);  // a check column: no editor at all
    EXPECT_EQ(e, nullptr);
    grid.CellKind(2).Kind = ckText;
    e = openEditor(2, 2);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->EditMask(), QStringLiteral("00"));  // from the grid's GetEditMask
    grid.setEditorMode(false);

    grid.CellKind(1).EditLimit = 4;
    e = openEditor(1, 2);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->MaxLength(), 4);
    typeText(e, QStringLiteral("車両管理"));
    EXPECT_EQ(e->text(), QStringLiteral("車両"));  // two characters of two bytes each
    e->clear();
    typeText(e, QStringLiteral("aｱbcde"));  // a half-width kana is one byte
    EXPECT_EQ(e->text(), QStringLiteral("aｱbc"));
    grid.setEditorMode(false);

    grid.CellKind(3).EditLimit = 2;  // only text columns have a limit
    e = openEditor(3, 2);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->MaxLength(), 0);
}

TEST_F(InplaceEdit, ArrowsStepThroughTheEntriesWhileTheListIsClosed) {
    TComboInplaceEdit* e = openEditor(3, 4);
    ASSERT_NE(e, nullptr);
    ASSERT_NE(e->ListBox(), nullptr);
    EXPECT_FALSE(e->ListVisible());
    EXPECT_EQ(e->ListBox()->count(), 3);
    QTest::keyClick(e, Qt::Key_Down);
    EXPECT_EQ(e->text(), QStringLiteral("赤"));
    QTest::keyPress(e, Qt::Key_Down);
    EXPECT_EQ(e->text(), QStringLiteral("赤"));  // the text follows on the key's release
    QTest::keyRelease(e, Qt::Key_Down);
    EXPECT_EQ(e->text(), QStringLiteral("青"));
    QTest::keyClick(e, Qt::Key_Up);
    EXPECT_EQ(e->text(), QStringLiteral("赤"));
    EXPECT_EQ(grid.Row(), 4);  // the grid's current row never moves
    EXPECT_FALSE(e->ListVisible());
    // Each step is a selection change in the list, reported with the current cell.
    EXPECT_EQ(clicks, (std::vector<std::pair<int, int>>{{3, 4}, {3, 4}, {3, 4}}));
}

TEST_F(InplaceEdit, DropDownSelectsTheMatchingEntryAndLinesUpRightEdgesBelowTheEditor) {
    TComboInplaceEdit* e = openEditor(3, 2);
    ASSERT_NE(e, nullptr);
    e->setText(QStringLiteral("青"));
    e->DropDown();
    ASSERT_TRUE(e->ListVisible());
    EXPECT_EQ(e->ListBox()->currentRow(), 1);
    EXPECT_EQ(e->ListBox()->width(), e->width());  // ListWidth 0: as wide as the editor
    const QPoint bottomLeft = e->mapToGlobal(QPoint(0, e->height()));
    EXPECT_EQ(e->ListBox()->geometry().topLeft(), bottomLeft);
    EXPECT_EQ(e->selectedText(), QStringLiteral("青"));
    EXPECT_TRUE(clicks.empty());  // opening is not a user's choice
    e->DropDown();
    EXPECT_FALSE(e->ListVisible());
}

TEST_F(InplaceEdit, AWideListReachesOutToTheLeft) {
    grid.CellKind(3).ListWidth = 300;
    TComboInplaceEdit* e = openEditor(3, 2);
    ASSERT_NE(e, nullptr);
    e->setText(QStringLiteral("紫"));
    e->DropDown();
    ASSERT_TRUE(e->ListVisible());
    EXPECT_EQ(e->ListBox()->width(), 300);
    const QPoint editorTopRight = e->mapToGlobal(QPoint(e->width(), e->height()));
    EXPECT_EQ(e->ListBox()->geometry().left() + 300, editorTopRight.x());
    EXPECT_EQ(e->ListBox()->currentRow(), -1);  // no entry matches: nothing selected
    EXPECT_TRUE(e->ListBox()->selectedItems().isEmpty());
}

TEST_F(InplaceEdit, PickingAnEntryWithTheMouseSetsTheTextAndClosesTheList) {
    TComboInplaceEdit* e = openEditor(3, 2);
    ASSERT_NE(e, nullptr);
    e->DropDown();
    QListWidget* list = e->ListBox();
    ASSERT_TRUE(list->isVisible());
    const QPoint at = list->visualItemRect(list->item(2)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(e->text(), QStringLiteral("黄"));
    EXPECT_FALSE(e->ListVisible());
    EXPECT_EQ(clicks, (std::vector<std::pair<int, int>>{{3, 2}}));
    grid.setEditorMode(false);
    EXPECT_EQ(grid.Cells(3, 2), QStringLiteral("黄"));
}

TEST_F(InplaceEdit, EscapeClosesOnlyTheList) {
    TComboInplaceEdit* e = openEditor(3, 2);
    ASSERT_NE(e, nullptr);
    e->DropDown();
    ASSERT_TRUE(e->ListVisible());
    QTest::keyClick(e, Qt::Key_Escape);
    EXPECT_FALSE(e->ListVisible());
    EXPECT_TRUE(grid.EditorMode());
    e->DropDown();
    QTest::keyClick(e->ListBox(), Qt::Key_Escape);
    EXPECT_FALSE(e->ListVisible());
}

TEST_F(InplaceEdit, ThePressOnTheButtonStripDropsTheListDown) {
    TComboInplaceEdit* e = openEditor(3, 2);
    ASSERT_NE(e, nullptr);
    QTest::mousePress(e, Qt::LeftButton, {}, QPoint(4, e->height() / 2));
    EXPECT_EQ(e->DownX(), -1);
    QTest::mouseRelease(e, Qt::LeftButton, {}, QPoint(4, e->height() / 2));
    EXPECT_FALSE(e->ListVisible());
    const QPoint strip(e->width() - 3, e->height() / 2);
    QTest::mousePress(e, Qt::LeftButton, {}, strip);
    EXPECT_EQ(e->DownX(), strip.x());
    QTest::mouseRelease(e, Qt::LeftButton, {}, strip);
    EXPECT_EQ(e->DownX(), -1);
    EXPECT_TRUE(e->ListVisible());
}

TEST_F(InplaceEdit, ANotEditableListColumnNeverShowsTheEditor) {
    grid.CellKind(3).Editable = false;
    grid.setCurrentCell(3, 2);
    QTest::keyClick(&grid, Qt::Key_F2);
    QTest::keyClicks(&grid, QStringLiteral("x"));
    EXPECT_FALSE(grid.EditorMode());
    EXPECT_EQ(grid.Cells(3, 2), QString());
}

TEST_F(InplaceEdit, LosingTheFocusHidesTheList) {
    TComboInplaceEdit* e = openEditor(3, 2);
    ASSERT_NE(e, nullptr);
    e->DropDown();
    ASSERT_TRUE(e->ListVisible());
    e->ListBox()->hide();  // the popup closes when the focus goes elsewhere; make sure the
    e->DropDown();         // editor's own focus-out handling does too
    QFocusEvent out(QEvent::FocusOut, Qt::OtherFocusReason);
    QApplication::sendEvent(e, &out);
    EXPECT_FALSE(e->ListVisible());
}

TEST_F(InplaceEdit, APressOnAnotherControlClosesTheList) {
    TComboInplaceEdit* e = openEditor(3, 2);
    ASSERT_NE(e, nullptr);
    e->DropDown();
    ASSERT_TRUE(e->ListVisible());
    const QRect other = grid.CellRect(1, 6);
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, other.center() - grid.viewport()->pos());
    EXPECT_FALSE(e->ListVisible());
}
