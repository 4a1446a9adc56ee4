// Start-up and shutdown of the main window in a temporary program folder.
#include <QFile>
#include <QLineEdit>
#include <QStatusBar>
#include <QTabBar>

#include <filesystem>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "MainTestSupport.h"
#include "store/Date.h"
#include "ui/components/TSingleInstance.h"

using namespace quil::store;
using namespace quil::testing;

namespace {

class MainformStart : public MainWindowTest {};

}  // namespace

TEST_F(MainformStart, FirstStartInAnEmptyFolderCreatesTheSettingsAndItemFiles) {
    setClockForTesting([] { return encodeDate(2003, 6, 15) + 0.5; });
    start();
    auto iniBytes = readBytes(tmp.file("Quil.ini"));
    ASSERT_TRUE(iniBytes);
    EXPECT_EQ(ini("Version", "No"), "0.30");
    EXPECT_EQ(ini("Location", "Width"), "640");
    EXPECT_EQ(ini("Dir", "Dir"), dir());
    EXPECT_EQ(ini("Item", "Time"), "1");
    EXPECT_EQ(ini("Item", "Time1"), "2003");
    EXPECT_EQ(ini("ViewItem", "Car"), "1");
    EXPECT_EQ(ini("ViewItem", "Purpose"), "11");

    auto items = ItemStore(dir()).readAll();
    ASSERT_EQ(items.size(), 7u);
    EXPECT_EQ(items[0].stamp(), encodeDate(2003, 6, 15) + 0.5);
    EXPECT_EQ(items[0].registered(), encodeDate(2003, 6, 15));
    EXPECT_EQ(main->dataSetStamp(), encodeDate(2003, 6, 15) + 0.5);

    EXPECT_EQ(main->Edit1->text(), QStringLiteral("2003年　(2003/01/01～2003/12/31)"));
    EXPECT_EQ(main->Edit2->text(), QStringLiteral("車両1"));
    EXPECT_EQ(main->Edit3->text(), QStringLiteral("使用者1"));
    EXPECT_EQ(main->TabControl1->tabText(2), QStringLiteral("点検・整備記録"));
    // No record file yet: titles and one empty row, no row index.
    EXPECT_EQ(rows(), 2);
    EXPECT_EQ(cell(1, 0), QStringLiteral("No"));
    EXPECT_EQ(cell(3, 0), QStringLiteral("時間"));
    EXPECT_EQ(cell(1, 1), QString());
    EXPECT_FALSE(readBytes(tmp.file("Data.idx")));
    EXPECT_TRUE(prompts.boxes().empty());
    EXPECT_EQ(main->frameGeometry().width(), 640);  // the outer width, frame included
}

TEST_F(MainformStart, ExitSavesPlacementAndWidthsAndRemovesTheRowIndex) {
    start();
    writeBytes(tmp.file("Data.idx"), std::string(8, '\0'));
    main->ComboGrid1->setColWidths(3, 123);
    main->resize(700, 500);
    const QRect outer = main->frameGeometry();
    ASSERT_GT(outer.width(), 700) << "the test needs a window frame";
    main->close();
    // Location keeps the outer bounds.
    EXPECT_EQ(ini("Location", "Width"), std::to_string(outer.width()));
    EXPECT_EQ(ini("Location", "Height"), std::to_string(outer.height()));
    EXPECT_EQ(ini("Location", "Left"), std::to_string(outer.x()));
    EXPECT_EQ(ini("Location", "Top"), std::to_string(outer.y()));
    EXPECT_EQ(ini("Dir", "ExeDir"), dir());
    EXPECT_EQ(ini("TabWidth", "03"), "123");
    EXPECT_EQ(ini("TabWidth", "011"), "75");
    EXPECT_FALSE(readBytes(tmp.file("Data.idx")));
}

TEST_F(MainformStart, SavedPlacementAndWidthsAreUsed) {
    Settings s(dir());
    s.writeFirstRun(2003);
    s.writeInteger(SettingKey::Width, 800);
    s.writeInteger(SettingKey::Height, 600);
    s.writeText(SettingKey::DataDir, "");
    s.ini().writeText("TabWidth", "02", "99");
    start();
    EXPECT_EQ(main->frameGeometry().width(), 800);
    EXPECT_EQ(main->frameGeometry().height(), 600);
    EXPECT_LT(main->width(), 800);
    EXPECT_EQ(main->ComboGrid1->ColWidths(2), 99);
    EXPECT_EQ(main->ComboGrid1->ColWidths(1), 30);
    EXPECT_EQ(main->dataFolder(), dir());
}

TEST_F(MainformStart, ProgramFolderMovedWithItsDataFolderFindsTheDataBelowIt) {
    std::filesystem::create_directories(tmp.file("data"));
    writeRecords<ItemRecord>(tmp.file("data/Quil.qui"),
                             {item(ItemKind::Vehicle, "移動車"), item(ItemKind::User, "山田")});
    Settings s(dir());
    s.writeFirstRun(2003);
    s.writeText(SettingKey::DataDir, "/nowhere/old/data/");
    s.writeText(SettingKey::ExeDir, "/nowhere/old/");
    start();
    EXPECT_EQ(main->dataFolder(), dir() + "data/");
    EXPECT_EQ(main->Edit2->text(), QStringLiteral("移動車"));
    EXPECT_EQ(ini("Dir", "Dir"), "/nowhere/old/data/");  // kept until the user sets one
}

