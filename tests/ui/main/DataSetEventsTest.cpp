// Changes of the data set reach every window through one path (DataSetEvents): what each
// command announces, and the status-bar counts following a record the list does not show.
#include <QAction>
#include <QDate>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "MainTestSupport.h"
#include "app/MakeToolWindow.h"
#include "ui/components/TRetComboBox.h"
#include "ui/dialogs/DataSetEvents.h"
#include "ui/dialogs/TDataInputForm.h"
#include "ui/dialogs/TItemForm.h"
#include "ui/main/AppWindows.h"
#include "ui/main/RecordCommands.h"
#include "ui/main/ToolWindows.h"
#include "ui/tools/AnalysisData.h"
#include "ui/tools/AnalysisWindows.h"
#include "ui/tools/alcohol/AlcoholStore.h"
#include "ui/tools/alcohol/AlcoholWindows.h"
#include "ui/tools/alcohol/TAlcoholCheckForm.h"

using namespace quil::store;
using namespace quil::testing;
using What = DataSetChange::What;

namespace {

class DataSetEventsTest : public MainWindowTest {
protected:
    const double today = encodeDate(2024, 5, 10);
    QObject listener;
    std::vector<DataSetChange> heard;

    void SetUp() override {
        quil::ui::setToolWindowMakerForTesting(&quil::ui::makeToolWindow);
        setClockForTesting([this] { return today + encodeTime(18, 0); });
        writeRecords<ItemRecord>(
            tmp.file("Quil.qui"),
            {item(ItemKind::Vehicle, "軽トラ"), item(ItemKind::Vehicle, "営業車"),
             item(ItemKind::User, "山田"), item(ItemKind::MaintenanceItem, "オイル交換")});
        auto drive = makeRecord(today + encodeTime(9, 0), 0, 2, 0, 0);
        drive.setReturnTime(today + encodeTime(12, 0));
        drive.setDistance1(100);
        drive.setDistance2(150);
        writeRecords<DataRecord>(tmp.file("Quil.qud"), {drive});
        Settings s(dir());
        s.writeFirstRun(2024);
        s.setPeriodKind(PeriodKind::All);
        s.setCarMask("10");  // the list shows 軽トラ only
        s.setDriverMask("1");
        // An oil change every 1,000 km: 営業車 has never had one.
        quil::analysis::AnalysisData(dir()).saveCycles({{3, 0, 1000, 0}});
        quil::alcohol::AlcoholStore(dir()).addDetector(
            {0, "検知器A", "SN-1", today - 10, 0, false});
        quil::ui::DataSetEvents::listen(&listener,
                                        [this](const DataSetChange& c) { heard.push_back(c); });
    }
    QString alcoholCount() { return app->Alcohol->statusLabel()->text(); }
    QLabel& overdue() { return *app->Analysis->notice(); }
    // Enters a drive of `vehicle` today from 13:00 through the entry dialog and presses OK.
    void enterDrive(const QString& vehicle, const char* out, const char* back) {
        app->Mainform->action(QStringLiteral("ToolButton1"))->trigger();
        quil::ui::TDataInputForm& entry = *app->DataInputForm;
        ASSERT_TRUE(entry.isVisible());
        entry.dateBox()->setDate(QDate(2024, 5, 10));
        entry.startHourList()->setCurrentText(QStringLiteral("13"));
        entry.endHourList()->setCurrentText(QStringLiteral("15"));
        entry.vehicleList()->setCurrentIndex(entry.vehicleList()->findText(vehicle));
        entry.valueBox1()->setText(QString::fromLatin1(out));
        entry.valueBox2()->setText(QString::fromLatin1(back));
        entry.Button1()->click();
        ASSERT_FALSE(entry.isVisible()) << prompts.last().text.toStdString();
        QApplication::processEvents();
    }
};

TEST_F(DataSetEventsTest, ARecordTheListDoesNotShowStillMovesTheCountsAndTheNotice) {
    quil::ui::TMainform& w = run();
    QApplication::processEvents();
    ASSERT_EQ(w.listModel()->recordCount(), 1);
    EXPECT_EQ(alcoholCount(), QStringLiteral("アルコールチェック漏れ(今月): 1件"));
    EXPECT_TRUE(overdue().isHidden());

    // 営業車 is not in the list: the list stays as it is, the counts follow the record.
    enterDrive(QStringLiteral("営業車"), "1000", "1200");
    EXPECT_EQ(w.listModel()->recordCount(), 1);
    EXPECT_EQ(alcoholCount(), QStringLiteral("アルコールチェック漏れ(今月): 2件"));
    EXPECT_FALSE(overdue().isHidden());
    EXPECT_EQ(overdue().accessibleName(), QStringLiteral("点検・整備予定: 1件が期限切れ"));
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].what, What::RecordSaved);
    EXPECT_FALSE(heard[0].previous) << "an added record has no earlier version";
    EXPECT_EQ(heard[0].place.way, SavedPlace::Way::Appended);
    EXPECT_EQ(heard[0].record.vehicle(), 1);

    // A record the list shows, then deleted from the list: both counts go back.
    enterDrive(QStringLiteral("軽トラ"), "150", "180");
    ASSERT_EQ(w.listModel()->recordCount(), 2);
    EXPECT_EQ(alcoholCount(), QStringLiteral("アルコールチェック漏れ(今月): 3件"));
    w.ComboGrid1->selectRow(2);
    w.ComboGrid1Click();
    prompts.answerQuestion(true);
    w.commands()->DeleteClick();
    QApplication::processEvents();
    EXPECT_EQ(w.listModel()->recordCount(), 1);
    EXPECT_EQ(alcoholCount(), QStringLiteral("アルコールチェック漏れ(今月): 2件"));
    ASSERT_EQ(heard.size(), 3u);
    EXPECT_EQ(heard[2].what, What::RecordDeleted);
    EXPECT_EQ(heard[2].place.position, 1) << "it sorts before 営業車's trip of the same time";
    EXPECT_DOUBLE_EQ(heard[2].record.distance1(), 150);
}

