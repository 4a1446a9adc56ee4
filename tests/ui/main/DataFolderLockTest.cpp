// A data folder on a shared drive: another computer's lock makes the program ask whether to
// open the data set read-only, refuses every change then, and keeps a move out of a folder
// in use; a lock its holder left behind is taken over.
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QPushButton>
#include <QSysInfo>

#include "MainTestSupport.h"
#include "folder/ReadOnlyFileSystem.h"
#include "store/StoreError.h"
#include "ui/dialogs/DataFolderLock.h"
#include "ui/dialogs/Tdirsetform.h"
#include "ui/main/AppWindows.h"

using namespace quil::store;
using namespace quil::testing;
using quil::folder::DataFolderLock;

namespace {

class SharedFolder : public MainWindowTest {
protected:
    void SetUp() override {
        writeRecords<ItemRecord>(tmp.file("Quil.qui"),
                                 {item(ItemKind::Vehicle, "軽トラ"), item(ItemKind::User, "山田")});
        Settings(dir()).writeFirstRun(2003);
    }

    // Holds `folder` as the copy on another computer would, with its description.
    std::unique_ptr<DataFolderLock> otherComputer(const std::string& folder) {
        auto lock = std::make_unique<DataFolderLock>(folder);
        EXPECT_TRUE(lock->tryLock());
        QFile info(QString::fromStdString(folder) + QStringLiteral("Quil.lck.info"));
        EXPECT_TRUE(info.open(QIODevice::WriteOnly | QIODevice::Truncate));
        info.write("JIMU-PC\nsuzuki\n2026-12-01T08:30:00\n");
        return lock;
    }
};

TEST_F(SharedFolder, AFolderInUseOpensReadOnlyOnlyWhenTheUserSaysSo) {
    auto other = otherComputer(dir());
    run();
    EXPECT_TRUE(app->Mainform->startFailed()) << "No ends the program";
    EXPECT_EQ(prompts.last().text, QStringLiteral("JIMU-PC の suzuki さんが2026/12/01 08:30 から"
                                                  "使用しています。\n読み取り専用で開きますか？"
                                                  "（いいえを選ぶと終了します）"));
    app.reset();

    prompts.answerQuestion(true);
    auto& window = run();
    EXPECT_FALSE(window.startFailed());
    EXPECT_TRUE(window.dataSetReadOnly());
    const auto before = readBytes(tmp.file("Quil.qui"));
    EXPECT_THROW(ItemStore(dir()).append(ItemRecord()), StoreError);
    EXPECT_EQ(readBytes(tmp.file("Quil.qui")), before);

    // The commands that replace the data set say why they cannot.
    prompts.answerQuestion(true);
    window.ShowFolderDialog(3);
    app->Dirsetform->Button1->click();
    EXPECT_EQ(prompts.last().text, QString::fromUtf8(quil::folder::ReadOnlyFileSystem::kReason));
    app.reset();
    EXPECT_NO_THROW(ItemStore(dir()).append(ItemRecord())) << "the program's end lifts it";
}

// The copy that only reads: its own settings folder (a second computer) or the same one (a
// portable copy started from the shared folder on both computers).
class ReadOnlyCopy : public SharedFolder, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        SharedFolder::SetUp();
        Settings s(dir());
        s.setPeriodKind(PeriodKind::All);
        s.setCarMask("1");
        s.setDriverMask("1");
        DataRecord drive = makeRecord(encodeDate(2026, 3, 31) + 0.25, 0, 1, 0, 0);
        drive.setItem(-1);
        drive.setPlace(-1);
        drive.setDistance1(1000);
        drive.setDistance2(1065);
        writeRecords<DataRecord>(tmp.file("Quil.qud"), {drive});
        if (GetParam()) {
            Settings mine(settingsFolder());
            mine.writeFirstRun(2003);
            mine.setDataFolder(dir());
            mine.setPeriodKind(PeriodKind::All);
            mine.setCarMask("1");
            mine.setDriverMask("1");
        }
    }
    std::string settingsFolder() const { return GetParam() ? own.dir() : dir(); }
    quil::ui::TMainform& runReadOnly() {
        prompts.answerQuestion(true);
        app = std::make_unique<quil::ui::AppWindows>(settingsFolder(),
                                                     quil::ui::MainformOptions{false});
        app->Mainform->show();
        QApplication::processEvents();
        main.reset();
        return *app->Mainform;
    }
    QString firstCell(quil::ui::TMainform& w, int col) const { return w.ComboGrid1->Cells(col, 1); }
    TempDir own;
};

