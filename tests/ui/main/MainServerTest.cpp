// The main window on a data set on a server: the list, other programs' changes arriving on
// their own, deletes that name the version read, a read-only role, and a server that is not
// there.

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QThread>

#include "LoginRole.h"
#include "PgTestCluster.h"
#include "RecordBuilders.h"
#include "SampleDataSet.h"
#include "TempDir.h"
#include "app/MakeToolWindow.h"
#include "app/ServerParts.h"
#include "server/ServerDataSet.h"
#include "server/ServerExtensions.h"
#include "server/ServerSchema.h"
#include "server/ServerStore.h"
#include "server/ServerTransfer.h"
#include "server/WebRecords.h"
#include "store/Date.h"
#include "store/ListFilter.h"
#include "store/RecordStore.h"
#include "store/Settings.h"
#include "ui/components/TComboGrid.h"
#include "ui/dialogs/BackgroundWork.h"
#include "ui/dialogs/DataSetEvents.h"
#include "ui/dialogs/Prompts.h"
#include "ui/dialogs/TDataInputForm.h"
#include "ui/dialogs/TServerForm.h"
#include "ui/dialogs/Tdirsetform.h"
#include "ui/main/AppWindows.h"
#include "ui/main/RecordCommands.h"
#include "ui/main/RecordListModel.h"
#include "ui/main/TMainform.h"
#include "ui/tools/AnalysisWindows.h"
#include "ui/tools/OdometerCheckForm.h"
#include "ui/tools/alcohol/AlcoholStore.h"

using namespace quil;
using quil::test::ScratchDatabase;
using quil::testing::TempDir;

namespace {

class MainOnServer : public ::testing::Test {
protected:
    ScratchDatabase db;
    TempDir program, seed;
    ui::ScriptedPrompts prompts;
    std::unique_ptr<ui::TMainform> main;
    const double today = store::today();

    void SetUp() override {
        quil::testing::writeSampleItems(seed.dir());
        server::PgConnection c(db.conninfo());
        server::initializeSchema(c);
        server::pushFolder(c, seed.dir());
    }

    ui::TMainform& start(const std::string& conninfo) {
        ui::MainformOptions options{false};
        options.server = conninfo;
        options.serverOpeners = ui::programServerOpeners();
        main = std::make_unique<ui::TMainform>(program.dir(), options);
        main->show();
        QApplication::processEvents();
        return *main;
    }
    // A driving record of today (in the list's default period, this year) by 車両1/使用者1.
    store::DataRecord drive(int price) {
        store::DataRecord r = quil::testing::sampleRecord(0, today, 0, 1);
        r.setPrice(price);
        return r;
    }
    int listed() const { return listed(*main); }
    static int listed(ui::TMainform& w) { return w.listModel()->recordCount(); }
    // The whole program over `conninfo` (a data folder when empty), its ツール windows
    // linked into this test.
    std::unique_ptr<ui::AppWindows> startProgram(
        const std::string& conninfo, const std::function<void(ui::ServerOpeners&)>& adjust = {}) {
        ui::setToolWindowMakerForTesting(&ui::makeToolWindow);
        ui::MainformOptions options{false};
        options.server = conninfo;
        options.serverOpeners = ui::programServerOpeners();
        if (adjust) adjust(options.serverOpeners);
        auto app = std::make_unique<ui::AppWindows>(program.dir(), options);
        app->Mainform->show();
        QApplication::processEvents();
        return app;
    }
    void TearDown() override {
        main.reset();
        ui::setToolWindowMakerForTesting(nullptr);
    }
};

}  // namespace

