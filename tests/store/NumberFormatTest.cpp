#include "store/NumberFormat.h"

#include <gtest/gtest.h>

#include <string>

using quil::store::formatOneDecimal;

TEST(OneDecimal, RoundsTheFifteenDigitFormHalfAwayFromZero) {
    EXPECT_EQ(formatOneDecimal(12345.65), "12345.7");  // binary 12345.6499999...
    EXPECT_EQ(formatOneDecimal(0.05), "0.1");
    EXPECT_EQ(formatOneDecimal(0.25), "0.3");
    EXPECT_EQ(formatOneDecimal(-0.25), "-0.3");
    EXPECT_EQ(formatOneDecimal(54.4), "54.4");
    EXPECT_EQ(formatOneDecimal(12400 - 12345.6), "54.4");
}

TEST(OneDecimal, PadsCarriesAndDropsNegativeZero) {
    EXPECT_EQ(formatOneDecimal(0), "0.0");
    EXPECT_EQ(formatOneDecimal(7), "7.0");
    EXPECT_EQ(formatOneDecimal(9.96), "10.0");
    EXPECT_EQ(formatOneDecimal(999.95), "1000.0");
    EXPECT_EQ(formatOneDecimal(0.04), "0.0");
    EXPECT_EQ(formatOneDecimal(-0.04), "0.0");
    EXPECT_EQ(formatOneDecimal(0.004), "0.0");
    EXPECT_EQ(formatOneDecimal(1e20), "100000000000000000000.0");
    EXPECT_EQ(formatOneDecimal(123456789.25), "123456789.3");
}

// Values that sit on whole tenths (or a hair off them) across signs and magnitudes: the
// text is the tenths count itself, whatever path formats it.
TEST(OneDecimal, WholeTenthsMatchTheirTenthsCount) {
    auto expected = [](long long tenths) {
        if (tenths == 0) return std::string("0.0");
        const long long whole = tenths < 0 ? -tenths : tenths;
        return std::string(tenths < 0 ? "-" : "") + std::to_string(whole / 10) + "." +
               std::to_string(whole % 10);
    };
    for (long long base : {0LL, 7LL, 123456LL, 99999999LL, 1234567890LL, 9999999999LL}) {
        for (long long k = base - 300; k <= base + 300; ++k) {
            const double value = double(k) / 10.0;
            for (double nudge : {0.0, 1e-9, -1e-9}) {
                SCOPED_TRACE(k);
                EXPECT_EQ(formatOneDecimal(value + nudge), expected(k));
                EXPECT_EQ(formatOneDecimal(-(value + nudge)), expected(-k));
            }
        }
    }
    EXPECT_EQ(formatOneDecimal(-0.0), "0.0");
    EXPECT_EQ(formatOneDecimal(0.0499999), "0.0");
    EXPECT_EQ(formatOneDecimal(1e9 + 0.05), "1000000000.1");
}
