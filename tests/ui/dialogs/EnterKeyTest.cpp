// Enter in the dialogs: it presses a focused button (no button is a default one) and
// moves from a field to the checked button of a radio group, never to an unchecked one.

#include <QButtonGroup>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "ItemDialogsFixture.h"
#include "ui/dialogs/TCarform.h"
#include "ui/dialogs/TDataInputForm.h"
#include "ui/dialogs/TItemForm.h"
#include "ui/dialogs/TViewTimeForm.h"

namespace quil::itemtest {
namespace {

class EnterKeyTest : public ItemDialogTest {};

TEST_F(EnterKeyTest, EnterPressesTheFocusedButtonOfEveryDialog) {
    addItem(ItemKind::Vehicle, "車両1");
    addItem(ItemKind::User, "使用者1");
    addItem(ItemKind::Purpose, "配達");  // no record names it, so it may be deleted

    ui::TDataInputForm entry(main, &main.window);
    entry.setWindowTitle(u("出費記録－追加"));
    entry.show();
    EXPECT_FALSE(entry.Button1()->isDefault());
    EXPECT_FALSE(entry.Button1()->autoDefault());
    entry.Button1()->setFocus();
    QTest::keyClick(entry.Button1(), Qt::Key_Return);
    EXPECT_EQ(store::RecordStore(main.folder).count(), 1);
    EXPECT_FALSE(entry.isVisible());
    entry.show();
    QTest::keyClick(entry.Button2(), Qt::Key_Enter);  // the keypad's Enter too
    EXPECT_FALSE(entry.isVisible());
    EXPECT_EQ(store::RecordStore(main.folder).count(), 1);

    ui::TViewTimeForm period(main, &main.window);
    period.show();
    QTest::keyClick(period.Button1(), Qt::Key_Return);
    EXPECT_FALSE(period.isVisible());
    EXPECT_EQ(main.reloads, 2);

    ui::TItemForm editor(main, &main.window);
    editor.setWindowTitle(u("設定－使用目的"));
    editor.show();
    editor.ListBox1()->setCurrentRow(0);
    prompts.clear();
    QTest::keyClick(editor.Button3(), Qt::Key_Return);  // 削除 asks
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.last().kind, ui::ScriptedPrompts::Kind::Question);
    QTest::keyClick(editor.Button4(), Qt::Key_Return);
    EXPECT_FALSE(editor.isVisible());
    EXPECT_TRUE(prompts.boxes().size() == 1u);
}

TEST_F(EnterKeyTest, EnterMovesOnlyToTheCheckedButtonOfARadioGroup) {
    ui::TCarform form(main, &main.window);
    form.setWindowTitle(u("車両情報の登録"));
    form.show();
    form.RadioGroup1()->button(2)->setChecked(true);
    form.serial2Box()->setFocus();
    QTest::keyClick(form.serial2Box(), Qt::Key_Return);
    EXPECT_EQ(form.focusWidget(), form.RadioGroup1()->button(2));
    // A Space there keeps the choice the user made.
    QTest::keyClick(form.focusWidget(), Qt::Key_Space);
    EXPECT_EQ(form.RadioGroup1()->checkedId(), 2);
}

}  // namespace
}  // namespace quil::itemtest
