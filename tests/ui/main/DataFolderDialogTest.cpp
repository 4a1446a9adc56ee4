// The data folder dialog in its four modes, opened from the file menu of the whole program,
// with every answer and message through the scripted prompts.
#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QTreeView>

#include "LegacyFixtures.h"
#include "MainTestSupport.h"
#include "store/Date.h"
#include "ui/dialogs/DataSetEvents.h"
#include "ui/dialogs/TCarform.h"
#include "ui/dialogs/TDataInputForm.h"
#include "ui/dialogs/TItemForm.h"
#include "ui/dialogs/TViewItemForm.h"
#include "ui/dialogs/Tdirsetform.h"
#include "ui/main/AppWindows.h"
#include "ui/main/RecordCommands.h"
#include "ui/tools/alcohol/AlcoholWindows.h"
#include "ui/tools/alcohol/TMissingCheckForm.h"

using namespace quil::store;
using namespace quil::testing;
using quil::ui::PromptIcon;

namespace {

class FolderDialog : public MainWindowTest {
protected:
    TempDir other;

    void SetUp() override {
        writeDataSet(tmp, 40000.5, 2);
        Settings s(dir());
        s.writeFirstRun(2003);
        s.setPeriodKind(PeriodKind::All);
        s.setCarMask("1");
        s.setDriverMask("1");
        app = std::make_unique<quil::ui::AppWindows>(dir(), quil::ui::MainformOptions{false});
        app->Mainform->show();
        QApplication::processEvents();
    }

    void writeDataSet(const TempDir& t, double stamp, int records) {
        auto v = item(ItemKind::Vehicle, "軽トラ", stamp);
        v.setVersion(101);
        writeRecords<ItemRecord>(t.file("Quil.qui"), {v, item(ItemKind::User, "山田", stamp)});
        std::vector<DataRecord> rs;
        for (int i = 0; i < records; ++i) {
            auto r = makeRecord(37000 + i, 0, 1, 0, 0);
            r.setStamp(stamp);
            r.setItem(-1);  // no purpose chosen
            rs.push_back(r);
        }
        writeRecords(t.file("Quil.qud"), rs);
    }

