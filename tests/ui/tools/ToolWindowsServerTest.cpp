// The ツール windows on a data set on a server: 燃費・費用 and 走行距離チェック show what they
// show from the data folder the data set was pushed from, a found record opens by its id, a
// server out of reach leaves the tables as they were, and a read-only user's cycles are
// refused in the server's words.

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QMainWindow>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <memory>

#include "AnalysisFixtures.h"
#include "LoginRole.h"
#include "PgTestCluster.h"
#include "ServerMain.h"
#include "server/ServerPaperStore.h"
#include "server/ServerStore.h"
#include "store/StoreError.h"
#include "ui/dialogs/BackgroundWork.h"
#include "ui/dialogs/ServerWrites.h"
#include "ui/dialogs/TItemForm.h"
#include "ui/tools/ChartForm.h"
#include "ui/tools/FuelCostForm.h"
#include "ui/tools/OdometerCheckForm.h"
#include "ui/tools/PeriodPicker.h"
#include "ui/tools/ReportTableView.h"
#include "ui/tools/ScheduleForm.h"
#include "ui/tools/papers/PaperWindows.h"

namespace quil::analysis {
namespace {

using namespace quil::testing;

// Every cell as the model shows it, row by row.
std::vector<QStringList> cells(const QAbstractItemModel& m) {
    std::vector<QStringList> out;
    for (int r = 0; r < m.rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < m.columnCount(); ++c) row << m.index(r, c).data().toString();
        out.push_back(row);
    }
    return out;
}

class ToolWindowsServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeSampleFleet(dir);
        pushToServer(db.conninfo(), dir.dir());
    }
    static void choose2024(FuelCostForm& form) {
        form.Picker->YearBox->setValue(2024);
        form.Picker->PeriodBox->setCurrentIndex(1);  // 年
    }

    TempDir dir;
    test::ScratchDatabase db;
    StandInMain onFolder{dir.dir()};
    ServerMain onServer{db.conninfo()};
    ui::ScriptedPrompts prompts;
};

// Deleting a vehicle with papers on a server data set asks first, as on a folder; No keeps
// it, Yes deletes it and keeps its papers.
TEST_F(ToolWindowsServerTest, DeletingAVehicleWithPapersAsksFirstAndKeepsThem) {
    server::ServerStore data(db.conninfo());
    onServer.server = &data;
    papers::VehiclePaper paper;
    paper.vehicle = 1;  // 車B, in no record
    paper.expiry = store::encodeDate(2030, 1, 1);
    server::ServerPaperStore(db.conninfo()).addPaper(paper);
    QMainWindow window;
    papers::PaperWindows windows(onServer, &window, {{}, server::openServerPaperStore});
    ui::TItemForm items(onServer, &onServer.window);
    items.setDeleteQuestion(windows.deleteQuestion());
    items.setWindowTitle(QStringLiteral("設定－車両"));
    items.show();
    const auto remove = [&](bool yes) {
        items.ListBox1()
            ->findItems(QStringLiteral("車B"), Qt::MatchExactly)
            .at(0)
            ->setSelected(true);
        prompts.answerQuestion(yes);
        QTest::mouseClick(items.Button3(), Qt::LeftButton);
    };
    const auto deleted = [&] {
        for (const store::StoredItem& s : data.items())
            if (s.position == 1) return s.item.deleted();
        return false;
    };
    remove(false);
    EXPECT_EQ(prompts.last().text,
              QStringLiteral("この車両には車検・保険の記録が 1件あります。"
                             "削除しても記録は履歴に残ります。削除しますか？"));
    EXPECT_FALSE(deleted());
    remove(true);
    EXPECT_TRUE(deleted());
    EXPECT_EQ(server::ServerPaperStore(db.conninfo()).papers().size(), 1u);
}

TEST_F(ToolWindowsServerTest, FuelAndCostsShowTheFoldersTables) {
    FuelCostForm fromFolder(onFolder, nullptr);
    FuelCostForm fromServer(onServer, nullptr);
    for (FuelCostForm* form : {&fromFolder, &fromServer}) {
        form->show();
        choose2024(*form);
    }
    ASSERT_EQ(fromServer.Picker->VehicleBox->count(), 3);  // 全車両, 車A, 車B
    for (int vehicle : {0, 1, 2}) {
        for (FuelCostForm* form : {&fromFolder, &fromServer}) {
            form->Picker->VehicleBox->setCurrentIndex(vehicle);
            form->CalcClick();
        }
        EXPECT_EQ(cells(*fromServer.VehicleTable->model()),
                  cells(*fromFolder.VehicleTable->model()));
        EXPECT_EQ(cells(*fromServer.MonthTable->model()), cells(*fromFolder.MonthTable->model()));
    }
    fromServer.Picker->VehicleBox->setCurrentIndex(0);
    fromServer.CalcClick();
    const auto shown = cells(*fromServer.VehicleTable->model());
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0][1], QStringLiteral("850.0 km"));
    EXPECT_EQ(shown[0][3], QStringLiteral("20.0 km/L"));
    EXPECT_TRUE(prompts.boxes().empty());
}