TEST_F(MainOnServer, ShowsTheDataSetAndWhatOthersSaveWithinASecond) {
    server::ServerDataSet other(db.conninfo());
    other.addRecord(drive(1), server::newSaveKey());
    ui::TMainform& w = start(db.conninfo());
    ASSERT_FALSE(w.startFailed());
    EXPECT_EQ(listed(), 1);
    EXPECT_TRUE(w.windowTitle().contains(QStringLiteral("quil_test_")));
    EXPECT_EQ(w.ComboGrid1->Cells(4, 1), QStringLiteral("車両1"));
    // Another program saves: the list follows without being asked.
    other.addRecord(drive(2), server::newSaveKey());
    EXPECT_TRUE(QTest::qWaitFor([&] { return listed() == 2; }, 1500));
    const server::RecordRow first = [&] {
        server::RecordRow r;
        other.scanRecords([&](const server::RecordRow& row) {
            if (r.id == 0) r = row;
        });
        return r;
    }();
    other.deleteRecord(first.id, first.version, server::newSaveKey());
    EXPECT_TRUE(QTest::qWaitFor([&] { return listed() == 1; }, 1500));
    EXPECT_EQ(w.selectedRecordId(), -1);
}

TEST_F(MainOnServer, ADeleteOfARecordChangedMeanwhileIsRefusedAndOtherwiseDone) {
    server::ServerDataSet other(db.conninfo());
    const server::RecordRow r = other.addRecord(drive(1), server::newSaveKey());
    ui::TMainform& w = start(db.conninfo());
    ASSERT_EQ(listed(), 1);
    w.ComboGrid1->selectRow(1);
    w.listModel()->setSelectedRow(1);
    EXPECT_EQ(w.selectedRecordId(), r.id);
    // Changed by the other program after this one showed it.
    other.editRecord(r.id, r.version, drive(7), server::newSaveKey());
    prompts.answerQuestion(true);
    w.commands()->DeleteClick();
    EXPECT_TRUE(prompts.last().text.contains(QStringLiteral("一致しない")));
    EXPECT_EQ(other.recordCount(), 1);
    // Read again, it is deleted.
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.listModel()->record(1).price() == 7; }, 1500));
    w.ComboGrid1->selectRow(1);
    w.listModel()->setSelectedRow(1);
    prompts.answerQuestion(true);
    w.commands()->DeleteClick();
    EXPECT_EQ(other.recordCount(), 0);
    EXPECT_EQ(listed(), 0);
}

TEST_F(MainOnServer, AViewersProgramOnlyReadsAndMayTakeABackupButNotRestore) {
    quil::test::LoginRole viewer(db.conninfo(), server::kViewerRole);
    ui::TMainform& w = start(viewer.conninfo());
    ASSERT_FALSE(w.startFailed());
    EXPECT_TRUE(w.dataSetReadOnly());
    EXPECT_TRUE(w.windowTitle().contains(QStringLiteral("読み取り専用")));
    EXPECT_FALSE(w.action(QStringLiteral("Input0"))->isEnabled());
    EXPECT_FALSE(w.action(QStringLiteral("Setting1"))->isEnabled());
    auto* dirset = new ui::Tdirsetform(w, w, &w);
    w.setDirsetform(dirset);
    TempDir copy;
    w.ShowFolderDialog(ui::Tdirsetform::Backup);
    ASSERT_TRUE(dirset->isVisible());
    dirset->Edit1->setText(QString::fromStdString(copy.dir()));
    dirset->Button1Click();
    EXPECT_EQ(prompts.last().text, QStringLiteral("バックアップが完了しました。"));
    EXPECT_TRUE(std::filesystem::exists(copy.file("Quil.qui")));
    prompts.clear();
    w.ShowFolderDialog(ui::Tdirsetform::Restore);
    dirset->Edit1->setText(QString::fromStdString(copy.dir()));
    dirset->Button1Click();
    EXPECT_TRUE(prompts.last().text.contains(QStringLiteral("閲覧の権限")));
}