    quil::ui::TMainform& window() { return *app->Mainform; }
    quil::ui::Tdirsetform& dialog() { return *app->Dirsetform; }
    // Opens the dialog by its menu command, types `path` and presses OK.
    void choose(const char* command, const std::string& path) {
        window().action(QString::fromUtf8(command))->trigger();
        ASSERT_TRUE(dialog().isVisible());
        dialog().Edit1->setText(QString::fromStdString(path));
        dialog().Button1->click();
    }
    QString lastText() const { return prompts.last().text; }
};

TEST_F(FolderDialog, EachModeHasItsCaptionPromptAndStartingFolder) {
    struct Mode {
        const char* command;
        const char* caption;
        const char* prompt;
    };
    const Mode modes[] = {
        {"DirSet1", "保存先の設定", "保存先のパスを設定して下さい。"},
        {"Backup1", "データのバックアップ", "データのバックアップ先のパスを設定して下さい。"},
        {"Restore1", "データの読み込み", "データの読み込み先のパスを設定して下さい。"},
        {"Legacy1", "ミルテ台帳データの読み込み", "データの読み込み先のパスを設定して下さい。"}};
    for (const Mode& m : modes) {
        window().action(QString::fromUtf8(m.command))->trigger();
        ASSERT_TRUE(dialog().isVisible()) << m.command;
        EXPECT_EQ(dialog().windowTitle(), QString::fromUtf8(m.caption));
        EXPECT_EQ(dialog().Label1->text(), QString::fromUtf8(m.prompt));
        const QString start = std::string(m.command) == "DirSet1"
                                  ? QString::fromStdString(dir())
                                  : QDir::homePath() + QLatin1Char('/');
        EXPECT_EQ(dialog().Edit1->text(), QDir::toNativeSeparators(start)) << m.command;
        dialog().Button2->click();
        EXPECT_FALSE(dialog().isVisible());
    }
    EXPECT_TRUE(prompts.boxes().empty());
}

TEST_F(FolderDialog, ADriveThatIsNotReadyGivesWayToTheTreesDrive) {
    window().action(QStringLiteral("DirSet1"))->trigger();
    const QString root = dialog().DriveComboBox1->currentData().toString();
    dialog().DriveComboBox1->addItem(QStringLiteral("X:"), QStringLiteral("/no/such/drive/"));
    dialog().DriveComboBox1Change(dialog().DriveComboBox1->count() - 1);
    EXPECT_EQ(dialog().DriveComboBox1->currentData().toString(), root);
    EXPECT_EQ(QDir::fromNativeSeparators(dialog().Edit1->text()),
              QDir::cleanPath(QString::fromStdString(dir())));
}

// Enter in the path box shows the folder typed in the tree (opened down to it and in view)
// and moves on to OK; a second Enter runs the command.
TEST_F(FolderDialog, EnterInThePathBoxShowsThatFolderAndMovesToOk) {
    const QString target = QString::fromStdString(other.dir() + "x/y");
    ASSERT_TRUE(QDir().mkpath(target));
    window().action(QStringLiteral("Backup1"))->trigger();
    ASSERT_TRUE(dialog().isVisible());
    dialog().activateWindow();
    dialog().Edit1->setFocus();
    dialog().Edit1->selectAll();
    QTest::keyClicks(dialog().Edit1, QDir::toNativeSeparators(target));
    QTest::keyClick(dialog().Edit1, Qt::Key_Return);
    QTreeView* tree = dialog().DirectoryListBox1;
    const auto* model = static_cast<const QFileSystemModel*>(tree->model());
    EXPECT_EQ(model->filePath(tree->currentIndex()), target);
    EXPECT_EQ(dialog().focusWidget(), dialog().Button1);
    // Every folder above it is opened, and its row comes into view once they are read.
    for (QModelIndex p = tree->currentIndex().parent(); p.isValid() && p != tree->rootIndex();
         p = p.parent())
        EXPECT_TRUE(tree->isExpanded(p)) << model->filePath(p).toStdString();
    QTRY_VERIFY(tree->viewport()->rect().intersects(tree->visualRect(tree->currentIndex())));

    QTest::keyClick(dialog().Button1, Qt::Key_Return);
    EXPECT_EQ(lastText(), QStringLiteral("バックアップが完了しました。"));
    EXPECT_EQ(readBytes(target.toStdString() + "/Quil.qud"), readBytes(tmp.file("Quil.qud")));
}

TEST_F(FolderDialog, BackupAsksBeforeCreatingAFolderAndRemembersIt) {
    const std::string target = other.dir() + "a/b";
    choose("Backup1", target);
    EXPECT_EQ(prompts.last().kind, quil::ui::ScriptedPrompts::Kind::Question);
    EXPECT_EQ(prompts.last().title, QStringLiteral("警告"));
    EXPECT_EQ(lastText(), QStringLiteral("フォルダは存在しません。作成しますか？"));
    EXPECT_TRUE(dialog().isVisible()) << "No keeps the dialog open";
    EXPECT_FALSE(QDir(QString::fromStdString(target)).exists());

    prompts.answerQuestion(true);
    dialog().Button1->click();
    EXPECT_EQ(lastText(), QStringLiteral("バックアップが完了しました。"));
    EXPECT_FALSE(dialog().isVisible());
    EXPECT_EQ(readBytes(target + "/Quil.qud"), readBytes(tmp.file("Quil.qud")));
    EXPECT_EQ(readBytes(target + "/Quil.qui"), readBytes(tmp.file("Quil.qui")));

    window().action(QStringLiteral("Restore1"))->trigger();
    EXPECT_EQ(dialog().Edit1->text(),
              QDir::toNativeSeparators(QString::fromStdString(target + "/")));
}

TEST_F(FolderDialog, SettingTheDataFolderMovesTheDataSetOnce) {
    const auto qud = readBytes(tmp.file("Quil.qud"));
    choose("DirSet1", other.dir());
    EXPECT_EQ(lastText(), QStringLiteral("保存先を") + QString::fromStdString(other.dir()) +
                              QStringLiteral("に変更しました。"));
    EXPECT_EQ(window().dataFolder(), other.dir());
    EXPECT_EQ(ini("Dir", "Dir"), other.dir());
    EXPECT_EQ(readBytes(other.file("Quil.qud")), qud);
    EXPECT_FALSE(readBytes(tmp.file("Quil.qud")));
    EXPECT_TRUE(readBytes(tmp.file("Quil.qui")));
    EXPECT_EQ(window().ComboGrid1->RowCount(), 3) << "the list still shows both records";

    // The same folder, spelt with a doubled separator: nothing changes and it says so.
    prompts.clear();
    choose("DirSet1", other.dir() + "/");
    EXPECT_EQ(prompts.last().title, QStringLiteral("お知らせ"));
    EXPECT_EQ(readBytes(other.file("Quil.qud")), qud);
    EXPECT_EQ(window().dataFolder(), other.dir());
}

// A move and a restore each announce one change, once the command is done: every window
// then reads the data set where it now is.
TEST_F(FolderDialog, MoveAndRestoreAnnounceTheirChangeOnceDone) {
    QObject listener;
    std::vector<std::pair<DataSetChange::What, std::string>> heard;
    quil::ui::DataSetEvents::listen(&listener, [&](const DataSetChange& c) {
        heard.emplace_back(c.what, window().dataFolder());
    });
    choose("DirSet1", other.dir());
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].first, DataSetChange::What::FolderChanged);
    EXPECT_EQ(heard[0].second, other.dir()) << "the new folder is in use when it is heard";

    TempDir source;
    writeDataSet(source, 41000.25, 3);
    prompts.answerQuestion(true);
    choose("Restore1", source.dir());
    ASSERT_EQ(lastText(), QStringLiteral("読み込みが完了しました。"));
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[1].first, DataSetChange::What::Replaced);
    EXPECT_EQ(window().ComboGrid1->RowCount(), 4) << "the list shows the restored records";
}

