// Editing records through the entry dialog: the values shown, the save in place or
// moved, deleted items, and a data set that changed while the dialog was open.

#include <QCoreApplication>
#include <QFile>

#include "DataInputFixture.h"

namespace quil::entrytest {
namespace {

QByteArray fileBytes(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class DataInputEditTest : public DataInputTest {
protected:
    DataRecord driving() {
        DataRecord r = record(0, encodeDate(2024, 4, 2) + encodeTime(8, 5), kCarB, kUserSato);
        r.setDistance1(12345.65);
        r.setDistance2(12400);
        r.setItem(kPurposeSales);
        r.setReturnTime(encodeDate(2024, 4, 2) + encodeTime(17, 30));
        r.setDestination("本社");
        r.setRemarks("雨天");
        return r;
    }
    std::string recordFile() const { return main.folder + store::kRecordFileName; }
};

TEST_F(DataInputEditTest, ShowsTheDrivingRecordAndRewritesItInPlace) {
    seedItems();
    storeRecords({record(0, encodeDate(2024, 4, 1)), driving(), record(0, encodeDate(2024, 4, 3))});
    main.row = 2;
    open("走行記録－修正");
    EXPECT_EQ(form->dateBox()->date(), QDate(2024, 4, 2));
    EXPECT_EQ(form->startHourList()->currentText(), QStringLiteral("8"));
    EXPECT_EQ(form->startMinuteList()->currentText(), QStringLiteral("5"));
    EXPECT_EQ(form->endHourList()->currentText(), QStringLiteral("17"));
    EXPECT_EQ(form->endMinuteList()->currentText(), QStringLiteral("30"));
    EXPECT_EQ(form->valueBox1()->text(), QStringLiteral("12345.7"));
    EXPECT_EQ(form->valueBox2()->text(), QStringLiteral("12400.0"));
    EXPECT_EQ(form->valueBox3()->text(), QStringLiteral("本社"));
    EXPECT_EQ(form->remarksBox()->text(), QStringLiteral("雨天"));
    EXPECT_EQ(form->vehicleList()->currentIndex(), 1);
    EXPECT_EQ(form->userList()->currentText(), QStringLiteral("佐藤"));
    EXPECT_EQ(form->thirdList()->currentText(), QStringLiteral("営業"));

    setText(form->remarksBox(), "晴れ");
    pressOk();
    EXPECT_TRUE(prompts.boxes().empty());
    ASSERT_EQ(recordCount(), 3);
    DataRecord expected = driving();
    expected.setRemarks("晴れ");  // 12345.65, shown as 12345.7, is kept as stored
    EXPECT_TRUE(stored(1) == expected);
    EXPECT_EQ(main.reloads, 1);
}

TEST_F(DataInputEditTest, AnEditThatLeavesItsPlaceKeepsTheOldVersionDeleted) {
    seedItems();
    storeRecords({record(1, encodeDate(2024, 4, 1)), record(1, encodeDate(2024, 4, 5))});
    main.row = 2;
    open("給油記録－修正");
    form->dateBox()->setDate(QDate(2024, 3, 1));
    pressOk();
    ASSERT_EQ(recordCount(), 3);
    EXPECT_EQ(stored(0).date(), encodeDate(2024, 3, 1));
    EXPECT_FALSE(stored(0).deleted());
    EXPECT_EQ(stored(2).date(), encodeDate(2024, 4, 5));
    EXPECT_TRUE(stored(2).deleted());
}

TEST_F(DataInputEditTest, ShowsAmountsAndItemsOfTheOtherKinds) {
    seedItems();
    DataRecord fuel = record(1, encodeDate(2024, 4, 1));
    fuel.setDistance2(30.25);
    fuel.setPrice(4500);
    fuel.setTax(-450);
    fuel.setPlace(kStationX);
    DataRecord repair = record(2, encodeDate(2024, 4, 2));
    repair.setDistance1(999.95);
    repair.setItem(kOilChange);
    repair.setPlace(kShopAbc);
    DataRecord expense = record(3, encodeDate(2024, 4, 3));
    expense.setPrice(800);
    expense.setItem(kParking);
    storeRecords({fuel, repair, expense});

    main.row = 1;
    open("給油記録－修正");
    EXPECT_EQ(form->valueBox1()->text(), QStringLiteral("30.3"));
    EXPECT_EQ(form->valueBox2()->text(), QStringLiteral("4500"));
    EXPECT_EQ(form->valueBox3()->text(), QStringLiteral("-450"));
    EXPECT_EQ(form->thirdList()->currentText(), QStringLiteral("スタンドX"));
    form->close();

    main.row = 2;
    open("点検・整備記録－修正");
    EXPECT_EQ(form->valueBox1()->text(), QStringLiteral("1000.0"));
    EXPECT_EQ(form->thirdList()->currentText(), QStringLiteral("オイル交換"));
    EXPECT_EQ(form->shopList()->currentText(), QStringLiteral("ABC商店"));
    form->close();

    main.row = 3;
    open("出費記録－修正");
    EXPECT_EQ(form->valueBox2()->text(), QStringLiteral("800"));
    EXPECT_EQ(form->thirdList()->currentText(), QStringLiteral("駐車場"));
    EXPECT_EQ(form->shopList()->currentText(), QStringLiteral("その他"));
    EXPECT_EQ(form->shopList()->currentIndex(), form->shopList()->count() - 1);
    pressOk();
    EXPECT_TRUE(stored(2) == expense);  // nothing changed, nothing differs
}

TEST_F(DataInputEditTest, DeletedItemsShowTheirNamesAndKeepTheReference) {
    seedItems();
    addItem(ItemKind::Vehicle, "廃車", true);    // 10
    addItem(ItemKind::Purpose, "旧目的", true);  // 11
    DataRecord r = driving();
    r.setVehicle(10);
    r.setItem(11);
    storeRecords({r});
    main.row = 1;
    open("走行記録－修正");
    EXPECT_EQ(form->vehicleList()->currentText(), QStringLiteral("廃車"));
    EXPECT_EQ(form->vehicleList()->currentIndex(), -1);
    EXPECT_EQ(form->vehicleList()->count(), 2);
    EXPECT_EQ(form->thirdList()->currentText(), QStringLiteral("旧目的"));
    EXPECT_EQ(form->thirdList()->currentIndex(), -1);

    setText(form->remarksBox(), "備考だけ修正");
    pressOk();
    EXPECT_TRUE(prompts.boxes().empty());
    ASSERT_EQ(recordCount(), 1);
    EXPECT_EQ(stored(0).vehicle(), 10);
    EXPECT_EQ(stored(0).item(), 11);

    // Typed over, the list no longer names the record's own vehicle.
    main.row = 1;
    open("走行記録－修正");
    setText(form->vehicleList(), "廃車2");
    pressOk();
    expectWarning("車両を選択して下さい！");
    EXPECT_TRUE(focusOn(form->vehicleList()));
}

TEST_F(DataInputEditTest, RefusesToSaveWhenTheRecordWasReplacedMeanwhile) {
    seedItems();
    storeRecords({record(2, encodeDate(2024, 4, 1)), record(2, encodeDate(2024, 4, 5))});
    main.row = 2;
    open("点検・整備記録－修正");
    setText(form->remarksBox(), "修正");
    // Another data set arrives while the dialog is open: position 1 holds another record.
    QFile::remove(QString::fromStdString(recordFile()));
    storeRecords({record(2, encodeDate(2023, 1, 1)), record(2, encodeDate(2023, 2, 1))});
    const QByteArray before = fileBytes(recordFile());

    pressOk();
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.last().title, QStringLiteral("警告"));
    EXPECT_EQ(fileBytes(recordFile()), before);
    EXPECT_EQ(main.reloads, 1);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(DataInputEditTest, RefusesToSaveARecordDeletedMeanwhile) {
    seedItems();
    storeRecords({record(3, encodeDate(2024, 4, 1))});
    main.row = 1;
    open("出費記録－修正");
    store::RecordStore(main.folder).markDeleted(0);
    const QByteArray before = fileBytes(recordFile());
    pressOk();
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.last().title, QStringLiteral("警告"));
    EXPECT_EQ(fileBytes(recordFile()), before);
    EXPECT_TRUE(stored(0).deleted());
}

TEST_F(DataInputEditTest, AMissingRowIndexIsReportedAndTheDialogCloses) {
    seedItems();
    storeRecords({record(0, encodeDate(2024, 4, 1))});
    QFile::remove(QString::fromStdString(main.folder + store::kRowIndexFileName));
    const QByteArray before = fileBytes(recordFile());
    main.row = 1;
    open("走行記録－修正");
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.last().icon, ui::PromptIcon::Error);
    EXPECT_TRUE(prompts.last().text.contains(QStringLiteral("Data.idx")));
    QCoreApplication::processEvents();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(fileBytes(recordFile()), before);
}

}  // namespace
}  // namespace quil::entrytest
