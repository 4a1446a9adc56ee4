// The analysis windows inside the whole program: the ツール menu entries, the overdue notice
// at start, the odometer list opening a record, and the entry dialog's odometer question.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>

#include "FailingFiles.h"
#include "MainTestSupport.h"
#include "ui/dialogs/DataSetEvents.h"
#include "ui/dialogs/ErrorReport.h"
#include "ui/dialogs/TDataInputForm.h"
#include "ui/main/AppWindows.h"
#include "ui/tools/AnalysisData.h"
#include "ui/tools/AnalysisWindows.h"
#include "ui/tools/FuelCostForm.h"
#include "ui/tools/OdometerCheckForm.h"
#include "ui/tools/PeriodPicker.h"

using namespace quil::store;
using namespace quil::testing;

namespace {

class AnalysisProgram : public MainWindowTest {
protected:
    void SetUp() override {
        writeRecords<ItemRecord>(
            tmp.file("Quil.qui"),
            {item(ItemKind::Vehicle, "軽トラ"), item(ItemKind::User, "山田"),
             item(ItemKind::Purpose, "配達"), item(ItemKind::MaintenanceItem, "オイル交換")});
        DataRecord trip = makeRecord(encodeDate(2003, 4, 9) + 0.375, 0, 1, 0, 0);
        trip.setItem(2);
        trip.setDistance1(100);
        trip.setDistance2(300);
        trip.setReturnTime(encodeDate(2003, 4, 9) + 0.7);
        DataRecord oil = makeRecord(encodeDate(2003, 4, 1), 0, 1, 3000, 2);
        oil.setItem(3);
        writeRecords<DataRecord>(tmp.file("Quil.qud"), {oil, trip});
        Settings s(dir());
        s.writeFirstRun(2003);
        s.setPeriodKind(PeriodKind::All);
    }
    // The program with 走行距離チェック open and checked: the only reading is fine, a low
    // limit makes the 200 km trip a finding.
    quil::analysis::OdometerCheckForm& odometerListOfOneFinding() {
        run();
        quil::analysis::OdometerCheckForm* form = app->Analysis->odometerCheckForm();
        form->show();
        form->LimitBox->setValue(100);
        form->CheckClick();
        return *form;
    }
};

}  // namespace

// 燃費・費用 showing one vehicle reads again for a change of that vehicle's records, not for
// one of another vehicle.
TEST_F(AnalysisProgram, FuelAndCostsOfOneVehicleSkipAnotherVehiclesChange) {
    quil::ui::TMainform& w = run();
    w.action(QStringLiteral("FuelCost1"))->trigger();
    quil::analysis::FuelCostForm& form = *app->Analysis->fuelCostForm();
    form.Picker->PeriodBox->setCurrentIndex(1);  // 年
    form.Picker->YearBox->setValue(2003);
    form.Picker->VehicleBox->setCurrentIndex(1);  // 軽トラ
    form.CalcClick();
    const std::int64_t refuels = form.report().total.refuels;
    // A refuelling of 軽トラ stored without a word: only a new reading shows it.
    const DataRecord fuel = makeRecord(encodeDate(2003, 4, 10), 0, 1, 2000, 1);
    RecordStore(dir()).save(fuel, std::nullopt);
    DataRecord other = fuel;
    other.setVehicle(3);
    quil::ui::DataSetEvents::announce(DataSetChange::recordSaved({}, other));
    QApplication::processEvents();
    EXPECT_EQ(form.report().total.refuels, refuels);
    quil::ui::DataSetEvents::announce(DataSetChange::recordSaved({}, fuel));
    QApplication::processEvents();
    EXPECT_EQ(form.report().total.refuels, refuels + 1);
}

TEST_F(AnalysisProgram, ToolsMenuOpensTheWindowsAndTheNoticeShowsOverdueItems) {
    quil::analysis::AnalysisData(dir()).saveCycles({{3, 12, 0, 0}});
    quil::ui::TMainform& w = run();
    for (const char* name : {"CalForm1", "FuelCost1", "Chart1", "Schedule1", "OdometerCheck1"})
        EXPECT_TRUE(w.action(QString::fromLatin1(name))) << name;
    w.action(QStringLiteral("FuelCost1"))->trigger();
    EXPECT_TRUE(app->Analysis->fuelCostForm()->isVisible());

    // The oil change of 2003/04/01 was due again a year later.
    QLabel* notice = app->Analysis->notice();
    EXPECT_EQ(notice->parentWidget(), w.statusBar());
    EXPECT_FALSE(notice->isHidden());
    EXPECT_EQ(notice->accessibleName(), QStringLiteral("点検・整備予定: 1件が期限切れ"));
}

