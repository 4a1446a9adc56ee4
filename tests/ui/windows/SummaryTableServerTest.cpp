// The summary table on a data set on a server: the same lines as from the data folder it
// was pushed from, figures that follow another clerk's save, and a server out of reach
// ending the command at the error report.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <memory>

#include "PgTestCluster.h"
#include "ServerMain.h"
#include "SummaryTableData.h"
#include "server/ServerStore.h"
#include "store/Date.h"
#include "store/StoreError.h"
#include "ui/dialogs/DataSetEvents.h"
#include "ui/dialogs/Prompts.h"
#include "ui/windows/TCalForm.h"

using namespace quil::store;
using namespace quil::testing;

namespace quil::ui {
namespace {

// The data set of SummaryTableData.h.
class SummaryTableServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeSummaryDataSet(folder);
        pushToServer(db.conninfo(), folder.dir());
        onFolder.folder = folder.dir();
        onFolder.hasWindow = onServer.hasWindow = false;
    }

    static QStringList run(TCalForm& form, int summary, int period) {
        form.ComboBox2->setCurrentIndex(summary);
        form.ComboBox1->setCurrentIndex(period);
        form.Edit1->setText(QStringLiteral("2003"));
        form.Button1->click();
        return form.Memo1->toPlainText().split(QLatin1Char('\n'));
    }

    TempDir folder;
    test::ScratchDatabase db;
    StandInMain onFolder;
    ServerMain onServer{db.conninfo()};
    QWidget mainWindow;
    ScriptedPrompts prompts;
};

TEST_F(SummaryTableServerTest, EverySummaryShowsTheLinesOfTheFolder) {
    TCalForm fromFolder(onFolder, &mainWindow);
    TCalForm fromServer(onServer, &mainWindow);
    for (int period : {0, 1, 2, 3, 9}) {
        for (int summary = 0; summary < 9; ++summary)
            EXPECT_EQ(run(fromServer, summary, period), run(fromFolder, summary, period))
                << "summary " << summary << ", period " << period;
    }
    const QStringList expenses = run(fromServer, 8, 2);
    ASSERT_EQ(expenses.size(), 7);
    EXPECT_EQ(expenses[6].simplified(), QStringLiteral("合計 1,251,567円 99,615円 1,351,182円"));
    const QStringList distances = run(fromServer, 0, 0);
    EXPECT_EQ(distances[5].simplified(), QStringLiteral("その他 40.0 km"));  // 旧車 (deleted)
    EXPECT_TRUE(prompts.boxes().empty());
}

TEST_F(SummaryTableServerTest, TheFiguresFollowAnotherClerksSave) {
    TCalForm form(onServer, &mainWindow);
    form.show();
    EXPECT_EQ(run(form, 3, 0)[6].simplified(), QStringLiteral("合計 4 回"));
    // Another program adds a trip; its change arrives as a change made elsewhere.
    server::openServerStore(db.conninfo())
        ->addRecord(driving(encodeDate(2003, 7, 7), 3, 1, 2, 600, 650), newSaveKey());
    DataSetEvents::announce(DataSetChange::changedElsewhere());
    // The summary runs again a moment after the change is told (with others arriving then).
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return form.Memo1->toPlainText().contains(QStringLiteral("5 回")); }, 3000));
    const QStringList lines = form.Memo1->toPlainText().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 7);
    EXPECT_EQ(lines[4].simplified(), QStringLiteral("ワゴン 2 回"));
    EXPECT_EQ(lines[6].simplified(), QStringLiteral("合計 5 回"));
}

TEST_F(SummaryTableServerTest, ARecordChangedElsewhereIsFollowedInPlaceOrNotAtAll) {
    TCalForm form(onServer, &mainWindow);
    TCalForm fresh(onServer, &mainWindow);
    form.show();
    const QStringList before = run(form, 6, 1);  // 給油量 per vehicle, year 2003
    const auto shown = [&] { return form.Memo1->toPlainText().split(QLatin1Char('\n')); };
    const auto told = [](DataSetChange c) {
        c.source = ChangeSource::Elsewhere;
        DataSetEvents::announce(c);
    };
    // A refuelling is added without a word yet; a trip of another year is told: the summary
    // takes no such record, so it is not summed again and does not see the refuelling.
    const auto store = server::openServerStore(db.conninfo());
    DataRecord fuel = makeRecord(encodeDate(2003, 8, 1), 0, 1, 0, 1);
    fuel.setDistance2(35.5);
    const StoredRecord added = store->addRecord(fuel, newSaveKey());
    const DataRecord trip = driving(encodeDate(2001, 1, 5), 0, 1, 2, 10, 20);
    told(DataSetChange::serverRecordSaved(1, trip, trip));
    QTest::qWait(DataSetEvents::kElsewhereGroupMs + 200);
    EXPECT_EQ(shown(), before);
    // Told of it, and then of its edit onto another vehicle, the figures follow at once, as
    // a new summing shows them.
    DataSetChange add = DataSetChange::serverRecordSaved(added.id, added.record);
    add.serverVersion = 1;
    told(add);
    EXPECT_EQ(shown(), run(fresh, 6, 1));
    EXPECT_NE(shown(), before);
    DataRecord moved = fuel;
    moved.setVehicle(3);
    moved.setDistance2(20);
    store->editRecord(added, moved, newSaveKey());
    told(DataSetChange::serverRecordSaved(added.id, moved, added.record));
    EXPECT_EQ(shown(), run(fresh, 6, 1));
    // Edited again and deleted before this program heard the edit: the deleted bytes are not
    // the record the summary holds, so it sums again instead of taking them out.
    const StoredRecord edited = store->editRecord(store->readRecord(added.id), fuel, newSaveKey());
    store->deleteRecord(edited, newSaveKey());
    DataRecord gone = store->readRecord(added.id).record;
    told(DataSetChange::serverRecordDeleted(added.id, gone));
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown() == run(fresh, 6, 1); }, 3000));
}

TEST_F(SummaryTableServerTest, AServerOutOfReachEndsTheCommandAtTheErrorReport) {
    ServerMain gone(test::adminConninfo("quil_no_such_data_set"));
    gone.hasWindow = false;
    TCalForm form(gone, &mainWindow);
    form.ComboBox1->setCurrentIndex(0);
    QString message;
    try {
        form.Button1Click();
    } catch (const StoreError& e) {
        message = QString::fromUtf8(e.what());
    }
    // The program's own words, which the application's report shows; no figure, no box.
    EXPECT_TRUE(std::any_of(message.begin(), message.end(), [](QChar c) {
        return c.unicode() >= 0x3000;
    })) << message.toStdString();
    EXPECT_EQ(form.Memo1->toPlainText().split(QLatin1Char('\n')).size(), 3);
    EXPECT_TRUE(prompts.boxes().empty());
}

}  // namespace
}  // namespace quil::ui