TEST_P(ReadOnlyCopy, ShowsTheDataAndStartsAndQuitsWithoutAnErrorBox) {
    auto other = otherComputer(dir());
    const auto ini = readBytes(tmp.file("Quil.ini"));
    const auto records = readBytes(tmp.file("Quil.qud"));
    auto& window = runReadOnly();
    ASSERT_FALSE(window.startFailed());
    ASSERT_TRUE(window.dataSetReadOnly());
    ASSERT_EQ(prompts.boxes().size(), 1u) << prompts.last().text.toStdString();
    EXPECT_EQ(window.ComboGrid1->RowCount(), 2) << "the other computer's record is listed";
    QStringList row;
    for (int c = 1; c < window.ComboGrid1->ColCount(); ++c) row << firstCell(window, c);
    EXPECT_TRUE(row.contains(QStringLiteral("2026/03/31"))) << row.join(u',').toStdString();
    EXPECT_FALSE(window.Edit1->text().isEmpty()) << "the period box";
    EXPECT_TRUE(window.windowTitle().contains(QStringLiteral("読み取り専用")));
    EXPECT_TRUE(window.statusBar()->findChildren<QLabel*>().size() > 0);
    bool said = false;
    for (QLabel* l : window.statusBar()->findChildren<QLabel*>())
        said = said || l->text().contains(QStringLiteral("読み取り専用"));
    EXPECT_TRUE(said) << "the status bar says so";
    app.reset();
    EXPECT_EQ(prompts.boxes().size(), 1u) << prompts.last().text.toStdString();
    EXPECT_EQ(readBytes(tmp.file("Quil.qud")), records);
    EXPECT_EQ(readBytes(tmp.file("Quil.ini")), ini) << "the holder's settings";
}

INSTANTIATE_TEST_SUITE_P(SettingsFolders, ReadOnlyCopy, ::testing::Bool());

TEST(DataFolderLockText, AHolderWhoseNameIsUnknownIsSaidToBeSo) {
    DataFolderLock::Holder h;
    h.host = QStringLiteral("JIMU-PC");
    EXPECT_EQ(DataFolderLock::describe(h),
              QStringLiteral("JIMU-PC の 使用者（名前は分かりません）が使用しています。"));
    h.user = QStringLiteral("suzuki");
    EXPECT_EQ(DataFolderLock::describe(h), QStringLiteral("JIMU-PC の suzuki さんが使用しています。"));
    // A lock written by a copy that put "?" for a user it did not know.
    TempDir folder;
    writeBytes(folder.file("Quil.lck.info"), "JIMU-PC\n?\n2026-12-01T08:30:00\n");
    EXPECT_TRUE(DataFolderLock(folder.dir()).holder().user.isEmpty());
}

