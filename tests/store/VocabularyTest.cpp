// The named kinds, tabs and periods against the numbers the files keep, and the column tables
// against what the list, the CSV import and the printed list read from them.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "Bytes.h"
#include "TempDir.h"
#include "store/Codec.h"
#include "store/ListColumns.h"
#include "store/ListRows.h"
#include "store/Period.h"
#include "store/Settings.h"

using namespace quil::store;

namespace {

constexpr PeriodKind kAllKinds[] = {PeriodKind::All,        PeriodKind::Year,
                                    PeriodKind::FiscalYear, PeriodKind::FiscalHalf,
                                    PeriodKind::Quarter,    PeriodKind::Month};

}  // namespace

// Each kind is written to Quil.ini as its number and read back as the same kind; a stored
// period lands under Item/Time<number>, and numbers that name no kind give the default.
TEST(PeriodKindNumbers, EveryKindRoundTripsThroughQuilIniAsItsNumber) {
    for (PeriodKind kind : kAllKinds) {
        quil::testing::TempDir tmp;
        const int number = storedNumber(kind);
        {
            Settings s(tmp.dir());
            s.setPeriodKind(kind);
            s.setStoredPeriod(kind, "20241");
        }
        const std::string ini = *quil::testing::readBytes(tmp.dir() + "Quil.ini");
        EXPECT_NE(ini.find("Time=" + std::to_string(number) + "\r\n"), std::string::npos) << ini;
        const std::string key = "Time" + std::to_string(number) + "=20241";
        EXPECT_EQ(ini.find(key) != std::string::npos, kind != PeriodKind::All) << ini;

        const Settings again(tmp.dir());
        EXPECT_EQ(again.periodKind(PeriodKind::Year), kind);
        EXPECT_EQ(again.storedPeriod(kind), kind == PeriodKind::All ? "" : "20241");
    }
    quil::testing::TempDir tmp;
    quil::testing::writeBytes(tmp.dir() + "Quil.ini", "[Item]\r\nTime=6\r\n");
    EXPECT_EQ(Settings(tmp.dir()).periodKind(PeriodKind::Year), PeriodKind::Year);
    EXPECT_FALSE(periodKindOf(6));
    EXPECT_FALSE(periodKindOf(-1));
    EXPECT_FALSE(storedPeriodKindOf(0));
    EXPECT_EQ(storedPeriodKindOf(5), PeriodKind::Month);
}

TEST(PeriodKindNumbers, PartsAndFiscalYearsFollowTheKind) {
    std::set<PeriodKind> withParts, fiscal;
    for (PeriodKind kind : kAllKinds) {
        if (hasSubIndex(kind)) withParts.insert(kind);
        if (isFiscal(kind)) fiscal.insert(kind);
        EXPECT_EQ(hasSubIndex(kind), periodKindInfo(kind).subIndexCount > 0);
        EXPECT_EQ(periodKindInfo(kind).kind, kind);
    }
    EXPECT_EQ(withParts,
              (std::set{PeriodKind::FiscalHalf, PeriodKind::Quarter, PeriodKind::Month}));
    EXPECT_EQ(fiscal, (std::set{PeriodKind::FiscalYear, PeriodKind::FiscalHalf}));
}

// The period holding a day: January to March belong to the fiscal year before; the day
// lies inside the range of the period found, for every kind and every month.
TEST(PeriodHolding, FindsThePeriodThatHoldsADay) {
    using K = PeriodKind;
    EXPECT_EQ(periodHolding(K::FiscalYear, encodeDate(2024, 3, 31)), (PeriodPosition{2023, 0}));
    EXPECT_EQ(periodHolding(K::FiscalYear, encodeDate(2024, 4, 1)), (PeriodPosition{2024, 0}));
    EXPECT_EQ(periodHolding(K::FiscalHalf, encodeDate(2024, 9, 30)), (PeriodPosition{2024, 0}));
    EXPECT_EQ(periodHolding(K::FiscalHalf, encodeDate(2024, 10, 1)), (PeriodPosition{2024, 1}));
    EXPECT_EQ(periodHolding(K::FiscalHalf, encodeDate(2025, 2, 1)), (PeriodPosition{2024, 1}));
    EXPECT_EQ(periodHolding(K::Quarter, encodeDate(2024, 3, 31)), (PeriodPosition{2024, 0}));
    EXPECT_EQ(periodHolding(K::Quarter, encodeDate(2024, 12, 1)), (PeriodPosition{2024, 3}));
    EXPECT_EQ(periodHolding(K::Month, encodeDate(2024, 1, 15)), (PeriodPosition{2024, 0}));
    EXPECT_EQ(periodHolding(K::Year, encodeDate(2024, 1, 15)), (PeriodPosition{2024, 0}));
    for (K kind : kAllKinds) {
        if (!hasStoredPeriod(kind)) continue;
        for (unsigned m = 1; m <= 12; ++m) {
            for (unsigned d : {1u, 28u}) {
                const DateTime day = encodeDate(2024, m, d);
                const PeriodPosition p = periodHolding(kind, day);
                const PeriodRange r = periodRange(kind, p.year, p.subIndex);
                EXPECT_LE(r.first, day) << storedNumber(kind) << " " << m;
                EXPECT_GE(r.last, day) << storedNumber(kind) << " " << m;
            }
        }
    }
}