// A server that cannot be reached ends the command at the application's error report, as a
// damaged folder does; what the tables showed stays.
TEST_F(ToolWindowsServerTest, AServerOutOfReachLeavesTheTablesAsTheyWere) {
    FuelCostForm form(onServer, nullptr);
    form.show();
    choose2024(form);
    form.CalcClick();
    const auto before = cells(*form.VehicleTable->model());
    ASSERT_EQ(before.size(), 3u);
    onServer.conninfo = test::adminConninfo("quil_no_such_data_set");
    EXPECT_THROW(form.CalcClick(), store::StoreError);
    EXPECT_EQ(cells(*form.VehicleTable->model()), before);
    EXPECT_TRUE(prompts.boxes().empty());
}

// 燃費・費用 and グラフ read their vehicles on a worker: a server that takes the connection and
// never answers holds up neither their opening nor the window's events, and the failure is
// told once the read gives up.
TEST_F(ToolWindowsServerTest, OpeningOnAServerThatNeverAnswersFreezesNoWindow) {
    OnWorkerThreads onThreads;
    SilentServer silent;
    ASSERT_TRUE(silent.listening);
    onServer.conninfo = silent.conninfo();
    FuelCostForm fuel(onServer, nullptr);
    ChartForm chart(onServer, nullptr);
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);
    QElapsedTimer opening;
    opening.start();
    fuel.show();
    chart.show();
    EXPECT_LT(opening.elapsed(), 500);
    EXPECT_TRUE(QTest::qWaitFor([&] { return prompts.boxes().size() == 2; }, 8000));
    EXPECT_GT(ticks, 100) << "the window's events went on while the vehicles were read";
    EXPECT_EQ(fuel.Picker->VehicleBox->count(), 1);  // 全車両 alone
}

// A read-only (閲覧) user checks with the limit shown, which is not stored; the finding
// opens its record by the server's id.
TEST_F(ToolWindowsServerTest, OdometerFindingsOfAReadOnlyUserOpenTheirRecordsById) {
    const test::LoginRole viewer(db.conninfo(), "quil_viewer");
    ServerMain asViewer(viewer.conninfo());
    asViewer.readOnly = true;
    std::vector<std::pair<std::int64_t, store::RecordKind>> opened;
    OdometerCheckForm fromServer(
        asViewer, [&](std::int64_t id, store::RecordKind kind) { opened.emplace_back(id, kind); },
        nullptr);
    fromServer.setReadOnlyCheck([] { return true; });
    OdometerCheckForm fromFolder(onFolder, {}, nullptr);
    fromFolder.setReadOnlyCheck([] { return true; });
    for (double limit : {1000.0, 50.0}) {
        for (OdometerCheckForm* form : {&fromFolder, &fromServer}) {
            form->LimitBox->setValue(limit);
            form->CheckClick();
        }
        EXPECT_EQ(cells(*fromServer.FindingTable->model()),
                  cells(*fromFolder.FindingTable->model()));
    }
    fromServer.LimitBox->setValue(1000);
    fromServer.CheckClick();
    ASSERT_EQ(fromServer.findings().size(), 1u);
    fromServer.openRow(0);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].second, store::RecordKind::Driving);
    const store::StoredRecord record =
        server::openServerStore(db.conninfo())->readRecord(opened[0].first);
    EXPECT_EQ(record.record.distance1(), 1650);  // the trip that departs below 1,700
    EXPECT_TRUE(prompts.boxes().empty());
}

TEST_F(ToolWindowsServerTest, AReadOnlyUsersCyclesAreRefusedInTheServersWords) {
    onServer.readOnly = true;
    ScheduleForm form(onServer, nullptr);
    form.setReadOnlyCheck([this] { return onServer.dataSetReadOnly(); });
    form.SaveCyclesClick();
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.last().text, QString::fromUtf8(ui::kServerReadOnlyText));
}

}  // namespace
}  // namespace quil::analysis
