// The maintenance schedule window, its cycle editor and the status bar notice.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>

#include "AnalysisFixtures.h"
#include "ui/dialogs/DataSetEvents.h"
#include "ui/dialogs/ErrorReport.h"
#include "ui/tools/AnalysisData.h"
#include "ui/tools/AnalysisWindows.h"
#include "ui/tools/ReportTableView.h"
#include "ui/tools/ScheduleForm.h"

namespace quil::analysis {
namespace {

using namespace quil::testing;

class ScheduleFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeSampleFleet(dir);
        store::setClockForTesting([] { return day(2024, 7, 1) + 0.5; });
    }
    void TearDown() override { store::setClockForTesting({}); }
    // Types a cycle into the editor: row of the item, then months, km, first months.
    static void typeCycle(ScheduleForm& f, int row, const QString& months, const QString& km,
                          const QString& first = QStringLiteral("0")) {
        f.CycleTable->item(row, 1)->setText(months);
        f.CycleTable->item(row, 2)->setText(km);
        f.CycleTable->item(row, 3)->setText(first);
    }
    QColor background(ScheduleForm& f, int row) const {
        return f.ScheduleTable->model()
            ->index(row, 0)
            .data(Qt::BackgroundRole)
            .value<QBrush>()
            .color();
    }
    TempDir dir;
    StandInMain context{dir.dir()};
    ui::ScriptedPrompts prompts;
};

TEST_F(ScheduleFormTest, CyclesEditedInTheWindowGiveColouredRows) {
    ScheduleForm form(context, nullptr);
    form.show();
    ASSERT_EQ(form.CycleTable->rowCount(), 3);
    EXPECT_EQ(form.CycleTable->item(2, 0)->text(), QStringLiteral("車検"));
    EXPECT_EQ(form.ScheduleTable->model()->rowCount(), 0);
    EXPECT_TRUE(form.SummaryLabel->text().contains(QStringLiteral("周期が設定されていません")));
    EXPECT_FALSE(ext::ExtDatabase::exists(dir.dir()));

    typeCycle(form, 0, QStringLiteral("6"), QStringLiteral("5000"));
    typeCycle(form, 1, QStringLiteral("12"), QString());
    typeCycle(form, 2, QStringLiteral("24"), QStringLiteral("0"), QStringLiteral("36"));
    // The saved cycles are heard once as a change of the data set (the notice counts again).
    QObject listener;
    int heard = 0;
    ui::DataSetEvents::listen(&listener, [&](const store::DataSetChange& c) {
        if (c.what == store::DataSetChange::What::ExtensionChanged &&
            c.part == store::ExtensionPart::MaintenanceCycles)
            ++heard;
    });
    form.SaveCyclesClick();
    EXPECT_EQ(heard, 1);
    EXPECT_EQ(
        AnalysisData(dir.dir()).loadCycles(),
        (std::vector<analysis::MaintenanceCycle>{{3, 6, 5000, 0}, {4, 12, 0, 0}, {5, 24, 0, 36}}));
    ASSERT_EQ(form.rows().size(), 6u);
    const QAbstractItemModel* m = form.ScheduleTable->model();
    EXPECT_EQ(m->index(0, 2).data().toString(), QStringLiteral("2024/01/25"));
    EXPECT_EQ(m->index(0, 4).data().toString(), QStringLiteral("2024/07/25"));
    EXPECT_EQ(m->index(0, 5).data().toString(), QStringLiteral("6400.0 km"));
    EXPECT_EQ(m->index(0, 6).data().toString(), QStringLiteral("1800.0 km"));
    EXPECT_EQ(background(form, 0), ScheduleForm::soonColour());     // 24 days left
    EXPECT_EQ(background(form, 1), ScheduleForm::overdueColour());  // 12ヶ月点検, never done
    EXPECT_EQ(m->index(1, 2).data().toString(), QStringLiteral("未実施"));
    EXPECT_EQ(background(form, 2), ScheduleForm::overdueColour());  // 車検 2023/04/01
    EXPECT_EQ(m->index(5, 4).data().toString(), QStringLiteral("2027/03/01"));
    EXPECT_FALSE(background(form, 5).isValid() && background(form, 5) != Qt::black);
    EXPECT_TRUE(form.SummaryLabel->text().contains(QStringLiteral("期限切れ 2件")));

    // A second showing reads the cycles back from the file.
    ScheduleForm again(context, nullptr);
    again.show();
    EXPECT_EQ(again.CycleTable->item(2, 3)->text(), QStringLiteral("36"));
    EXPECT_EQ(again.rows().size(), 6u);
}