TEST_F(DataSetEventsTest, AnEditAnnouncesTheRecordAsItWasAndTheCountFollowsItsNewDay) {
    quil::ui::TMainform& w = run();
    QApplication::processEvents();
    ASSERT_EQ(alcoholCount(), QStringLiteral("アルコールチェック漏れ(今月): 1件"));
    w.ComboGrid1->selectRow(1);
    w.ComboGrid1Click();
    w.commands()->EditClick();
    quil::ui::TDataInputForm& entry = *app->DataInputForm;
    ASSERT_TRUE(entry.isVisible());
    // Moved to last month: no drive of this month is left without its checks.
    entry.dateBox()->setDate(QDate(2024, 4, 30));
    entry.Button1()->click();
    ASSERT_FALSE(entry.isVisible()) << prompts.last().text.toStdString();
    QApplication::processEvents();
    EXPECT_EQ(alcoholCount(), QStringLiteral("アルコールチェック漏れ(今月): 0件"));
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].what, What::RecordSaved);
    ASSERT_TRUE(heard[0].previous);
    EXPECT_DOUBLE_EQ(heard[0].previous->date(), today + encodeTime(9, 0));
    EXPECT_DOUBLE_EQ(std::trunc(heard[0].record.date()), encodeDate(2024, 4, 30));
}

TEST_F(DataSetEventsTest, TheRegisterAndTheMasterListsAnnounceTheirChanges) {
    quil::ui::TMainform& w = run();
    QApplication::processEvents();
    // A check saved in the register.
    auto& form = *app->Alcohol->entryForm;
    w.action(QStringLiteral("AlcoholCheckButton"))->trigger();
    ASSERT_TRUE(form.isVisible());
    form.hourBox->setEditText(QStringLiteral("8"));
    form.driverBox->setCurrentIndex(0);
    form.vehicleBox->setCurrentIndex(0);
    form.checkerBox->setEditText(QStringLiteral("安全 太郎"));
    form.Button1Click();
    ASSERT_FALSE(form.isVisible()) << prompts.last().text.toStdString();
    QApplication::processEvents();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].what, What::ExtensionChanged);
    EXPECT_EQ(heard[0].part, ExtensionPart::AlcoholChecks);
    // The drive now has its before-drive check only: still missing.
    EXPECT_EQ(alcoholCount(), QStringLiteral("アルコールチェック漏れ(今月): 1件"));

    // A user added in the master list.
    w.openItemForm(ItemKind::User);
    ASSERT_TRUE(app->ItemForm->isVisible());
    prompts.answerInput(QStringLiteral("佐藤"));
    app->ItemForm->Button1Click();
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[1].what, What::ItemsChanged);
    EXPECT_EQ(heard[1].itemKind, ItemKind::User);
    app->ItemForm->close();
}

// Another program's changes heard one after the other, each in a turn of the event loop of
// its own (clerks saving on other computers), refresh an open window once, a moment after
// the first; this program's own change refreshes it when the events of the moment are done.
TEST(DataSetEventsRefresh, OthersChangesHeardOneByOneRefreshAWindowOnce) {
    QWidget window;
    window.show();
    int refreshed = 0;
    quil::ui::DataSetEvents::refreshWhileOpen(&window, [&] { ++refreshed; });
    for (int i = 0; i < 5; ++i) {
        quil::ui::DataSetEvents::announce(DataSetChange::changedElsewhere());
        QApplication::processEvents();
    }
    EXPECT_EQ(refreshed, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return refreshed > 0; }, 3000));
    QTest::qWait(quil::ui::DataSetEvents::kElsewhereGroupMs + 200);
    EXPECT_EQ(refreshed, 1);
    quil::ui::DataSetEvents::announce(DataSetChange::of(What::RecordsChanged));
    QApplication::processEvents();
    EXPECT_EQ(refreshed, 2);
}

}  // namespace