// A second computer's Quil.ini names only the shared data folder: nothing is chosen to show,
// and the empty boxes say how to choose.
TEST_F(MainformStart, ASettingsFileWithOnlyTheDataFolderHintsToChooseVehiclesAndUsers) {
    std::filesystem::create_directories(tmp.file("data"));
    writeRecords<ItemRecord>(tmp.file("data/Quil.qui"),
                             {item(ItemKind::Vehicle, "共用車"), item(ItemKind::User, "山田")});
    Settings(dir()).writeText(SettingKey::DataDir, dir() + "data/");
    start();
    EXPECT_EQ(main->dataFolder(), dir() + "data/");
    EXPECT_TRUE(main->Edit2->text().isEmpty());
    EXPECT_EQ(main->Edit2->placeholderText(),
              QStringLiteral("［車両］ボタンで表示する車両を選んで下さい。"));
    EXPECT_EQ(main->Edit3->placeholderText(),
              QStringLiteral("［使用者］ボタンで表示する使用者を選んで下さい。"));
    // Once chosen, the names show and the hint goes.
    Settings(dir()).setCarMask("1");
    main->displaySummary(ItemKind::Vehicle);
    EXPECT_EQ(main->Edit2->text(), QStringLiteral("共用車"));
    EXPECT_TRUE(main->Edit2->placeholderText().isEmpty());
}

TEST_F(MainformStart, VanishedDataFolderFallsBackToTheProgramFolderAndSeedsIt) {
    Settings s(dir());
    s.writeFirstRun(2003);
    s.writeText(SettingKey::DataDir, "/nowhere/data/");
    start();
    EXPECT_EQ(main->dataFolder(), dir());
    EXPECT_EQ(ItemStore(dir()).readAll().size(), 7u);
}

TEST_F(MainformStart, EachDataFileProblemEndsTheProgramWithItsMessage) {
    auto qui = [&](double stamp, int version, const char* sig) {
        auto r = item(ItemKind::Vehicle, "A", stamp);
        r.setVersion(static_cast<std::int16_t>(version));
        auto b = bytesOf<ItemRecord>({r});
        b[1] = sig[0];
        b[2] = sig[1];
        writeBytes(tmp.file("Quil.qui"), b);
    };
    auto qud = [&](double stamp, int version, const char* sig) {
        auto r = makeRecord(1, 0, 0);
        r.setStamp(stamp);
        r.setVersion(static_cast<std::int16_t>(version));
        auto b = bytesOf<DataRecord>({r});
        b[1] = sig[0];
        b[2] = sig[1];
        writeBytes(tmp.file("Quil.qud"), b);
    };
    struct Case {
        std::function<void()> make;
        QString message;
    } cases[] = {
        {[&] { qui(1, 101, "QX"); }, QStringLiteral("Quil.quiファイルが壊れています。")},
        {[&] { qui(1, 102, "QI"); },
         QStringLiteral("新バージョンのファイル型式はサポートしていません。")},
        {[&] { qui(1, 101, "QI"), qud(1, 101, "XD"); },
         QStringLiteral("Quil.qudファイルが壊れています。")},
        {[&] { qui(1, 101, "QI"), qud(2, 101, "QD"); },
         QStringLiteral("Quil.quiとQuil.qudの組み合わせに不具合があります。")},
    };
    for (auto& c : cases) {
        std::filesystem::remove(tmp.file("Quil.qud"));
        c.make();
        const auto before = readBytes(tmp.file("Quil.qud"));
        prompts.clear();
        start();
        EXPECT_TRUE(main->startFailed());
        ASSERT_EQ(prompts.boxes().size(), 1u);
        EXPECT_EQ(prompts.last().title, QStringLiteral("警告"));
        EXPECT_EQ(prompts.last().text, c.message);
        QApplication::processEvents();
        EXPECT_FALSE(main->isVisible()) << "the window closes and the program ends";
        EXPECT_EQ(rows(), 2);
        EXPECT_EQ(readBytes(tmp.file("Quil.qud")), before);
        main.reset();
    }
}

TEST_F(MainformStart, OlderFormatDataSetIsConvertedOnceAndListed) {
    auto v = item(ItemKind::Vehicle, "旧車");
    auto u = item(ItemKind::User, "旧人");
    v.setVersion(100);
    u.setVersion(100);
    writeRecords<ItemRecord>(tmp.file("Quil.qui"), {v, u});
    auto r = makeRecord(encodeDate(2003, 5, 1) + 0.5, 0, 1, 0, 0);
    r.setVersion(100);
    writeBytes(tmp.file("Quil.qud"), bytesOf<DataRecord>({r}).substr(0, 192));
    Settings s(dir());
    s.writeFirstRun(2003);
    s.setPeriodKind(PeriodKind::All);
    start();
    EXPECT_FALSE(main->startFailed());
    EXPECT_EQ(readBytes(tmp.file("Quil.qud"))->size(), 256u);
    EXPECT_EQ(ItemStore(dir()).read(1).version(), 101);
    EXPECT_EQ(cell(2, 1), QStringLiteral("2003/05/01"));
    EXPECT_EQ(cell(3, 1), QStringLiteral("00:00 ～ 00:00"));
    main.reset();
    const auto converted = readBytes(tmp.file("Quil.qud"));
    start();
    EXPECT_EQ(readBytes(tmp.file("Quil.qud")), converted);
}