// A schedule that cannot be read empties the table, so no rows of an older reading stay on
// screen, and goes to the one error report: the program's name and the error icon.
TEST_F(ScheduleFormTest, AnUnreadableDataSetEmptiesTheScheduleAndIsReportedOnce) {
    AnalysisData(dir.dir()).saveCycles({{3, 6, 5000, 0}});
    ScheduleForm form(context, nullptr);
    form.show();
    ASSERT_FALSE(form.rows().empty());
    EXPECT_TRUE(prompts.boxes().empty());
    UnreadableRecords unreadable;
    form.Reload();
    EXPECT_TRUE(form.rows().empty());
    EXPECT_EQ(form.ScheduleTable->model()->rowCount(), 0);
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.last().title, ui::programName());
    EXPECT_EQ(prompts.last().icon, ui::PromptIcon::Error);
    EXPECT_TRUE(prompts.last().text.contains(QStringLiteral("Quil.qud")));
}

TEST_F(ScheduleFormTest, AWrongCycleIsRefusedAndNothingIsSaved) {
    ScheduleForm form(context, nullptr);
    form.show();
    typeCycle(form, 0, QStringLiteral("6"), QStringLiteral("5千"));
    form.SaveCyclesClick();
    EXPECT_EQ(prompts.last().title, QStringLiteral("警告"));
    EXPECT_TRUE(prompts.last().text.contains(QStringLiteral("オイル交換")));
    EXPECT_EQ(form.CycleTable->currentRow(), 0);
    EXPECT_EQ(form.CycleTable->currentColumn(), 2);
    typeCycle(form, 0, QStringLiteral("-1"), QStringLiteral("0"));
    form.SaveCyclesClick();
    EXPECT_FALSE(ext::ExtDatabase::exists(dir.dir()));
}

TEST_F(ScheduleFormTest, NothingIsWrittenWhileAnotherComputerHoldsTheFolder) {
    ScheduleForm form(context, nullptr);
    bool readOnly = true;
    form.setReadOnlyCheck([&] { return readOnly; });
    form.show();
    typeCycle(form, 0, QStringLiteral("6"), QStringLiteral("5000"));
    form.SaveCyclesClick();
    EXPECT_EQ(prompts.last().title, QStringLiteral("警告"));
    EXPECT_TRUE(prompts.last().text.contains(QStringLiteral("読み取り専用")));
    EXPECT_FALSE(ext::ExtDatabase::exists(dir.dir()));
    readOnly = false;
    form.SaveCyclesClick();
    EXPECT_EQ(AnalysisData(dir.dir()).loadCycles().size(), 1u);
}

TEST_F(ScheduleFormTest, TheNoticeCountsOverdueItemsAndOpensTheSchedule) {
    QStatusBar bar;
    std::vector<QString> commands;
    AnalysisHost host;
    host.context = &context;
    host.statusBar = &bar;
    host.addToolsCommand = [&](const QString& caption, const QString& name, std::function<void()>) {
        commands.push_back(caption + QLatin1Char('|') + name);
        return static_cast<QAction*>(nullptr);
    };
    AnalysisWindows tools(host);
    EXPECT_EQ(commands,
              (std::vector<QString>{QStringLiteral("燃費・費用(&F)...|FuelCost1"),
                                    QStringLiteral("グラフ(&G)...|Chart1"),
                                    QStringLiteral("点検・整備予定(&M)...|Schedule1"),
                                    QStringLiteral("走行距離チェック(&K)...|OdometerCheck1")}));
    tools.refreshNotice();
    EXPECT_TRUE(tools.notice()->isHidden());  // no QuilExt.db: nothing is due

    AnalysisData(dir.dir()).saveCycles({{4, 12, 0, 0}, {5, 24, 0, 36}});
    tools.refreshNotice();
    EXPECT_FALSE(tools.notice()->isHidden());
    EXPECT_EQ(tools.notice()->accessibleName(), QStringLiteral("点検・整備予定: 2件が期限切れ"));
    EXPECT_TRUE(tools.notice()->text().contains(QStringLiteral("点検・整備予定: 2件が期限切れ")));

    Q_EMIT tools.notice()->linkActivated(QStringLiteral("schedule"));
    ASSERT_TRUE(tools.scheduleForm()->isVisible());
    // Saving other cycles in the window counts again.
    tools.scheduleForm()->CycleTable->item(1, 1)->setText(QStringLiteral("0"));
    tools.scheduleForm()->CycleTable->item(2, 1)->setText(QStringLiteral("0"));
    tools.scheduleForm()->CycleTable->item(2, 3)->setText(QStringLiteral("0"));
    tools.scheduleForm()->SaveCyclesClick();
    EXPECT_TRUE(tools.notice()->isHidden());
}

