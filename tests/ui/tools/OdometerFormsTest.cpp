// The odometer check list and the entry dialog's question.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include "AnalysisFixtures.h"
#include "app/ServerParts.h"
#include "store/ItemStore.h"
#include "store/StoreError.h"
#include "ui/dialogs/BackgroundWork.h"
#include "ui/tools/AnalysisData.h"
#include "ui/tools/OdometerCheckForm.h"
#include "ui/tools/OdometerWarning.h"
#include "ui/tools/ReportTableView.h"

namespace quil::analysis {
namespace {

using namespace quil::testing;

class OdometerFormsTest : public ::testing::Test {
protected:
    void SetUp() override { writeSampleFleet(dir); }
    TempDir dir;
    StandInMain context{dir.dir()};
    ui::ScriptedPrompts prompts;
};

TEST_F(OdometerFormsTest, ListsTheBreaksAndOpensTheRecord) {
    std::vector<std::pair<std::int64_t, store::RecordKind>> opened;
    OdometerCheckForm form(
        context, [&](std::int64_t pos, store::RecordKind kind) { opened.emplace_back(pos, kind); },
        nullptr);
    form.show();
    ASSERT_EQ(form.findings().size(), 1u);
    const QAbstractItemModel* m = form.FindingTable->model();
    EXPECT_EQ(m->index(0, 0).data().toString(), QStringLiteral("2024/03/04"));
    EXPECT_EQ(m->index(0, 1).data().toString(), QStringLiteral("車A"));
    EXPECT_EQ(m->index(0, 2).data().toString(), QStringLiteral("走行記録"));
    EXPECT_EQ(m->index(0, 3).data().toString(), QStringLiteral("1650.0 km"));
    EXPECT_EQ(m->index(0, 4).data().toString(), QStringLiteral("1700.0～3700.0 km"));
    EXPECT_TRUE(form.CountLabel->text().contains(QStringLiteral("1件")));
    form.openRow(0);
    EXPECT_EQ(
        opened,
        (std::vector<std::pair<std::int64_t, store::RecordKind>>{{7, store::RecordKind::Driving}}));
}

TEST_F(OdometerFormsTest, TheLimitIsKeptInTheExtensionFile) {
    OdometerCheckForm form(context, {}, nullptr);
    form.show();
    EXPECT_FALSE(ext::ExtDatabase::exists(dir.dir()));  // the default changes nothing
    form.LimitBox->setValue(50);
    form.CheckClick();
    EXPECT_DOUBLE_EQ(AnalysisData(dir.dir()).dailyLimitKm(), 50);
    EXPECT_GT(form.findings().size(), 1u);  // 300 km trips now break it
    OdometerCheckForm again(context, {}, nullptr);
    again.show();
    EXPECT_DOUBLE_EQ(again.LimitBox->value(), 50);
    // Read-only: the limit serves the check but is not stored.
    again.setReadOnlyCheck([] { return true; });
    again.LimitBox->setValue(5000);
    again.CheckClick();
    EXPECT_EQ(again.findings().size(), 1u);
    EXPECT_DOUBLE_EQ(AnalysisData(dir.dir()).dailyLimitKm(), 50);
}

// A check that cannot read the records ends at the application's one error report; the
// findings and the table that shows them go together (both empty), so no row opens a
// record of a former check.
TEST_F(OdometerFormsTest, AnUnreadableDataSetLeavesNoFindingsAndAnEmptyTableTogether) {
    OdometerCheckForm form(context, {}, nullptr);
    form.show();
    ASSERT_EQ(form.findings().size(), 1u);
    UnreadableRecords unreadable;
    form.LimitBox->setValue(50);
    form.CheckClick();
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.last().icon, ui::PromptIcon::Error);
    EXPECT_TRUE(form.findings().empty());
    EXPECT_EQ(form.FindingTable->model()->rowCount(), 0);
    // Opened again while it cannot be read: the limit, held while the stored one is read,
    // is free again after the one report.
    form.hide();
    form.show();
    EXPECT_EQ(prompts.boxes().size(), 2u);
    EXPECT_TRUE(form.findings().empty());
    EXPECT_TRUE(form.LimitBox->isEnabled());
    EXPECT_TRUE(form.CheckButton->isEnabled());
}

// A first check that failed leaves the stored limit unknown: チェック reads it again rather
// than storing the box's default over it.
TEST_F(OdometerFormsTest, AFailedFirstCheckNeverOverwritesTheStoredLimit) {
    AnalysisData(dir.dir()).setDailyLimitKm(500);
    OdometerCheckForm form(context, {}, nullptr);
    {
        UnreadableRecords unreadable;
        form.show();
    }
    ASSERT_EQ(prompts.boxes().size(), 1u);
    ASSERT_TRUE(form.CheckButton->isEnabled());
    form.CheckClick();
    EXPECT_DOUBLE_EQ(AnalysisData(dir.dir()).dailyLimitKm(), 500);
    EXPECT_DOUBLE_EQ(form.LimitBox->value(), 500);
    EXPECT_EQ(prompts.boxes().size(), 1u);
}

// Two vehicles whose chains break in each of the ways a trip can break them.
void writeBrokenChains(const TempDir& dir) {
    using store::ItemKind;
    writeDataSet(dir,
                 {item(ItemKind::Vehicle, "車B", day(2020, 4, 1)),
                  item(ItemKind::Vehicle, "車A", day(2020, 4, 1))},
                 {driving(day(2024, 1, 5), 0, 1000, 1100), driving(day(2024, 1, 6), 1, 500, 600),
                  driving(day(2024, 1, 7), 0, 1050, 1200),     // below 1,100
                  driving(day(2024, 1, 8), 1, 600, 550),       // returns below its departure
                  driving(day(2024, 1, 10), 0, 9000, 9100),    // beyond the daily limit
                  driving(day(2024, 1, 11), 1, 560, 570),      // below 600
                  driving(day(2024, 1, 11), 0, 9000, 9050),    // below 9,100
                  driving(day(2024, 1, 12), 1, 580, 40000)});  // a trip beyond the limit
}

// Every cell as the model shows it, row by row.
std::vector<QStringList> cells(const QAbstractItemModel& m) {
    std::vector<QStringList> out;
    for (int r = 0; r < m.rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < m.columnCount(); ++c) {
            row << m.index(r, c).data().toString();
            row << QString::number(m.index(r, c).data(Qt::TextAlignmentRole).toInt());
        }
        out.push_back(row);
    }
    return out;
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// 走行距離チェック open over the two broken chains, its six findings shown.
class BrokenChainsTest : public OdometerFormsTest {
protected:
    void SetUp() override {
        OdometerFormsTest::SetUp();
        writeBrokenChains(other);
        form.show();
        ASSERT_EQ(form.findings().size(), 6u);
    }
    TempDir other;
    StandInMain broken{other.dir()};
    OdometerCheckForm form{broken, {}, nullptr};
};

// The window keeps its findings compactly; it shows, sorts and exports them exactly as the
// whole table of their texts does.
TEST_F(BrokenChainsTest, TheFindingsShowSortAndExportAsTheirWholeTable) {
    ReportTableView whole;
    whole.setTable(analysis::odometerTable(form.findings(),
                                        store::ItemNames::load(store::ItemStore(other.dir()))));
    const QAbstractItemModel& shown = *form.FindingTable->model();
    ASSERT_EQ(shown.columnCount(), 6);
    for (int c = 0; c < shown.columnCount(); ++c)
        EXPECT_EQ(shown.headerData(c, Qt::Horizontal).toString(),
                  whole.model()->headerData(c, Qt::Horizontal).toString());
    EXPECT_EQ(cells(shown), cells(*whole.model()));
    EXPECT_EQ(shown.index(0, 1).data().toString(), QStringLiteral("車B"));

    int file = 0;
    for (int c = -1; c < 6; ++c) {
        for (Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            form.FindingTable->sortByColumn(c, order);
            whole.sortByColumn(c, order);
            EXPECT_EQ(cells(shown), cells(*whole.model())) << "column " << c;
            for (int r = 0; r < shown.rowCount(); ++r)
                EXPECT_EQ(form.FindingTable->sourceRow(r), whole.sourceRow(r));
            const QString a = QString::fromStdString(other.file("a" + std::to_string(file)));
            const QString b = QString::fromStdString(other.file("b" + std::to_string(file++)));
            ReportTableView::setFileChooserForTesting([a](const QString&) { return a; });
            ASSERT_TRUE(form.FindingTable->exportCsv(QStringLiteral("x")));
            ReportTableView::setFileChooserForTesting([b](const QString&) { return b; });
            ASSERT_TRUE(whole.exportCsv(QStringLiteral("x")));
            EXPECT_EQ(readFile(a), readFile(b)) << "column " << c;
            EXPECT_FALSE(readFile(a).isEmpty());
        }
    }
    ReportTableView::setFileChooserForTesting({});
}

// A vehicle checked again takes its new findings in the places a whole check gives them;
// the other vehicles' findings stay as they were checked, even where their records changed
// meanwhile unheard.
TEST_F(BrokenChainsTest, AVehicleCheckedAgainTakesItsPlacesAmongTheOthers) {
    const auto of = [](std::vector<OdometerFinding> f, int vehicle) {
        std::erase_if(f, [&](const OdometerFinding& x) { return x.vehicle != vehicle; });
        return f;
    };
    const auto described = [](const std::vector<OdometerFinding>& findings) {
        std::vector<std::string> out;
        for (const OdometerFinding& f : findings)
            out.push_back(std::to_string(f.position) + " " + std::to_string(f.vehicle) + " " +
                          std::to_string(int(f.problem)) + " " + std::to_string(f.reading));
        return out;
    };
    const std::vector<OdometerFinding> before = form.findings();
    // Both vehicles change: 車B's first trip now breaks its chain, 車A's last trip no more.
    using store::ItemKind;
    writeDataSet(
        other,
        {item(ItemKind::Vehicle, "車B", day(2020, 4, 1)),
         item(ItemKind::Vehicle, "車A", day(2020, 4, 1))},
        {driving(day(2024, 1, 5), 0, 1000, 900), driving(day(2024, 1, 6), 1, 500, 600),
         driving(day(2024, 1, 7), 0, 1050, 1200), driving(day(2024, 1, 8), 1, 600, 550),
         driving(day(2024, 1, 10), 0, 9000, 9100), driving(day(2024, 1, 11), 1, 560, 570),
         driving(day(2024, 1, 11), 0, 9000, 9050), driving(day(2024, 1, 12), 1, 580, 600)});
    const std::vector<OdometerFinding> after = checkOdometers(other.dir());
    form.recheck({0});
    std::vector<OdometerFinding> expected = of(after, 0);
    for (const OdometerFinding& f : of(before, 1)) expected.push_back(f);
    std::stable_sort(expected.begin(), expected.end(), findingBefore);
    ASSERT_NE(described(expected), described(before));
    ASSERT_NE(described(expected), described(after));
    EXPECT_EQ(described(form.findings()), described(expected));
    EXPECT_EQ(form.FindingTable->model()->rowCount(), int(expected.size()));
    form.recheck({1});
    EXPECT_EQ(described(form.findings()), described(after));
    EXPECT_EQ(cells(*form.FindingTable->model()), [&] {
        ReportTableView whole;
        whole.setTable(
            analysis::odometerTable(after, store::ItemNames::load(store::ItemStore(other.dir()))));
        return cells(*whole.model());
    }());
}

// A closed window keeps nothing of its findings; opening it again checks again.
TEST_F(OdometerFormsTest, ClosingGivesTheFindingsBack) {
    OdometerCheckForm form(context, {}, nullptr);
    form.show();
    ASSERT_EQ(form.FindingTable->model()->rowCount(), 1);
    form.close();
    EXPECT_EQ(form.FindingTable->model()->rowCount(), 0);
    EXPECT_TRUE(form.findings().empty());
    form.show();
    EXPECT_EQ(form.FindingTable->model()->rowCount(), 1);
    EXPECT_EQ(form.findings().size(), 1u);
}

TEST_F(OdometerFormsTest, TheEntryDialogAsksAndNeverRefuses) {
    const store::DataRecord back = driving(day(2024, 3, 20), 0, 1500, 1600);
    const QString text = OdometerWarning::text(context, back, std::nullopt);
    // The last reading and its day, and how far off this one is.
    EXPECT_TRUE(
        text.contains(QStringLiteral("・この記録: 出庫距離が前回の距離より小さい\n"
                                     "　1500.0 km。前回 2024/03/04 の 1800.0 km より "
                                     "300.0 km 少ない\n")))
        << text.toStdString();
    // A rise: the days since and the distance a day it means, beside the limit.
    const QString jump =
        OdometerWarning::text(context, driving(day(2024, 3, 20), 0, 60000, 60100), std::nullopt);
    EXPECT_TRUE(
        jump.contains(QStringLiteral("　60000.0 km。前回 2024/03/04 の 1800.0 km から 16 日"
                                     "で 58200.0 km 増、1 日あたり 3637.5 km（想定は 1 日 "
                                     "1000.0 km まで）")))
        << jump.toStdString();
    EXPECT_FALSE(jump.contains(QStringLiteral("～")));
    prompts.answerQuestion(false);
    EXPECT_FALSE(OdometerWarning::confirm(nullptr, context, back, std::nullopt));
    EXPECT_EQ(prompts.last().title, QStringLiteral("距離の確認"));
    EXPECT_TRUE(prompts.last().defaultNo) << "Enter keeps a doubtful reading out";
    prompts.answerQuestion(true);
    EXPECT_TRUE(OdometerWarning::confirm(nullptr, context, back, std::nullopt));

    prompts.clear();
    EXPECT_TRUE(OdometerWarning::confirm(nullptr, context, driving(day(2024, 3, 20), 0, 1800, 1900),
                                         std::nullopt));
    // Mending the backwards trip (position 7) raises no question.
    EXPECT_TRUE(
        OdometerWarning::confirm(nullptr, context, driving(day(2024, 3, 4), 0, 1700, 1850), 7));
    EXPECT_TRUE(prompts.boxes().empty());
}

// On a server data set the check connects on a worker. A server that takes the connection
// and never answers leaves the dialog's events going until the check gives up (the record is
// then saved unasked); from a second on, its progress box lets the user stop waiting, which
// saves nothing.
TEST_F(OdometerFormsTest, AServerThatNeverAnswersFreezesNoDialog) {
    OnWorkerThreads onThreads;
    SilentServer server;
    ASSERT_TRUE(server.listening);
    struct SilentServerMain : StandInMain {
        using StandInMain::StandInMain;
        std::string conninfo;
        std::string serverConninfo() const override { return conninfo; }
        ui::ServerOpeners serverOpeners() const override { return ui::programServerOpeners(); }
    } silent{dir.dir()};
    silent.conninfo = server.conninfo();

    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);
    const store::DataRecord back = driving(day(2024, 3, 20), 0, 1500, 1600);
    QElapsedTimer waited;
    waited.start();
    EXPECT_TRUE(OdometerWarning::confirm(&silent.window, silent, back, std::nullopt));
    EXPECT_GE(waited.elapsed(), 1500);
    EXPECT_GT(ticks, 40) << "the window's events went on while the check waited";
    EXPECT_TRUE(prompts.boxes().empty());

    bool gaveUp = false;
    QTimer::singleShot(1300, [&] {
        auto* box =
            silent.window.findChild<QProgressDialog*>(QStringLiteral("BackgroundProgress"));
        if (auto* stop = box ? box->findChild<QPushButton*>() : nullptr) {
            stop->click();
            gaveUp = true;
        }
    });
    waited.restart();
    EXPECT_FALSE(OdometerWarning::confirm(&silent.window, silent, back, std::nullopt));
    EXPECT_TRUE(gaveUp);
    EXPECT_LT(waited.elapsed(), 1900);
}

}  // namespace
}  // namespace quil::analysis
