// Start-up over damaged data sets, settings that cannot be used as they stand and files
// left behind: the program either starts usable or stops cleanly, and loses nothing.
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QTabBar>

#include "MainTestSupport.h"
#include "store/Date.h"
#include "ui/main/RecordCommands.h"

using namespace quil::store;
using namespace quil::testing;
namespace fs = std::filesystem;

namespace {

class MainformDamage : public MainWindowTest {
protected:
    void TearDown() override {
        FileSystem::setCurrent(nullptr);
        MainWindowTest::TearDown();
    }
    void items() {
        writeRecords<ItemRecord>(tmp.file("Quil.qui"),
                                 {item(ItemKind::Vehicle, "A"), item(ItemKind::User, "B")});
    }
    void settings(PeriodKind periodKind = PeriodKind::All) {
        Settings s(dir());
        s.writeFirstRun(2003);
        s.setPeriodKind(periodKind);
    }
    void expectStopped(const QString& messagePart) {
        EXPECT_TRUE(main->startFailed());
        ASSERT_FALSE(prompts.boxes().empty());
        EXPECT_EQ(prompts.last().title, QStringLiteral("警告"));
        EXPECT_TRUE(prompts.last().text.contains(messagePart)) << prompts.last().text.toStdString();
        QApplication::processEvents();
        EXPECT_FALSE(main->isVisible());
    }
};

}  // namespace

TEST_F(MainformDamage, AConversionThatFailsEndsTheStartAndChangesNothing) {
    items();
    auto r = makeRecord(encodeDate(2003, 5, 1), 0, 1, 0, 0);
    r.setVersion(100);
    const std::string old =
        bytesOf<DataRecord>({r, r}).substr(0, 192) + bytesOf<DataRecord>({r}).substr(0, 192);
    writeBytes(tmp.file("Quil.qud"), old);
    settings();
    const auto iniBefore = readBytes(tmp.file("Quil.ini"));
    FaultyFileSystem faulty(FaultyFileSystem::Op::Rename, 1);  // no room to publish
    FileSystem::setCurrent(&faulty);
    start();
    FileSystem::setCurrent(nullptr);
    expectStopped(QStringLiteral("データは変更されていません"));
    main.reset();
    EXPECT_EQ(readBytes(tmp.file("Quil.qud")), old);
    EXPECT_EQ(readBytes(tmp.file("Quil.ini")), iniBefore) << "a failed start saves no setting";
    EXPECT_FALSE(readBytes(tmp.file("tmp.$$$")));
}

TEST_F(MainformDamage, ADamagedVersionFieldIsRefusedAndTheFileKept) {
    items();
    auto first = makeRecord(1, 0, 1);
    first.setVersion(100);
    writeRecords<DataRecord>(tmp.file("Quil.qud"),
                             {first, makeRecord(2, 0, 1), makeRecord(3, 0, 1)});
    settings();
    const auto before = readBytes(tmp.file("Quil.qud"));
    start();
    expectStopped(QStringLiteral("Quil.qudファイルが壊れています。"));
    EXPECT_EQ(readBytes(tmp.file("Quil.qud")), before);
}

TEST_F(MainformDamage, RecordsWithoutTheirItemFileCreateNothingAndChangeNoSetting) {
    writeRecords<DataRecord>(tmp.file("Quil.qud"), {makeRecord(1, 0, 1)});
    settings();
    const auto iniBefore = readBytes(tmp.file("Quil.ini"));
    start();
    expectStopped(QStringLiteral("Quil.qui がありません。"));
    main.reset();
    EXPECT_FALSE(readBytes(tmp.file("Quil.qui")));
    EXPECT_EQ(readBytes(tmp.file("Quil.ini")), iniBefore);
    // And the next start says the same, not that the pair does not match.
    prompts.clear();
    start();
    expectStopped(QStringLiteral("Quil.qui がありません。"));
}

TEST_F(MainformDamage, ARecordFileShorterThanAHeaderStopsCleanly) {
    items();
    writeBytes(tmp.file("Quil.qud"), std::string(13, '\x02'));
    settings();
    start();
    expectStopped(QStringLiteral("Quil.qudファイルが壊れています。"));
    EXPECT_EQ(prompts.boxes().size(), 1u);
}

TEST_F(MainformDamage, APartialLastRecordIsReportedOnceAndKeptAtTheFirstSave) {
    items();
    writeBytes(tmp.file("Quil.qud"),
               bytesOf<DataRecord>({makeRecord(10, 0, 1, 1, 0)}) + std::string(100, '\x07'));
    settings();
    start();
    EXPECT_FALSE(main->startFailed());
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_TRUE(prompts.last().text.startsWith(
        QStringLiteral("Quil.qud の末尾に不完全な記録（100 バイト）")));
    EXPECT_EQ(rows(), 2);
    EXPECT_EQ(cell(1, 1), QStringLiteral("1"));
    RecordStore(dir()).save(makeRecord(20, 0, 1, 2, 0), std::nullopt);
    EXPECT_EQ(readBytes(tmp.file("Quil.qud.tail")), std::string(100, '\x07'));
}

