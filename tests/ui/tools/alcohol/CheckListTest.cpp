// The list window: filters, the one-year deletion rule and CSV.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <cstdio>

#include "Bytes.h"
#include "FailingFiles.h"
#include "RegisterFixture.h"
#include "ext/ExtDatabase.h"
#include "folder/ReadOnlyFileSystem.h"
#include "ui/dialogs/DataSetEvents.h"
#include "ui/dialogs/ErrorReport.h"
#include "ui/dialogs/FileChoice.h"
#include "ui/tools/alcohol/AlcoholWindows.h"
#include "ui/tools/alcohol/CheckTableModel.h"
#include "ui/tools/alcohol/PeriodChooser.h"
#include "ui/tools/alcohol/TAlcoholCheckForm.h"
#include "ui/tools/alcohol/TAlcoholListForm.h"
#include "ui/tools/alcohol/TAlcoholPrintForm.h"
#include "ui/tools/alcohol/TDetectorForm.h"
#include "ui/tools/alcohol/TMissingCheckForm.h"

namespace quil::alcohol::test {
namespace {

class CheckListTest : public RegisterTest {
protected:
    std::unique_ptr<TAlcoholCheckForm> entry;
    std::unique_ptr<TAlcoholListForm> list;

    void SetUp() override {
        RegisterTest::SetUp();
        entry = std::make_unique<TAlcoholCheckForm>(main, &main.window);
        list = std::make_unique<TAlcoholListForm>(main, *entry, nullptr, &main.window);
    }
    void TearDown() override {
        list.reset();
        entry.reset();
        RegisterTest::TearDown();
    }
    QString cell(int row, int column) { return list->model()->cellText(row, column); }
    void selectRow(int row) { list->table->selectRow(row); }
};

TEST_F(CheckListTest, TheRegistersWindowsOpenBesideTheMainWindow) {
    main.window.move(120, 80);
    const QPoint at = main.window.pos();
    TAlcoholCheckForm checkEntry(main, &main.window);
    TAlcoholPrintForm print(main, &main.window);
    const TAlcoholListForm checkList(main, checkEntry, &print, &main.window);
    const TMissingCheckForm missing(main, checkEntry, &main.window);
    const TDetectorForm detectors(main, &main.window);
    EXPECT_EQ(checkEntry.pos(), at + QPoint(50, 50));
    EXPECT_EQ(checkList.pos(), at + QPoint(50, 50));
    EXPECT_EQ(missing.pos(), at + QPoint(50, 50));
    EXPECT_EQ(detectors.pos(), at + QPoint(50, 50));
    EXPECT_EQ(print.pos(), at + QPoint(100, 50));
}

TEST_F(CheckListTest, ClosingGivesTheChecksBackAndShowingReadsThemAgain) {
    store(check(kToday + encodeTime(8, 0)));
    list->show();
    list->period->choose(store::PeriodKind::Month, kToday);
    ASSERT_EQ(list->model()->rowCount(), 1);
    list->close();
    EXPECT_EQ(list->model()->rowCount(), 0);
    EXPECT_TRUE(list->model()->checks().empty());
    store(check(kToday + encodeTime(8, 10), CheckTiming::BeforeDrive, kSato, kCarB));
    list->show();  // the period chosen stays
    ASSERT_EQ(list->model()->rowCount(), 2);
    EXPECT_EQ(cell(1, CheckTableModel::Driver), QStringLiteral("佐藤"));
}

TEST_F(CheckListTest, ShowsTheMonthAndFiltersByPeriodDriverAndVehicle) {
    store(check(kToday + encodeTime(8, 0)));
    store(check(kToday + encodeTime(8, 10), CheckTiming::BeforeDrive, kSato, kCarB));
    store(check(encodeDate(2024, 4, 30) + encodeTime(8, 0)));
    store(check(encodeDate(2023, 5, 10) + encodeTime(8, 0)));
    list->show();
    // The first showing takes the main window's period (none saved: this year).
    EXPECT_EQ(list->period->kind(), store::PeriodKind::Year);
    EXPECT_EQ(list->model()->rowCount(), 3);
    list->period->choose(store::PeriodKind::Month, kToday);
    ASSERT_EQ(list->model()->rowCount(), 2);
    EXPECT_EQ(cell(0, CheckTableModel::Date), QStringLiteral("2024/05/10"));
    EXPECT_EQ(cell(0, CheckTableModel::Vehicle), QStringLiteral("営業車1 (品川 300 あ 12-34)"));
    EXPECT_EQ(cell(1, CheckTableModel::Driver), QStringLiteral("佐藤"));

    list->driverFilter->setCurrentIndex(list->driverFilter->findText(QStringLiteral("佐藤")));
    EXPECT_EQ(list->model()->rowCount(), 1);
    list->driverFilter->setCurrentIndex(0);
    list->vehicleFilter->setCurrentIndex(
        list->vehicleFilter->findText(QStringLiteral("営業車1 (品川 300 あ 12-34)")));
    EXPECT_EQ(list->model()->rowCount(), 1);
    list->vehicleFilter->setCurrentIndex(0);

    list->period->choose(store::PeriodKind::FiscalYear, kToday);  // fiscal year 2024 (April on)
    EXPECT_EQ(list->model()->rowCount(), 3);
    list->period->choose(store::PeriodKind::All, kToday);  // everything
    EXPECT_EQ(list->model()->rowCount(), 4);
    list->period->choose(store::PeriodKind::Month, encodeDate(2023, 5, 1));
    EXPECT_EQ(list->model()->rowCount(), 1);
}

TEST_F(CheckListTest, DeletingACheckOfTheLastYearAsksTwiceAndKeepsItWithWhoAndWhen) {
    const auto id = store(check(kToday + encodeTime(8, 0)));
    list->show();
    selectRow(0);

    // Declined the second time: nothing changes.
    prompts.answerQuestion(true);
    prompts.answerQuestion(false);
    EXPECT_FALSE(list->deleteSelected());
    EXPECT_EQ(prompts.boxes().size(), 2u);
    EXPECT_FALSE(stored()[0].deleted);

    prompts.clear();
    prompts.answerQuestion(true);
    prompts.answerQuestion(true);
    prompts.answerInput(QStringLiteral("管理者 花子"));
    EXPECT_TRUE(list->deleteSelected());
    ASSERT_EQ(prompts.boxes().size(), 3u);
    EXPECT_TRUE(prompts.boxes()[1].text.contains(QStringLiteral("1年間の保存期間内")));
    EXPECT_EQ(prompts.boxes()[2].kind, ui::ScriptedPrompts::Kind::Input);

    const auto all = stored();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].id, id);
    EXPECT_TRUE(all[0].deleted);
    EXPECT_EQ(all[0].deletedBy, "管理者 花子");
    EXPECT_EQ(all[0].deletedAt, kToday + encodeTime(18, 0));
    EXPECT_EQ(list->model()->rowCount(), 0);

