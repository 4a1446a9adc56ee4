#include "store/Period.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "TempDir.h"
#include "store/Settings.h"
#include "store/StoreError.h"

using namespace quil::store;
namespace fs = std::filesystem;

namespace {

class PeriodTest : public ::testing::Test {
protected:
    void SetUp() override {
        setClockForTesting([] { return encodeDate(2026, 12, 8) + encodeTime(9, 0); });
    }
    void TearDown() override { setClockForTesting({}); }

    Settings settings() const { return Settings(folder_); }
    Settings withStored(PeriodKind kind, std::string_view text) {
        Settings s(folder_);
        s.setStoredPeriod(kind, text);
        return s;
    }

    quil::testing::TempDir tmp_;
    std::string folder_ = tmp_.dir();
};

std::string day(DateTime d) { return formatDate(d); }

}  // namespace

TEST(PeriodKinds, NamesAndSubIndexCounts) {
    EXPECT_STREQ(periodKindInfo(PeriodKind::All).name, "全て");
    EXPECT_STREQ(periodKindInfo(PeriodKind::FiscalYear).name, "年度");
    EXPECT_STREQ(periodKindInfo(PeriodKind::Quarter).name, "4半期");
    EXPECT_EQ(periodKindInfo(PeriodKind::Month).subIndexCount, 12);
}

TEST(PeriodParse, YearThenSubIndex) {
    auto p = parseStoredPeriod(PeriodKind::FiscalYear, "2003", 2026);
    EXPECT_EQ(p.yearText, "2003");
    EXPECT_EQ(p.year, 2003);
    EXPECT_EQ(p.subIndex, 0);
    EXPECT_EQ(parseStoredPeriod(PeriodKind::FiscalHalf, "20031", 2026).subIndex, 1);
    EXPECT_EQ(parseStoredPeriod(PeriodKind::Month, "200311", 2026).subIndex, 11);
    EXPECT_EQ(parseStoredPeriod(PeriodKind::FiscalYear, "20035", 2026).subIndex,
              0);  // kinds 1, 2 have none
    EXPECT_EQ(parseStoredPeriod(PeriodKind::Quarter, "203", 2026).year, 203);

    auto empty = parseStoredPeriod(PeriodKind::Month, "", 2026);
    EXPECT_EQ(empty.yearText, "2026");
    EXPECT_EQ(empty.year, 2026);
    EXPECT_EQ(empty.subIndex, 0);
}

TEST(PeriodParse, NonNumbersRaiseConversionError) {
    try {
        parseStoredPeriod(PeriodKind::Year, "abcd", 2026);
        FAIL() << "no error";
    } catch (const ConversionError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "表示期間の年「abcd」が数値ではありません。(Quil.ini の [Item] Time1)");
    }
    EXPECT_THROW(parseStoredPeriod(PeriodKind::Year, "２００３", 2026),
                 ConversionError);  // full-width digits
    EXPECT_THROW(parseStoredPeriod(PeriodKind::Quarter, "2003x", 2026), ConversionError);
    EXPECT_THROW(parseStoredPeriod(PeriodKind::FiscalYear, "0000", 2026), ConversionError);
    EXPECT_THROW(periodRange(PeriodKind::Quarter, 2003, 4), ConversionError);
    EXPECT_THROW(periodRange(PeriodKind::Month, 2003, 12), ConversionError);
    EXPECT_THROW(periodRange(PeriodKind::Month, 2003, -1), ConversionError);
}

TEST(PeriodRange, FirstAndLastDays) {
    struct Case {
        PeriodKind kind;
        int year, sub;
        const char* first;
        const char* last;
    };
    const Case cases[] = {
        {PeriodKind::Year, 2003, 0, "2003/01/01", "2003/12/31"},
        {PeriodKind::FiscalYear, 2003, 0, "2003/04/01", "2004/03/31"},
        {PeriodKind::FiscalHalf, 2003, 0, "2003/04/01", "2003/09/30"},
        {PeriodKind::FiscalHalf, 2003, 1, "2003/10/01", "2004/03/31"},
        {PeriodKind::Quarter, 2003, 0, "2003/01/01", "2003/03/31"},
        {PeriodKind::Quarter, 2003, 3, "2003/10/01", "2003/12/31"},
        {PeriodKind::Month, 2004, 1, "2004/02/01", "2004/02/29"},
        {PeriodKind::Month, 2003, 1, "2003/02/01", "2003/02/28"},
        {PeriodKind::Month, 2004, 11, "2004/12/01", "2004/12/31"},
    };
    for (const Case& c : cases) {
        PeriodRange r = periodRange(c.kind, c.year, c.sub);
        EXPECT_EQ(day(r.first), c.first) << storedNumber(c.kind) << " " << c.year << " " << c.sub;
        EXPECT_EQ(day(r.last), c.last) << storedNumber(c.kind) << " " << c.year << " " << c.sub;
        EXPECT_EQ(r.first, dateOnly(r.first));
    }
}

