// What the entry dialog must never change on its own: a record stored once stays stored
// once when what follows the save fails, an unchanged number keeps its stored value, and
// an unchanged list keeps its reference even among items of the same name.

#include "DataInputFixture.h"
#include "store/StoreError.h"

namespace quil::entrytest {
namespace {

class DataInputKeepTest : public DataInputTest {
protected:
    void failReloads() {
        main.onReload = [] { throw store::StoreError("Data.idx", "書き込みできません。"); };
    }
};

TEST_F(DataInputKeepTest, AFailedReloadAfterTheSaveClosesTheDialogAndReportsOnce) {
    seedItems();
    failReloads();
    open("出費記録－追加");
    setText(form->valueBox2(), "800");
    pressOk();
    EXPECT_EQ(recordCount(), 1);
    EXPECT_FALSE(form->isVisible()) << "an open dialog would store the record again";
    ASSERT_EQ(prompts.boxes().size(), 1u);
    const QString text = prompts.last().text;
    EXPECT_EQ(prompts.last().title, QStringLiteral("警告"));
    EXPECT_TRUE(text.startsWith(QStringLiteral("記録を保存しました。"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("一覧の更新ができませんでした。")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Data.idx"))) << text.toStdString();

    // An edit whose reload fails the same way rewrites its record once and closes too.
    store::writeRowIndex(main.folder + store::kRowIndexFileName, {0});
    main.row = 1;
    open("出費記録－修正");
    setText(form->remarksBox(), "修正");
    pressOk();
    EXPECT_EQ(recordCount(), 1);
    EXPECT_EQ(stored(0).remarks(), "修正");
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(prompts.boxes().size(), 2u);
}

TEST_F(DataInputKeepTest, NumbersTheUserDidNotTouchKeepTheirStoredValue) {
    seedItems();
    DataRecord fuel = record(1, encodeDate(2024, 4, 1));
    fuel.setDistance2(32.25);
    DataRecord drive = record(0, encodeDate(2024, 4, 2) + encodeTime(8, 0));
    drive.setDistance1(12345.65);
    drive.setDistance2(12399.96);
    drive.setReturnTime(encodeDate(2024, 4, 2) + encodeTime(9, 0));
    DataRecord repair = record(2, encodeDate(2024, 4, 3));
    repair.setDistance1(999.95);
    storeRecords({fuel, drive, repair});

    main.row = 1;
    open("給油記録－修正");
    EXPECT_EQ(form->valueBox1()->text(), QStringLiteral("32.3"));
    setText(form->remarksBox(), "備考だけ");
    pressOk();
    EXPECT_EQ(stored(0).distance2(), 32.25);

    main.row = 2;
    open("走行記録－修正");
    setText(form->valueBox2(), "12410.5");  // the return distance is changed, not the first
    pressOk();
    EXPECT_EQ(stored(1).distance1(), 12345.65);
    EXPECT_EQ(stored(1).distance2(), 12410.5);

    // A text typed over, even back to what was shown, is what the user chose.
    main.row = 3;
    open("点検・整備記録－修正");
    EXPECT_EQ(form->valueBox1()->text(), QStringLiteral("1000.0"));
    setText(form->valueBox1(), "1000.1");
    pressOk();
    EXPECT_EQ(stored(2).distance1(), 1000.1);
    EXPECT_TRUE(prompts.boxes().empty());
}

TEST_F(DataInputKeepTest, AnUnchangedEditKeepsEachReferenceAmongItemsOfTheSameName) {
    addItem(ItemKind::Vehicle, "軽トラ");      // 0
    addItem(ItemKind::User, "山田");           // 1
    addItem(ItemKind::Vehicle, "軽トラ");      // 2
    addItem(ItemKind::User, "山田");           // 3
    addItem(ItemKind::ExpenseItem, "駐車場");  // 4
    addItem(ItemKind::ExpenseItem, "駐車場");  // 5
    addItem(ItemKind::Shop, "その他");         // 6: a shop really called "その他"
    addItem(ItemKind::Shop, "ABC");            // 7
    DataRecord second = record(3, encodeDate(2024, 4, 1), 2, 3);
    second.setItem(5);
    second.setPlace(-1);
    DataRecord named = record(3, encodeDate(2024, 4, 2), 0, 1);
    named.setItem(4);
    named.setPlace(6);
    storeRecords({second, named});

    main.row = 1;
    open("出費記録－修正");
    EXPECT_EQ(form->vehicleList()->currentIndex(), 1);
    EXPECT_EQ(form->userList()->currentIndex(), 1);
    EXPECT_EQ(form->thirdList()->currentIndex(), 1);
    EXPECT_EQ(form->shopList()->currentIndex(), form->shopList()->count() - 1);
    pressOk();
    EXPECT_TRUE(stored(0) == second);

    main.row = 2;
    open("出費記録－修正");
    EXPECT_EQ(form->shopList()->currentIndex(), 0);
    pressOk();
    EXPECT_TRUE(stored(1) == named);
    EXPECT_TRUE(prompts.boxes().empty());
}

// A date is typed whole after a click into the box, in either form; an impossible one is
// refused, never turned into another day.
TEST_F(DataInputKeepTest, ADateTypedIntoTheBoxIsTakenWholeOrRefused) {
    seedItems();
    open("出費記録－追加");
    QDateEdit* date = form->dateBox();
    auto typeDate = [&](const char* text) {
        QTest::mouseClick(date->findChild<QLineEdit*>(), Qt::LeftButton, {}, QPoint(30, 8));
        QTest::keyClicks(date, QString::fromLatin1(text));
    };
    typeDate("20260231");
    EXPECT_EQ(date->findChild<QLineEdit*>()->text(), QStringLiteral("20260231"));
    pressOk();
    expectWarning("正しい日付を入力して下さい！");
    EXPECT_TRUE(focusOn(date));
    EXPECT_FALSE(recordFileExists());
    EXPECT_TRUE(form->isVisible());

    // Typed with slashes it matches the box's format; still it is refused, not made the
    // month's last day.
    typeDate("2026/02/31");
    EXPECT_EQ(date->findChild<QLineEdit*>()->text(), QStringLiteral("2026/02/31"));
    pressOk();
    expectWarning("正しい日付を入力して下さい！");
    EXPECT_EQ(date->findChild<QLineEdit*>()->text(), QStringLiteral("2026/02/31"));
    EXPECT_FALSE(recordFileExists());

    typeDate("20260215");
    pressOk();
    ASSERT_EQ(recordCount(), 1);
    EXPECT_EQ(stored(0).date(), encodeDate(2026, 2, 15));

    open("出費記録－追加");
    typeDate("2026/3/5");
    QTest::keyClick(date, Qt::Key_Tab);  // leaving the box takes the date
    EXPECT_EQ(date->date(), QDate(2026, 3, 5));
    pressOk();
    ASSERT_EQ(recordCount(), 2);
    EXPECT_EQ(stored(1).date(), encodeDate(2026, 3, 5));
    EXPECT_EQ(prompts.boxes().size(), 2u);
}

// Typing a date, then Tab or Enter, then the hour: the date is taken and the hour lands in
// the hour list (the first Tab once stepped inside the date and the hour joined the date).
TEST_F(DataInputKeepTest, TabOrEnterAfterATypedDateMovesOnToTheHour) {
    seedItems();
    for (const Qt::Key key : {Qt::Key_Tab, Qt::Key_Return}) {
        open("運転記録－追加");
        form->activateWindow();
        QDateEdit* date = form->dateBox();
        date->setFocus();
        QTest::keyClicks(date, QStringLiteral("20260830"));
        QTest::keyClick(date, key);
        ASSERT_TRUE(focusOn(form->startHourList())) << key;
        QTest::keyClick(form->startHourList(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(form->startHourList(), QStringLiteral("17"));
        EXPECT_EQ(date->date(), QDate(2026, 8, 30)) << key;
        EXPECT_EQ(date->text(), QStringLiteral("2026/08/30")) << key;
        EXPECT_EQ(form->startHourList()->currentText(), QStringLiteral("17")) << key;
        form->Button2()->click();
    }
    // An impossible date keeps the focus and its text for correcting.
    open("運転記録－追加");
    form->activateWindow();
    form->dateBox()->setFocus();
    QTest::keyClicks(form->dateBox(), QStringLiteral("20260231"));
    QTest::keyClick(form->dateBox(), Qt::Key_Return);
    EXPECT_TRUE(focusOn(form->dateBox()));
    EXPECT_EQ(form->dateBox()->text(), QStringLiteral("20260231"));
}

}  // namespace
}  // namespace quil::entrytest