    // Shown again, marked, when deleted checks are asked for.
    list->deletedCheck->setChecked(true);
    ASSERT_EQ(list->model()->rowCount(), 1);
    EXPECT_TRUE(cell(0, CheckTableModel::Deleted).contains(QStringLiteral("管理者 花子")));
    selectRow(0);
    prompts.clear();
    EXPECT_FALSE(list->deleteSelected());  // deleted once is enough
    EXPECT_TRUE(prompts.boxes().empty());
}

TEST_F(CheckListTest, DeletingWithoutANameDeletesNothing) {
    store(check(kToday + encodeTime(8, 0)));
    list->show();
    selectRow(0);
    prompts.answerQuestion(true);
    prompts.answerQuestion(true);
    prompts.answerInput(QStringLiteral("  "));
    EXPECT_FALSE(list->deleteSelected());
    EXPECT_EQ(prompts.last().text, QStringLiteral("削除する人の名前を入力してください。"));
    prompts.answerQuestion(true);
    prompts.answerQuestion(true);
    prompts.answerInput(std::nullopt);  // cancelled
    EXPECT_FALSE(list->deleteSelected());
    EXPECT_FALSE(stored()[0].deleted);
}

TEST_F(CheckListTest, ACheckOlderThanAYearIsDeletedAfterOneQuestion) {
    store(check(encodeDate(2023, 5, 9) + encodeTime(8, 0)));
    list->show();
    list->period->choose(store::PeriodKind::All, kToday);
    selectRow(0);
    prompts.answerQuestion(true);
    EXPECT_TRUE(list->deleteSelected());
    EXPECT_EQ(prompts.boxes().size(), 1u);
    EXPECT_TRUE(stored()[0].deleted);
    EXPECT_EQ(stored()[0].deletedAt, kToday + encodeTime(18, 0));
}