// A clerk's backup, changes, and the backup restored: the list shows the data set restored.
TEST_F(MainOnServer, ABackupOfTheServerRestoredThroughTheDialogComesBack) {
    server::ServerDataSet other(db.conninfo());
    other.addRecord(drive(1), server::newSaveKey());
    ui::TMainform& w = start(db.conninfo());
    auto* dirset = new ui::Tdirsetform(w, w, &w);
    w.setDirsetform(dirset);
    TempDir copy;
    w.ShowFolderDialog(ui::Tdirsetform::Backup);
    dirset->Edit1->setText(QString::fromStdString(copy.dir()));
    dirset->Button1Click();
    ASSERT_EQ(prompts.last().text, QStringLiteral("バックアップが完了しました。"));
    other.addRecord(drive(2), server::newSaveKey());
    ASSERT_TRUE(QTest::qWaitFor([&] { return listed() == 2; }, 1500));
    w.ShowFolderDialog(ui::Tdirsetform::Restore);
    prompts.answerQuestion(true);  // 現在保存中のデータは削除されますがよろしいですか？
    dirset->Edit1->setText(QString::fromStdString(copy.dir()));
    dirset->Button1Click();
    EXPECT_EQ(prompts.last().text, QStringLiteral("読み込みが完了しました。"));
    EXPECT_EQ(other.recordCount(), 1);
    EXPECT_EQ(listed(), 1);
    EXPECT_EQ(w.listModel()->record(1).price(), 1);
}

TEST_F(MainOnServer, AServerThatIsNotThereIsSaidAndNothingIsShown) {
    TempDir nowhere;
    ui::TMainform& w = start("host=" + nowhere.path() + " dbname=quil");
    EXPECT_TRUE(w.startFailed());
    EXPECT_TRUE(prompts.last().text.contains(QStringLiteral("サーバーに接続できません")));
    EXPECT_EQ(w.serverStore(), nullptr);
    // A database that holds no data set.
    ScratchDatabase empty;
    main.reset();
    prompts.clear();
    ui::TMainform& w2 = start(empty.conninfo());
    EXPECT_TRUE(w2.startFailed());
    EXPECT_TRUE(prompts.last().text.contains(QStringLiteral("server init")));
    // A program put together without the server's code: the data set is refused by name.
    main.reset();
    prompts.clear();
    ui::MainformOptions options{false};
    options.server = db.conninfo();
    main = std::make_unique<ui::TMainform>(program.dir(), options);
    main->show();
    QApplication::processEvents();
    EXPECT_TRUE(main->startFailed());
    EXPECT_TRUE(
        prompts.last().text.contains(QStringLiteral("このプログラムはサーバーのデータセットを開けません。")));
    EXPECT_EQ(main->serverStore(), nullptr);
}

TEST_F(MainOnServer, TheDataFolderDialogMovesTheDataSetToAnEmptyServerAndTheChoiceIsKept) {
    // A program working on its data folder (the program folder: a portable copy).
    ui::MainformOptions options{false};
    options.serverOpeners = ui::programServerOpeners();
    main = std::make_unique<ui::TMainform>(program.dir(), options);
    auto* dirset = new ui::Tdirsetform(*main, *main, main.get());
    main->setDirsetform(dirset);
    main->show();
    QApplication::processEvents();
    ASSERT_FALSE(main->onServer());
    store::RecordStore(program.dir()).save(drive(5), std::nullopt);

    main->ShowFolderDialog(ui::Tdirsetform::SetDataFolder);
    ASSERT_TRUE(dirset->ServerButton->isVisible());
    dirset->ServerButton->click();
    auto* form = main->findChild<ui::TServerForm*>();
    ASSERT_NE(form, nullptr);
    ASSERT_TRUE(form->isVisible());
    // A password is never kept in the settings.
    form->Edit1->setText(QStringLiteral("host=/tmp dbname=x password=secret"));
    form->Button1Click();
    EXPECT_TRUE(prompts.last().text.contains(QStringLiteral("~/.pgpass")));
    EXPECT_FALSE(main->onServer());

    ScratchDatabase empty;
    form->Edit1->setText(QString::fromStdString(empty.conninfo()));
    form->TestButtonClick();
    EXPECT_TRUE(form->StatusBar1->currentMessage().contains(QStringLiteral("空です")));
    prompts.answerQuestion(true);
    form->Button1Click();
    ASSERT_TRUE(main->onServer());
    EXPECT_EQ(listed(), 1);
    EXPECT_EQ(server::ServerDataSet(empty.conninfo()).recordCount(), 1);
    EXPECT_EQ(store::Settings(program.dir()).serverConninfo(), empty.conninfo());

    // The next start opens the server again, without being told.
    main.reset();
    ui::TMainform& again = start("");
    EXPECT_TRUE(again.onServer());
    EXPECT_EQ(listed(), 1);
}

