#include "store/Date.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

using namespace quil::store;

TEST(Dates, DayZeroIsThe30thOfDecember1899) {
    EXPECT_EQ(encodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(encodeDate(2000, 1, 1), 36526.0);
    EXPECT_EQ(decodeDate(36526.75), (CivilDate{2000, 1, 1}));
    EXPECT_EQ(formatDate(encodeDate(2004, 2, 29)), "2004/02/29");
    EXPECT_EQ(formatDate(encodeDate(990, 4, 1)), "0990/04/01");
}

TEST(Dates, NegativeDaysCarryTheirTimeTowardZero) {
    // -1.25 is 1899-12-29 06:00 in the Windows representation.
    EXPECT_EQ(decodeDate(-1.25), (CivilDate{1899, 12, 29}));
    EXPECT_EQ(formatTime(-1.25), "06:00");
}

TEST(Dates, TimesRoundToTheMinute) {
    EXPECT_EQ(formatTime(encodeDate(2003, 5, 1) + encodeTime(8, 30)), "08:30");
    EXPECT_EQ(formatTime(encodeDate(2003, 5, 1) + encodeTime(23, 59, 50)), "23:59");
    EXPECT_EQ(formatTime(0.5), "12:00");
}

TEST(Dates, DamagedValuesStayInRange) {
    EXPECT_EQ(decodeDate(std::numeric_limits<double>::quiet_NaN()), (CivilDate{1899, 12, 30}));
    EXPECT_EQ(decodeDate(1e300).year, 9999);
    EXPECT_EQ(decodeDate(-1e300).year, 1);
}

TEST(TwoDigitYears, AreCorrectedToThisCenturyOrTheLast) {
    // Before 1899 the time of day is subtracted: this is 12:00 on 3 May 6th.
    EXPECT_EQ(correctTwoDigitYear(encodeDate(3, 5, 6) - 0.5), encodeDate(2003, 5, 6));
    EXPECT_EQ(correctTwoDigitYear(encodeDate(69, 12, 31)), encodeDate(2069, 12, 31));
    EXPECT_EQ(correctTwoDigitYear(encodeDate(70, 1, 1)), encodeDate(1970, 1, 1));
    EXPECT_EQ(correctTwoDigitYear(encodeDate(75, 2, 3)), encodeDate(1975, 2, 3));
    EXPECT_EQ(correctTwoDigitYear(encodeDate(96, 2, 29)), encodeDate(1996, 2, 29));
    const double keep = encodeDate(1999, 7, 1) + 0.25;
    EXPECT_EQ(correctTwoDigitYear(keep), keep);
    EXPECT_EQ(correctTwoDigitYear(encodeDate(100, 1, 1)), encodeDate(100, 1, 1));
}

TEST(Clock, CanBeFixedForTests) {
    setClockForTesting([] { return encodeDate(2003, 4, 1) + 0.75; });
    EXPECT_EQ(today(), encodeDate(2003, 4, 1));
    EXPECT_EQ(now(), encodeDate(2003, 4, 1) + 0.75);
    setClockForTesting({});
    EXPECT_GT(today(), encodeDate(2020, 1, 1));
}

// Hour and minute are the fraction of the day rounded to the nearest minute, halves up,
// for any stored value: at and beside every half minute, for negative and huge values.
TEST(Dates, TimesAreTheFractionRoundedToTheNearestMinute) {
    auto expected = [](double d) {
        long minutes = std::llround(std::fabs(d - std::trunc(d)) * 1440.0);
        if (minutes >= 1440) minutes = 1439;
        return std::pair<unsigned, unsigned>(unsigned(minutes / 60), unsigned(minutes % 60));
    };
    std::vector<double> values = {0.0, -0.0, 1e15, -1e15, 4e15, 5e15, 1e300, -1e300};
    for (double day : {0.0, 45000.0, -3.0, 2958465.0, 1e9})
        for (int half = 0; half <= 2880; ++half) {
            const double at = day + (day < 0 ? -1 : 1) * half / 2880.0;
            values.insert(values.end(),
                          {at, std::nextafter(at, 1e308), std::nextafter(at, -1e308)});
        }
    for (double d : values) {
        unsigned h = 99, m = 99;
        decodeTime(d, h, m);
        EXPECT_EQ(std::make_pair(h, m), expected(d)) << d;
    }
}
