// The vehicle registration dialog opened from the master list editor: the checks, the
// vehicle record it writes, the vehicle mask and the editor's list afterwards.

#include <QApplication>
#include <QButtonGroup>
#include <QDateEdit>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include "ItemDialogsFixture.h"
#include "store/Codec.h"
#include "ui/dialogs/TCarform.h"
#include "ui/dialogs/TItemForm.h"

namespace quil::itemtest {
namespace {

class CarformTest : public testing::WithItemEditor<ItemDialogTest> {
protected:
    void SetUp() override {
        WithItemEditor::SetUp();
        editor->setWindowTitle(u("設定－車両"));
    }

    // The editor's add button, as the user opens the dialog for a new vehicle.
    void openNew() {
        editor->show();
        QTest::mouseClick(editor->Button1(), Qt::LeftButton);
        ASSERT_TRUE(carform->isVisible());
    }
    void openModify(int row) {
        editor->show();
        editor->ListBox1()->setCurrentRow(row);
        QTest::mouseClick(editor->Button2(), Qt::LeftButton);
        ASSERT_TRUE(carform->isVisible());
    }
    void pressOk() { QTest::mouseClick(carform->Button1(), Qt::LeftButton); }
    // Types character by character, as key presses carrying the text (QTest::keyClicks
    // takes ASCII only).
    static void type(QLineEdit* box, const char* text) {
        box->clear();
        for (QChar c : QString::fromUtf8(text)) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(box, &press);
        }
    }
};

TEST_F(CarformTest, ANewVehicleIsAppendedShownInTheMaskAndListed) {
    addItem(ItemKind::Vehicle, "車両1");
    addItem(ItemKind::User, "使用者1");
    settings().setCarMask("1");
    openNew();
    EXPECT_EQ(carform->pos(), main.window.pos() + QPoint(50, 50));
    EXPECT_TRUE(carform->nameBox()->text().isEmpty());
    EXPECT_EQ(carform->dateBox()->date(), QDate(2024, 5, 10));
    EXPECT_EQ(carform->RadioGroup1()->checkedId(), 0);
    EXPECT_EQ(carform->RadioGroup2()->checkedId(), 0);
    EXPECT_TRUE(carform->nameBox()->hasFocus() || carform->focusWidget() == carform->nameBox());

    type(carform->nameBox(), "ハイエース");
    type(carform->odometerBox(), "12345.67");
    carform->dateBox()->setDate(QDate(2021, 3, 15));
    type(carform->regionBox(), "品川");
    type(carform->classBox(), "400");
    type(carform->kanaBox(), "あい");  // one full-width character fits: the second is cut
    type(carform->serial1Box(), "12");
    type(carform->serial2Box(), "345");
    carform->RadioGroup1()->button(4)->click();
    carform->RadioGroup2()->button(1)->click();
    type(carform->remarksBox(), "社用車");
    EXPECT_EQ(carform->kanaBox()->text(), u("あ"));
    EXPECT_EQ(carform->serial2Box()->text(), u("34"));
    pressOk();

    EXPECT_TRUE(prompts.boxes().empty());
    EXPECT_FALSE(carform->isVisible());
    const auto b = itemBytes(2);
    ASSERT_EQ(itemFileBytes().size(), 3 * 128u);
    EXPECT_EQ(shortStringAt(b, 0), "QI");
    EXPECT_EQ(fieldAt<double>(b, 4), main.stamp);
    EXPECT_EQ(fieldAt<std::int16_t>(b, 12), 101);
    EXPECT_EQ(b[14], 0);
    EXPECT_EQ(fieldAt<std::int16_t>(b, 16), 1);
    EXPECT_EQ(fieldAt<std::int16_t>(b, 18), 999);
    EXPECT_EQ(shortStringAt(b, 20), store::toCp932("ハイエース"));
    EXPECT_EQ(fieldAt<double>(b, 52), 12345.67);
    EXPECT_EQ(fieldAt<double>(b, 60), store::encodeDate(2021, 3, 15));
    EXPECT_EQ(fieldAt<std::int16_t>(b, 68), 4);
    EXPECT_EQ(fieldAt<std::int16_t>(b, 70), 0);
    EXPECT_EQ(fieldAt<std::int16_t>(b, 72), 0);
    EXPECT_EQ(fieldAt<std::int16_t>(b, 74), 1);
    EXPECT_EQ(shortStringAt(b, 76), store::toCp932("品川"));
    EXPECT_EQ(shortStringAt(b, 87), "400");
    EXPECT_EQ(shortStringAt(b, 91), "\x82\xA0");  // あ
    EXPECT_EQ(shortStringAt(b, 94), "12");
    EXPECT_EQ(shortStringAt(b, 97), "34");
    EXPECT_EQ(shortStringAt(b, 100), store::toCp932("社用車"));
    for (std::size_t off = 121; off < 128; ++off) EXPECT_EQ(b[off], 0) << off;

    EXPECT_EQ(settings().carMask(), "11");
    // The main window shows the new vehicle at once.
    EXPECT_EQ(main.summaries, 1);
    EXPECT_EQ(main.reloads, 1);
    EXPECT_EQ(entries(editor->ListBox1()), (QStringList{u("車両1"), u("ハイエース")}));
    EXPECT_EQ(editor->positions(), (std::vector<int>{0, 2}));

    // A second registration appends another "1"; the fields start empty again.
    openNew();
    EXPECT_TRUE(carform->odometerBox()->text().isEmpty());
    EXPECT_EQ(carform->RadioGroup1()->checkedId(), 0);
    type(carform->nameBox(), "カブ");
    pressOk();
    EXPECT_EQ(settings().carMask(), "111");
    EXPECT_EQ(editor->ListBox1()->count(), 3);
}

TEST_F(CarformTest, ChecksRefuseInOrderAndWriteNothing) {
    addItem(ItemKind::Vehicle, "車両1");
    settings().setCarMask("1");
    openNew();
    const auto before = itemFileBytes();

    type(carform->odometerBox(), "abc");
    pressOk();
    expectWarning("車両名を入力して下さい！");  // the name is checked first

    type(carform->nameBox(), "軽トラ");
    carform->nameBox()->setFocus();
    pressOk();
    expectWarning("納車距離は数字で入力して下さい！");
    EXPECT_EQ(carform->focusWidget(), carform->odometerBox());
    for (const char* bad : {"1,000", "12km", "nan", "inf"}) {
        prompts.clear();
        type(carform->odometerBox(), bad);
        pressOk();
        expectWarning("納車距離は数字で入力して下さい！");
    }
    EXPECT_TRUE(carform->isVisible());
    EXPECT_EQ(itemFileBytes(), before);
    EXPECT_EQ(settings().carMask(), "1");
    EXPECT_EQ(main.reloads, 0);

    // An empty odometer box becomes "0" and stores 0.
    prompts.clear();
    carform->odometerBox()->clear();
    pressOk();
    EXPECT_TRUE(prompts.boxes().empty());
    EXPECT_EQ(carform->odometerBox()->text(), u("0"));
    EXPECT_EQ(fieldAt<double>(itemBytes(1), 52), 0.0);
    EXPECT_EQ(settings().carMask(), "11");
}

TEST_F(CarformTest, ModifyShowsTheVehicleAndRewritesItWhole) {
    addItem(ItemKind::Vehicle, "車両1");
    store::ItemRecord v;
    v.setStamp(1.5);  // another stamp, an old order number and reserved words: all replaced
    v.setKind(ItemKind::Vehicle);
    v.setOrder(3);
    v.setName("プリウス");
    v.setOdometer(12345.65);
    v.setRegistered(store::encodeDate(2019, 11, 2));
    v.setVehicleType(1);
    v.setReserved70(7);
    v.setReserved72(8);
    v.setFuel(1);
    v.setPlateRegion("練馬");
    v.setPlateClass("500");
    v.setPlateKana("さ");
    v.setPlateSerial1("98");
    v.setPlateSerial2("76");
    v.setRemarks("営業用");
    const int pos = store::ItemStore(main.folder).append(v);
    settings().setCarMask("10");

    openModify(1);
    EXPECT_EQ(carform->itemPosition(), pos);
    EXPECT_EQ(carform->nameBox()->text(), u("プリウス"));
    EXPECT_EQ(carform->odometerBox()->text(), u("12345.7"));  // "0.0", half away from zero
    EXPECT_EQ(carform->dateBox()->date(), QDate(2019, 11, 2));
    EXPECT_EQ(carform->regionBox()->text(), u("練馬"));
    EXPECT_EQ(carform->classBox()->text(), u("500"));
    EXPECT_EQ(carform->kanaBox()->text(), u("さ"));
    EXPECT_EQ(carform->serial1Box()->text(), u("98"));
    EXPECT_EQ(carform->serial2Box()->text(), u("76"));
    EXPECT_EQ(carform->remarksBox()->text(), u("営業用"));
    EXPECT_EQ(carform->RadioGroup1()->checkedId(), 1);
    EXPECT_EQ(carform->RadioGroup2()->checkedId(), 1);

    // The editor's selection moves while the dialog is open: the changed vehicle's own
    // entry is renamed all the same.
    editor->ListBox1()->setCurrentRow(0);
    type(carform->nameBox(), "プリウスα");
    pressOk();
    EXPECT_FALSE(carform->isVisible());
    EXPECT_EQ(itemFileBytes().size(), 2 * 128u);
    const auto b = itemBytes(pos);
    EXPECT_EQ(fieldAt<double>(b, 4), main.stamp);
    EXPECT_EQ(fieldAt<std::int16_t>(b, 18), 999);
    EXPECT_EQ(shortStringAt(b, 20), store::toCp932("プリウスα"));
    EXPECT_EQ(fieldAt<double>(b, 52), 12345.7);  // stored again as shown
    EXPECT_EQ(fieldAt<double>(b, 60), store::encodeDate(2019, 11, 2));
    EXPECT_EQ(fieldAt<std::int16_t>(b, 68), 1);
    EXPECT_EQ(fieldAt<std::int16_t>(b, 70), 0);
    EXPECT_EQ(fieldAt<std::int16_t>(b, 72), 0);
    EXPECT_EQ(fieldAt<std::int16_t>(b, 74), 1);
    EXPECT_EQ(shortStringAt(b, 91), store::toCp932("さ"));
    EXPECT_EQ(settings().carMask(), "10");  // a modification leaves the mask alone
    EXPECT_EQ(main.reloads, 1);             // the main window shows the new name
    EXPECT_EQ(entries(editor->ListBox1()), (QStringList{u("車両1"), u("プリウスα")}));
}

TEST_F(CarformTest, ATypeOrFuelMatchingNoButtonIsKeptUnlessOneIsChosen) {
    store::ItemRecord v;
    v.setKind(ItemKind::Vehicle);
    v.setName("旧車");
    v.setVehicleType(9);
    v.setFuel(-1);
    store::ItemStore(main.folder).append(v);

    openModify(0);
    EXPECT_EQ(carform->RadioGroup1()->checkedId(), -1);
    pressOk();
    EXPECT_EQ(fieldAt<std::int16_t>(itemBytes(0), 68), 9);
    EXPECT_EQ(fieldAt<std::int16_t>(itemBytes(0), 74), -1);

    openModify(0);
    carform->RadioGroup1()->button(2)->click();
    pressOk();
    EXPECT_EQ(fieldAt<std::int16_t>(itemBytes(0), 68), 2);
    EXPECT_EQ(fieldAt<std::int16_t>(itemBytes(0), 74), -1);
}

TEST_F(CarformTest, CancelStoresNothing) {
    addItem(ItemKind::Vehicle, "車両1");
    settings().setCarMask("1");
    openNew();
    type(carform->nameBox(), "取消");
    QTest::mouseClick(carform->Button2(), Qt::LeftButton);
    EXPECT_FALSE(carform->isVisible());
    EXPECT_EQ(itemFileBytes().size(), 128u);
    EXPECT_EQ(settings().carMask(), "1");
    EXPECT_EQ(editor->ListBox1()->count(), 1);
    EXPECT_EQ(main.reloads, 0);
}

}  // namespace
}  // namespace quil::itemtest