TEST_F(MainOnServer, ThisProgramsSavesAreFollowedInPlaceInTheServersOrder) {
    server::ServerStore& s = *[&] {
        ui::TMainform& w = start(db.conninfo());
        return static_cast<server::ServerStore*>(w.serverStore());
    }();
    const auto listOrder = [&] {
        std::vector<std::int64_t> shown;
        for (int row = 1; row <= listed(); ++row) shown.push_back(main->listModel()->position(row));
        return shown;
    };
    const auto serverOrder = [&] {
        store::ListFilter filter = store::ListFilter::fromSettings(
            store::Settings(program.dir()),
            [&] {
                std::vector<store::ItemRecord> items;
                for (const auto& i : s.items()) items.push_back(i.item);
                return items;
            }(),
            store::ListTab::Driving);
        return s.listIds(filter);
    };
    const auto save = [&](const store::DataRecord& r) {
        const store::StoredRecord stored = s.addRecord(r, store::newSaveKey());
        ui::DataSetEvents::announce(store::DataSetChange::serverRecordSaved(stored.id, r));
        return stored;
    };
    // Same day in a different order of vehicle and user, and twins of one key.
    store::DataRecord a = drive(1), b = drive(2), c = drive(3), d = drive(4);
    b.setUser(8);
    c.setVehicle(7);
    d.setDate(today - 1);
    save(a);
    save(c);
    const store::StoredRecord twin = save(a);
    save(b);
    save(d);
    EXPECT_EQ(listOrder(), serverOrder());
    EXPECT_EQ(main->listModel()->selectedRow(), 1);  // d, the day before, went first
    // An edit that moves the record, and one that keeps its place.
    store::DataRecord moved = a;
    moved.setDate(today - 2);
    s.editRecord(twin, moved, store::newSaveKey());
    ui::DataSetEvents::announce(store::DataSetChange::serverRecordSaved(twin.id, moved, a));
    EXPECT_EQ(listOrder(), serverOrder());
    EXPECT_EQ(main->listModel()->record(1).date(), today - 2);
    // A delete.
    const int before = listed();
    const store::StoredRecord gone = s.readRecord(twin.id);
    s.deleteRecord(gone, store::newSaveKey());
    ui::DataSetEvents::announce(store::DataSetChange::serverRecordDeleted(twin.id, gone.record));
    EXPECT_EQ(listOrder(), serverOrder());
    EXPECT_EQ(listed(), before - 1);
}

TEST_F(MainOnServer, OthersSavesAreFollowedInPlaceAndTheSelectionStaysOnItsRecord) {
    server::ServerDataSet other(db.conninfo());
    const server::RecordRow kept = other.addRecord(drive(1), server::newSaveKey());
    other.addRecord(drive(2), server::newSaveKey());
    ui::TMainform& w = start(db.conninfo());
    ASSERT_EQ(listed(), 2);
    w.ComboGrid1->selectRow(1);
    w.listModel()->setSelectedRow(1);
    ASSERT_EQ(w.selectedRecordId(), kept.id);
    // The day before: it goes first, and the selection moves down with its record.
    store::DataRecord earlier = drive(3);
    earlier.setDate(today - 1);
    const server::RecordRow first = other.addRecord(earlier, server::newSaveKey());
    ASSERT_TRUE(QTest::qWaitFor([&] { return listed() == 3; }, 1500));
    EXPECT_EQ(w.listModel()->position(1), first.id);
    EXPECT_EQ(w.selectedRecordId(), kept.id);
    EXPECT_EQ(w.listModel()->selectedRow(), 2);
    // Edited elsewhere to a later day: it moves behind the others; deleted: it goes.
    store::DataRecord later = drive(3);
    later.setDate(today + 0.5);
    const server::RecordRow moved =
        other.editRecord(first.id, first.version, later, server::newSaveKey());
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.listModel()->position(3) == first.id; }, 1500));
    EXPECT_EQ(w.selectedRecordId(), kept.id);
    other.deleteRecord(moved.id, moved.version, server::newSaveKey());
    ASSERT_TRUE(QTest::qWaitFor([&] { return listed() == 2; }, 1500));
    EXPECT_EQ(w.selectedRecordId(), kept.id);
}

