// The register inside the whole program: its ツール entries, its toolbar button after the
// vehicle log's own and the status-bar count of missing checks.
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QToolBar>

#include "MainTestSupport.h"
#include "app/MakeToolWindow.h"
#include "ui/components/TRetComboBox.h"
#include "ui/dialogs/DataSetEvents.h"
#include "ui/main/AppWindows.h"
#include "ui/tools/alcohol/AlcoholStore.h"
#include "ui/tools/alcohol/AlcoholWindows.h"
#include "ui/tools/alcohol/TAlcoholCheckForm.h"
#include "ui/tools/alcohol/TAlcoholListForm.h"

using namespace quil::store;
using namespace quil::testing;

namespace {

class AlcoholProgramTest : public MainWindowTest {
protected:
    const double today = encodeDate(2024, 5, 10);

    void SetUp() override {
        quil::ui::setToolWindowMakerForTesting(&quil::ui::makeToolWindow);
        setClockForTesting([this] { return today + encodeTime(18, 0); });
        writeRecords<ItemRecord>(tmp.file("Quil.qui"),
                                 {item(ItemKind::Vehicle, "軽トラ"), item(ItemKind::User, "山田")});
        auto drive = makeRecord(today + encodeTime(9, 0), 0, 1, 0, 0);
        drive.setReturnTime(today + encodeTime(12, 0));
        writeRecords<DataRecord>(tmp.file("Quil.qud"), {drive});
        Settings s(dir());
        s.writeFirstRun(2024);
        s.setPeriodKind(PeriodKind::All);
        quil::alcohol::AlcoholStore(dir()).addDetector(
            {0, "検知器A", "SN-1", today - 10, 0, false});
    }
    QString status() { return app->Alcohol->statusLabel()->text(); }
    void enterCheck(quil::alcohol::CheckTiming timing, const char* hour) {
        auto& form = *app->Alcohol->entryForm;
        app->Mainform->action(QStringLiteral("AlcoholCheckButton"))->trigger();
        ASSERT_TRUE(form.isVisible());
        form.timingBox->setCurrentIndex(static_cast<int>(timing));
        form.hourBox->setEditText(QString::fromLatin1(hour));
        form.driverBox->setCurrentIndex(0);
        form.vehicleBox->setCurrentIndex(0);
        form.checkerBox->setEditText(QStringLiteral("安全 太郎"));
        form.Button1Click();
        ASSERT_FALSE(form.isVisible()) << prompts.last().text.toStdString();
        QApplication::processEvents();
    }
};

TEST_F(AlcoholProgramTest, ToolsMenuAndToolbarOpenTheRegister) {
    auto& window = run();
    QStringList names;
    for (QAction* a : window.ToolsMenu->actions()) names << a->objectName();
    for (const char* n : {"AlcoholCheck1", "AlcoholList1", "AlcoholMissing1", "AlcoholDetectors1"})
        EXPECT_TRUE(names.contains(QString::fromLatin1(n))) << n;

    const QList<QAction*> tools = window.ToolBar1->actions();
    const int help = tools.indexOf(window.action(QStringLiteral("ToolButton11")));
    const int alcohol = tools.indexOf(window.action(QStringLiteral("AlcoholCheckButton")));
    ASSERT_GE(help, 0);
    EXPECT_GT(alcohol, help);

    window.action(QStringLiteral("AlcoholList1"))->trigger();
    EXPECT_TRUE(app->Alcohol->listForm->isVisible());
}

TEST_F(AlcoholProgramTest, StatusBarCountsTheMonthsDrivesWithoutChecksUntilTheyAreEntered) {
    run();
    QApplication::processEvents();
    EXPECT_EQ(status(), QStringLiteral("アルコールチェック漏れ(今月): 1件"));
    // The before-drive check alone leaves the drive missing its after-drive check.
    enterCheck(quil::alcohol::CheckTiming::BeforeDrive, "8");
    EXPECT_EQ(status(), QStringLiteral("アルコールチェック漏れ(今月): 1件"));
    enterCheck(quil::alcohol::CheckTiming::AfterDrive, "12");
    EXPECT_EQ(status(), QStringLiteral("アルコールチェック漏れ(今月): 0件"));
}

// The count follows the announced changes of the data set, not the list: moving the
// selection or loading the list again reads nothing; a saved record is counted from itself,
// and a change the program cannot tell record by record is counted again from the file.
TEST_F(AlcoholProgramTest, TheCountFollowsRecordChangesNotTheList) {
    auto& window = run();
    QApplication::processEvents();
    EXPECT_EQ(status(), QStringLiteral("アルコールチェック漏れ(今月): 1件"));
    // A second drive written behind the program's back: nothing has told the count.
    auto drive = makeRecord(today + encodeTime(14, 0), 0, 1, 0, 0);
    drive.setReturnTime(today + encodeTime(15, 0));
    const SavedPlace place = RecordStore(dir()).save(drive, std::nullopt);
    window.listModel()->setSelectedRow(1);
    window.reloadList();
    QApplication::processEvents();
    EXPECT_EQ(status(), QStringLiteral("アルコールチェック漏れ(今月): 1件"));
    // Announced as a saved record (as another computer's save will be): counted at once.
    quil::ui::DataSetEvents::announce(DataSetChange::recordSaved(place, drive));
    QApplication::processEvents();
    EXPECT_EQ(status(), QStringLiteral("アルコールチェック漏れ(今月): 2件"));
    // A third one, with only "the records changed" said: the file is counted again.
    auto third = makeRecord(today + encodeTime(16, 0), 0, 1, 0, 0);
    RecordStore(dir()).save(third, std::nullopt);
    quil::ui::DataSetEvents::announce(DataSetChange::changedElsewhere());
    QApplication::processEvents();
    EXPECT_EQ(status(), QStringLiteral("アルコールチェック漏れ(今月): 3件"));
}

}  // namespace

// The manual covers every command of the menus a user reaches, the ツール menu's windows
// each with a picture, and says the 解析 commands are not there yet.
TEST_F(AlcoholProgramTest, TheManualDescribesEveryMenuCommand) {
    auto& window = run();
    QFile file(QStringLiteral(QUIL_MANUAL));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString manual = QString::fromUtf8(file.readAll());
    const QRegularExpression accelerator(QStringLiteral("\\(&.\\)|&|\\.\\.\\.$"));
    int toolEntries = 0;
    for (QAction* menu : window.menuBar()->actions()) {
        for (QAction* a : menu->menu()->actions()) {
            if (a->isSeparator() || !a->isVisible()) continue;
            const QString caption = a->text().remove(accelerator);
            EXPECT_TRUE(manual.contains(caption)) << caption.toStdString();
            if (menu->menu() != window.ToolsMenu) continue;
            ++toolEntries;
            // The entry's own section has a picture.
            const qsizetype heading =
                manual.indexOf(QStringLiteral(">") + caption + QStringLiteral("</h3>"));
            ASSERT_GE(heading, 0) << caption.toStdString();
            const qsizetype next = manual.indexOf(QStringLiteral("<h"), heading);
            EXPECT_TRUE(manual.mid(heading, next - heading).contains(QStringLiteral("<img ")))
                << caption.toStdString();
        }
    }
    EXPECT_EQ(toolEntries, 15);
    EXPECT_TRUE(
        manual.contains(QStringLiteral("申し訳ございませんが、まだ作っていません。m(_ _)m")));
    EXPECT_TRUE(manual.contains(QStringLiteral("QuilExt.db")));
}
