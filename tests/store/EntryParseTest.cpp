// The number and clock rules of a record entry.

#include <gtest/gtest.h>

#include "store/EntryParse.h"

namespace quil::store {
namespace {

TEST(EntryParse, IntegersAreSignedDecimalThirtyTwoBit) {
    EXPECT_EQ(parseInteger("0"), 0);
    EXPECT_EQ(parseInteger("+12"), 12);
    EXPECT_EQ(parseInteger(" -7 "), -7);
    EXPECT_EQ(parseInteger("007"), 7);
    EXPECT_EQ(parseInteger("2147483647"), 2147483647);
    EXPECT_EQ(parseInteger("-2147483648"), -2147483647 - 1);
    for (const char* bad : {"", " ", "-", "+", "2147483648", "-2147483649", "99999999999999999999",
                            "1,000", "12.5", "1e3", "0x10", "12a", "- 5", "1 2"})
        EXPECT_FALSE(parseInteger(bad)) << bad;
}

TEST(EntryParse, DecimalsUseAPointAndNoSeparators) {
    EXPECT_EQ(parseDecimal("12.5"), 12.5);
    EXPECT_EQ(parseDecimal("-3"), -3.0);
    EXPECT_EQ(parseDecimal("+.5"), 0.5);
    EXPECT_EQ(parseDecimal("5."), 5.0);
    EXPECT_EQ(parseDecimal(" 1e3 "), 1000.0);
    EXPECT_EQ(parseDecimal("12345.6"), 12345.6);
    for (const char* bad : {"", ".", "-", "1,000", "12,5", "1.2.3", "e5", "1e", "1e+", "inf", "nan",
                            "0x1p3", "1e999", "1 000", "１２"})
        EXPECT_FALSE(parseDecimal(bad)) << bad;
}

TEST(EntryParse, ClockFieldsAreDigitsWithinTheirRange) {
    EXPECT_EQ(parseClockField("0", 23), 0u);
    EXPECT_EQ(parseClockField("08", 23), 8u);
    EXPECT_EQ(parseClockField("23", 23), 23u);
    EXPECT_EQ(parseClockField("59", 59), 59u);
    for (const char* bad : {"", "24", "-1", "+1", "1.5", "a", "99999"})
        EXPECT_FALSE(parseClockField(bad, 23)) << bad;
    EXPECT_FALSE(parseClockField("60", 59));
}

TEST(EntryParse, TimeOfDayJoinsTheDayAsTheDateTypeDoes) {
    const store::DateTime day = store::encodeDate(2024, 5, 10);
    EXPECT_DOUBLE_EQ(composeDateTime(day, 17, 30), day + 17.5 / 24);
    // Before 1899-12-30 the day count is negative and the time counts away from zero.
    const store::DateTime early = store::encodeDate(1899, 12, 29);
    EXPECT_DOUBLE_EQ(composeDateTime(early, 6, 0), -1.25);
    EXPECT_EQ(store::decodeDate(composeDateTime(early, 6, 0)), (store::CivilDate{1899, 12, 29}));
}

}  // namespace
}  // namespace quil::store