// More rows than the first screen: they are shown first, the rest comes from a second
// connection and is added below them; a record another program saves meanwhile is there.
TEST_F(MainOnServer, AListOfManyRowsShowsItsFirstRowsAndThenTheRest) {
    server::ServerDataSet other(db.conninfo());
    std::vector<store::DataRecord> many;
    for (int i = 1; i <= 600; ++i) many.push_back(drive(i));
    other.addRecords(many, 14);
    ui::TMainform& w = start(db.conninfo());
    ASSERT_FALSE(w.startFailed());
    QAbstractItemModel* shown = w.ComboGrid1->model();  // as painted, nothing waited for
    EXPECT_GE(shown->rowCount(), 1 + 256);
    w.ComboGrid1->selectRow(3);
    w.listModel()->setSelectedRow(3);
    const std::int64_t selected = w.selectedRecordId();
    ASSERT_GT(selected, 0);
    store::DataRecord last = drive(601);
    last.setDate(today + 0.9);
    other.addRecord(last, server::newSaveKey());
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown->rowCount() == 1 + 601; }, 3000));
    EXPECT_EQ(w.selectedRecordId(), selected);
    EXPECT_EQ(w.ComboGrid1->Cells(4, 601), QStringLiteral("車両1"));
    EXPECT_EQ(w.listModel()->record(601).price(), 601);
    EXPECT_EQ(w.listModel()->record(1).price(), 1);
}

// ツール → 利用者とその権限: an administrator adds an account and disables it; typing
// mistakes are said before anything is sent; on a data folder the window does not open.
TEST_F(MainOnServer, TheAccountsWindowAddsAndDisablesAccountsOfTheServer) {
    const std::string name = "clerk_" + std::to_string(::getpid());
    const quil::test::DroppedRole drop(name);
    std::unique_ptr<ui::AppWindows> app = startProgram(db.conninfo());
    ui::TMainform& w = *app->Mainform;
    ASSERT_NE(w.action(QStringLiteral("Accounts1")), nullptr);
    w.action(QStringLiteral("Accounts1"))->trigger();
    auto* form = w.findChild<QDialog*>(QStringLiteral("AccountForm"));
    ASSERT_NE(form, nullptr);
    ASSERT_TRUE(form->isVisible());
    const auto edit = [&](const char* n) {
        return form->findChild<QLineEdit*>(QString::fromLatin1(n));
    };
    const auto click = [&](const char* n) {
        form->findChild<QPushButton*>(QString::fromLatin1(n))->click();
    };
    auto* table = form->findChild<QTableWidget*>(QStringLiteral("AccountTable"));
    edit("NameEdit")->setText(QString::fromStdString(name));
    form->findChild<QComboBox*>(QStringLiteral("RoleBox"))->setCurrentText(QStringLiteral("事務"));
    edit("PasswordEdit")->setText(QStringLiteral("clerk-pass-1"));
    edit("AgainEdit")->setText(QStringLiteral("clerk-pass-2"));
    click("AddButton");
    EXPECT_EQ(prompts.last().text, QStringLiteral("2 つのパスワードが一致しません。"));
    edit("AgainEdit")->setText(QStringLiteral("clerk-pass-1"));
    click("AddButton");
    ASSERT_EQ(table->rowCount(), 1) << prompts.last().text.toStdString();
    EXPECT_EQ(table->item(0, 0)->text(), QString::fromStdString(name));
    EXPECT_EQ(table->item(0, 1)->text(), QStringLiteral("事務"));
    EXPECT_TRUE(edit("PasswordEdit")->text().isEmpty()) << "no password stays on screen";
    table->selectRow(0);
    prompts.answerQuestion(true);
    click("DisableButton");
    EXPECT_EQ(table->item(0, 2)->text(), QStringLiteral("無効"));
    // The account really cannot log in now.
    EXPECT_THROW(server::PgConnection(db.conninfo() + " user=" + name), server::ServerError);

    app.reset();
    std::unique_ptr<ui::AppWindows> onFolderApp = startProgram("");
    prompts.clear();
    onFolderApp->Mainform->action(QStringLiteral("Accounts1"))->trigger();
    EXPECT_TRUE(prompts.last().text.contains(QStringLiteral("サーバーのデータセットで使う機能")));
    auto* onFolder = onFolderApp->Mainform->findChild<QDialog*>(QStringLiteral("AccountForm"));
    ASSERT_NE(onFolder, nullptr);
    EXPECT_FALSE(onFolder->isVisible());
}