// On a server data set this program's own save is told with the record's id: the notice
// follows it without reading the records again, and so a record added elsewhere or edited
// elsewhere with its former record told, while an edit whose former record is not told is
// read again. The schedule reads again only for a record it counts.
TEST_F(ScheduleFormTest, TheNoticeFollowsThisProgramsServerSaveInPlace) {
    QStatusBar bar;
    AnalysisHost host;
    host.context = &context;
    host.statusBar = &bar;
    AnalysisWindows tools(host);
    AnalysisData(dir.dir()).saveCycles({{4, 12, 0, 0}, {5, 24, 0, 36}});
    tools.refreshNotice();
    ASSERT_EQ(tools.notice()->accessibleName(), QStringLiteral("点検・整備予定: 2件が期限切れ"));
    tools.scheduleForm()->show();
    ASSERT_FALSE(tools.scheduleForm()->rows().empty());

    UnreadableRecords unreadable;  // a reading of the records from now on fails
    // An expense edited elsewhere does not make the open schedule read again.
    store::DataSetChange cost = store::DataSetChange::serverRecordSaved(
        44, expense(day(2024, 6, 2), 0, 3000), expense(day(2024, 6, 2), 0, 2000));
    cost.source = store::ChangeSource::Elsewhere;
    ui::DataSetEvents::announce(cost);
    QTest::qWait(ui::DataSetEvents::kElsewhereGroupMs + 200);
    EXPECT_FALSE(tools.scheduleForm()->rows().empty());
    EXPECT_TRUE(prompts.boxes().empty());
    const store::DataRecord done = maintenance(day(2024, 6, 1), 0, 4, 1800);
    ui::DataSetEvents::announce(store::DataSetChange::serverRecordSaved(41, done));
    EXPECT_FALSE(tools.notice()->isHidden());
    EXPECT_EQ(tools.notice()->accessibleName(), QStringLiteral("点検・整備予定: 1件が期限切れ"));

    // A record another program added (its row's first version) is followed in place too.
    store::DataSetChange added =
        store::DataSetChange::serverRecordSaved(43, driving(day(2024, 7, 1), 0, 1800, 1900));
    added.source = store::ChangeSource::Elsewhere;
    added.serverVersion = 1;
    ui::DataSetEvents::announce(added);
    EXPECT_FALSE(tools.notice()->isHidden());
    EXPECT_EQ(tools.notice()->accessibleName(), QStringLiteral("点検・整備予定: 1件が期限切れ"));

    // An edit made elsewhere told with its former record is followed in place as well.
    store::DataSetChange edited = store::DataSetChange::serverRecordSaved(
        43, driving(day(2024, 7, 1), 0, 1800, 1950), driving(day(2024, 7, 1), 0, 1800, 1900));
    edited.source = store::ChangeSource::Elsewhere;
    edited.serverVersion = 2;
    ui::DataSetEvents::announce(edited);
    EXPECT_EQ(tools.notice()->accessibleName(), QStringLiteral("点検・整備予定: 1件が期限切れ"));

    store::DataSetChange elsewhere = store::DataSetChange::serverRecordSaved(42, done);
    elsewhere.source = store::ChangeSource::Elsewhere;
    ui::DataSetEvents::announce(elsewhere);
    EXPECT_TRUE(tools.notice()->isHidden());  // read again, and the records cannot be read
}

}  // namespace
}  // namespace quil::analysis
