// The legacy import: items, the four record passes, their order, the version and tax
// rules, the log, and that a refused, cancelled or failed import leaves the data set as it
// was. Legacy data sets are written from their layouts by LegacyWriter.

#include <gtest/gtest.h>

#include <filesystem>

#include "CrashingFileSystem.h"
#include "LegacyFixtures.h"
#include "StoreFixtures.h"
#include "folder/DataSetFiles.h"
#include "folder/FileCopy.h"
#include "store/Date.h"
#include "store/ItemStore.h"
#include "store/StoreError.h"

using namespace quil::folder;
using namespace quil::store;
using namespace quil::testing;

namespace {

// 2003-06-15 10:30: the import's "now".
const double kNow = encodeDate(2003, 6, 15) + encodeTime(10, 30);
const double kToday = encodeDate(2003, 6, 15);

class LegacyImport : public ::testing::Test {
protected:
    TempDir data, legacy;
    LegacyWriter writer{legacy.dir()};

    void SetUp() override {
        setClockForTesting([] { return kNow; });
    }
    void TearDown() override { setClockForTesting({}); }

    DataSetResult run(const ImportProgress& progress = {}) {
        return importLegacyDataSet(data.dir(), legacy.dir(), progress);
    }
    std::vector<ItemRecord> items() const { return ItemStore(data.dir()).readAll(); }
    std::vector<DataRecord> records() const { return readRecords(data.file("Quil.qud")); }
    std::vector<DataRecord> ofKind(RecordKind k) const {
        std::vector<DataRecord> out;
        for (const auto& r : records())
            if (r.kind() == static_cast<std::int16_t>(k)) out.push_back(r);
        return out;
    }
    std::string log() const { return fromCp932(*readBytes(data.file("Errlog.txt"))); }
    // One vehicle with a driving day and a refuelling.
    void writeLegacyToImport() {
        oneVehicle();
        writer.days(2003, 1, {LegacyDay{115, 1, 2, 0, "", 0, 0}});
        writer.refuellings(1, {LegacyRefuelling{}});
    }
    void oneVehicle(std::int32_t version = 115) {
        LegacyVehicle v;
        v.version = version;
        v.firstYear = 2003;
        writer.vehicles({v});
    }
};

TEST_F(LegacyImport, BuildsVehiclesListsAndFixedEntriesInOrder) {
    LegacyVehicle a;
    a.name = "軽トラ";
    a.odometer = 1234.5f;
    a.year = 1999, a.month = 2, a.day = 28;
    a.type = 2;
    a.region = "品川";
    a.classNumber = "400";
    a.kana = "あ";
    a.serial1 = "12";
    a.serial2 = "34";
    a.remarks = "社用";
    a.n136 = 0x12345;
    a.n140 = -2;
    LegacyVehicle b = a;
    b.version = 110;  // the last vehicle's version is the data set's: below 111 and 113
    b.name = "バン";
    writer.vehicles({a, b});
    writer.items("mente.dat", {{"オイル交換", 5000, 7, 9, 3}, {"車検", 1, 2, 3, 4}});
    writer.items("gasstd.dat", {{"駅前SS", 11, 12, 0x10013, 14}});
    // no kane.dat: an empty list

    const DataSetResult r = run();
    ASSERT_TRUE(r.done()) << r.message;
    EXPECT_EQ(r.stamp, kNow);
    const auto it = items();
    ASSERT_EQ(it.size(), 8u);
    const std::vector<std::pair<ItemKind, std::string>> expected = {
        {ItemKind::Vehicle, "軽トラ"},
        {ItemKind::Vehicle, "バン"},
        {ItemKind::MaintenanceItem, "オイル交換"},
        {ItemKind::MaintenanceItem, "車検"},
        {ItemKind::GasStation, "駅前SS"},
        {ItemKind::User, "使用者1"},
        {ItemKind::Purpose, "配達"},
        {ItemKind::Purpose, "営業"}};
    const std::vector<int> orders = {1, 2, 1, 2, 1, 1, 1, 2};
    for (std::size_t i = 0; i < it.size(); ++i) {
        EXPECT_EQ(it[i].kind(), static_cast<std::int16_t>(expected[i].first)) << i;
        EXPECT_EQ(it[i].name(), expected[i].second) << i;
        EXPECT_EQ(it[i].order(), orders[i]) << i;
        EXPECT_EQ(it[i].stamp(), kNow) << i;
        EXPECT_EQ(it[i].version(), 101) << i;
        EXPECT_EQ(it[i].signature(), "QI") << i;
    }
    // Vehicle fields; the second vehicle's version (110) clears the plate and numbers.
    EXPECT_EQ(it[0].odometer(), 1234.5);
    EXPECT_EQ(it[0].registered(), encodeDate(1999, 2, 28));
    EXPECT_EQ(it[0].vehicleType(), 2);
    EXPECT_EQ(it[0].plateRegion(), "品川");
    EXPECT_EQ(it[0].plateClass(), "400");
    EXPECT_EQ(it[0].plateKana(), "あ");
    EXPECT_EQ(it[0].plateSerial1(), "12");
    EXPECT_EQ(it[0].plateSerial2(), "34");
    EXPECT_EQ(it[0].remarks(), "社用");
    EXPECT_EQ(it[0].reserved70(), 0x2345);
    EXPECT_EQ(it[0].reserved72(), -2);
    EXPECT_EQ(it[1].plateRegion(), "");
    EXPECT_EQ(it[1].remarks(), "");
    EXPECT_EQ(it[1].reserved70(), 0);
    EXPECT_EQ(it[1].fuel(), 0);
    // Data set version 110 (< 113): maintenance numbers are the defaults.
    EXPECT_EQ(it[2].odometer(), 3000);
    EXPECT_EQ(it[2].reserved70(), 6);
    EXPECT_EQ(it[2].vehicleType(), 7);
    EXPECT_EQ(it[2].reserved72(), 3);
    EXPECT_EQ(it[3].odometer(), 0);
    EXPECT_EQ(it[3].reserved70(), 0);
    // Other lists keep their numbers.
    EXPECT_EQ(it[4].odometer(), 11);
    EXPECT_EQ(it[4].vehicleType(), 12);
    EXPECT_EQ(it[4].reserved70(), 0x13);
    EXPECT_EQ(it[4].reserved72(), 14);
    for (std::size_t i = 2; i < it.size(); ++i) EXPECT_EQ(it[i].registered(), kToday) << i;
    EXPECT_EQ(records().size(), 0u);
    EXPECT_TRUE(readBytes(data.file("Quil.qud"))) << "an empty record file of the new set";
}

TEST_F(LegacyImport, OilChangeDefaultsApplyBelowVersion113Only) {
    for (int version : {112, 113}) {
        LegacyVehicle v;
        v.version = version;
        writer.vehicles({v});
        writer.items("mente.dat",
                     {{"オイル交換", 5000, 0, 9, 0}, {"オイルフィルター交換", 1, 0, 2, 0}});
        ASSERT_TRUE(run().done());
        const auto it = items();
        EXPECT_EQ(it[1].odometer(), version == 112 ? 3000 : 5000) << version;
        EXPECT_EQ(it[1].reserved70(), version == 112 ? 6 : 9) << version;
        EXPECT_EQ(it[2].odometer(), version == 112 ? 6000 : 1) << version;
        EXPECT_EQ(it[2].reserved70(), version == 112 ? 12 : 2) << version;
    }
}

TEST_F(LegacyImport, DrivingDaysAreConvertedWhenTheyHoldAnything) {
    LegacyVehicle early, late;
    early.firstYear = 2002;
    late.firstYear = 2004;  // after this year: no driving records
    writer.vehicles({early, late});
    LegacyDay empty, remarksOnly, flagOnly, full, oldVersion;
    empty.version = 115;
    remarksOnly.remarks = "雨";
    flagOnly.flag12 = 1;
    full.departure = 100.5f, full.arrival = 120.25f, full.b54 = 7, full.b55 = 9;
    oldVersion = full;
    oldVersion.version = 114;
    writer.days(2002, 1, {empty, remarksOnly});
    writer.days(2003, 1, {flagOnly, empty, full, oldVersion});
    writer.days(2004, 2, {full});
    ASSERT_TRUE(run().done());

    const auto d = ofKind(RecordKind::Driving);
    ASSERT_EQ(d.size(), 4u);
    EXPECT_EQ(d[0].date(), encodeDate(2002, 1, 2));
    EXPECT_EQ(d[0].remarks(), "雨");
    EXPECT_EQ(d[1].date(), encodeDate(2003, 1, 1));
    EXPECT_EQ(d[2].date(), encodeDate(2003, 1, 3));
    EXPECT_EQ(d[2].distance1(), 100.5);
    EXPECT_EQ(d[2].distance2(), 120.25);
    EXPECT_EQ(d[2].reserved48(), 7);
    EXPECT_EQ(d[2].reserved49(), 9);
    EXPECT_EQ(d[3].reserved48(), 0) << "version 114 has no bytes at 54 and 55";
    for (const auto& r : d) {
        EXPECT_EQ(r.vehicle(), 0);
        EXPECT_EQ(r.user(), 2);
        EXPECT_EQ(r.item(), -1);
        EXPECT_EQ(r.reserved66(), 0);
        EXPECT_EQ(r.place(), 0);
        EXPECT_EQ(r.price(), 0);
        EXPECT_EQ(r.stamp(), kNow);
    }
}

TEST_F(LegacyImport, Version109MaintenanceAmountsIncludeTaxAtEachRate) {
    oneVehicle();
    writer.items("mente.dat", {{"車検"}});
    auto m = [](int v, int y, int mo, int d, int amount) {
        LegacyMaintenance r;
        r.version = v, r.year = y, r.month = mo, r.day = d, r.amount = amount, r.tax = 77;
        r.item = 1;
        r.textA = toCp932("点検");
        r.textB = toCp932("工場");
        return r;
    };
    writer.maintenance(
        1, {m(109, 1988, 3, 31, 1000), m(109, 1988, 4, 1, 1030), m(109, 1997, 3, 31, 1030),
            m(109, 1997, 4, 1, 1050), m(109, 1997, 4, 2, 1010), m(110, 1997, 4, 3, 1050)});
    ASSERT_TRUE(run().done());
    const auto r = ofKind(RecordKind::Maintenance);
    ASSERT_EQ(r.size(), 6u);
    const std::vector<std::pair<int, int>> priceTax = {{1000, 0},  {1000, 30}, {1000, 30},
                                                       {1000, 50}, {962, 48},  {1050, 77}};
    for (std::size_t i = 0; i < r.size(); ++i) {
        EXPECT_EQ(r[i].price(), priceTax[i].first) << i;
        EXPECT_EQ(r[i].tax(), priceTax[i].second) << i;
        EXPECT_EQ(r[i].item(), 1) << i;
        EXPECT_EQ(r[i].place(), -1) << i;
        EXPECT_EQ(r[i].reserved66(), -1) << i;
    }
    EXPECT_EQ(r[0].remarks(), "点検()") << "version 109 has no text B";
    EXPECT_EQ(r[5].remarks(), "点検(工場)");
}

TEST_F(LegacyImport, RefuellingAndExpenseFieldsAndAMissingFile) {
    LegacyVehicle v;
    v.firstYear = 2003;
    writer.vehicles({v, v});
    writer.items("gasstd.dat", {{"A"}, {"B"}});
    writer.items("kane.dat", {{"駐車場"}});
    LegacyRefuelling g;
    g.year = 2003, g.month = 2, g.day = 3, g.odometer = 500, g.quantity = 30.5f;
    g.price = 3000, g.tax = 150, g.station = 2, g.b36 = 4, g.b37 = 5, g.remarks = "満タン";
    writer.refuellings(1, {g});
    LegacyExpense e;
    e.year = 2003, e.month = 2, e.day = 4, e.item = 1, e.amount = 500, e.tax = 25;
    e.textA = toCp932("駅"), e.textB = toCp932("前"), e.textC = toCp932("月極");
    writer.expenses(2, {e});
    writer.days(2003, 2, {LegacyDay{115, 1, 2, 0, "", 0, 0}});
    ASSERT_TRUE(run().done());

    const auto gas = ofKind(RecordKind::Refuelling);
    ASSERT_EQ(gas.size(), 1u) << "vehicle 2 has no gas.d2";
    EXPECT_EQ(gas[0].date(), encodeDate(2003, 2, 3));
    EXPECT_EQ(gas[0].distance1(), 500);
    EXPECT_EQ(gas[0].distance2(), 30.5);
    EXPECT_EQ(gas[0].price(), 3000);
    EXPECT_EQ(gas[0].tax(), 150);
    EXPECT_EQ(gas[0].item(), 4);
    EXPECT_EQ(gas[0].reserved66(), 5);
    EXPECT_EQ(gas[0].place(), 3);
    EXPECT_EQ(gas[0].remarks(), "満タン");
    const auto ex = ofKind(RecordKind::Expense);
    ASSERT_EQ(ex.size(), 1u);
    EXPECT_EQ(ex[0].vehicle(), 1);
    EXPECT_EQ(ex[0].item(), 4);
    EXPECT_EQ(ex[0].price(), 500);
    EXPECT_EQ(ex[0].tax(), 25);
    EXPECT_EQ(ex[0].remarks(), "駅前(月極)");
    EXPECT_EQ(ofKind(RecordKind::Driving).size(), 1u) << "driving records appear once";
}

TEST_F(LegacyImport, RecordsAreSortedAndEqualKeysPutTheLaterPassFirst) {
    oneVehicle();
    writer.days(2003, 1, {LegacyDay{115, 0, 0, 0, "走", 0, 0}});
    LegacyRefuelling late, early;
    late.year = 2003, late.month = 3, late.day = 1;
    early.year = 2003, early.month = 1, early.day = 1;
    writer.refuellings(1, {late, early});
    LegacyExpense e;
    e.year = 2003, e.month = 1, e.day = 1;
    writer.expenses(1, {e});
    ASSERT_TRUE(run().done());
    const auto r = records();
    ASSERT_EQ(r.size(), 4u);
    const std::vector<int> kinds = {3, 1, 0, 1};
    for (std::size_t i = 0; i < r.size(); ++i) EXPECT_EQ(r[i].kind(), kinds[i]) << i;
    for (std::size_t i = 1; i < r.size(); ++i) EXPECT_FALSE(sortsAfter(r[i - 1], r[i])) << i;
    EXPECT_EQ(r[3].date(), encodeDate(2003, 3, 1));
}

TEST_F(LegacyImport, InvalidDatesAndNumbersBeyondTheirListsAreLogged) {
    oneVehicle();
    std::vector<LegacyItem> stations;
    for (int i = 1; i <= 60; ++i) stations.push_back({"SS" + std::to_string(i)});
    writer.items("gasstd.dat", stations);
    LegacyRefuelling bad, sixty, beyond;
    bad.year = 2003, bad.month = 2, bad.day = 30;
    sixty.station = 60;
    beyond.station = 61;
    writer.refuellings(1, {bad, sixty, beyond});
    LegacyMaintenance m;
    m.year = 2003, m.month = 13, m.day = 1;
    writer.maintenance(1, {m});
    LegacyExpense e;
    e.year = 0, e.month = 0, e.day = 0;
    writer.expenses(1, {e});

    const DataSetResult r = run();
    ASSERT_TRUE(r.done());
    EXPECT_EQ(r.logLines, 4);
    EXPECT_EQ(r.logPath, data.dir() + "Errlog.txt");
    EXPECT_EQ(items().size(), 64u) << "all 60 stations are imported";
    const auto gas = ofKind(RecordKind::Refuelling);
    ASSERT_EQ(gas.size(), 3u);
    EXPECT_EQ(gas[0].place(), 60) << "station 60 is the 60th entry";
    EXPECT_EQ(gas[1].place(), -1);
    EXPECT_EQ(gas[2].date(), kToday) << "an invalid date becomes today, sorting last";
    EXPECT_EQ(ofKind(RecordKind::Maintenance)[0].date(), kToday);
    EXPECT_EQ(log(),
              "ミルテ台帳データ変換ログ\r\n　\r\n"
              "ガソリンデータ:車両1 2003年2月30日\r\n"
              "ガソリンデータ:車両1 2000年1月1日 番号61は一覧にありません(gas.d1)\r\n"
              "点検・整備データ:車両1 2003年13月1日\r\n"
              "出費データ:車両1 0年0月0日\r\n");
}

TEST_F(LegacyImport, ALogWithoutErrorsHasThreeLines) {
    oneVehicle();
    const DataSetResult r = run();
    ASSERT_TRUE(r.done());
    EXPECT_EQ(r.logLines, 0);
    EXPECT_EQ(*readBytes(data.file("Errlog.txt")),
              toCp932("ミルテ台帳データ変換ログ\r\n　\r\nエラーはありませんでした。\r\n"));
}

TEST_F(LegacyImport, JapaneseTextIsCutAtItsFieldsOnCharacterBoundaries) {
    LegacyVehicle v;
    // 24 bytes claimed: the name field ends at the odometer, 23 bytes in.
    v.name = toCp932("あいうえおかきくけこさ") + "A" + "B";
    v.rawName = true;
    v.odometer = 0;
    writer.vehicles({v});
    LegacyMaintenance m;
    m.textA = toCp932("あいうえおかきくけこさしすせそたちつてとな") + "x";  // 43 bytes
    m.textB = std::string(51, 'b');
    LegacyExpense e;
    e.textA = std::string(43, 'a');
    e.textB = std::string(40, 'b');
    e.textC = toCp932("漢字漢字漢字漢字漢字漢字漢字漢字漢字漢字");  // 40 bytes
    writer.maintenance(1, {m});
    writer.expenses(1, {e});
    ASSERT_TRUE(run().done());
    EXPECT_EQ(items()[0].name(), "あいうえおかきくけこさA");
    const auto mr = ofKind(RecordKind::Maintenance)[0];
    EXPECT_EQ(mr.remarks(),
              "あいうえおかきくけこさしすせそたちつてと(" + std::string(40, 'b') + ")");
    const auto er = ofKind(RecordKind::Expense)[0];
    // 80 bytes, "(", text C to 121 bytes, ")": cut to 100, which ends inside a kanji.
    EXPECT_EQ(er.remarks(),
              std::string(43, 'a') + std::string(37, 'b') + "(" + "漢字漢字漢字漢字漢");
}

TEST_F(LegacyImport, RefusedOrCancelledImportsLeaveTheDataSetAsItWas) {
    writeRecords(data.file("Quil.qui"), std::vector<ItemRecord>{ItemRecord()});
    writeRecords(data.file("Quil.qud"), std::vector<DataRecord>{makeRecord(1, 0, 0)});
    auto snapshot = [this] {
        return std::make_pair(readBytes(data.file("Quil.qui")), readBytes(data.file("Quil.qud")));
    };
    const auto before = snapshot();

    DataSetResult r = run();
    EXPECT_EQ(r.status, DataSetStatus::NoSourceData);
    EXPECT_EQ(r.message, "読み込みデータがありません！");

    LegacyVehicle bad;
    bad.month = 2, bad.day = 30;
    writer.vehicles({LegacyVehicle{}, bad});
    r = run();
    EXPECT_EQ(r.status, DataSetStatus::BrokenSource);
    EXPECT_NE(r.message.find("車両2"), std::string::npos) << r.message;
    EXPECT_EQ(snapshot(), before);

    writer.vehicles({LegacyVehicle{}});
    writer.days(2000, 1, {LegacyDay{115, 1, 1, 0, "", 0, 0}});
    int calls = 0;
    r = run([&](std::int64_t done, std::int64_t total) {
        ++calls;
        EXPECT_LE(done, total);
        return false;
    });
    EXPECT_EQ(r.status, DataSetStatus::Cancelled);
    EXPECT_GT(calls, 0);
    EXPECT_EQ(snapshot(), before);
    EXPECT_FALSE(readBytes(data.file("Errlog.txt")));
}

// The current data set a legacy import replaces, for the failure and kill tests.
void writeCurrentSet(const TempDir& t, const char* extraFile, const std::string& extraBytes) {
    writeRecords(t.file("Quil.qui"), std::vector<ItemRecord>{ItemRecord()});
    writeRecords(t.file("Quil.qud"), std::vector<DataRecord>{makeRecord(1, 0, 0)});
    writeBytes(t.file(extraFile), extraBytes);
}

TEST_F(LegacyImport, EveryFailureLeavesTheDataSetAsBeforeOrAsAfter) {
    writeLegacyToImport();
    auto setup = [](const TempDir& t) { writeCurrentSet(t, "Errlog.txt", "old log"); };
    auto files = [](const TempDir& t) {
        std::map<std::string, std::optional<std::string>> out;
        for (const auto& e : std::filesystem::recursive_directory_iterator(t.dir()))
            out[e.path().filename().string()] = readBytes(e.path().string());
        return out;
    };
    TempDir ref;
    setup(ref);
    const auto before = files(ref);
    ASSERT_TRUE(importLegacyDataSet(ref.dir(), legacy.dir(), {}, FileSystem::local()).done());
    const auto after = files(ref);

    using Op = FaultyFileSystem::Op;
    for (Op op : {Op::Write, Op::Sync, Op::Rename, Op::Remove, Op::Open}) {
        for (int k = 1;; ++k) {
            ASSERT_LT(k, 100);
            SCOPED_TRACE(::testing::Message() << "op " << int(op) << " call " << k);
            TempDir t;
            setup(t);
            FaultyFileSystem faulty(op, k);
            bool threw = false;
            try {
                importLegacyDataSet(t.dir(), legacy.dir(), {}, faulty);
            } catch (const StoreError&) {
                threw = true;
            }
            if (!faulty.fired()) {
                EXPECT_FALSE(threw);
                EXPECT_EQ(files(t), after);
                break;
            }
            finishPendingSwaps(t.dir());  // the next start
            const auto got = files(t);
            EXPECT_TRUE(got == before || got == after);
            if (threw) {
                EXPECT_EQ(got, before) << "a failure reported is a failure undone";
            }
        }
    }
}

TEST_F(LegacyImport, AKillAtAnyStepLeavesTheOldOrTheNewDataSetAfterTheNextStart) {
    writeLegacyToImport();
    auto setup = [](const TempDir& t) { writeCurrentSet(t, "QuilExt.db", ""); };
    auto top = [](const TempDir& t) {
        std::map<std::string, std::optional<std::string>> out;
        for (const auto& e : std::filesystem::directory_iterator(t.dir())) {
            if (!e.is_regular_file()) continue;
            std::string name = e.path().filename().string();
            if (name.rfind("QuilExt.db.", 0) == 0) name = "QuilExt.db (set aside)";
            out[name] = readBytes(e.path().string());
        }
        return out;
    };
    TempDir ref;
    setup(ref);
    const auto before = top(ref);
    ASSERT_TRUE(importLegacyDataSet(ref.dir(), legacy.dir(), {}, FileSystem::local()).done());
    const auto after = top(ref);
    EXPECT_EQ(after.count("QuilExt.db"), 0u) << "its rows name the replaced set's items";
    EXPECT_EQ(after.count("QuilExt.db (set aside)"), 1u);

    int kills = 0;
    for (int k = 1;; ++k) {
        ASSERT_LT(k, 200);
        SCOPED_TRACE(::testing::Message() << "killed at change " << k);
        TempDir t;
        setup(t);
        CrashingFileSystem dying(k);
        try {
            importLegacyDataSet(t.dir(), legacy.dir(), {}, dying);
        } catch (const StoreError&) {
        }
        if (!dying.crashed()) break;
        ++kills;
        finishPendingSwaps(t.dir());
        const auto got = top(t);
        EXPECT_TRUE(got == before || got == after) << "never a folder without its data set";
        EXPECT_TRUE(got.count("Quil.qui") && got.count("Quil.qud"));
    }
    EXPECT_GT(kills, 10);
}

TEST_F(LegacyImport, AnEmptyCarFileOrALegacyFileCutShortIsRefusedUnchanged) {
    writeRecords(data.file("Quil.qui"), std::vector<ItemRecord>{ItemRecord()});
    writeRecords(data.file("Quil.qud"), std::vector<DataRecord>{makeRecord(1, 0, 0)});
    const auto before = std::make_pair(readBytes(data.file("Quil.qui")),
                                       readBytes(data.file("Quil.qud")));
    auto unchanged = [&] {
        return std::make_pair(readBytes(data.file("Quil.qui")),
                              readBytes(data.file("Quil.qud"))) == before;
    };

    writeBytes(legacy.file("Car.dat"), "");
    DataSetResult r = run();
    EXPECT_EQ(r.status, DataSetStatus::BrokenSource);
    EXPECT_NE(r.message.find("Car.dat に車両がありません"), std::string::npos) << r.message;
    EXPECT_TRUE(unchanged());

    writer.vehicles({LegacyVehicle{}, LegacyVehicle{}});
    const std::string cars = *readBytes(legacy.file("Car.dat"));
    writeBytes(legacy.file("Car.dat"), cars.substr(0, 256 + 100));
    r = run();
    EXPECT_EQ(r.status, DataSetStatus::BrokenSource);
    EXPECT_NE(r.message.find("Car.dat の最後の記録が途中で切れています"), std::string::npos)
        << r.message;
    EXPECT_TRUE(unchanged());

    oneVehicle();
    writer.refuellings(1, {LegacyRefuelling{}, LegacyRefuelling{}});
    const std::string gas = *readBytes(legacy.file("gas.d1"));
    writeBytes(legacy.file("gas.d1"), gas.substr(0, 128 + 1));
    r = run();
    EXPECT_EQ(r.status, DataSetStatus::BrokenSource);
    EXPECT_NE(r.message.find("gas.d1"), std::string::npos) << r.message;
    EXPECT_TRUE(unchanged());

    std::filesystem::remove(legacy.file("gas.d1"));
    writer.days(2003, 1, {LegacyDay{115, 1, 2, 0, "", 0, 0}});
    const std::string run2003 = *readBytes(legacy.file("Run2003.d1"));
    writeBytes(legacy.file("Run2003.d1"), run2003 + "x");
    r = run();
    EXPECT_EQ(r.status, DataSetStatus::BrokenSource);
    EXPECT_NE(r.message.find("Run2003.d1"), std::string::npos) << r.message;
    EXPECT_TRUE(unchanged());
}

}  // namespace