TEST_F(FolderDialog, MovingOntoAnotherDataSetAsksFirstAndNoChangesNothing) {
    writeDataSet(other, 41000.25, 48);
    const auto theirs = readBytes(other.file("Quil.qud"));
    const auto ours = readBytes(tmp.file("Quil.qud"));
    choose("DirSet1", other.dir());
    const auto asked = prompts.last();
    EXPECT_EQ(asked.kind, quil::ui::ScriptedPrompts::Kind::Question);
    EXPECT_EQ(asked.title, QStringLiteral("保存先の設定"));
    EXPECT_TRUE(asked.text.contains(QStringLiteral("記録 48 件"))) << asked.text.toStdString();
    EXPECT_TRUE(asked.text.contains(QStringLiteral("別に作られたデータ")));
    EXPECT_TRUE(dialog().isVisible());
    EXPECT_EQ(readBytes(other.file("Quil.qud")), theirs);
    EXPECT_EQ(readBytes(tmp.file("Quil.qud")), ours);
    EXPECT_EQ(window().dataFolder(), dir());

    prompts.answerQuestion(true);
    dialog().Button1->click();
    EXPECT_EQ(lastText(), QStringLiteral("保存先を") + QString::fromStdString(other.dir()) +
                              QStringLiteral("に変更しました。"));
    EXPECT_EQ(readBytes(other.file("Quil.qud")), ours);
    EXPECT_EQ(window().dataFolder(), other.dir());
}

TEST_F(FolderDialog, BackupOverAnotherDataSetAsksFirst) {
    writeDataSet(other, 41000.25, 4);
    const auto theirs = readBytes(other.file("Quil.qud"));
    choose("Backup1", other.dir());
    EXPECT_EQ(prompts.last().title, QStringLiteral("データのバックアップ"));
    EXPECT_TRUE(lastText().contains(QStringLiteral("記録 4 件")));
    EXPECT_EQ(readBytes(other.file("Quil.qud")), theirs);
    // An older backup of this data set is replaced without a question.
    writeDataSet(other, 40000.5, 1);
    prompts.clear();
    dialog().Button1->click();
    EXPECT_EQ(lastText(), QStringLiteral("バックアップが完了しました。"));
    EXPECT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(readBytes(other.file("Quil.qud")), readBytes(tmp.file("Quil.qud")));
}

TEST_F(FolderDialog, AFolderTheSettingsFileCannotHoldIsRefused) {
    const std::string korean = other.dir() + "한국";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(korean)));
    choose("DirSet1", korean);
    EXPECT_EQ(prompts.last().title, QStringLiteral("警告"));
    EXPECT_TRUE(lastText().contains(QStringLiteral("設定ファイルに書けない文字")));
    EXPECT_TRUE(readBytes(tmp.file("Quil.qud")));
    EXPECT_FALSE(readBytes(korean + "/Quil.qud"));
    EXPECT_EQ(window().dataFolder(), dir());
}

TEST_F(FolderDialog, RestoreConfirmsChecksTheSourceAndReplacesTheDataSet) {
    const auto before = readBytes(tmp.file("Quil.qud"));
    // The backup is checked before anything is asked.
    choose("Restore1", other.dir());
    EXPECT_EQ(prompts.last().title, QStringLiteral("警告"));
    EXPECT_EQ(lastText(), QStringLiteral("読み込みデータがありません！"));
    EXPECT_TRUE(dialog().isVisible());
    EXPECT_EQ(readBytes(tmp.file("Quil.qud")), before);

    // The question shows both data sets; No closes the dialog and changes nothing.
    writeDataSet(other, 41000.25, 5);
    choose("Restore1", other.dir());
    EXPECT_EQ(prompts.last().title, QStringLiteral("データの読み込み"));
    EXPECT_TRUE(lastText().contains(QStringLiteral("読み込むデータ: 車両 1 台、記録 5 件")))
        << lastText().toStdString();
    EXPECT_TRUE(lastText().contains(QStringLiteral("現在のデータ　: ")));
    EXPECT_FALSE(dialog().isVisible()) << "No closes the dialog";
    EXPECT_EQ(readBytes(tmp.file("Quil.qud")), before);

    // With the entry dialog open, the restore closes it before replacing the data set.
    window().action(QStringLiteral("Restore1"))->trigger();
    dialog().Edit1->setText(QString::fromStdString(other.dir()));
    window().commands()->openEntry(quil::store::RecordKind::Driving, true);
    ASSERT_TRUE(app->DataInputForm->isVisible());
    prompts.answerQuestion(true);
    dialog().Button1->click();
    EXPECT_EQ(lastText(), QStringLiteral("読み込みが完了しました。"));
    EXPECT_FALSE(app->DataInputForm->isVisible());
    EXPECT_EQ(window().dataSetStamp(), 41000.25);
    EXPECT_EQ(readBytes(tmp.file("Quil.qud")), readBytes(other.file("Quil.qud")));
    EXPECT_EQ(window().ComboGrid1->RowCount(), 6);
    EXPECT_EQ(dialog().StatusBar1->currentMessage(), QStringLiteral("データ処理完了。"));
}