TEST_F(PeriodTest, BoundaryReadsTheStoredPeriod) {
    Settings s = withStored(PeriodKind::Month, "20041");
    EXPECT_EQ(day(periodBoundary(s, PeriodKind::Month, 0)), "2004/02/01");
    EXPECT_EQ(day(periodBoundary(s, PeriodKind::Month, 1)), "2004/02/29");
    // Nothing stored for kind 2: the current year.
    EXPECT_EQ(day(periodBoundary(s, PeriodKind::FiscalYear, 0)), "2026/04/01");
    EXPECT_EQ(day(periodBoundary(s, PeriodKind::FiscalYear, 1)), "2027/03/31");
}

TEST_F(PeriodTest, Labels) {
    EXPECT_EQ(
        periodLabel(withStored(PeriodKind::FiscalYear, "2003"), PeriodKind::FiscalYear, 0, "2003"),
        "2003年度　(2003/04/01～2004/03/31)");
    EXPECT_EQ(
        periodLabel(withStored(PeriodKind::FiscalHalf, "20031"), PeriodKind::FiscalHalf, 1, "2003"),
        "2003年下期　(2003/10/01～2004/03/31)");
    EXPECT_EQ(
        periodLabel(withStored(PeriodKind::FiscalHalf, "20030"), PeriodKind::FiscalHalf, 0, "2003"),
        "2003年上期　(2003/04/01～2003/09/30)");
    EXPECT_EQ(periodLabel(withStored(PeriodKind::Quarter, "20030"), PeriodKind::Quarter, 0, "2003"),
              "2003年1/4期　(2003/01/01～2003/03/31)");
    EXPECT_EQ(periodLabel(withStored(PeriodKind::Month, "20033"), PeriodKind::Month, 3, "2003"),
              "2003年4月　(2003/04/01～2003/04/30)");
    EXPECT_EQ(periodLabel(withStored(PeriodKind::Year, "2003"), PeriodKind::Year, 0, "2003"),
              "2003年　(2003/01/01～2003/12/31)");
    EXPECT_EQ(periodLabel(settings(), PeriodKind::All, 0, "2003"), "全て");
    // The days come from the stored period, the name from the arguments.
    EXPECT_EQ(
        periodLabel(withStored(PeriodKind::FiscalYear, "2005"), PeriodKind::FiscalYear, 0, "2003"),
        "2003年度　(2005/04/01～2006/03/31)");
}

TEST_F(PeriodTest, RecordDateTestTakesTheDaysFromFirstToLast) {
    PeriodFilter f =
        PeriodFilter::load(withStored(PeriodKind::FiscalYear, "2003"), PeriodKind::FiscalYear);
    const DateTime first = encodeDate(2003, 4, 1);
    const DateTime last = encodeDate(2004, 3, 31);
    // A drive departing on the day before belongs to that day, whatever its time.
    EXPECT_FALSE(f.passes(first - 1 + encodeTime(0, 30)));
    EXPECT_FALSE(f.passes(first - 1 + encodeTime(8, 45)));
    EXPECT_FALSE(f.passes(first - 1));
    EXPECT_TRUE(f.passes(first));
    EXPECT_TRUE(f.passes(first + encodeTime(0, 1)));
    EXPECT_TRUE(f.passes(last));
    EXPECT_TRUE(f.passes(last + encodeTime(23, 50)));
    EXPECT_FALSE(f.passes(last + 1));
    EXPECT_FALSE(f.passes(last + 1 + encodeTime(0, 30)));

    // Adjacent periods share no record: the fiscal year ending 2004/03/31 and the next one.
    PeriodFilter next =
        PeriodFilter::load(withStored(PeriodKind::FiscalYear, "2004"), PeriodKind::FiscalYear);
    for (DateTime d : {last + encodeTime(8, 45), last + 1 + encodeTime(0, 30), last + 1})
        EXPECT_NE(f.passes(d), next.passes(d)) << formatDate(d) << " " << formatTime(d);

    PeriodFilter all = PeriodFilter::load(settings(), PeriodKind::All);
    EXPECT_TRUE(all.passes(encodeDate(1900, 1, 1)));
    EXPECT_TRUE(all.passes(encodeDate(9999, 12, 31)));
}

TEST_F(PeriodTest, NonNumericStoredYearStopsTheOperation) {
    fs::copy_file(std::string(QUIL_TEST_DATA) + "/ini/non-numeric.ini", folder_ + "Quil.ini");
    Settings s = settings();
    EXPECT_EQ(s.periodKind(PeriodKind::All), PeriodKind::All);  // Time=x
    EXPECT_EQ(day(periodBoundary(s, PeriodKind::FiscalHalf, 0)), "2003/10/01");
    EXPECT_THROW(periodBoundary(s, PeriodKind::Year, 0), ConversionError);
    EXPECT_THROW(periodLabel(s, PeriodKind::Year, 0, "abcd"), ConversionError);
    EXPECT_THROW(PeriodFilter::load(s, PeriodKind::Year), ConversionError);
    EXPECT_NO_THROW(PeriodFilter::load(s, PeriodKind::All));
}