// The fuel window does not catch: a failed 集計 reaches the application's one error report,
// a single box under the program's name.
TEST_F(AnalysisProgram, AFailedCalculationIsTheApplicationsOneReport) {
    run();
    quil::analysis::FuelCostForm* form = app->Analysis->fuelCostForm();
    form->show();
    prompts.clear();
    {
        FailingFiles unreadable({kRecordFileName}, FailingFiles::Refuse::Everything);
        QTest::mouseClick(form->CalcButton, Qt::LeftButton);
    }
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.last().title, quil::ui::programName());
    EXPECT_EQ(prompts.last().icon, quil::ui::PromptIcon::Error);
    EXPECT_TRUE(prompts.last().text.contains(QStringLiteral("Quil.qud")));
    form->close();
}

TEST_F(AnalysisProgram, NoExtensionFileNoNoticeAndNothingCreated) {
    run();
    EXPECT_TRUE(app->Analysis->notice()->isHidden());
    EXPECT_FALSE(quil::ext::ExtDatabase::exists(dir()));
}

TEST_F(AnalysisProgram, TheOdometerListOpensTheRecordInTheEntryDialog) {
    quil::analysis::OdometerCheckForm& form = odometerListOfOneFinding();
    ASSERT_EQ(form.findings().size(), 1u);
    form.openRow(0);
    ASSERT_TRUE(app->DataInputForm->isVisible());
    EXPECT_EQ(app->DataInputForm->windowTitle(), QStringLiteral("走行記録－修正"));
    EXPECT_EQ(app->DataInputForm->valueBox2()->text().toDouble(), 300);
}

// 走行距離チェック checks again for a change of a record it reads, not for an expense or a
// refuelling without a reading.
TEST_F(AnalysisProgram, TheOdometerListSkipsAChangeOfRecordsItDoesNotRead) {
    quil::analysis::OdometerCheckForm& form = odometerListOfOneFinding();
    ASSERT_EQ(form.findings().size(), 1u);
    // A trip far beyond the limit stored without a word: only a check again lists it.
    DataRecord jump = makeRecord(encodeDate(2003, 4, 12) + 0.4, 0, 1, 0, 0);
    jump.setDistance1(5000);
    jump.setDistance2(5010);
    RecordStore(dir()).save(jump, std::nullopt);
    const auto announce = [](const DataRecord& r) {
        quil::ui::DataSetEvents::announce(DataSetChange::recordSaved({}, r));
        QApplication::processEvents();
    };
    DataRecord expense = jump;
    expense.setKind(RecordKind::Expense);
    announce(expense);
    DataRecord refuel = jump;
    refuel.setKind(RecordKind::Refuelling);
    refuel.setDistance1(0);
    announce(refuel);
    EXPECT_EQ(form.findings().size(), 1u);
    announce(jump);
    EXPECT_EQ(form.findings().size(), 2u);
}

// A trip moved to another vehicle: both vehicles are checked again, so the finding it
// made for its former vehicle goes.
TEST_F(AnalysisProgram, TheOdometerListFollowsATripMovedToAnotherVehicle) {
    quil::analysis::OdometerCheckForm& form = odometerListOfOneFinding();
    ASSERT_EQ(form.findings().size(), 1u);
    ASSERT_EQ(form.findings()[0].vehicle, 0);
    const DataRecord before = RecordStore(dir()).read(1);
    ASSERT_EQ(before.distance2(), 300);
    DataRecord moved = before;
    moved.setVehicle(1);
    moved.setDistance2(150);  // 50 km: within the limit
    RecordStore(dir()).save(moved, 1);
    quil::ui::DataSetEvents::announce(DataSetChange::recordSaved({}, moved, before));
    QApplication::processEvents();
    EXPECT_TRUE(form.findings().empty());
}

TEST_F(AnalysisProgram, TheEntryDialogAsksBeforeSavingABackwardsReading) {
    quil::ui::TMainform& w = run();
    w.action(QStringLiteral("ToolButton1"))->trigger();
    quil::ui::TDataInputForm& entry = *app->DataInputForm;
    ASSERT_TRUE(entry.isVisible());
    entry.dateBox()->setDate(QDate(2003, 4, 10));
    entry.valueBox1()->setText(QStringLiteral("250"));
    entry.valueBox2()->setText(QStringLiteral("320"));
    prompts.answerQuestion(false);
    entry.Button1()->click();
    EXPECT_EQ(prompts.last().title, QStringLiteral("距離の確認"));
    EXPECT_TRUE(prompts.last().text.contains(QStringLiteral("出庫距離が前回の距離より小さい")));
    EXPECT_TRUE(entry.isVisible());  // No: back to the dialog, nothing written
    EXPECT_EQ(RecordStore(dir()).count(), 2);

    prompts.answerQuestion(true);
    entry.Button1()->click();
    EXPECT_FALSE(entry.isVisible());
    EXPECT_EQ(RecordStore(dir()).count(), 3);
}
