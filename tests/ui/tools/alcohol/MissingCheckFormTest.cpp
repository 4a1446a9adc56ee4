// The missing-check list over the record file and the register.
#include <QApplication>
#include <QBrush>
#include <QLabel>
#include <QTableWidget>
#include <QTest>

#include "RegisterFixture.h"
#include "ext/ExtDatabase.h"
#include "store/Settings.h"
#include "ui/components/TRetComboBox.h"
#include "ui/dialogs/DataSetEvents.h"
#include "ui/tools/alcohol/PeriodChooser.h"
#include "ui/tools/alcohol/TAlcoholCheckForm.h"
#include "ui/tools/alcohol/TMissingCheckForm.h"

namespace quil::alcohol::test {
namespace {

class MissingCheckFormTest : public RegisterTest {
protected:
    std::unique_ptr<TAlcoholCheckForm> entry;
    std::unique_ptr<TMissingCheckForm> form;

    void SetUp() override {
        RegisterTest::SetUp();
        entry = std::make_unique<TAlcoholCheckForm>(main, &main.window);
        form = std::make_unique<TMissingCheckForm>(main, *entry, &main.window);
    }
    void TearDown() override {
        form.reset();
        entry.reset();
        RegisterTest::TearDown();
    }
    QString cell(int row, int column) {
        return form->table->model()->index(row, column).data().toString();
    }
    int rows() { return form->table->model()->rowCount(); }
};

TEST_F(MissingCheckFormTest, ListsTheDrivesOfThePeriodWithoutTheirChecks) {
    addDrive(kToday - 2 + encodeTime(9, 0), kToday - 2 + encodeTime(12, 0));  // checked
    addDrive(kToday + encodeTime(9, 0), kToday + encodeTime(12, 0), kSato, kCarB);
    addDrive(kToday + 1 + encodeTime(9, 0), kToday + 1 + encodeTime(12, 0));  // tomorrow
    addDrive(encodeDate(2024, 4, 30) + encodeTime(9, 0), 0);                  // last month
    store(check(kToday - 2 + encodeTime(8, 0)));
    store(check(kToday - 2 + encodeTime(12, 30), CheckTiming::AfterDrive));
    store(check(kToday + encodeTime(8, 0), CheckTiming::BeforeDrive, kSato, kCarB));

    form->show();
    form->period->choose(store::PeriodKind::Month, kToday);
    ASSERT_EQ(rows(), 1);
    EXPECT_EQ(cell(0, 0), QStringLiteral("2024/05/10"));
    EXPECT_EQ(cell(0, 1), QStringLiteral("09:00"));
    EXPECT_EQ(cell(0, 2), QStringLiteral("12:00"));
    EXPECT_EQ(cell(0, 3), QStringLiteral("佐藤"));
    EXPECT_EQ(cell(0, 4), QStringLiteral("営業車2"));
    EXPECT_EQ(cell(0, 5), QStringLiteral("済"));
    EXPECT_EQ(cell(0, 6), QStringLiteral("未確認"));
    EXPECT_EQ(form->countLabel->text(), QStringLiteral("チェック漏れ: 1件"));
    // What is missing stands out in red; what was done does not.
    const QAbstractItemModel* m = form->table->model();
    EXPECT_EQ(m->index(0, 6).data(Qt::ForegroundRole).value<QBrush>().color(), QColor(Qt::red));
    EXPECT_FALSE(m->index(0, 5).data(Qt::ForegroundRole).isValid());
    EXPECT_FALSE(m->index(0, 0).data(Qt::ForegroundRole).isValid());
    EXPECT_EQ(m->headerData(3, Qt::Horizontal).toString(), QStringLiteral("運転者"));
    EXPECT_EQ(m->columnCount(), 7);

    form->period->choose(store::PeriodKind::Year, kToday);  // the year: April's drive too
    EXPECT_EQ(rows(), 2);
}

TEST_F(MissingCheckFormTest, FirstShowingTakesTheMainWindowsDisplayPeriod) {
    store::Settings settings(main.folder);
    settings.setPeriodKind(store::PeriodKind::Quarter);
    settings.setStoredPeriod(store::PeriodKind::Quarter, "20231");  // 2023, second quarter
    addDrive(encodeDate(2023, 5, 1) + encodeTime(9, 0), 0);
    addDrive(encodeDate(2023, 7, 1) + encodeTime(9, 0), 0);
    form->show();
    EXPECT_EQ(form->period->kind(), store::PeriodKind::Quarter);
    EXPECT_EQ(form->period->label(), QStringLiteral("2023年 2/4期"));
    EXPECT_EQ(rows(), 1);
    // Later showings keep what the user chose.
    form->period->choose(store::PeriodKind::Year, encodeDate(2023, 1, 1));
    form->hide();
    form->show();
    EXPECT_EQ(form->period->kind(), store::PeriodKind::Year);
    EXPECT_EQ(rows(), 2);
}

TEST_F(MissingCheckFormTest, ClosingGivesTheRowsBackAndShowingReadsThemAgain) {
    addDrive(kToday + encodeTime(9, 0), kToday + encodeTime(12, 0));
    form->show();
    form->period->choose(store::PeriodKind::Month, kToday);
    ASSERT_EQ(rows(), 1);
    form->close();
    EXPECT_EQ(rows(), 0);
    EXPECT_TRUE(form->missing().empty());
    addDrive(kToday + encodeTime(13, 0), kToday + encodeTime(15, 0), kSato, kCarB);
    form->show();
    ASSERT_EQ(rows(), 2);
    EXPECT_EQ(cell(1, 3), QStringLiteral("佐藤"));
    EXPECT_EQ(cell(1, 1), QStringLiteral("13:00"));
}

// A change that cannot move the rows (a drive of another period, a record that is no
// drive) reads nothing again; a drive told record by record is followed in place, and
// another program's change told as a whole is read a moment later, once for whatever else
// arrives meanwhile.
TEST_F(MissingCheckFormTest, ReadsAgainOnlyForAChangeThatCanMoveItsRows) {
    using store::DataSetChange;
    form->show();
    form->period->choose(store::PeriodKind::Month, kToday);
    ASSERT_EQ(rows(), 0);
    addDrive(kToday + encodeTime(9, 0), kToday + encodeTime(12, 0));  // unannounced
    store::DataRecord drive;
    drive.setKind(store::RecordKind::Driving);
    drive.setDate(encodeDate(2024, 4, 30) + encodeTime(9, 0));
    store::DataRecord fuel;
    fuel.setKind(store::RecordKind::Refuelling);
    fuel.setDate(kToday + encodeTime(10, 0));
    ui::DataSetEvents::announce(DataSetChange::recordSaved({}, drive));
    ui::DataSetEvents::announce(DataSetChange::recordSaved({}, fuel));
    QApplication::processEvents();
    EXPECT_EQ(rows(), 0);

    drive.setDate(kToday + encodeTime(9, 0));
    DataSetChange elsewhere = DataSetChange::serverRecordSaved(7, drive);
    elsewhere.source = store::ChangeSource::Elsewhere;
    elsewhere.serverVersion = 1;
    ui::DataSetEvents::announce(elsewhere);
    ui::DataSetEvents::announce(elsewhere);
    // Told record by record, the drive's row comes at once, once, without reading the
    // period again; deleted, it goes.
    EXPECT_EQ(rows(), 1);
    DataSetChange deleted = DataSetChange::serverRecordDeleted(7, drive);
    deleted.source = store::ChangeSource::Elsewhere;
    ui::DataSetEvents::announce(deleted);
    EXPECT_EQ(rows(), 0);
    // A change not told record by record is read a moment later.
    ui::DataSetEvents::announce(DataSetChange::changedElsewhere());
    ui::DataSetEvents::announce(DataSetChange::changedElsewhere());
    EXPECT_EQ(rows(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return rows() == 1; }, 3000));
}

TEST_F(MissingCheckFormTest, CountingWithoutARegisterCreatesNoDatabase) {
    addDrive(kToday + encodeTime(9, 0), kToday + encodeTime(12, 0));
    const auto missing = missingChecksBetween(main, kToday - 9, kToday + 20, kToday + 1);
    ASSERT_EQ(missing.size(), 1u);
    EXPECT_TRUE(missing[0].beforeMissing && missing[0].afterMissing);
    EXPECT_FALSE(ext::ExtDatabase::exists(main.folder));
}

TEST_F(MissingCheckFormTest, EnteringTheMissingCheckFromARowPresetsItAndClearsTheRow) {
    addDrive(kToday + encodeTime(9, 0), kToday + encodeTime(12, 0), kSato, kCarB);
    AlcoholStore(main.folder).addDetector({0, "検知器A", "", kToday - 30, kToday - 1, false});
    store(check(kToday + encodeTime(8, 0), CheckTiming::BeforeDrive, kSato, kCarB));
    form->show();
    form->table->selectRow(0);
    form->enterSelected();
    ASSERT_TRUE(entry->isVisible());
    EXPECT_EQ(entry->timingBox->currentText(), QStringLiteral("運転後"));
    EXPECT_EQ(entry->driverBox->currentText(), QStringLiteral("佐藤"));
    EXPECT_EQ(entry->vehicleBox->currentText(), QStringLiteral("営業車2"));
    EXPECT_EQ(entry->hourBox->currentText(), QStringLiteral("12"));
    entry->Button1Click();
    EXPECT_FALSE(entry->isVisible()) << prompts.last().text.toStdString();
    EXPECT_EQ(rows(), 0);
}

}  // namespace
}  // namespace quil::alcohol::test
