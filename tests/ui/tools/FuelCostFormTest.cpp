// The fuel economy window: figures per vehicle and month, sorting, CSV, print and help.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QPrinter>
#include <QProcess>
#include <QProgressDialog>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include "AnalysisFixtures.h"
#include "store/Codec.h"
#include "store/StoreError.h"
#include "ui/dialogs/BackgroundWork.h"
#include "ui/tools/FuelCostForm.h"
#include "ui/tools/PeriodPicker.h"
#include "ui/tools/ReportTableView.h"

namespace quil::analysis {
namespace {

using namespace quil::testing;

class FuelCostFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeSampleFleet(dir);
        form.show();
        form.Picker->YearBox->setValue(2024);
        form.Picker->PeriodBox->setCurrentIndex(1);  // 年
    }
    void TearDown() override { ReportTableView::setFileChooserForTesting({}); }
    QString shown(ReportTableView* v, int row, int col) const {
        return v->model()->index(row, col).data().toString();
    }
    TempDir dir;
    StandInMain context{dir.dir()};
    ui::ScriptedPrompts prompts;
    FuelCostForm form{context, nullptr};
};

TEST_F(FuelCostFormTest, VehiclesAndMonthsOfTheChosenPeriod) {
    ASSERT_EQ(form.Picker->VehicleBox->count(), 3);  // 全車両, 車A, 車B
    form.CalcClick();
    ReportTableView* v = form.VehicleTable;
    ASSERT_EQ(v->model()->rowCount(), 3);
    EXPECT_EQ(shown(v, 0, 0), QStringLiteral("車A"));
    EXPECT_EQ(shown(v, 0, 1), QStringLiteral("850.0 km"));
    EXPECT_EQ(shown(v, 0, 3), QStringLiteral("20.0 km/L"));
    EXPECT_EQ(shown(v, 0, 7), QStringLiteral("16,350円"));  // 9,350 fuel, 5,000, 2,000
    EXPECT_EQ(shown(v, 1, 0), QStringLiteral("車B"));
    EXPECT_EQ(shown(v, 1, 3), QStringLiteral("－"));
    EXPECT_EQ(shown(v, 2, 0), QStringLiteral("合計"));

    ReportTableView* m = form.MonthTable;
    ASSERT_EQ(m->model()->rowCount(), 12);
    EXPECT_EQ(shown(m, 1, 0), QStringLiteral("2024/02"));
    EXPECT_EQ(shown(m, 1, 1), QStringLiteral("0.0 km"));
    EXPECT_EQ(shown(m, 2, 3), QStringLiteral("20.0 km/L"));

    form.Picker->VehicleBox->setCurrentIndex(2);  // 車B alone
    form.CalcClick();
    ASSERT_EQ(v->model()->rowCount(), 2);
    EXPECT_EQ(shown(v, 1, 7), QStringLiteral("0円"));
}

TEST_F(FuelCostFormTest, ColumnsSortByTheirFiguresAndCsvFollowsTheOrder) {
    form.CalcClick();
    ReportTableView* v = form.VehicleTable;
    v->horizontalHeader()->setSortIndicator(7, Qt::AscendingOrder);
    EXPECT_EQ(shown(v, 0, 0), QStringLiteral("車B"));  // 0円 < 16,350円 (texts would not)
    EXPECT_EQ(v->sourceRow(0), 1);
    EXPECT_EQ(shown(v, 2, 0), QStringLiteral("合計"));  // the total stays last
    v->horizontalHeader()->setSortIndicator(7, Qt::DescendingOrder);
    EXPECT_EQ(shown(v, 0, 0), QStringLiteral("車A"));
    EXPECT_EQ(shown(v, 2, 0), QStringLiteral("合計"));
    v->horizontalHeader()->setSortIndicator(3, Qt::DescendingOrder);
    EXPECT_EQ(shown(v, 1, 0), QStringLiteral("車B"));  // no economy sorts below any
    v->horizontalHeader()->setSortIndicator(0, Qt::DescendingOrder);
    EXPECT_EQ(shown(v, 0, 0), QStringLiteral("車B"));  // names by text

    const std::string path = dir.file("out.csv");
    QString suggested;
    ReportTableView::setFileChooserForTesting([&](const QString& s) {
        suggested = s;
        return QString::fromStdString(path);
    });
    v->horizontalHeader()->setSortIndicator(7, Qt::AscendingOrder);
    form.CsvClick();
    EXPECT_TRUE(suggested.endsWith(QStringLiteral("燃費・費用_車両別.csv")));
    const std::string csv = store::fromCp932(*readBytes(path));
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
              "車両,走行距離,給油量,燃費,燃料費,整備費,出費,合計,km単価");
    EXPECT_NE(
        csv.find("\r\n車B,0.0,0.0,,0,0,0,0,\r\n車A,850.0,60.0,20.0,9350,5000,2000,16350,19.2\r\n"
                 "合計,"),
        std::string::npos);
}