TEST_F(MainformStart, EmptyRecordFileIsADataSetWithoutRecords) {
    writeRecords<ItemRecord>(tmp.file("Quil.qui"),
                             {item(ItemKind::Vehicle, "A"), item(ItemKind::User, "B")});
    writeBytes(tmp.file("Quil.qud"), "");
    start();
    EXPECT_FALSE(main->startFailed());
    EXPECT_TRUE(prompts.boxes().empty());
    EXPECT_EQ(rows(), 2);
}

TEST_F(MainformStart, AReplacementACrashCutShortIsFinishedNotTakenForAFirstRun) {
    // Killed during a restore with both data files moved aside: no Quil.qui, no Quil.qud.
    Settings(dir()).writeFirstRun(2003);
    const std::string staging = dir() + "Quil.$restore/";
    std::filesystem::create_directory(staging);
    // The mark a staging folder of ours holds: its own inode number.
    struct stat st {};
    ASSERT_EQ(::lstat(staging.c_str(), &st), 0);
    writeBytes(staging + "quil.staging", "quil-staging 1\n" + std::to_string(st.st_ino) + "\n");
    writeRecords<ItemRecord>(staging + "Quil.qui",
                             {item(ItemKind::Vehicle, "復元車"), item(ItemKind::User, "B")});
    writeRecords(staging + "Quil.qud", std::vector<DataRecord>{makeRecord(37000, 0, 1)});
    writeBytes(staging + "Quil.qui.old", "old items");
    writeBytes(staging + "swap.journal", "quil-swap 1\nput Quil.qui\nput Quil.qud\nend\n");
    start();
    EXPECT_FALSE(main->startFailed());
    EXPECT_TRUE(prompts.boxes().empty());
    EXPECT_EQ(ItemStore(dir()).listLive(ItemKind::Vehicle).at(0).name, "復元車")
        << "the restored data set, not a newly seeded one";
    EXPECT_FALSE(std::filesystem::exists(staging));
    EXPECT_TRUE(main->statusBar()->currentMessage().contains(
        QStringLiteral("中断されていたデータの置き換えを完了しました (Quil.$restore)")))
        << main->statusBar()->currentMessage().toStdString();
}

TEST_F(MainformStart, CommandsThatDoNotExistYetSaySo) {
    start();
    main->action(QStringLiteral("ToolButton6"))->trigger();
    EXPECT_EQ(prompts.last().title, QStringLiteral("お知らせ"));
    EXPECT_EQ(prompts.last().text,
              QStringLiteral("申し訳ございませんが、まだ作っていません。m(_ _)m"));
    EXPECT_EQ(prompts.last().icon, quil::ui::PromptIcon::Information);
}

TEST_F(MainformStart, ToolbarCarriesTooltipsAndStatusTexts) {
    start();
    QAction* a = main->action(QStringLiteral("ToolButton3"));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->toolTip(), QStringLiteral("点検・整備記録"));
    EXPECT_EQ(a->statusTip(), QStringLiteral("本日の点検・整備記録を登録します。"));
    EXPECT_FALSE(main->action(QStringLiteral("Legacy1"))->isVisible());
    EXPECT_FALSE(main->action(QStringLiteral("UserSetting1"))->isVisible());
    EXPECT_EQ(main->minimumSize(), QSize(590, 300));
}

TEST_F(MainformStart, ASecondCopyEndsWithoutReadingOrWritingAnyFile) {
    // The first copy holds the guard's lock.
    const QByteArray lockFile =
        QFile::encodeName(quil::ui::TSingleInstance::lockFilePath(QStringLiteral("Ident1864")));
    const int first = ::open(lockFile.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(first, 0);
    ASSERT_EQ(::flock(first, LOCK_EX | LOCK_NB), 0);
    writeBytes(tmp.file("Data.idx"), std::string("\x01\0\0\0", 4));
    {
        quil::ui::TMainform second(dir());
        EXPECT_TRUE(second.isDuplicate());
    }
    EXPECT_FALSE(readBytes(tmp.file("Quil.ini"))) << "no first-run settings";
    EXPECT_FALSE(readBytes(tmp.file("Quil.qui"))) << "no seeding";
    EXPECT_EQ(readBytes(tmp.file("Data.idx")), std::string("\x01\0\0\0", 4))
        << "the running copy's row index stays";
    QApplication::processEvents();  // the guard's quit request finds no loop to end
    ::close(first);
}