// The alcohol-check register on a server: the status count and the register's list read
// the server's tables, and checks another program records show here on their own.
TEST_F(MainOnServer, TheRegisterCountsAndListsTheServersChecks) {
    server::ServerDataSet(db.conninfo()).addRecord(drive(1), server::newSaveKey());
    std::unique_ptr<ui::AppWindows> app = startProgram(db.conninfo());
    ui::TMainform& w = *app->Mainform;
    auto* status = w.findChild<QLabel*>(QStringLiteral("AlcoholStatus"));
    ASSERT_NE(status, nullptr);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return status->text().contains(QStringLiteral("漏れ(今月): 1件")); }, 3000))
        << status->text().toStdString();
    // Another program records both checks of the drive.
    auto checks = server::openServerCheckStore(db.conninfo());
    for (auto timing : {alcohol::CheckTiming::BeforeDrive, alcohol::CheckTiming::AfterDrive}) {
        alcohol::AlcoholCheck c;
        c.when = today + 0.01;
        c.timing = timing;
        c.driver = 1;
        c.vehicle = 0;
        c.checker = "安全 太郎";
        checks->add(c);
    }
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return status->text().contains(QStringLiteral("漏れ(今月): 0件")); }, 3000))
        << status->text().toStdString();
    w.action(QStringLiteral("AlcoholList1"))->trigger();
    auto* list = w.findChild<QWidget*>(QStringLiteral("AlcoholListForm"));
    ASSERT_NE(list, nullptr);
    auto* table = list->findChild<QAbstractItemView*>(QStringLiteral("CheckTable"));
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->model()->rowCount(), 2);
}

// The overdue notice reads the maintenance cycles, the missing-check count the register,
// and 走行距離チェック its stored limit, as they read the records, over a connection of their
// worker's own: a slow server never holds the window's thread for them, nor for a check
// another program records.
TEST_F(MainOnServer, TheStatusCountsAndTheOdometerCheckReadTheServerOffTheWindowsThread) {
    server::openServerAnalysisStore(db.conninfo())->setDailyLimitKm(1234);
    struct OnWorkerThreads {
        OnWorkerThreads() { qApp->setProperty(ui::BackgroundWork::kInlineProperty, false); }
        ~OnWorkerThreads() { qApp->setProperty(ui::BackgroundWork::kInlineProperty, true); }
    } const onWorkers;
    auto cycles = std::make_shared<std::atomic<int>>(0);
    auto registers = std::make_shared<std::atomic<int>>(0);
    auto onWindow = std::make_shared<std::atomic<int>>(0);
    const auto counted = [onWindow](auto open, std::shared_ptr<std::atomic<int>> opened) {
        return [open, opened, onWindow](const std::string& conninfo) {
            ++*opened;
            if (QThread::currentThread() == qApp->thread()) ++*onWindow;
            return open(conninfo);
        };
    };
    std::unique_ptr<ui::AppWindows> app =
        startProgram(db.conninfo(), [&](ui::ServerOpeners& openers) {
            openers.analysis = counted(openers.analysis, cycles);
            openers.checks = counted(openers.checks, registers);
        });
    auto* status = app->Mainform->findChild<QLabel*>(QStringLiteral("AlcoholStatus"));
    ASSERT_NE(status, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return *cycles > 0 && *registers > 0; }, 3000));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return status->text().contains(QStringLiteral("0件")); }, 3000));
    // Another program records a check: the count reads the register again.
    const int before = *registers;
    alcohol::AlcoholCheck c;
    c.when = today + 0.01;
    c.driver = 1;
    c.vehicle = 0;
    c.checker = "安全 太郎";
    server::openServerCheckStore(db.conninfo())->add(c);
    EXPECT_TRUE(QTest::qWaitFor([&] { return *registers > before; }, 3000));
    analysis::OdometerCheckForm& odometers = *app->Analysis->odometerCheckForm();
    odometers.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return odometers.LimitBox->isEnabled(); }, 3000));
    EXPECT_EQ(odometers.LimitBox->value(), 1234);
    EXPECT_EQ(*onWindow, 0);
    app.reset();  // waits for the workers
}

