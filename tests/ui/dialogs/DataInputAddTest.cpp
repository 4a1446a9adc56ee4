// Adding records through the entry dialog: layout per kind, defaults, stored bytes.

#include <QLabel>
#include <algorithm>

#include "DataInputFixture.h"

namespace quil::entrytest {
namespace {

constexpr double kMay10 = 45422.0;  // 2024-05-10 as a day count from 1899-12-30

// Captions of the visible row labels (left column), top to bottom.
QStringList rowCaptions(const QWidget& form, int controlX) {
    std::vector<QLabel*> labels;
    for (QLabel* l : form.findChildren<QLabel*>())
        if (l->isVisibleTo(&form) && l->geometry().right() < controlX) labels.push_back(l);
    std::sort(labels.begin(), labels.end(), [](auto a, auto b) { return a->y() < b->y(); });
    QStringList out;
    for (QLabel* l : labels) out << l->text();
    return out;
}

// The unit label standing right after a control on its row, or "" when none.
QString unitAfter(const QWidget& form, const QWidget* control) {
    for (QLabel* l : form.findChildren<QLabel*>())
        if (l->isVisibleTo(&form) && l->y() == control->y() &&
            l->x() > control->geometry().right() && l->x() < control->geometry().right() + 20)
            return l->text();
    return {};
}

TEST_F(DataInputTest, RowsCaptionsAndUnitsFollowTheKindOfTheCaption) {
    seedItems();
    struct Case {
        const char* caption;
        std::vector<const char*> rowTexts;
        std::vector<const char*> unitTexts;  // after value boxes 1, 2, 3
    };
    auto list = [](const std::vector<const char*>& texts) {
        QStringList out;
        for (const char* t : texts) out << QString::fromUtf8(t);
        return out;
    };
    const Case cases[] = {
        {"走行記録－追加",
         {"日付", "時間", "車両", "使用者", "使用目的", "出庫距離", "入庫距離", "行き先", "備考"},
         {"km", "km", ""}},
        {"給油記録－追加",
         {"日付", "車両", "使用者", "スタンド名", "給油量", "税抜金額", "消費税額", "備考"},
         {"㍑", "円", "円"}},
        {"点検・整備記録－追加",
         {"日付", "車両", "使用者", "項目", "店", "距離", "税抜金額", "消費税額", "備考"},
         {"km", "円", "円"}},
        {"出費記録－追加",
         {"日付", "車両", "使用者", "項目", "店", "税抜金額", "消費税額", "備考"},
         {"", "円", "円"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        const QStringList rows = list(c.rowTexts), units = list(c.unitTexts);
        open(c.caption);
        EXPECT_EQ(rowCaptions(*form, form->dateBox()->x()), rows);
        QLineEdit* boxes[] = {form->valueBox1(), form->valueBox2(), form->valueBox3()};
        for (int i = 0; i < 3; ++i) {
            if (boxes[i]->isVisibleTo(form.get())) {
                EXPECT_EQ(unitAfter(*form, boxes[i]), units[i]) << "value box " << i + 1;
            }
        }
        // Rows stand 32 pixels apart; OK and CANCEL sit side by side below the remarks.
        EXPECT_EQ(form->vehicleList()->y() - form->dateBox()->y(),
                  32 * (rows.indexOf(QStringLiteral("車両"))));
        EXPECT_EQ(form->remarksBox()->y() - form->dateBox()->y(), 32 * (rows.size() - 1));
        EXPECT_GT(form->Button1()->y(), form->remarksBox()->geometry().bottom());
        EXPECT_EQ(form->Button1()->y(), form->Button2()->y());
        EXPECT_LT(form->Button1()->x(), form->Button2()->x());
        EXPECT_GE(form->height(), form->Button1()->geometry().bottom());
        EXPECT_EQ(form->Button1()->text(), QStringLiteral("&OK"));
        EXPECT_EQ(form->Button2()->text(), QStringLiteral("&CANCEL"));
        const bool driving = rows.contains(QStringLiteral("時間"));
        EXPECT_EQ(form->startHourList()->isVisibleTo(form.get()), driving);
        EXPECT_EQ(form->endMinuteList()->isVisibleTo(form.get()), driving);
        EXPECT_EQ(form->shopList()->isVisibleTo(form.get()), rows.contains(QStringLiteral("店")));
        EXPECT_EQ(form->valueBox3()->width(),
                  driving ? form->remarksBox()->width() : form->valueBox2()->width());
        form->close();
    }
}

TEST_F(DataInputTest, AddStartsWithTodayDefaultsAndTheFirstEntries) {
    seedItems();
    open("走行記録－追加");
    EXPECT_EQ(form->dateBox()->date(), QDate(2024, 5, 10));
    EXPECT_EQ(form->dateBox()->displayFormat(), QStringLiteral("yyyy/MM/dd"));
    EXPECT_TRUE(form->dateBox()->calendarPopup());
    EXPECT_TRUE(focusOn(form->dateBox()));
    EXPECT_EQ(form->valueBox1()->text(), QStringLiteral("0.0"));
    EXPECT_EQ(form->valueBox2()->text(), QStringLiteral("0.0"));
    EXPECT_EQ(form->valueBox3()->text(), QString());
    EXPECT_EQ(form->startHourList()->count(), 24);
    EXPECT_EQ(form->startHourList()->itemText(23), QStringLiteral("23"));
    EXPECT_EQ(form->endMinuteList()->count(), 60);
    EXPECT_EQ(form->endMinuteList()->itemText(5), QStringLiteral("5"));
    for (QComboBox* box : {form->startHourList(), form->startMinuteList(), form->endHourList(),
                           form->endMinuteList()})
        EXPECT_EQ(box->currentText(), QStringLiteral("0"));
    EXPECT_EQ(form->vehicleList()->count(), 2);
    EXPECT_EQ(form->vehicleList()->currentText(), QStringLiteral("車両A"));
    EXPECT_EQ(form->userList()->currentText(), QStringLiteral("山田"));
    // Purposes in item-file order, then "その他".
    ASSERT_EQ(form->thirdList()->count(), 3);
    EXPECT_EQ(form->thirdList()->itemText(1), QStringLiteral("営業"));
    EXPECT_EQ(form->thirdList()->itemText(2), QStringLiteral("その他"));
    EXPECT_EQ(form->thirdList()->currentText(), QStringLiteral("配達"));
    form->close();

    open("点検・整備記録－追加");
    EXPECT_EQ(form->valueBox1()->text(), QStringLiteral("0.0"));
    EXPECT_EQ(form->valueBox2()->text(), QStringLiteral("0"));
    EXPECT_EQ(form->valueBox3()->text(), QStringLiteral("0"));
    EXPECT_EQ(form->thirdList()->currentText(), QStringLiteral("オイル交換"));
    ASSERT_EQ(form->shopList()->count(), 2);
    EXPECT_EQ(form->shopList()->currentText(), QStringLiteral("ABC商店"));
}

TEST_F(DataInputTest, InputMethodIsOffInNumberAndListFieldsAndOnForJapaneseText) {
    seedItems();
    open("走行記録－追加");
    auto on = [](QWidget* w) { return w->testAttribute(Qt::WA_InputMethodEnabled); };
    for (QWidget* w : std::initializer_list<QWidget*>{
             form->vehicleList(), form->vehicleList()->lineEdit(), form->userList(),
             form->thirdList(), form->startHourList(), form->valueBox1(), form->valueBox2()})
        EXPECT_FALSE(on(w)) << w->objectName().toStdString();
    EXPECT_TRUE(on(form->remarksBox()));
    EXPECT_TRUE(on(form->valueBox3()));  // the destination
    form->close();
    open("給油記録－追加");
    EXPECT_FALSE(on(form->valueBox3()));  // the tax
    EXPECT_FALSE(on(form->shopList()));
    EXPECT_TRUE(on(form->remarksBox()));
}

TEST_F(DataInputTest, EnterMovesThroughTheFieldsOfTheKindInRowOrder) {
    seedItems();
    open("出費記録－追加");
    // Expense rows: the hidden time lists and value box 1 are skipped.
    QWidget* order[] = {form->vehicleList(), form->userList(),  form->thirdList(),
                        form->shopList(),    form->valueBox2(), form->valueBox3(),
                        form->remarksBox(),  form->Button1()};
    order[0]->setFocus();
    for (int i = 0; i + 1 < 8; ++i) {
        QTest::keyClick(form->focusWidget(), Qt::Key_Return);
        EXPECT_TRUE(focusOn(order[i + 1])) << "after " << i;
    }
    EXPECT_FALSE(recordFileExists());  // Enter never presses OK
    EXPECT_TRUE(form->isVisible());
}

TEST_F(DataInputTest, TextFieldsTakeNoMoreThanTheRecordHolds) {
    seedItems();
    open("走行記録－追加");
    QTest::keyClicks(form->remarksBox(), QString(100, u'a'));
    QTest::keyClicks(form->remarksBox(), QStringLiteral("b"));
    EXPECT_EQ(form->remarksBox()->text(), QString(100, u'a'));
    QTest::keyClicks(form->valueBox3(), QString(41, u'c'));
    EXPECT_EQ(form->valueBox3()->text(), QString(40, u'c'));  // the destination
    pressOk();
    ASSERT_EQ(recordCount(), 1);
    EXPECT_EQ(stored(0).remarks(), std::string(100, 'a'));
    EXPECT_EQ(stored(0).destination(), std::string(40, 'c'));

    // A character the file cannot hold (it would be stored as '?') is not taken.
    open("走行記録－追加");
    // (Typed as an input method commits it, or pasted: one insert each.)
    for (const QString& piece : {QStringLiteral("雨"), QStringLiteral("😀"), QStringLiteral("～")})
        form->remarksBox()->insert(piece);
    form->valueBox3()->insert(QStringLiteral("駅前"));
    form->valueBox3()->insert(QStringLiteral("\u2F9B"));
    EXPECT_EQ(form->remarksBox()->text(), QStringLiteral("雨～"));
    EXPECT_EQ(form->valueBox3()->text(), QStringLiteral("駅前"));
    form->close();

    open("給油記録－追加");  // here the third value box is the tax
    QTest::keyClicks(form->valueBox3(), QString(50, u'1'));
    EXPECT_EQ(form->valueBox3()->text().size(), 51);  // "0" and the digits typed
}

TEST_F(DataInputTest, DrivingRecordStoresEveryFieldAtItsOffset) {
    seedItems();
    main.tab = store::ListTab::Maintenance;
    open("走行記録－追加");
    form->vehicleList()->setCurrentIndex(1);  // 車両B
    setText(form->userList(), "佐藤");        // typed: counts as choosing the entry
    form->thirdList()->setCurrentIndex(1);    // 営業
    setText(form->startHourList(), "8");
    setText(form->startMinuteList(), "0");
    setText(form->endHourList(), "17");
    setText(form->endMinuteList(), "30");
    setText(form->valueBox1(), "12345.6");
    setText(form->valueBox2(), "12400");
    setText(form->valueBox3(), "本社");
    setText(form->remarksBox(), "雨天");
    pressOk();

    EXPECT_TRUE(prompts.boxes().empty());
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(main.reloads, 1);
    ASSERT_EQ(recordCount(), 1);
    const DataRecord r = stored(0);
    EXPECT_EQ(shortStringAt(r, 0), "QD");
    EXPECT_EQ(fieldAt<double>(r, 4), main.stamp);
    EXPECT_EQ(fieldAt<std::int16_t>(r, 12), 101);
    EXPECT_EQ(fieldAt<std::int16_t>(r, 14), 0);
    EXPECT_EQ(r.data()[16], 0);
    EXPECT_DOUBLE_EQ(fieldAt<double>(r, 20), kMay10 + 8.0 / 24);
    EXPECT_EQ(fieldAt<std::int16_t>(r, 28), kCarB);
    EXPECT_EQ(fieldAt<std::int16_t>(r, 30), kUserSato);
    EXPECT_EQ(fieldAt<double>(r, 32), 12345.6);
    EXPECT_EQ(fieldAt<double>(r, 40), 12400.0);
    EXPECT_EQ(fieldAt<std::int32_t>(r, 52), 0);
    EXPECT_EQ(fieldAt<std::int32_t>(r, 60), 0);
    EXPECT_EQ(fieldAt<std::int16_t>(r, 64), kPurposeSales);
    EXPECT_EQ(fieldAt<std::int16_t>(r, 66), -1);
    EXPECT_EQ(fieldAt<std::int16_t>(r, 68), -1);
    EXPECT_EQ(shortStringAt(r, 70), "\x89\x4a\x93\x56");  // 雨天 in CP932
    EXPECT_DOUBLE_EQ(fieldAt<double>(r, 176), kMay10 + 17.5 / 24);
    EXPECT_EQ(shortStringAt(r, 184), "\x96\x7b\x8e\xd0");  // 本社
    // Every byte no field covers is zero, the legacy text included.
    for (std::size_t off : {3, 17, 18, 19, 48, 49, 50, 51, 56, 57, 58, 59, 171, 172, 175})
        EXPECT_EQ(r.data()[off], 0) << "offset " << off;
    for (std::size_t off = 225; off < 256; ++off) EXPECT_EQ(r.data()[off], 0) << off;
    for (std::size_t off = 70 + 1 + 4; off < 171; ++off) EXPECT_EQ(r.data()[off], 0) << off;
}

TEST_F(DataInputTest, RefuellingMaintenanceAndExpenseStoreTheirFieldTable) {
    seedItems();
    open("給油記録－追加");
    form->dateBox()->setDate(QDate(2024, 5, 3));
    setText(form->valueBox1(), "12.5");
    setText(form->valueBox2(), "-2100");
    setText(form->valueBox3(), "168");
    pressOk();
    ASSERT_EQ(recordCount(), 1);
    DataRecord r = stored(0);
    EXPECT_EQ(fieldAt<std::int16_t>(r, 14), 1);
    EXPECT_EQ(fieldAt<double>(r, 20), kMay10 - 7);  // the day at 00:00
    EXPECT_EQ(fieldAt<double>(r, 32), 0.0);
    EXPECT_EQ(fieldAt<double>(r, 40), 12.5);
    EXPECT_EQ(fieldAt<std::int32_t>(r, 52), -2100);  // no range test: stored as entered
    EXPECT_EQ(fieldAt<std::int32_t>(r, 60), 168);
    EXPECT_EQ(fieldAt<std::int16_t>(r, 64), -1);
    EXPECT_EQ(fieldAt<std::int16_t>(r, 66), -1);
    EXPECT_EQ(fieldAt<std::int16_t>(r, 68), kStationX);
    EXPECT_EQ(fieldAt<double>(r, 176), 0.0);
    EXPECT_EQ(r.data()[184], 0);

    open("点検・整備記録－追加");
    setText(form->valueBox1(), "23456.7");
    setText(form->valueBox2(), "4000");
    setText(form->valueBox3(), "400");
    form->shopList()->setCurrentIndex(1);  // その他
    pressOk();
    ASSERT_EQ(recordCount(), 2);
    r = stored(1);  // dated after the refuelling record: appended
    EXPECT_EQ(fieldAt<std::int16_t>(r, 14), 2);
    EXPECT_EQ(fieldAt<double>(r, 20), kMay10);
    EXPECT_EQ(fieldAt<double>(r, 32), 23456.7);
    EXPECT_EQ(fieldAt<double>(r, 40), 0.0);
    EXPECT_EQ(fieldAt<std::int32_t>(r, 52), 4000);
    EXPECT_EQ(fieldAt<std::int32_t>(r, 60), 400);
    EXPECT_EQ(fieldAt<std::int16_t>(r, 64), kOilChange);
    EXPECT_EQ(fieldAt<std::int16_t>(r, 68), -1);

    open("出費記録－追加");
    EXPECT_FALSE(form->valueBox1()->isVisibleTo(form.get()));
    form->dateBox()->setDate(QDate(2024, 5, 1));
    setText(form->valueBox2(), "500");
    setText(form->valueBox3(), "0");
    pressOk();
    ASSERT_EQ(recordCount(), 3);
    r = stored(0);  // dated before the others: inserted in front
    EXPECT_EQ(fieldAt<std::int16_t>(r, 14), 3);
    EXPECT_EQ(fieldAt<double>(r, 20), kMay10 - 9);
    EXPECT_EQ(fieldAt<double>(r, 32), 0.0);
    EXPECT_EQ(fieldAt<std::int32_t>(r, 52), 500);
    EXPECT_EQ(fieldAt<std::int16_t>(r, 64), kParking);
    EXPECT_EQ(fieldAt<std::int16_t>(r, 68), kShopAbc);
    EXPECT_EQ(main.reloads, 3);
}

TEST_F(DataInputTest, WithoutGasStationsOnlyOtherIsOfferedAndPlaceIsMinusOne) {
    addItem(ItemKind::Vehicle, "車両1");
    addItem(ItemKind::User, "使用者1");
    addItem(ItemKind::GasStation, "閉店スタンド", true);
    open("給油記録－追加");
    ASSERT_EQ(form->thirdList()->count(), 1);
    EXPECT_EQ(form->thirdList()->currentText(), QStringLiteral("その他"));
    pressOk();
    ASSERT_EQ(recordCount(), 1);
    EXPECT_EQ(stored(0).place(), -1);
}

TEST_F(DataInputTest, WithoutItemFileTheListsAreEmptyAndOkAsksForAVehicle) {
    open("点検・整備記録－追加");
    for (QComboBox* box :
         {form->vehicleList(), form->userList(), form->thirdList(), form->shopList()}) {
        EXPECT_EQ(box->count(), 0);
        EXPECT_EQ(box->currentText(), QString());
    }
    pressOk();
    expectWarning("車両を選択して下さい！");
    EXPECT_TRUE(focusOn(form->vehicleList()));
    EXPECT_FALSE(recordFileExists());
}

TEST_F(DataInputTest, CancelClosesWithoutWriting) {
    seedItems();
    open("出費記録－追加");
    QTest::mouseClick(form->Button2(), Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(recordFileExists());
    EXPECT_EQ(main.reloads, 0);
}

TEST_F(DataInputTest, PlacedRelativeToTheMainWindow) {
    EXPECT_EQ(form->pos(), main.window.pos() + QPoint(50, 50));
    EXPECT_TRUE(form->isWindow());
    EXPECT_EQ(form->parentWidget(), &main.window);
}

}  // namespace
}  // namespace quil::entrytest
