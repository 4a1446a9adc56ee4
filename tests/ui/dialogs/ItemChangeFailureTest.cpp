// The master list editor and the vehicle dialog when Quil.ini or the main window's list
// cannot follow: nothing is stored twice, no dialog stays open over a stored change, and
// the masks never lose step with the items.

#include <QApplication>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "FailingFiles.h"
#include "ItemDialogsFixture.h"
#include "store/IniFile.h"
#include "store/StoreError.h"
#include "ui/dialogs/TCarform.h"
#include "ui/dialogs/TItemForm.h"

namespace quil::itemtest {
namespace {

using testing::FailingFiles;

class ItemChangeFailureTest : public testing::WithItemEditor<ItemDialogTest> {
protected:
    void failReloads() {
        main.onReload = [] { throw store::StoreError("Data.idx", "書き込みできません。"); };
    }
    std::size_t liveCount(ItemKind kind) const {
        return store::ItemStore(main.folder).listLive(kind).size();
    }
    // The one report of a change that was stored and a step after it that failed.
    void expectOneReport(const char* done, const char* notDone) {
        ASSERT_EQ(prompts.boxes().size(), 1u);
        const QString text = prompts.last().text;
        EXPECT_EQ(prompts.last().title, QStringLiteral("警告"));
        EXPECT_TRUE(text.startsWith(u(done))) << text.toStdString();
        EXPECT_TRUE(text.contains(u(notDone) + u("ができませんでした。"))) << text.toStdString();
    }
};

TEST_F(ItemChangeFailureTest, AVehicleWhoseMaskCannotBeSavedIsStoredOnceAndItsMaskKept) {
    addItem(ItemKind::Vehicle, "車両1");
    settings().setCarMask("1");
    open("車両");
    QTest::mouseClick(editor->Button1(), Qt::LeftButton);
    ASSERT_TRUE(carform->isVisible());
    carform->nameBox()->setText(u("ハイエース"));
    {
        FailingFiles readOnly({"Quil.ini"});
        QTest::mouseClick(carform->Button1(), Qt::LeftButton);
        EXPECT_GE(readOnly.refusals(), 1);
    }
    // The vehicle is stored once and the dialog closes, so no second OK can repeat it;
    // the mask follows the items for the rest of the run although the file kept "1".
    EXPECT_EQ(liveCount(ItemKind::Vehicle), 2u);
    EXPECT_FALSE(carform->isVisible());
    EXPECT_EQ(settings().carMask(), "11");
    EXPECT_EQ(store::IniFile(main.folder + "Quil.ini").readText("ViewItem", "Car", ""), "1");

    // The next settings write that succeeds saves the kept mask with it.
    settings().setDriverMask("1");
    EXPECT_EQ(store::IniFile(main.folder + "Quil.ini").readText("ViewItem", "Car", ""), "11");
    EXPECT_EQ(settings().unsavedCount(), 0u);
}

TEST_F(ItemChangeFailureTest, AStoredVehicleClosesTheDialogWhenTheListCannotFollow) {
    addItem(ItemKind::Vehicle, "車両1");
    settings().setCarMask("1");
    failReloads();
    open("車両");
    QTest::mouseClick(editor->Button1(), Qt::LeftButton);
    carform->nameBox()->setText(u("ハイエース"));
    QTest::mouseClick(carform->Button1(), Qt::LeftButton);
    EXPECT_EQ(liveCount(ItemKind::Vehicle), 2u);
    EXPECT_EQ(settings().carMask(), "11");
    EXPECT_FALSE(carform->isVisible());
    EXPECT_EQ(editor->ListBox1()->count(), 2);
    expectOneReport("車両を登録しました。", "一覧の更新");
}

TEST_F(ItemChangeFailureTest, AUserWhoseMaskCannotBeSavedIsStoredAndShown) {
    addItem(ItemKind::User, "山田");
    settings().setDriverMask("1");
    open("使用者");
    prompts.answerInput(u("佐藤"));
    {
        FailingFiles readOnly({"Quil.ini"});
        QTest::mouseClick(editor->Button1(), Qt::LeftButton);
        EXPECT_GE(readOnly.refusals(), 1);
    }
    EXPECT_EQ(liveCount(ItemKind::User), 2u);
    EXPECT_EQ(settings().driverMask(), "10");
    EXPECT_EQ(entries(editor->ListBox1()), (QStringList{u("山田"), u("佐藤")}));
    settings().setCarMask("1");  // saves what was kept
    EXPECT_EQ(settings().unsavedCount(), 0u);
}

TEST_F(ItemChangeFailureTest, ADeleteKeepsItemsAndMaskInStep) {
    addItem(ItemKind::Vehicle, "車両A");
    const int b = addItem(ItemKind::Vehicle, "車両B");
    const int c = addItem(ItemKind::Vehicle, "車両C");
    settings().setCarMask("101");
    open("車両");

    // The item file cannot be written: nothing is deleted and the mask goes back as it was.
    select(1);
    prompts.answerQuestion(true);
    {
        FailingFiles readOnly({"Quil.qui"});
        EXPECT_THROW(editor->Button3Click(), store::StoreError);
    }
    EXPECT_FALSE(store::ItemStore(main.folder).read(b).deleted());
    EXPECT_EQ(settings().carMask(), "101");
    EXPECT_EQ(editor->ListBox1()->count(), 3);

    // The mask cannot be saved: the item is deleted and its character leaves the mask kept
    // for the run, so no other vehicle changes its visibility.
    select(2);
    prompts.answerQuestion(true);
    {
        FailingFiles readOnly({"Quil.ini"});
        editor->Button3Click();
    }
    EXPECT_TRUE(store::ItemStore(main.folder).read(c).deleted());
    EXPECT_EQ(settings().carMask(), "10");
    EXPECT_EQ(entries(editor->ListBox1()), (QStringList{u("車両A"), u("車両B")}));

    // Stored, but the main window cannot follow: one report, the list and mask follow.
    prompts.clear();
    failReloads();
    select(1);
    prompts.answerQuestion(true);
    QTest::mouseClick(editor->Button3(), Qt::LeftButton);
    EXPECT_TRUE(store::ItemStore(main.folder).read(b).deleted());
    EXPECT_EQ(settings().carMask(), "1");
    EXPECT_EQ(settings().unsavedCount(), 0u);
    EXPECT_EQ(entries(editor->ListBox1()), QStringList{u("車両A")});
    ASSERT_EQ(prompts.boxes().size(), 2u);  // the question, then the one report
    EXPECT_TRUE(prompts.last().text.startsWith(u("「車両B」を削除しました。")));
}

TEST_F(ItemChangeFailureTest, AfterADeleteNothingIsSelected) {
    addItem(ItemKind::Purpose, "配達");
    addItem(ItemKind::Purpose, "営業");
    addItem(ItemKind::Purpose, "通勤");
    open("使用目的");
    select(0);
    prompts.answerQuestion(true);
    QTest::mouseClick(editor->Button3(), Qt::LeftButton);
    EXPECT_TRUE(editor->ListBox1()->selectedItems().isEmpty());
    // A second 削除 asks about nothing the user never picked.
    prompts.clear();
    prompts.answerQuestion(true);
    QTest::mouseClick(editor->Button3(), Qt::LeftButton);
    expectWarning("項目を選択して下さい！");
    EXPECT_EQ(liveCount(ItemKind::Purpose), 2u);
}

TEST_F(ItemChangeFailureTest, ARenameTheMainWindowCannotShowIsStoredAndReportedOnce) {
    addItem(ItemKind::Shop, "ABC");
    open("店");
    failReloads();
    select(0);
    prompts.answerInput(u("XYZ"));
    QTest::mouseClick(editor->Button2(), Qt::LeftButton);
    EXPECT_EQ(store::ItemStore(main.folder).nameAt(0), "XYZ");
    EXPECT_EQ(entries(editor->ListBox1()), QStringList{u("XYZ")});
    ASSERT_EQ(prompts.boxes().size(), 2u);  // the input box, then the one report
    EXPECT_TRUE(prompts.last().text.startsWith(u("名前を変更しました。")));
}

TEST_F(ItemChangeFailureTest, ADoubleClickAnywhereInTheListIsModify) {
    addItem(ItemKind::Shop, "ABC");
    open("店");
    QWidget* list = editor->ListBox1()->viewport();
    const QPoint below(10, list->height() - 5);
    QTest::mouseDClick(list, Qt::LeftButton, {}, below);
    expectWarning("項目を選択して下さい！");
    ASSERT_EQ(prompts.boxes().size(), 1u);

    const QPoint onEntry = editor->ListBox1()->visualItemRect(editor->ListBox1()->item(0)).center();
    prompts.answerInput(u("XYZ"));
    QTest::mouseClick(list, Qt::LeftButton, {}, onEntry);  // the double click's first click
    QTest::mouseDClick(list, Qt::LeftButton, {}, onEntry);
    ASSERT_EQ(prompts.boxes().size(), 2u);
    EXPECT_EQ(prompts.last().kind, ui::ScriptedPrompts::Kind::Input);
    EXPECT_EQ(store::ItemStore(main.folder).nameAt(0), "XYZ");
}

// Typing into a full box refuses the keystroke: the text and the cursor stay as they were.
TEST_F(ItemChangeFailureTest, TypingIntoAFullVehicleNameRefusesTheKeystroke) {
    open("車両");
    QTest::mouseClick(editor->Button1(), Qt::LeftButton);
    QLineEdit* name = carform->nameBox();
    const QString full = u("あいうえおかきくけこさしすせそ");  // 15 full-width = 30 bytes
    name->setText(full);
    name->setCursorPosition(0);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, u("ア"));
    QApplication::sendEvent(name, &press);
    EXPECT_EQ(name->text(), full);
    EXPECT_EQ(name->cursorPosition(), 0);
    QTest::keyClick(name, Qt::Key_A);
    EXPECT_EQ(name->text(), full);

