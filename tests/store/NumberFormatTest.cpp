#include "store/NumberFormat.h"

#include <gtest/gtest.h>

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
