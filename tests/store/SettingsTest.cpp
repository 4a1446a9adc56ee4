#include "store/Settings.h"

#include <gtest/gtest.h>

#include "Bytes.h"
#include "TempDir.h"
#include "store/Codec.h"
#include "store/ListColumns.h"
#include "store/Period.h"

using namespace quil::store;

namespace {

using quil::testing::readBytes;
using quil::testing::writeBytes;

class SettingsTest : public ::testing::Test {
protected:
    quil::testing::TempDir tmp_;
    std::string folder_ = tmp_.dir();
};

}  // namespace

TEST_F(SettingsTest, FileLiesInTheProgramFolder) {
    Settings s(folder_);
    EXPECT_EQ(s.fileName(), folder_ + "Quil.ini");
    EXPECT_EQ(settingsFileName("/opt/quil/"), "/opt/quil/Quil.ini");
    Settings noSeparator(folder_.substr(0, folder_.size() - 1));
    EXPECT_EQ(noSeparator.fileName(), folder_ + "Quil.ini");
    EXPECT_EQ(noSeparator.programFolder(), folder_);
}

TEST_F(SettingsTest, FirstRunWritesTheValuesInTheirOrder) {
    Settings s(folder_);
    EXPECT_FALSE(s.exists());
    s.writeFirstRun(2026);
    EXPECT_TRUE(s.exists());
    const std::string f = folder_;
    EXPECT_EQ(readBytes(s.fileName()),
              "[Version]\r\nNo=0.30\r\n\r\n"
              "[Location]\r\nTop=0\r\nLeft=0\r\nWidth=640\r\nHeight=460\r\n\r\n"
              "[Dir]\r\nDir=" +
                  f + "\r\nExeDir=" + f +
                  "\r\n\r\n"
                  "[Item]\r\nTime=1\r\nTime1=2026\r\n\r\n"
                  "[ViewItem]\r\nCar=1\r\nDriver=1\r\nPurpose=1\r\n");
    EXPECT_EQ(s.placement(), (WindowPlacement{0, 0, 640, 460}));
    EXPECT_EQ(s.dataFolder(), folder_);
    EXPECT_EQ(s.periodKind(PeriodKind::All), PeriodKind::Year);
    EXPECT_EQ(s.storedPeriod(PeriodKind::Year), "2026");
}

TEST_F(SettingsTest, MissingOrBadValuesGiveTheReadersDefaults) {
    Settings s(folder_);
    EXPECT_EQ(s.placement(), (WindowPlacement{0, 0, 640, 460}));
    EXPECT_EQ(s.dataFolder(), "");
    EXPECT_EQ(s.exeFolder(), "");
    EXPECT_EQ(s.periodKind(PeriodKind::All), PeriodKind::All);    // record list
    EXPECT_EQ(s.periodKind(PeriodKind::Year), PeriodKind::Year);  // start-up label, period dialog
    EXPECT_EQ(s.storedPeriod(PeriodKind::FiscalHalf), "");
    EXPECT_EQ(s.carMask(), "");
    EXPECT_EQ(s.driverMask("0"), "0");
    EXPECT_EQ(s.tabWidth(ListTab::Refuelling, 11, 60), 60);

    writeBytes(s.fileName(), "[Location]\r\nWidth=wide\r\nHeight=300\r\n[Item]\r\nTime=9\r\n");
    EXPECT_EQ(s.placement(), (WindowPlacement{0, 0, 640, 300}));
    EXPECT_EQ(s.periodKind(PeriodKind::All), PeriodKind::All);  // 9 is no period kind
    s.setPeriodKind(PeriodKind::Month);
    EXPECT_EQ(s.periodKind(PeriodKind::All), PeriodKind::Month);
}

TEST_F(SettingsTest, TabWidthKeysAreKindDigitThenColumn) {
    EXPECT_EQ(tabWidthKey(ListTab::Driving, 3), "03");
    EXPECT_EQ(tabWidthKey(ListTab::Driving, 11), "011");
    EXPECT_EQ(tabWidthKey(ListTab::Expense, 0), "30");

    Settings s(folder_);
    s.setTabWidths(ListTab::Driving, {25, 30, 70});
    s.setTabWidths(ListTab::Driving, {25, 31});
    EXPECT_EQ(readBytes(s.fileName()), "[TabWidth]\r\n00=25\r\n01=31\r\n02=70\r\n");
    EXPECT_EQ(s.tabWidth(ListTab::Driving, 1, 60), 31);
    EXPECT_EQ(s.tabWidth(ListTab::Refuelling, 1, 60), 60);
}

TEST_F(SettingsTest, MaskRulesDifferBetweenListAndFilter) {
    // "10" with three vehicles: the list shows only the first.
    EXPECT_TRUE(listMaskShows("10", 0));
    EXPECT_FALSE(listMaskShows("10", 1));
    EXPECT_FALSE(listMaskShows("10", 2));
    // Any character but '0' shows in the list; only '1' ticks in the filter.
    EXPECT_TRUE(listMaskShows("x", 0));
    EXPECT_FALSE(filterMaskShows("x", 0));
    EXPECT_TRUE(filterMaskShows("01", 1));
    EXPECT_FALSE(filterMaskShows("01", 0));
    EXPECT_FALSE(filterMaskShows("", 0));
}

TEST_F(SettingsTest, ExitStateKeepsTheOtherKeys) {
    Settings s(folder_);
    s.writeFirstRun(2003);
    s.setDataFolder("/データ/表/");
    s.setCarMask("101");
    s.writeExitState({10, 20, 800, 600});
    EXPECT_EQ(s.placement(), (WindowPlacement{10, 20, 800, 600}));
    EXPECT_EQ(s.dataFolder(), "/データ/表/");
    EXPECT_EQ(s.carMask(), "101");
    EXPECT_EQ(s.storedPeriod(PeriodKind::Year), "2003");
    const std::string bytes = readBytes(s.fileName()).value_or("");
    EXPECT_NE(bytes.find(toCp932("Dir=/データ/表/\r\n")), std::string::npos);
    EXPECT_NE(bytes.find("Top=10\r\nLeft=20\r\nWidth=800\r\nHeight=600\r\n"), std::string::npos);
}