TEST_F(CheckListTest, CsvWrittenFromTheListReadsBackIntoAnotherRegister) {
    AlcoholCheck a = check(kToday + encodeTime(8, 0));
    a.reading = 0.0;
    a.remarks = "備考, あり";
    AlcoholCheck b = check(kToday + encodeTime(17, 0), CheckTiming::AfterDrive, kSato, kCarB);
    b.method = CheckMethod::Other;
    b.methodText = "無線";
    store(a);
    store(b);
    list->show();
    const QString path = QString::fromStdString(main.folder) + QStringLiteral("register.csv");
    ASSERT_TRUE(list->exportCsv(path));

    // The register is written afresh (the same data set, its QuilExt.db lost), then read
    // back from the file.
    const std::string ext = main.folder + "QuilExt.db";
    ASSERT_EQ(std::remove(ext.c_str()), 0);
    prompts.answerQuestion(true);
    ASSERT_TRUE(list->importCsv(path));
    EXPECT_EQ(prompts.last().text, QStringLiteral("2件のアルコールチェックを取り込みますか？"));
    CheckFilter all;
    auto back = AlcoholStore(main.folder).load(all);
    ASSERT_EQ(back.size(), 2u);
    a.id = back[0].id;
    b.id = back[1].id;
    EXPECT_EQ(back[0], a);
    EXPECT_EQ(back[1], b);

    // Read a second time, nothing is added twice.
    prompts.clear();
    EXPECT_FALSE(list->importCsv(path));
    EXPECT_EQ(
        prompts.last().text,
        QStringLiteral("取り込むアルコールチェックはありません（2件はすべて登録済みです）。"));
    EXPECT_EQ(AlcoholStore(main.folder).count(), 2);
}

TEST_F(CheckListTest, ReadingAnOlderCsvAgainDoesNotBringADeletedCheckBack) {
    const AlcoholCheck a = check(kToday + encodeTime(8, 0));
    const AlcoholCheck b = check(kToday + encodeTime(17, 0), CheckTiming::AfterDrive);
    store(a);
    const auto gone = store(b);
    list->show();
    const QString path = QString::fromStdString(main.folder) + QStringLiteral("register.csv");
    ASSERT_TRUE(list->exportCsv(path));
    AlcoholStore(main.folder).markDeleted(gone, "t", kToday);

    EXPECT_FALSE(list->importCsv(path));
    EXPECT_EQ(
        prompts.last().text,
        QStringLiteral("取り込むアルコールチェックはありません（2件はすべて登録済みです）。"));
    CheckFilter live;
    const auto shown = AlcoholStore(main.folder).load(live);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].timing, a.timing);
    EXPECT_EQ(AlcoholStore(main.folder).count(), 2);
}