// The summary windows' flat list: every kind, each part once, in the order of the kinds.
TEST(FlatPeriodList, OffersEveryKindAndPartOnceInOrder) {
    const auto& list = flatPeriodList();
    ASSERT_EQ(list.size(), 21u);
    EXPECT_EQ(list.front().name, "全て");
    EXPECT_EQ(list[3].name, "年度　上期");
    EXPECT_EQ(list[5].name, "年1/4期");
    EXPECT_EQ(list[20].name, "年12月");
    std::set<std::pair<int, int>> seen;
    int lastKind = -1;
    for (const FlatPeriodEntry& e : list) {
        EXPECT_GE(storedNumber(e.kind), lastKind);
        lastKind = storedNumber(e.kind);
        EXPECT_TRUE(seen.insert({storedNumber(e.kind), e.subIndex}).second) << e.name;
        const int parts = periodKindInfo(e.kind).subIndexCount;
        EXPECT_LT(e.subIndex, parts > 0 ? parts : 1) << e.name;
    }
    EXPECT_EQ(seen.size(), 1u + 1u + 1u + 2u + 4u + 12u);
}

// Which records each tab lists: its own kind, and on the expense tab every kind with a cost.
TEST(ListTabs, EachTabListsItsKindsAndTheExpenseTabEveryCost) {
    for (int number = -1; number <= 5; ++number) {
        const auto kind = static_cast<std::int16_t>(number);
        EXPECT_EQ(listTabShows(ListTab::Driving, kind), number == 0) << number;
        EXPECT_EQ(listTabShows(ListTab::Refuelling, kind), number == 1) << number;
        EXPECT_EQ(listTabShows(ListTab::Maintenance, kind), number == 2) << number;
        EXPECT_EQ(listTabShows(ListTab::Expense, kind), number >= 1 && number <= 3) << number;
    }
    EXPECT_EQ(listTabOf(3), ListTab::Expense);
    EXPECT_FALSE(listTabOf(4));
    EXPECT_FALSE(listTabOf(-1));
    EXPECT_EQ(entryKindOf(ListTab::Expense), RecordKind::Expense);
}

// The tables the list, the export, the import and the print all read: titles the import
// finds by name are unique, every imported field comes from one column, each column printed
// has room, and the marker column is neither printed nor exported.
TEST(ListColumnTables, EachTabsColumnsServeTheListImportAndPrintAlike) {
    for (int t = 0; t < kListTabCount; ++t) {
        const ListTab tab = *listTabOf(t);
        const auto columns = listColumns(tab);
        ASSERT_EQ(columns.size(), std::size_t(listColumnCount(tab)));
        EXPECT_EQ(columns[kListMarkerColumn].printedWidth, 0);
        std::set<std::string> titles;
        std::set<EntryField> fields;
        for (std::size_t c = 1; c < columns.size(); ++c) {
            EXPECT_TRUE(titles.insert(columns[c].title).second) << t << " " << columns[c].title;
            EXPECT_GT(columns[c].printedWidth, 0) << t << " " << c;
            EXPECT_GT(columns[c].width, 0) << t << " " << c;
            if (columns[c].imported) {
                EXPECT_TRUE(fields.insert(*columns[c].imported).second) << t << " " << c;
            }
        }
        // Every tab reads a date, a vehicle, a user, its third list and its second and third
        // values; the driving tab also its times, tabs with a shop their shop.
        for (EntryField f : {EntryField::Date, EntryField::Vehicle, EntryField::User,
                             EntryField::ThirdList, EntryField::Value2, EntryField::Value3})
            EXPECT_EQ(fields.count(f), 1u) << t;
        EXPECT_EQ(fields.count(EntryField::StartTime), tab == ListTab::Driving ? 1u : 0u);
        EXPECT_EQ(fields.count(EntryField::ShopList),
                  tab == ListTab::Maintenance || tab == ListTab::Expense ? 1u : 0u);
        EXPECT_EQ(fields.count(EntryField::Value1), tab == ListTab::Expense ? 0u : 1u);
        EXPECT_EQ(fields.count(EntryField::EndTime), 0u);  // read from the time column
    }
}