// An open window of the ツール menu shows the restored data set, not the replaced one.
TEST_F(FolderDialog, OpenWindowsFollowARestore) {
    ASSERT_TRUE(app->Alcohol);
    quil::alcohol::TMissingCheckForm* missing = app->Alcohol->missingForm;
    missing->show();
    QApplication::processEvents();
    const auto countText = [&] { return missing->countLabel->text(); };
    EXPECT_EQ(countText(), QStringLiteral("チェック漏れ: 2件"));
    writeDataSet(other, 41000.25, 5);
    prompts.answerQuestion(true);
    choose("Restore1", other.dir());
    ASSERT_EQ(lastText(), QStringLiteral("読み込みが完了しました。"));
    QApplication::processEvents();
    EXPECT_EQ(countText(), QStringLiteral("チェック漏れ: 5件"));
    missing->close();

    // The display filter lists the vehicles of the data set restored.
    auto v = item(ItemKind::Vehicle, "ワゴン", 42000.5);
    v.setVersion(101);
    writeRecords<ItemRecord>(other.file("Quil.qui"), {v, item(ItemKind::User, "山田", 42000.5)});
    writeRecords<DataRecord>(other.file("Quil.qud"), {});
    window().openViewItemForm(ItemKind::Vehicle);
    ASSERT_EQ(app->ViewItemForm->CheckListBox1()->count(), 1);
    EXPECT_EQ(app->ViewItemForm->CheckListBox1()->item(0)->text(), QStringLiteral("軽トラ"));
    prompts.answerQuestion(true);
    choose("Restore1", other.dir());
    ASSERT_EQ(lastText(), QStringLiteral("読み込みが完了しました。"));
    QApplication::processEvents();
    ASSERT_EQ(app->ViewItemForm->CheckListBox1()->count(), 1);
    EXPECT_EQ(app->ViewItemForm->CheckListBox1()->item(0)->text(), QStringLiteral("ワゴン"));
}

TEST_F(FolderDialog, LegacyImportReplacesTheDataSetAndSaysWhereTheLogIs) {
    const double now = encodeDate(2003, 6, 15) + encodeTime(9, 0);
    setClockForTesting([now] { return now; });
    prompts.answerQuestion(true);
    choose("Legacy1", other.dir());
    EXPECT_EQ(lastText(), QStringLiteral("読み込みデータがありません！"));
    EXPECT_TRUE(dialog().isVisible());

    LegacyWriter writer(other.dir());
    LegacyVehicle a, b;
    a.name = "一号車";
    b.name = "二号車";
    writer.vehicles({a, b});
    LegacyRefuelling bad;
    bad.month = 2, bad.day = 31;
    writer.refuellings(2, {bad});
    // An open master list editor and vehicle dialog are closed before the data set goes.
    window().openItemForm(ItemKind::User);
    app->Carform->setWindowTitle(QStringLiteral("車両情報の登録"));
    app->Carform->show();
    ASSERT_TRUE(app->ItemForm->isVisible());
    prompts.answerQuestion(true);
    dialog().Button1->click();
    EXPECT_FALSE(app->ItemForm->isVisible());
    EXPECT_FALSE(app->Carform->isVisible());
    EXPECT_FALSE(dialog().isVisible());
    EXPECT_TRUE(lastText().startsWith(QStringLiteral("読み込みが完了しました。")));
    EXPECT_TRUE(lastText().contains(QStringLiteral("1件")));
    EXPECT_TRUE(lastText().contains(QString::fromStdString(tmp.file("Errlog.txt"))));
    EXPECT_EQ(window().dataSetStamp(), now);
    EXPECT_EQ(ini("ViewItem", "Car"), "11");
    EXPECT_TRUE(window().Edit2->text().contains(QStringLiteral("二号車")));
    ASSERT_EQ(ItemStore(dir()).readAll()[0].name(), "一号車");
}

}  // namespace
