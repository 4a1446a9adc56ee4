// The one-year retention, the detector inspection interval and the vehicle label.
#include <gtest/gtest.h>

#include "reports/AlcoholCheck.h"

namespace quil::alcohol {
namespace {

using store::encodeDate;
using store::encodeTime;

TEST(Retention, ChecksOfTheLastYearAreKeptOlderOnesAreNot) {
    const auto today = encodeDate(2024, 5, 10) + encodeTime(9, 0);
    EXPECT_TRUE(withinRetention(encodeDate(2024, 5, 10), today));
    EXPECT_TRUE(withinRetention(encodeDate(2023, 5, 10) + encodeTime(0, 1), today));
    EXPECT_TRUE(withinRetention(encodeDate(2023, 5, 10), today));
    EXPECT_FALSE(withinRetention(encodeDate(2023, 5, 9) + encodeTime(23, 59), today));
    // From 29 February the year reaches back to 28 February.
    const auto leap = encodeDate(2024, 2, 29);
    EXPECT_TRUE(withinRetention(encodeDate(2023, 2, 28), leap));
    EXPECT_FALSE(withinRetention(encodeDate(2023, 2, 27), leap));
}

TEST(DetectorInspection, OverdueCountsFromTheLastInspectionOrTheDayPutInUse) {
    const auto today = encodeDate(2024, 5, 31) + encodeTime(10, 0);
    Detector d;
    d.inUseSince = encodeDate(2024, 1, 1);
    d.lastInspection = encodeDate(2024, 5, 2);
    EXPECT_FALSE(inspectionOverdue(d, today, 30));  // 29 days
    d.lastInspection = encodeDate(2024, 5, 1);
    EXPECT_TRUE(inspectionOverdue(d, today, 30));  // 30 days
    d.lastInspection = 0;
    EXPECT_TRUE(inspectionOverdue(d, today, 30));  // in use since January, never inspected
    d.inUseSince = encodeDate(2024, 5, 20);
    EXPECT_FALSE(inspectionOverdue(d, today, 30));
    d.inUseSince = 0;
    EXPECT_TRUE(inspectionOverdue(d, today, 30));  // no dates at all
    d.retired = true;
    EXPECT_FALSE(inspectionOverdue(d, today, 30));
}

TEST(VehicleLabel, ShowsThePlateOnlyWhenOneIsRegistered) {
    EXPECT_EQ(vehicleLabel("営業車1", plateText("品川", "300", "あ", "12", "34")),
              "営業車1 (品川 300 あ 12-34)");
    EXPECT_EQ(vehicleLabel("営業車2", plateText("", "", "", "", "")), "営業車2");
}

TEST(CheckNames, MethodLabelNamesTheOtherMethod) {
    AlcoholCheck c;
    c.method = CheckMethod::Other;
    c.methodText = "無線";
    EXPECT_EQ(methodLabel(c), "その他(無線)");
    c.method = CheckMethod::VideoCall;
    EXPECT_EQ(methodLabel(c), "ビデオ通話");
    EXPECT_EQ(timingFromName("運転後"), CheckTiming::AfterDrive);
    EXPECT_FALSE(methodFromName("メール").has_value());
}

}  // namespace
}  // namespace quil::alcohol