TEST_F(SharedFolder, ALockLeftByAProgramThatIsGoneIsTakenOver) {
    // The lock of a process of this computer that no longer runs.
    QFile stale(QString::fromStdString(dir()) + QStringLiteral("Quil.lck"));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("2147483600\nquil\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    stale.close();
    auto& window = run();
    EXPECT_FALSE(window.startFailed());
    EXPECT_FALSE(window.dataSetReadOnly());
    EXPECT_TRUE(prompts.boxes().empty());
}

TEST_F(SharedFolder, MovingIntoAFolderInUseIsRefusedAndTheLockFollowsAMove) {
    TempDir busy, free;
    auto other = otherComputer(busy.dir());
    auto& window = run();
    window.ShowFolderDialog(1);
    app->Dirsetform->Edit1->setText(QString::fromStdString(busy.dir()));
    app->Dirsetform->Button1->click();
    EXPECT_TRUE(prompts.last().text.startsWith(QStringLiteral("移動先のフォルダは、JIMU-PC の")));
    EXPECT_TRUE(readBytes(tmp.file("Quil.qui")));
    EXPECT_FALSE(readBytes(busy.file("Quil.qui")));

    app->Dirsetform->Edit1->setText(QString::fromStdString(free.dir()));
    app->Dirsetform->Button1->click();
    EXPECT_EQ(window.dataFolder(), free.dir());
    EXPECT_TRUE(DataFolderLock(dir()).tryLock()) << "the old folder is free again";
    EXPECT_FALSE(DataFolderLock(free.dir()).tryLock()) << "the new folder is held";
}

TEST_F(SharedFolder, ABackupIntoAFolderAnotherCopyIsUsingIsRefused) {
    TempDir busy;
    writeRecords<ItemRecord>(busy.file("Quil.qui"), {item(ItemKind::Vehicle, "別")});
    const auto theirs = readBytes(busy.file("Quil.qui"));
    auto other = otherComputer(busy.dir());
    auto& window = run();
    window.ShowFolderDialog(2);
    app->Dirsetform->Edit1->setText(QString::fromStdString(busy.dir()));
    app->Dirsetform->Button1->click();
    EXPECT_TRUE(
        prompts.last().text.startsWith(QStringLiteral("バックアップ先のフォルダは、JIMU-PC の")))
        << prompts.last().text.toStdString();
    EXPECT_EQ(readBytes(busy.file("Quil.qui")), theirs);
}

TEST(DataFolderLockFailure, SaysWhatKeptTheLockFileFromBeingMade) {
    TempDir t;
    DataFolderLock lock(t.dir() + "missing/");
    EXPECT_FALSE(lock.tryLock());
    const QString why = lock.failure();
    EXPECT_TRUE(why.contains(QStringLiteral("作れません"))) << why.toStdString();
    EXPECT_FALSE(why.contains(QStringLiteral("使用しています")));
}

}  // namespace

namespace {

// The lock taken on another thread while the window starts ends the same as one taken at
// once: held when the folder is free, a question naming the holder when it is not.
TEST(DataFolderAccess, ALockTakenAlongsideTheStartUpEndsAsOneTakenAtOnce) {
    TempDir free;
    std::vector<QString> asked;
    auto ask = [&](const QString& holder) {
        asked.push_back(holder);
        return false;
    };
    auto access = quil::folder::DataFolderAccess::open(
        quil::folder::DataFolderAccess::startOpening(free.dir()), ask);
    ASSERT_TRUE(access);
    EXPECT_FALSE(access->readOnly());
    EXPECT_TRUE(asked.empty());
    EXPECT_FALSE(DataFolderLock(free.dir()).tryLock()) << "held";

    // A second start over the same folder finds it held and is told by whom.
    EXPECT_FALSE(quil::folder::DataFolderAccess::open(
        quil::folder::DataFolderAccess::startOpening(free.dir()), ask));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].endsWith(QStringLiteral("使用しています。"))) << asked[0].toStdString();

    access.reset();
    EXPECT_TRUE(DataFolderLock(free.dir()).tryLock()) << "released with the access";
}

// The program and quil-tool take one lock: each refuses while the other holds the folder.
TEST(DataFolderLockText, TheProgramAndQuilToolTakeTheSameLock) {
    TempDir folder;
    {
        quil::folder::FolderLock tool(folder.dir());
        ASSERT_TRUE(tool.acquire());
        DataFolderLock program(folder.dir());
        EXPECT_FALSE(program.tryLock());
        EXPECT_TRUE(program.failure().endsWith(QStringLiteral("使用しています。")))
            << program.failure().toStdString();
    }
    DataFolderLock program(folder.dir());
    ASSERT_TRUE(program.tryLock());
    quil::folder::FolderLock tool(folder.dir());
    EXPECT_FALSE(tool.acquire());
    EXPECT_NE(tool.failure().find("このデータを開いています"), std::string::npos);
}

// A window that is made but never shown lets the lock go when it closes.
TEST_F(SharedFolder, AWindowNeverShownReleasesTheLockItWasTaking) {
    { quil::ui::TMainform window(dir()); }
    EXPECT_TRUE(DataFolderLock(dir()).tryLock());
    EXPECT_FALSE(readBytes(tmp.file("Quil.lck.info"))) << "no holder is named";
}

}  // namespace
