// The settings file when it cannot be written, and values it holds that the program
// cannot use as they stand.

#include <gtest/gtest.h>

#include <filesystem>

#include "StoreFixtures.h"
#include "store/ListColumns.h"
#include "store/Period.h"
#include "store/Settings.h"

using namespace quil::store;
using namespace quil::testing;
namespace fs = std::filesystem;

namespace {

class SettingsFailure : public ::testing::Test {
protected:
    TempDir t;
    std::vector<std::string> reports;

    void SetUp() override {
        Settings::setWriteFailureHandler([this](const std::string& file, const std::string& why) {
            reports.push_back(file + ": " + why);
        });
    }
    void TearDown() override {
        Settings::setWriteFailureHandler({});
        FileSystem::setCurrent(nullptr);
    }
    std::string ini() const { return t.file("Quil.ini"); }
};

}  // namespace

TEST_F(SettingsFailure, QuotedValuesReadAsTheTextInside) {
    writeBytes(ini(),
               "[Location]\r\nWidth=\"800\"\r\nHeight='600'\r\nTop=\"12\r\nLeft=\"\"\r\n"
               "[Dir]\r\nDir=\"/srv/quil/\"\r\n");
    Settings s(t.dir());
    EXPECT_EQ(s.placement().width, 800);
    EXPECT_EQ(s.placement().height, 600);
    EXPECT_EQ(s.placement().top, 0) << "an unpaired quote is no number";
    EXPECT_EQ(s.ini().readText("Location", "Left", "x"), "");
    EXPECT_EQ(s.dataFolder(), "/srv/quil/");
}

TEST_F(SettingsFailure, AColumnWidthOfZeroOrLessGivesTheBuiltInWidth) {
    Settings s(t.dir());
    s.setTabWidths(ListTab::Refuelling, {0, -5, 80});
    EXPECT_EQ(s.tabWidth(ListTab::Refuelling, 0, 25), 25);
    EXPECT_EQ(s.tabWidth(ListTab::Refuelling, 1, 30), 30);
    EXPECT_EQ(s.tabWidth(ListTab::Refuelling, 2, 60), 80);
}

TEST_F(SettingsFailure, AFailedWriteKeepsTheValueInMemoryAndIsReportedOnce) {
    Settings s(t.dir());
    s.writeFirstRun(2026);
    const auto before = readBytes(ini());
    {
        FaultyFileSystem faulty(FaultyFileSystem::Op::Rename, 1);
        FileSystem::setCurrent(&faulty);
        EXPECT_NO_THROW(s.setCarMask("101"));
        FileSystem::setCurrent(nullptr);
    }
    EXPECT_EQ(readBytes(ini()), before);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], "Quil.ini: 注入された失敗です。");
    EXPECT_EQ(Settings(t.dir()).carMask(), "101") << "every reader sees the chosen value";
    EXPECT_EQ(s.unsavedCount(), 1u);

    // The next write that succeeds saves the kept value with its own.
    s.setDriverMask("11");
    EXPECT_EQ(IniFile(ini()).readText("ViewItem", "Car", ""), "101");
    EXPECT_EQ(IniFile(ini()).readText("ViewItem", "Driver", ""), "11");
    EXPECT_EQ(s.unsavedCount(), 0u);
    EXPECT_EQ(reports.size(), 1u);
}

TEST_F(SettingsFailure, AReadOnlyFileStaysReadOnlyAndIsReportedOnce) {
    Settings s(t.dir());
    s.writeFirstRun(2026);
    fs::permissions(ini(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const auto before = readBytes(ini());
    EXPECT_TRUE(s.reportIfReadOnly());
    s.setPeriodKind(PeriodKind::FiscalHalf);
    s.writeExitState(WindowPlacement{1, 2, 700, 500});
    s.setTabWidths(ListTab::Driving, {10, 20});
    EXPECT_EQ(readBytes(ini()), before);
    EXPECT_EQ(fs::status(ini()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], "Quil.ini: 書き込み禁止のファイルです。");
    EXPECT_EQ(s.periodKind(PeriodKind::All), PeriodKind::FiscalHalf);
    EXPECT_EQ(s.placement().width, 700);
    EXPECT_EQ(s.tabWidth(ListTab::Driving, 1, 30), 20);
}

TEST_F(SettingsFailure, AStoredPeriodThatIsNoPeriodIsReplacedByTheDefault) {
    Settings s(t.dir());
    s.setStoredPeriod(PeriodKind::FiscalYear, "abcd");
    s.setStoredPeriod(PeriodKind::Month, "200499");
    s.setStoredPeriod(PeriodKind::FiscalHalf, "20031");
    EXPECT_TRUE(repairStoredPeriod(s, PeriodKind::FiscalYear, 2026));
    EXPECT_TRUE(repairStoredPeriod(s, PeriodKind::Month, 2026));
    EXPECT_FALSE(repairStoredPeriod(s, PeriodKind::FiscalHalf, 2026));
    EXPECT_FALSE(repairStoredPeriod(s, PeriodKind::Year, 2026))
        << "a missing period is the default already";
    EXPECT_EQ(s.storedPeriod(PeriodKind::FiscalYear), "2026");
    EXPECT_EQ(s.storedPeriod(PeriodKind::Month), "2026");
    EXPECT_EQ(s.storedPeriod(PeriodKind::FiscalHalf), "20031");
    EXPECT_EQ(s.storedPeriod(PeriodKind::Year), "");
    EXPECT_NO_THROW(PeriodFilter::load(s, PeriodKind::Month));
}