TEST_F(MainformDamage, AStoredPeriodThatDoesNotParseFallsBackAndIsWrittenBack) {
    setClockForTesting([] { return encodeDate(2024, 6, 1); });
    items();
    writeRecords<DataRecord>(tmp.file("Quil.qud"),
                             {makeRecord(encodeDate(2024, 2, 1), 0, 1, 1, 0)});
    settings(PeriodKind::Month);
    Settings(dir()).setStoredPeriod(PeriodKind::Month, "200499");
    Settings(dir()).setStoredPeriod(PeriodKind::FiscalYear, "abcd");
    start();
    EXPECT_FALSE(main->startFailed());
    EXPECT_TRUE(prompts.boxes().empty());
    EXPECT_EQ(main->Edit1->text(), QStringLiteral("2024年1月　(2024/01/01～2024/01/31)"));
    EXPECT_EQ(ini("Item", "Time5"), "2024");
    EXPECT_EQ(ini("Item", "Time2"), "2024");
    EXPECT_EQ(ini("Item", "Time1"), "2003") << "a good period stays";
    EXPECT_EQ(rows(), 2) << "the list loaded (February is outside January)";
    EXPECT_EQ(cell(1, 1), QString());
    EXPECT_FALSE(rowIndex().size()) << "an empty Data.idx was written";
}

TEST_F(MainformDamage, AnOffScreenOrHugePlacementIsClampedToTheScreen) {
    items();
    settings();
    Settings s(dir());
    s.writeInteger(SettingKey::Left, -5000);
    s.writeInteger(SettingKey::Top, 90000);
    s.writeInteger(SettingKey::Width, 100000);
    s.writeInteger(SettingKey::Height, 100000);
    start();
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    // Location holds the outer bounds: the frame is what must stay on the screen.
    const QRect outer = main->frameGeometry();
    EXPECT_LE(outer.width(), std::max(area.width(), 590));
    EXPECT_LE(outer.height(), std::max(area.height(), 300));
    EXPECT_TRUE(area.contains(outer)) << "the whole window lies on the screen";

    // A window hanging over the bottom right corner comes back whole, its size kept.
    main.reset();
    s.writeInteger(SettingKey::Left, area.right() - 300);
    s.writeInteger(SettingKey::Top, area.bottom() - 200);
    s.writeInteger(SettingKey::Width, 640);
    s.writeInteger(SettingKey::Height, 460);
    start();
    EXPECT_EQ(main->frameGeometry(),
              QRect(area.right() + 1 - 640, area.bottom() + 1 - 460, 640, 460));
}

TEST_F(MainformDamage, AMissingSavedDataFolderIsNamedWithTheOneUsed) {
    items();
    settings();
    Settings(dir()).setDataFolder("/nowhere/data/");
    start();
    EXPECT_FALSE(main->startFailed());
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_TRUE(prompts.last().text.contains(QStringLiteral("/nowhere/data/")));
    EXPECT_TRUE(prompts.last().text.contains(QString::fromStdString(dir())));
    EXPECT_EQ(main->dataFolder(), dir());
}

TEST_F(MainformDamage, ARowIndexLeftByAKilledProgramIsHarmless) {
    items();
    settings();
    // Positions that lead nowhere, from a run long gone; no record file yet.
    writeBytes(tmp.file("Data.idx"), std::string("\x07\0\0\0\x63\0\0\0", 8));
    start();
    EXPECT_FALSE(main->startFailed());
    EXPECT_FALSE(readBytes(tmp.file("Data.idx"))) << "removed before the first load";
    main->ComboGrid1->selectRow(1);
    main->ComboGrid1Click();
    prompts.answerQuestion(true);
    main->commands()->DeleteClick();  // the empty list: nothing asked, nothing read
    EXPECT_TRUE(prompts.boxes().empty());
}

TEST_F(MainformDamage, AReadOnlySettingsFileStaysReadOnlyAndIsMentionedOnce) {
    items();
    writeRecords<DataRecord>(tmp.file("Quil.qud"), {makeRecord(10, 0, 1, 1, 0)});
    settings();
    const auto ro = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    fs::permissions(tmp.file("Quil.ini"), ro);
    const auto before = readBytes(tmp.file("Quil.ini"));
    start();
    EXPECT_FALSE(main->startFailed());
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.last().title, QStringLiteral("警告"));
    EXPECT_TRUE(prompts.last().text.startsWith(QStringLiteral("Quil.ini")));
    main->ComboGrid1->setColWidths(3, 123);
    main->TabControl1->setCurrentIndex(1);  // saves the widths of tab 0
    EXPECT_EQ(main->currentTab(), ListTab::Refuelling);
    main->TabControl1->setCurrentIndex(0);
    EXPECT_EQ(main->ComboGrid1->ColWidths(3), 123) << "kept for the rest of the run";
    main->close();
    main.reset();
    EXPECT_EQ(prompts.boxes().size(), 1u) << "said once";
    EXPECT_EQ(readBytes(tmp.file("Quil.ini")), before);
    EXPECT_EQ(fs::status(tmp.file("Quil.ini")).permissions() & fs::perms::all, ro);
}