TEST_F(FuelCostFormTest, CancelledCsvWritesNothingAndAFailureIsShown) {
    form.CalcClick();
    ReportTableView::setFileChooserForTesting([](const QString&) { return QString(); });
    EXPECT_FALSE(form.VehicleTable->exportCsv(QStringLiteral("x")));
    EXPECT_TRUE(prompts.boxes().empty());
    ReportTableView::setFileChooserForTesting(
        [&](const QString&) { return QString::fromStdString(dir.file("no/such/folder.csv")); });
    EXPECT_FALSE(form.VehicleTable->exportCsv(QStringLiteral("x")));
    EXPECT_EQ(prompts.last().title, QStringLiteral("警告"));
}

// A data set that cannot be read ends the command at the application's one error report
// (QuilApplication::notify): the window shows no box of its own and keeps its tables.
TEST_F(FuelCostFormTest, AnUnreadableDataSetEndsTheCommandAndKeepsTheTables) {
    form.CalcClick();
    ASSERT_EQ(form.VehicleTable->model()->rowCount(), 3);
    UnreadableRecords unreadable;
    EXPECT_THROW(form.CalcClick(), store::StoreError);
    EXPECT_TRUE(prompts.boxes().empty());
    EXPECT_EQ(form.VehicleTable->model()->rowCount(), 3);
    EXPECT_EQ(shown(form.VehicleTable, 0, 1), QStringLiteral("850.0 km"));
}

TEST_F(FuelCostFormTest, PrintsThroughTheGridPrinter) {
    form.CalcClick();
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(dir.file("out.pdf")));
    EXPECT_EQ(form.MonthTable->print(printer, QStringLiteral("燃費・費用－月別")), 1);
    EXPECT_GT(readBytes(dir.file("out.pdf"))->size(), 1000u);
    EXPECT_EQ(printer.docName(), QStringLiteral("燃費・費用－月別"));
    // Its text is the table's (pdftotext, when installed): the heading and the titles.
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {printer.outputFileName(), QStringLiteral("-")});
    if (text.waitForFinished(60000)) {
        const QString got = QString::fromUtf8(text.readAllStandardOutput());
        EXPECT_TRUE(got.contains(QStringLiteral("燃費・費用－月別"))) << got.toStdString();
        EXPECT_TRUE(got.contains(QStringLiteral("走行距離"))) << got.toStdString();
    }
}

TEST_F(FuelCostFormTest, HelpStatesTheRuleOfKmPerLitre) {
    form.HelpClick();
    const auto box = prompts.last();
    EXPECT_TRUE(box.text.contains(QStringLiteral("部分給油")));
    EXPECT_TRUE(box.text.contains(QStringLiteral("満タン給油から次の満タン給油まで")));
    EXPECT_TRUE(box.text.contains(QStringLiteral("km単価")));
}

// The figures are summed on a worker: the window answers meanwhile and shows them when they
// arrive. A cancelled summing brings nothing, and the window works on as before.
TEST_F(FuelCostFormTest, TheFiguresArriveFromAWorkerAndACancelLeavesTheWindowAsItWas) {
    OnWorkerThreads onThreads;
    ui::BackgroundWork& work = *form.work();
    QSignalSpy finished(&work, &ui::BackgroundWork::finished);
    QSignalSpy cancelled(&work, &ui::BackgroundWork::cancelled);

    form.CalcClick();
    EXPECT_TRUE(work.running());
    EXPECT_EQ(form.VehicleTable->model()->rowCount(), 0);  // nothing yet, the window answers
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_FALSE(work.running());
    ASSERT_EQ(form.VehicleTable->model()->rowCount(), 3);
    EXPECT_EQ(shown(form.VehicleTable, 0, 7), QStringLiteral("16,350円"));

    // 車B alone, cancelled: the table keeps 全車両's figures, the result is dropped.
    form.Picker->VehicleBox->setCurrentIndex(2);
    form.CalcClick();
    work.cancel();
    EXPECT_EQ(cancelled.count(), 1);
    EXPECT_FALSE(work.running());
    QTest::qWait(200);
    QApplication::processEvents();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(form.VehicleTable->model()->rowCount(), 3);

    // A second start drops the first one's result: only the last choice is shown.
    form.Picker->VehicleBox->setCurrentIndex(0);
    form.CalcClick();
    form.Picker->VehicleBox->setCurrentIndex(2);
    form.CalcClick();
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_EQ(form.VehicleTable->model()->rowCount(), 2);
    EXPECT_EQ(shown(form.VehicleTable, 1, 7), QStringLiteral("0円"));
}

}  // namespace
}  // namespace quil::analysis