// The program's register writes through a connection of its own: its check is heard once,
// as its own, and not a second time through the watch as another program's; another
// program's check still is.
TEST_F(MainOnServer, ThisProgramsRegisterChangeIsHeardOnceAndOthersStill) {
    ui::TMainform& w = start(db.conninfo());
    int mine = 0, elsewhere = 0;
    QObject listener;
    ui::DataSetEvents::listen(&listener, [&](const store::DataSetChange& c) {
        if (c.what != store::DataSetChange::What::ExtensionChanged) return;
        ++(c.source == store::ChangeSource::Elsewhere ? elsewhere : mine);
    });
    alcohol::AlcoholCheck c;
    c.when = today + 0.01;
    c.driver = 1;
    c.vehicle = 0;
    c.checker = "安全 太郎";
    alcohol::openCheckStore(w)->add(c);
    EXPECT_EQ(mine, 1);
    EXPECT_FALSE(QTest::qWaitFor([&] { return elsewhere > 0; }, 1500));
    server::openServerCheckStore(db.conninfo())->add(c);
    EXPECT_TRUE(QTest::qWaitFor([&] { return elsewhere == 1; }, 3000));
    EXPECT_EQ(mine, 1);
}

// A driver on the web page (the service's role, his session's token) records a drive and
// a check: the office's list and register show them without being asked.
TEST_F(MainOnServer, WhatADriverRecordsOnThePageArrivesInTheListAndTheRegister) {
    server::PgConnection owner(db.conninfo());
    server::WebPolicy cheap;
    cheap.hashOps = 1;
    cheap.hashMemory = 64 * 1024;
    server::WebAccounts(owner, {}, cheap).createAccount("driver1", 1, "first-pass-1");
    quil::test::LoginRole service(db.conninfo(), "quil_web");
    server::PgConnection web(service.conninfo());
    server::WebAccounts accounts(web, {}, cheap);
    const std::string token = accounts.logIn("driver1", "first-pass-1", "192.0.2.1").token;
    server::WebRecords page(web, token, *accounts.checkSession(token), "192.0.2.1");

    std::unique_ptr<ui::AppWindows> app = startProgram(db.conninfo());
    ui::TMainform& w = *app->Mainform;
    ASSERT_EQ(listed(w), 0);
    w.action(QStringLiteral("AlcoholList1"))->trigger();
    auto* list = w.findChild<QWidget*>(QStringLiteral("AlcoholListForm"));
    ASSERT_NE(list, nullptr);
    auto* table = list->findChild<QAbstractItemView*>(QStringLiteral("CheckTable"));
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->model()->rowCount(), 0);

    page.addDrive(drive(7), "webdrive00000000000001");
    alcohol::AlcoholCheck c;
    c.when = today + 0.01;
    c.driver = 1;
    c.vehicle = 0;
    c.checker = "安全 太郎";
    c.method = alcohol::CheckMethod::Phone;
    page.addCheck(c, "webcheck00000000000001");
    EXPECT_TRUE(QTest::qWaitFor([&] { return listed(w) == 1; }, 1500));
    EXPECT_TRUE(QTest::qWaitFor([&] { return table->model()->rowCount() == 1; }, 1500));
}

