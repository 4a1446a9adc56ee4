// The register as CSV, written and read back.
#include <gtest/gtest.h>

#include "reports/AlcoholCsv.h"

namespace quil::alcohol {
namespace {

using store::encodeDate;
using store::encodeTime;

const CsvNames kNames = {{{1, "山田"}, {8, "佐藤, 花子"}},
                         {{0, "営業車1 (品川 300 あ 12-34)"}, {7, "車両B"}},
                         {{3, "検知器A (SN-001)"}}};

std::vector<AlcoholCheck> sample() {
    AlcoholCheck a;
    a.when = encodeDate(2024, 5, 10) + encodeTime(8, 45);
    a.driver = 1;
    a.vehicle = 0;
    a.checker = "安全 太郎";
    a.detector = 3;
    a.reading = 0.0;
    AlcoholCheck b;
    b.when = encodeDate(2024, 5, 10) + encodeTime(17, 5);
    b.timing = CheckTiming::AfterDrive;
    b.driver = 8;
    b.vehicle = 7;
    b.checker = "安全 太郎";
    b.method = CheckMethod::Other;
    b.methodText = "無線で \"確認\"";
    b.detector = 3;
    b.reading = 0.25;
    b.intoxicated = true;
    b.instructions = "運転中止\n翌日まで乗務させない";
    b.remarks = "備考, カンマ入り";
    return {a, b};
}

// CP932 like every other CSV of the program by default, UTF-8 when chosen; either reads back.
TEST(AlcoholCsv, ExportedRegisterReadsBackAsTheSameChecks) {
    const std::string cp932 = writeChecksCsv(sample(), kNames);
    EXPECT_NE(cp932.find(store::toCp932("日付,時刻,区分,運転者")), std::string::npos);
    EXPECT_EQ(cp932.find("運転者"), std::string::npos) << "no UTF-8 text";
    CsvReadResult back = readChecksCsv(cp932, kNames);
    EXPECT_EQ(back.error, "");
    EXPECT_EQ(back.checks, sample());

    const std::string utf8 = writeChecksCsv(sample(), kNames, store::TextEncoding::Utf8);
    ASSERT_EQ(utf8.substr(0, 3), "\xEF\xBB\xBF");
    back = readChecksCsv(utf8, kNames);
    EXPECT_EQ(back.error, "");
    EXPECT_EQ(back.checks, sample());
    back = readChecksCsv(utf8.substr(3), kNames);  // without its mark
    EXPECT_EQ(back.checks, sample());
}

TEST(AlcoholCsv, RowsWithTextsCp932CannotHoldAreFoundBeforeWriting) {
    EXPECT_TRUE(linesCp932CannotHold(sample(), kNames).empty()) << "～ and － are CP932";
    std::vector<AlcoholCheck> checks = sample();
    checks.push_back(checks[0]);
    checks.push_back(checks[0]);
    checks[1].remarks = "🍺";
    checks[3].checker = "𠮷田";
    CsvNames names = kNames;
    names.detectors = {{3, "検知器♦"}};  // every row names it
    EXPECT_EQ(linesCp932CannotHold(checks, kNames), (std::vector<std::size_t>{3, 5}));
    EXPECT_EQ(linesCp932CannotHold(checks, names, 3), (std::vector<std::size_t>{2, 3, 4}));
}

TEST(AlcoholCsv, FormulaLikeTextsAreGuardedAndReadBackAsTheyWere) {
    CsvNames names = kNames;
    names.drivers.push_back({2, "=HYPERLINK(\"x\")"});
    names.vehicles.push_back({9, "-1号車"});
    std::vector<AlcoholCheck> checks = sample();
    checks[1].driver = 2;
    checks[1].vehicle = 9;
    checks[1].checker = "@担当";
    checks[1].methodText = "+電話";
    checks[1].instructions = "'=既に印あり";
    checks[1].remarks = "\t字下げ";
    const std::string bytes = writeChecksCsv(checks, names, store::TextEncoding::Utf8);
    EXPECT_NE(bytes.find(",\"'=HYPERLINK(\"\"x\"\")\",'-1号車,'@担当,その他,'+電話,"),
              std::string::npos)
        << bytes;
    EXPECT_NE(bytes.find(",''=既に印あり,'\t字下げ\r\n"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find(",0.250,"), std::string::npos);  // numbers stay plain
    const CsvReadResult back = readChecksCsv(bytes, names);
    EXPECT_EQ(back.error, "");
    EXPECT_EQ(back.checks, checks);
}

TEST(AlcoholCsv, RowsShowNamesDatesAndTheReading) {
    const std::string bytes = writeChecksCsv(sample(), kNames, store::TextEncoding::Utf8);
    EXPECT_NE(bytes.find("日付,時刻,区分,運転者,車両,確認者,確認方法"), std::string::npos);
    EXPECT_NE(bytes.find("2024/05/10,08:45,運転前,山田,営業車1 (品川 300 あ 12-34),安全 太郎,"
                         "対面,,検知器A (SN-001),0.000,無,,\r\n"),
              std::string::npos);
    EXPECT_NE(bytes.find("\"佐藤, 花子\""), std::string::npos);
}

TEST(AlcoholCsv, AFaultyRowStopsTheReadingAndNamesItsLine) {
    std::string bytes = writeChecksCsv(sample(), kNames);
    CsvNames fewer = kNames;
    fewer.drivers.pop_back();
    CsvReadResult r = readChecksCsv(bytes, fewer);
    EXPECT_TRUE(r.checks.empty());
    EXPECT_EQ(r.error, "3行目: 運転者「佐藤, 花子」が見つかりません。");

    const auto at = bytes.find("0.250");
    bytes.replace(at, 5, "abc");
    r = readChecksCsv(bytes, kNames);
    EXPECT_TRUE(r.checks.empty());
    EXPECT_EQ(r.error, "3行目: 測定値が正しくありません。");

    r = readChecksCsv("a,b\r\n1,2\r\n", kNames);
    EXPECT_EQ(r.error, "1行目: アルコールチェック記録簿のCSVファイルではありません。");
}

}  // namespace
}  // namespace quil::alcohol
