// What the entry dialog's checks refuse and what they build.
#include <gtest/gtest.h>

#include "reports/CheckEntry.h"

namespace quil::alcohol {
namespace {

using store::encodeDate;
using store::encodeTime;

const store::DateTime kNow = encodeDate(2024, 5, 10) + encodeTime(9, 15);

CheckInput valid() {
    CheckInput in;
    in.day = encodeDate(2024, 5, 10);
    in.hour = 8;
    in.minute = 45;
    in.timing = CheckTiming::BeforeDrive;
    in.driver = 1;
    in.vehicle = 0;
    in.checker = " 安全 太郎 ";
    in.detector = 7;
    in.readingText = "0.00";
    return in;
}

EntryField refusedField(const CheckInput& in) {
    const EntryResult r = buildCheck(in, kNow);
    EXPECT_FALSE(r.check.has_value());
    EXPECT_FALSE(r.message.empty());
    return r.field;
}

TEST(CheckEntry, BuildsTheCheckFromValidInput) {
    CheckInput in = valid();
    in.method = CheckMethod::Other;
    in.methodText = "無線";
    in.remarks = "出張先から";
    const EntryResult r = buildCheck(in, kNow);
    ASSERT_TRUE(r.check.has_value()) << r.message;
    EXPECT_EQ(r.check->when, encodeDate(2024, 5, 10) + encodeTime(8, 45));
    EXPECT_EQ(r.check->checker, "安全 太郎");
    EXPECT_EQ(r.check->methodText, "無線");
    EXPECT_EQ(r.check->detector, 7);
    ASSERT_TRUE(r.check->reading.has_value());
    EXPECT_DOUBLE_EQ(*r.check->reading, 0.0);
    EXPECT_EQ(r.check->remarks, "出張先から");
    EXPECT_EQ(r.check->id, 0);
    EXPECT_FALSE(r.check->deleted);
}

TEST(CheckEntry, MethodTextIsKeptOnlyForOtherAndEmptyReadingIsNone) {
    CheckInput in = valid();
    in.method = CheckMethod::Phone;
    in.methodText = "残った文字";
    in.readingText = "  ";
    const EntryResult r = buildCheck(in, kNow);
    ASSERT_TRUE(r.check.has_value());
    EXPECT_EQ(r.check->methodText, "");
    EXPECT_FALSE(r.check->reading.has_value());
}

TEST(CheckEntry, RefusesEachMissingOrWrongFieldInOrder) {
    CheckInput in = valid();
    in.day.reset();
    in.driver = -1;  // the date is reported first
    EXPECT_EQ(refusedField(in), EntryField::Date);

    in = valid();
    in.day = encodeDate(2024, 5, 11);
    EXPECT_EQ(refusedField(in), EntryField::Date);

    in = valid();
    in.driver = -1;
    EXPECT_EQ(refusedField(in), EntryField::Driver);
    in = valid();
    in.vehicle = -1;
    EXPECT_EQ(refusedField(in), EntryField::Vehicle);
    in = valid();
    in.checker = "  ";
    EXPECT_EQ(refusedField(in), EntryField::Checker);
    in = valid();
    in.method = CheckMethod::Other;
    EXPECT_EQ(refusedField(in), EntryField::MethodText);
    in = valid();
    in.detector = 0;
    EXPECT_EQ(refusedField(in), EntryField::Detector);
    for (const char* bad : {"abc", "-0.1", "5.1", "0,1"}) {
        in = valid();
        in.readingText = bad;
        EXPECT_EQ(refusedField(in), EntryField::Reading) << bad;
    }
    in = valid();
    in.readingText = "0.15";
    EXPECT_EQ(refusedField(in), EntryField::Intoxicated);
    in.intoxicated = true;
    EXPECT_EQ(refusedField(in), EntryField::Instructions);
    in.instructions = "運転中止、代わりの運転者を手配";
    EXPECT_TRUE(buildCheck(in, kNow).check.has_value());
}

TEST(CheckEntry, DetectorIsOptionalBeforeDecember2023) {
    CheckInput in = valid();
    in.detector = 0;
    in.day = encodeDate(2023, 11, 30);
    EXPECT_TRUE(buildCheck(in, kNow).check.has_value());
    in.day = encodeDate(2023, 12, 1);
    EXPECT_FALSE(buildCheck(in, kNow).check.has_value());
}

}  // namespace
}  // namespace quil::alcohol
