// The checks of OK, in their order, with their messages and focus; nothing is written
// while one fails.

#include "DataInputFixture.h"

namespace quil::entrytest {
namespace {

class DataInputCheckTest : public DataInputTest {
protected:
    // Presses OK and expects the warning with the focus on `focus` and nothing written.
    void expectRefused(const char* message, const QWidget* focus) {
        prompts.clear();
        pressOk();
        ASSERT_EQ(prompts.boxes().size(), 1u);
        expectWarning(message);
        EXPECT_TRUE(focusOn(focus)) << message;
        EXPECT_TRUE(form->isVisible());
        EXPECT_FALSE(recordFileExists());
        EXPECT_EQ(main.reloads, 0);
    }
};

TEST_F(DataInputCheckTest, DrivingChecksListsTimesAndOdometersInOrder) {
    seedItems();
    open("走行記録－追加");
    setText(form->vehicleList(), "車両C");
    setText(form->userList(), "");
    setText(form->startHourList(), "24");
    setText(form->endMinuteList(), "60");
    setText(form->valueBox1(), "1,000");
    setText(form->valueBox2(), "abc");
    setText(form->thirdList(), "買い物");

    expectRefused("車両を選択して下さい！", form->vehicleList());
    setText(form->vehicleList(), "車両B");
    expectRefused("使用者を選択して下さい！", form->userList());
    form->userList()->setCurrentIndex(0);
    expectRefused("正しい時間を入力して下さい！", form->startHourList());
    setText(form->startHourList(), "23");
    setText(form->startMinuteList(), "x");
    expectRefused("正しい時間を入力して下さい！", form->startHourList());
    setText(form->startMinuteList(), "59");
    expectRefused("正しい時間を入力して下さい！", form->endHourList());
    setText(form->endMinuteList(), "");
    expectRefused("正しい時間を入力して下さい！", form->endHourList());
    setText(form->endMinuteList(), "5");
    expectRefused("正しい出庫距離を入力して下さい！", form->valueBox1());
    setText(form->valueBox1(), "1000");
    expectRefused("正しい入庫距離を入力して下さい！", form->valueBox2());
    setText(form->valueBox2(), "-3.5");
    expectRefused("項目を選択して下さい！", form->thirdList());
    setText(form->thirdList(), "");

    prompts.clear();
    pressOk();
    EXPECT_TRUE(prompts.boxes().empty());
    ASSERT_EQ(recordCount(), 1);
    const DataRecord r = stored(0);
    EXPECT_EQ(r.vehicle(), kCarB);
    EXPECT_EQ(r.user(), kUserYamada);
    EXPECT_EQ(r.item(), -1);  // empty third list: その他
    EXPECT_DOUBLE_EQ(r.date(), encodeDate(2024, 5, 10) + encodeTime(23, 59));
    // An end before the start stays on the same day.
    EXPECT_DOUBLE_EQ(r.returnTime(), encodeDate(2024, 5, 10) + encodeTime(0, 5));
    EXPECT_EQ(r.distance2(), -3.5);
}

TEST_F(DataInputCheckTest, AnUnfinishedDateIsRefusedFirst) {
    seedItems();
    open("給油記録－追加");
    setText(form->valueBox2(), "x");
    // Clear the day section while typing; OK through its shortcut leaves the text as is.
    form->dateBox()->setFocus();
    form->dateBox()->setCurrentSection(QDateTimeEdit::DaySection);
    QTest::keyClick(form->dateBox(), Qt::Key_End);
    QTest::keyClick(form->dateBox(), Qt::Key_Backspace);
    QTest::keyClick(form->dateBox(), Qt::Key_Backspace);
    ASSERT_FALSE(form->dateBox()->hasAcceptableInput());
    form->Button1Click();
    expectWarning("正しい日付を入力して下さい！");
    EXPECT_TRUE(focusOn(form->dateBox()));
    EXPECT_FALSE(recordFileExists());
}

TEST_F(DataInputCheckTest, PricesAreWholeNumbersAndQuantitiesMayHaveDecimals) {
    seedItems();
    open("給油記録－追加");
    setText(form->valueBox1(), "12,5");
    setText(form->valueBox3(), "8%");
    for (const char* price : {"1,000", "12.5", "", "2147483648", "１０００"}) {
        setText(form->valueBox2(), price);
        expectRefused("正しい金額を入力して下さい！", form->valueBox2());
    }
    setText(form->valueBox2(), "-2147483648");
    expectRefused("正しい消費税額を入力して下さい！", form->valueBox3());
    setText(form->valueBox3(), "2147483647");
    expectRefused("正しい給油量を入力して下さい！", form->valueBox1());
    setText(form->thirdList(), "知らないスタンド");
    setText(form->valueBox1(), "12.5");
    expectRefused("項目を選択して下さい！", form->thirdList());
    setText(form->thirdList(), "その他");
    prompts.clear();
    pressOk();
    EXPECT_TRUE(prompts.boxes().empty());
    const DataRecord r = stored(0);
    EXPECT_EQ(r.price(), -2147483647 - 1);
    EXPECT_EQ(r.tax(), 2147483647);
    EXPECT_EQ(r.distance2(), 12.5);
    EXPECT_EQ(r.place(), -1);
}

TEST_F(DataInputCheckTest, MaintenanceAndExpenseCheckDistanceItemThenShop) {
    seedItems();
    open("点検・整備記録－追加");
    setText(form->valueBox1(), "1 000");
    setText(form->thirdList(), "タイヤ交換");
    setText(form->shopList(), "XYZ");
    expectRefused("正しい距離を入力して下さい！", form->valueBox1());
    setText(form->valueBox1(), "5e3");
    expectRefused("項目を選択して下さい！", form->thirdList());
    setText(form->thirdList(), "オイル交換");
    expectRefused("項目を選択して下さい！", form->shopList());
    form->close();

    open("出費記録－追加");
    setText(form->valueBox2(), "0x10");
    expectRefused("正しい金額を入力して下さい！", form->valueBox2());
    setText(form->valueBox2(), "+300");
    setText(form->shopList(), "abc商店");  // names match exactly, case included
    expectRefused("項目を選択して下さい！", form->shopList());
    setText(form->shopList(), "ABC商店");
    prompts.clear();
    pressOk();
    EXPECT_TRUE(prompts.boxes().empty());
    EXPECT_EQ(stored(0).price(), 300);
    EXPECT_EQ(stored(0).place(), kShopAbc);
}

}  // namespace
}  // namespace quil::entrytest
