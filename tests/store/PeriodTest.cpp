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
    Settings withStored(int kind, std::string_view text) {
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
    EXPECT_STREQ(periodKindInfo(0).name, "全て");
    EXPECT_STREQ(periodKindInfo(2).name, "年度");
    EXPECT_STREQ(periodKindInfo(4).name, "4半期");
    EXPECT_EQ(periodKindInfo(5).subIndexCount, 12);
    EXPECT_EQ(periodKindInfo(6).kind, 0);
}

TEST(PeriodParse, YearThenSubIndex) {
    auto p = parseStoredPeriod(2, "2003", 2026);
    EXPECT_EQ(p.yearText, "2003");
    EXPECT_EQ(p.year, 2003);
    EXPECT_EQ(p.subIndex, 0);
    EXPECT_EQ(parseStoredPeriod(3, "20031", 2026).subIndex, 1);
    EXPECT_EQ(parseStoredPeriod(5, "200311", 2026).subIndex, 11);
    EXPECT_EQ(parseStoredPeriod(2, "20035", 2026).subIndex, 0);  // kinds 1, 2 have none
    EXPECT_EQ(parseStoredPeriod(4, "203", 2026).year, 203);

    auto empty = parseStoredPeriod(5, "", 2026);
    EXPECT_EQ(empty.yearText, "2026");
    EXPECT_EQ(empty.year, 2026);
    EXPECT_EQ(empty.subIndex, 0);
}

TEST(PeriodParse, NonNumbersRaiseConversionError) {
    try {
        parseStoredPeriod(1, "abcd", 2026);
        FAIL() << "no error";
    } catch (const ConversionError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "表示期間の年「abcd」が数値ではありません。(Quil.ini の [Item] Time1)");
    }
    EXPECT_THROW(parseStoredPeriod(1, "２００３", 2026), ConversionError);  // full-width digits
    EXPECT_THROW(parseStoredPeriod(4, "2003x", 2026), ConversionError);
    EXPECT_THROW(parseStoredPeriod(2, "0000", 2026), ConversionError);
    EXPECT_THROW(periodRange(4, 2003, 4), ConversionError);
    EXPECT_THROW(periodRange(5, 2003, 12), ConversionError);
    EXPECT_THROW(periodRange(5, 2003, -1), ConversionError);
}

TEST(PeriodRange, FirstAndLastDays) {
    struct Case {
        int kind, year, sub;
        const char* first;
        const char* last;
    };
    const Case cases[] = {
        {1, 2003, 0, "2003/01/01", "2003/12/31"},  {2, 2003, 0, "2003/04/01", "2004/03/31"},
        {3, 2003, 0, "2003/04/01", "2003/09/30"},  {3, 2003, 1, "2003/10/01", "2004/03/31"},
        {4, 2003, 0, "2003/01/01", "2003/03/31"},  {4, 2003, 3, "2003/10/01", "2003/12/31"},
        {5, 2004, 1, "2004/02/01", "2004/02/29"},  {5, 2003, 1, "2003/02/01", "2003/02/28"},
        {5, 2004, 11, "2004/12/01", "2004/12/31"},
    };
    for (const Case& c : cases) {
        PeriodRange r = periodRange(c.kind, c.year, c.sub);
        EXPECT_EQ(day(r.first), c.first) << c.kind << " " << c.year << " " << c.sub;
        EXPECT_EQ(day(r.last), c.last) << c.kind << " " << c.year << " " << c.sub;
        EXPECT_EQ(r.first, dateOnly(r.first));
    }
}

TEST_F(PeriodTest, BoundaryReadsTheStoredPeriod) {
    Settings s = withStored(5, "20041");
    EXPECT_EQ(day(periodBoundary(s, 5, 0)), "2004/02/01");
    EXPECT_EQ(day(periodBoundary(s, 5, 1)), "2004/02/29");
    // Nothing stored for kind 2: the current year.
    EXPECT_EQ(day(periodBoundary(s, 2, 0)), "2026/04/01");
    EXPECT_EQ(day(periodBoundary(s, 2, 1)), "2027/03/31");
}

TEST_F(PeriodTest, Labels) {
    EXPECT_EQ(periodLabel(withStored(2, "2003"), 2, 0, "2003"),
              "2003年度　(2003/04/01～2004/03/31)");
    EXPECT_EQ(periodLabel(withStored(3, "20031"), 3, 1, "2003"),
              "2003年下期　(2003/10/01～2004/03/31)");
    EXPECT_EQ(periodLabel(withStored(3, "20030"), 3, 0, "2003"),
              "2003年上期　(2003/04/01～2003/09/30)");
    EXPECT_EQ(periodLabel(withStored(4, "20030"), 4, 0, "2003"),
              "2003年1/4期　(2003/01/01～2003/03/31)");
    EXPECT_EQ(periodLabel(withStored(5, "20033"), 5, 3, "2003"),
              "2003年4月　(2003/04/01～2003/04/30)");
    EXPECT_EQ(periodLabel(withStored(1, "2003"), 1, 0, "2003"), "2003年　(2003/01/01～2003/12/31)");
    EXPECT_EQ(periodLabel(settings(), 0, 0, "2003"), "全て");
    // The days come from the stored period, the name from the arguments.
    EXPECT_EQ(periodLabel(withStored(2, "2005"), 2, 0, "2003"),
              "2003年度　(2005/04/01～2006/03/31)");
}

TEST_F(PeriodTest, RecordDateTestTakesTheDaysFromFirstToLast) {
    PeriodFilter f = PeriodFilter::load(withStored(2, "2003"), 2);
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
    PeriodFilter next = PeriodFilter::load(withStored(2, "2004"), 2);
    for (DateTime d : {last + encodeTime(8, 45), last + 1 + encodeTime(0, 30), last + 1})
        EXPECT_NE(f.passes(d), next.passes(d)) << formatDate(d) << " " << formatTime(d);

    PeriodFilter all = PeriodFilter::load(settings(), 0);
    EXPECT_TRUE(all.passes(encodeDate(1900, 1, 1)));
    EXPECT_TRUE(all.passes(encodeDate(9999, 12, 31)));
}

TEST_F(PeriodTest, NonNumericStoredYearStopsTheOperation) {
    fs::copy_file(std::string(QUIL_TEST_DATA) + "/ini/non-numeric.ini", folder_ + "Quil.ini");
    Settings s = settings();
    EXPECT_EQ(s.periodKind(0), 0);  // Time=x
    EXPECT_EQ(day(periodBoundary(s, 3, 0)), "2003/10/01");
    EXPECT_THROW(periodBoundary(s, 1, 0), ConversionError);
    EXPECT_THROW(periodLabel(s, 1, 0, "abcd"), ConversionError);
    EXPECT_THROW(PeriodFilter::load(s, 1), ConversionError);
    EXPECT_NO_THROW(PeriodFilter::load(s, 0));
}