    // A paste that would pass the limit is refused whole.
    name->setText(u("あいうえおかきくけこさしす"));  // 26 bytes
    name->setCursorPosition(1);
    name->insert(u("ABCDE"));
    EXPECT_EQ(name->text(), u("あいうえおかきくけこさしす"));
    name->insert(u("ABCD"));
    EXPECT_EQ(name->text(), u("あABCDいうえおかきくけこさしす"));
}

TEST_F(ItemChangeFailureTest, TheNameBoxesOfTheListEditorHoldNoMoreThanANameDoes) {
    addItem(ItemKind::Shop, "ABC");
    open("店");
    prompts.answerInput(u("XYZ"));
    QTest::mouseClick(editor->Button1(), Qt::LeftButton);  // add
    select(0);
    prompts.answerInput(u("DEF"));
    QTest::mouseClick(editor->Button2(), Qt::LeftButton);  // modify
    EXPECT_EQ(prompts.inputLimits(), (std::vector<int>{30, 30}));
}

// The real input box: typing past 30 bytes is refused, whatever the kind of characters.
TEST(QtInputBox, RefusesTypingBeyondItsByteLimit) {
    ui::QtPrompts boxes;
    QString typedInto;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        auto* edit = box->findChild<QLineEdit*>();
        ASSERT_NE(edit, nullptr);
        // 18 full-width characters typed one at a time, as an input method hands them over.
        for (const QChar c : QString::fromUtf8("あいうえおかきくけこさしすせそたちつ")) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(edit, &press);
        }
        QTest::keyClicks(edit, QStringLiteral("AB"));
        typedInto = edit->text();
        box->accept();
    });
    const std::optional<QString> text =
        boxes.inputText(nullptr, QString::fromUtf8("店"),
                        QString::fromUtf8("追加する店を入力して下さい。"), QString(), 30);
    EXPECT_EQ(typedInto, QString::fromUtf8("あいうえおかきくけこさしすせそ"));
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, typedInto);
}

}  // namespace
}  // namespace quil::itemtest