TEST_F(CheckListTest, ATextCp932CannotHoldAsksForUtf8BeforeAnythingIsWritten) {
    store(check(kToday + encodeTime(8, 0)));
    AlcoholCheck beer = check(kToday + encodeTime(9, 0), CheckTiming::AfterDrive);
    beer.remarks = "🍺";
    store(beer);
    list->show();
    const QString path = QString::fromStdString(main.folder) + QStringLiteral("register.csv");
    EXPECT_FALSE(list->exportCsv(path)) << "No (the default) writes nothing";
    EXPECT_EQ(prompts.last().kind, quil::ui::ScriptedPrompts::Kind::Question);
    EXPECT_TRUE(prompts.last().text.contains(QStringLiteral("3行目")))
        << prompts.last().text.toStdString();
    EXPECT_FALSE(QFile::exists(path));
    prompts.answerQuestion(true);
    ASSERT_TRUE(list->exportCsv(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(file.readAll()).contains(QStringLiteral("🍺")));
}

TEST_F(CheckListTest, DeletedChecksShownInTheListAreNotWrittenToCsv) {
    store(check(kToday + encodeTime(8, 0)));
    const auto gone = store(check(kToday + encodeTime(9, 0), CheckTiming::AfterDrive));
    AlcoholStore(main.folder).markDeleted(gone, "t", kToday);
    list->show();
    list->deletedCheck->setChecked(true);
    ASSERT_EQ(list->model()->rowCount(), 2);
    const QString path = QString::fromStdString(main.folder) + QStringLiteral("register.csv");
    ASSERT_TRUE(list->exportCsv(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_EQ(text.count(QStringLiteral("\r\n")), 2);  // titles and the live check
    EXPECT_FALSE(text.contains(QStringLiteral("運転後")));
}

TEST_F(CheckListTest, ExportToAFolderThatCannotBeWrittenIsReported) {
    list->show();
    EXPECT_FALSE(list->exportCsv(QStringLiteral("/nonexistent-folder/x.csv")));
    EXPECT_EQ(prompts.last().title, QStringLiteral("警告"));
}

// The register's CSV is written through the file-system seam like every export: a disk
// that refuses the file leaves the earlier export whole, and the user is told.
TEST_F(CheckListTest, AFailedExportKeepsTheEarlierFileAndIsReported) {
    store(check(kToday + encodeTime(8, 0)));
    list->show();
    const std::string path = main.folder + "register.csv";
    quil::testing::writeBytes(path, "earlier\r\n");
    {
        quil::testing::FailingFiles refusing({"register.csv"});
        EXPECT_FALSE(list->exportCsv(QString::fromStdString(path)));
        EXPECT_GT(refusing.refusals(), 0);
    }
    EXPECT_EQ(prompts.last().title, QStringLiteral("警告"));
    EXPECT_TRUE(prompts.last().text.contains(QStringLiteral("register.csv")));
    EXPECT_EQ(quil::testing::readBytes(path), "earlier\r\n");
    // A data set's own file is never an export's target.
    EXPECT_FALSE(list->exportCsv(QString::fromStdString(main.folder + "Quil.qud")));
    EXPECT_TRUE(prompts.last().text.contains(QStringLiteral("データのファイル")));
}

// After a restore, move or import the open register lists the new data set's checks.
TEST_F(CheckListTest, TheOpenListFollowsAReplacedDataSet) {
    store(check(kToday + encodeTime(8, 0)));
    store(check(kToday + encodeTime(9, 0)));
    QMainWindow mainWindow;
    AlcoholWindows windows(main, &mainWindow);
    windows.listForm->show();
    windows.listForm->period->choose(store::PeriodKind::Month, kToday);
    ASSERT_EQ(windows.listForm->model()->rowCount(), 2);
    // The restored data set has one check of that month.
    {
        CheckFilter all;
        all.withDeleted = true;
        const auto checks = AlcoholStore(main.folder).load(all);
        AlcoholStore(main.folder).markDeleted(checks.front().id, "x", kToday);
    }
    EXPECT_EQ(windows.listForm->model()->rowCount(), 2) << "nothing told it yet";
    ui::DataSetEvents::announceReplaced();
    QApplication::processEvents();
    EXPECT_EQ(windows.listForm->model()->rowCount(), 1);
    windows.listForm->close();
}

// A count that cannot be made (a QuilExt.db that is no database) says so in the status bar
// and reaches the one error report once, not at every recount; a good count clears it.
TEST_F(CheckListTest, AFailedCountIsShownShortAndReportedOnce) {
    addDrive(kToday + encodeTime(9, 0), kToday + encodeTime(12, 0));
    QMainWindow mainWindow;
    AlcoholWindows windows(main, &mainWindow);
    windows.refreshStatus();
    EXPECT_EQ(windows.statusLabel()->text(), QStringLiteral("アルコールチェック漏れ(今月): 1件"));
    EXPECT_TRUE(prompts.boxes().empty());

    const std::string ext = main.folder + "QuilExt.db";
    // The count reads QuilExt.db again only after a change of the checks is announced.
    quil::testing::writeBytes(ext, "not a database\r\n");
    ui::DataSetEvents::announce(
        store::DataSetChange::extensionChanged(store::ExtensionPart::AlcoholChecks));
    windows.refreshStatus();
    EXPECT_EQ(windows.statusLabel()->text(),
              QStringLiteral("アルコールチェック漏れ(今月): 数えられません"));
    EXPECT_TRUE(windows.statusLabel()->toolTip().isEmpty());
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.last().title, ui::programName());
    EXPECT_EQ(prompts.last().icon, ui::PromptIcon::Error);
    EXPECT_TRUE(prompts.last().text.contains(QStringLiteral("QuilExt.db")));
    windows.refreshStatus();
    EXPECT_EQ(prompts.boxes().size(), 1u) << "the same failure is reported once";

    ASSERT_EQ(std::remove(ext.c_str()), 0);
    windows.refreshStatus();
    EXPECT_EQ(windows.statusLabel()->text(), QStringLiteral("アルコールチェック漏れ(今月): 1件"));
    quil::testing::writeBytes(ext, "not a database\r\n");
    ui::DataSetEvents::announce(
        store::DataSetChange::extensionChanged(store::ExtensionPart::AlcoholChecks));
    windows.refreshStatus();
    EXPECT_EQ(prompts.boxes().size(), 2u) << "a failure after a good count is new";
}

// The monthly register opens at this month when the list shows a period holding it.
TEST_F(CheckListTest, ThePrintDialogOpensAtThisMonth) {
    QMainWindow mainWindow;
    AlcoholWindows windows(main, &mainWindow);
    windows.listForm->show();
    windows.listForm->period->choose(store::PeriodKind::Year, kToday);  // the calendar year 2024
    windows.listForm->printButton->click();
    EXPECT_EQ(windows.printForm->monthBox->currentIndex(), 4) << "May, not January";
    windows.printForm->close();
    windows.listForm->period->choose(store::PeriodKind::Year,
                                     encodeDate(2023, 6, 1));  // a past year
    windows.listForm->printButton->click();
    EXPECT_EQ(windows.printForm->monthBox->currentIndex(), 0);
    windows.printForm->close();
    windows.listForm->close();
}

// A copy that only reads a data folder whose register was never created shows it empty: it
// may not create the file, and there is nothing to show.
TEST_F(CheckListTest, AReadOnlyCopyWithoutARegisterShowsItEmpty) {
    ASSERT_FALSE(ext::ExtDatabase::exists(main.folder));
    main.readOnly = true;
    QMainWindow mainWindow;
    AlcoholWindows windows(main, &mainWindow);
    EXPECT_FALSE(windows.toolBarAction()->isEnabled());
    windows.listForm->show();
    EXPECT_EQ(windows.listForm->model()->rowCount(), 0);
    windows.detectorForm->show();
    EXPECT_TRUE(windows.detectorForm->detectors().empty());
    windows.printForm->show();
    EXPECT_EQ(windows.printForm->prepare(), 0) << "an empty month";
    windows.printForm->close();
    EXPECT_TRUE(prompts.boxes().empty()) << prompts.last().text.toStdString();
    EXPECT_FALSE(ext::ExtDatabase::exists(main.folder));
    windows.detectorForm->close();
    windows.listForm->close();
}

// A copy that only reads the data folder refuses a new check at once, before any typing,
// and every other change of the register.
TEST_F(CheckListTest, AReadOnlyCopyRefusesEveryChangeAtOnce) {
    store(check(kToday + encodeTime(8, 0)));
    main.readOnly = true;
    entry->openForAdd();
    EXPECT_FALSE(entry->isVisible());
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.last().text, QString::fromUtf8(folder::ReadOnlyFileSystem::kReason));
    list->show();
    list->period->choose(store::PeriodKind::Month, kToday);
    ASSERT_EQ(list->model()->rowCount(), 1) << "the list still reads";
    selectRow(0);
    list->editSelected();
    EXPECT_FALSE(entry->isVisible());
    EXPECT_FALSE(list->deleteSelected());
    EXPECT_EQ(prompts.boxes().size(), 3u) << "no question before the refusal";
    // CSV読み込み refuses before any file dialog opens.
    int dialogs = 0;
    ui::setFileDialogForTesting([&](const QString&) {
        ++dialogs;
        return QString();
    });
    list->findChild<QPushButton*>(QStringLiteral("ImportButton"))->click();
    ui::setFileDialogForTesting({});
    EXPECT_EQ(dialogs, 0);
    ASSERT_EQ(prompts.boxes().size(), 4u);
    EXPECT_EQ(prompts.last().text, QString::fromUtf8(folder::ReadOnlyFileSystem::kReason));
    EXPECT_EQ(stored().size(), 1u);
    EXPECT_FALSE(stored().front().deleted);
}

}  // namespace
}  // namespace quil::alcohol::test