// The connection breaks under the window (here: the server ends it): said once in the
// status bar, asked again from a thread of its own, and back with the list read again.
TEST_F(MainOnServer, ABrokenConnectionIsSaidOnceAndTheWindowComesBackByItself) {
    server::ServerDataSet other(db.conninfo());
    other.addRecord(drive(1), server::newSaveKey());
    ui::TMainform& w = start(db.conninfo());
    ASSERT_EQ(listed(), 1);
    auto& store = dynamic_cast<server::ServerStore&>(*w.serverStore());
    const int pid = store.dataSet().connection().backendPid();
    server::PgConnection(quil::test::adminConninfo())
        .exec("SELECT pg_terminate_backend($1)", {server::PgParam::number(pid)});
    const auto lostLabel = [&] { return w.findChild<QLabel*>(QStringLiteral("ServerLostLabel")); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return lostLabel() != nullptr; }, 3000));
    // Whole at the window's first-run width beside the register's count, with the full
    // sentence as its tooltip: the status bar does not widen the window.
    w.resize(640, 460);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.width(), 640);
    for (QLabel* label : w.statusBar()->findChildren<QLabel*>()) {
        if (label->isVisible()) {
            EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
        }
    }
    // Also in a desktop's usual 11-point font, beside the register's widest count (the
    // program's other status), with room for the labels' spacing and the size grip.
    QFont desktop = lostLabel()->font();
    desktop.setPointSize(11);
    const QFontMetrics metrics(desktop);
    EXPECT_LE(metrics.horizontalAdvance(lostLabel()->text()) +
                  metrics.horizontalAdvance(QStringLiteral("アルコールチェック漏れ(今月): 数えられません")) +
                  40,
              640);
    EXPECT_EQ(lostLabel()->toolTip(),
              QStringLiteral("サーバーとの接続が切れました。再接続を待っています…"));
    // Saved elsewhere while this window was away: read when it is back.
    other.addRecord(drive(2), server::newSaveKey());
    EXPECT_TRUE(QTest::qWaitFor([&] { return lostLabel() == nullptr; }, 8000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return listed() == 2; }, 2000));
    EXPECT_NE(store.dataSet().connection().backendPid(), pid);
}

// A server that goes away while a record is being typed: OK fails at once with the
// window's connection (no waits between attempts on the window's thread), says that the
// server cannot be reached, and keeps the dialog open with what was typed; the status bar
// says so too. When the server takes connections again the window comes back by itself
// and the same OK stores the record once.
TEST_F(MainOnServer, WithTheServerAwayOkKeepsTheTypedEntryAndTheWindowComesBack) {
    auto app = startProgram(db.conninfo());
    ui::TMainform& w = *app->Mainform;
    ASSERT_EQ(listed(w), 0);
    w.action(QStringLiteral("ToolButton1"))->trigger();
    ui::TDataInputForm& entry = *app->DataInputForm;
    ASSERT_TRUE(entry.isVisible());
    entry.valueBox1()->setText(QStringLiteral("1000"));
    entry.valueBox2()->setText(QStringLiteral("1250"));

    server::PgConnection admin(quil::test::adminConninfo());
    const auto allowConnections = [&](bool allow) {
        admin.run("ALTER DATABASE \"" + db.name() + "\" WITH ALLOW_CONNECTIONS " +
                  (allow ? "true" : "false"));
    };
    allowConnections(false);
    admin.exec(
        "SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
        "WHERE datname = $1 AND pid <> pg_backend_pid()",
        {server::PgParam::text(db.name())});

    const std::size_t boxes = prompts.boxes().size();
    entry.Button1()->click();
    ASSERT_EQ(prompts.boxes().size(), boxes + 1);
    EXPECT_TRUE(prompts.last().text.contains(QStringLiteral("サーバー")))
        << prompts.last().text.toStdString();
    EXPECT_TRUE(entry.isVisible());
    EXPECT_EQ(entry.valueBox1()->text(), QStringLiteral("1000"));
    EXPECT_EQ(entry.valueBox2()->text(), QStringLiteral("1250"));
    const auto lostLabel = [&] { return w.findChild<QLabel*>(QStringLiteral("ServerLostLabel")); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return lostLabel() != nullptr; }, 3000));

    allowConnections(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return lostLabel() == nullptr; }, 8000));
    entry.Button1()->click();
    EXPECT_FALSE(entry.isVisible()) << prompts.last().text.toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return listed(w) == 1; }, 2000));
    EXPECT_EQ(server::ServerDataSet(db.conninfo()).recordCount(false), 1);
}
