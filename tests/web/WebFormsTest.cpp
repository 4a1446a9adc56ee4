// The check and drive forms of the drivers' page: accepted input builds the record the
// desktop would, and each refusal (the page's own and the desktop's) names its field with
// its message; nothing is built on a refusal.

#include <gtest/gtest.h>

#include "store/Codec.h"
#include "store/RecordEntry.h"
#include "web/WebForms.h"

using namespace quil;
using namespace quil::web;

namespace {

constexpr int kDriver = 4;
constexpr double kStamp = 46000.25;

server::WebFormLists lists() {
    server::WebFormLists l;
    l.vehicles = {{3, "軽トラ (品川 400 あ 12-34)"}, {5, "営業車"}};
    l.purposes = {{2, "配達"}, {6, "営業"}};
    l.detectors = {{7, "検知器A"}};
    l.checkers = {"安全 太郎"};
    return l;
}

store::DateTime now() { return store::encodeDate(2026, 12, 9) + store::encodeTime(10, 30); }

FormValues goodCheck() {
    return {{"timing", "after"},        {"date", "2026-12-09"}, {"time", "08:05"},
            {"vehicle", "5"},           {"method", "phone"},    {"method_text", ""},
            {"checker", " 安全 太郎 "}, {"detector", "7"},      {"reading", "0.00"},
            {"intoxicated", "no"},      {"instructions", ""},   {"remarks", "直行"}};
}

FormValues goodDrive() {
    return {{"date", "2026-12-08"},
            {"start", "8:00"},
            {"end", "17:45"},
            {"vehicle", "3"},
            {"odometer_start", "12345.6"},
            {"odometer_end", "12400"},
            {"purpose", "2"},
            {"destination", "横浜市 港北区"},
            {"remarks", "雨"}};
}

// The refusals of the check form with one field changed.
FormErrors checkErrors(const std::string& name, const std::string& value) {
    FormValues f = goodCheck();
    f[name] = value;
    const CheckForm r = readCheckForm(f, kDriver, lists(), now());
    EXPECT_FALSE(r.check) << name << "=" << value;
    return r.errors;
}

FormErrors driveErrors(const std::string& name, const std::string& value) {
    FormValues f = goodDrive();
    f[name] = value;
    const DriveForm r = readDriveForm(f, kDriver, lists(), now(), kStamp);
    EXPECT_FALSE(r.drive) << name << "=" << value;
    return r.errors;
}

}  // namespace

TEST(WebCheckForm, AcceptedInputBuildsTheChecksOfTheSessionsDriver) {
    const CheckForm r = readCheckForm(goodCheck(), kDriver, lists(), now());
    ASSERT_TRUE(r.check) << (r.errors.empty() ? "" : r.errors.begin()->second);
    EXPECT_TRUE(r.errors.empty());
    const alcohol::AlcoholCheck& c = *r.check;
    EXPECT_EQ(c.id, 0);
    EXPECT_EQ(c.driver, kDriver);
    EXPECT_EQ(c.vehicle, 5);
    EXPECT_EQ(c.when, store::encodeDate(2026, 12, 9) + store::encodeTime(8, 5));
    EXPECT_EQ(c.timing, alcohol::CheckTiming::AfterDrive);
    EXPECT_EQ(c.method, alcohol::CheckMethod::Phone);
    EXPECT_EQ(c.checker, "安全 太郎");
    EXPECT_EQ(c.detector, 7);
    ASSERT_TRUE(c.reading);
    EXPECT_EQ(*c.reading, 0.0);
    EXPECT_FALSE(c.intoxicated);
    EXPECT_EQ(c.remarks, "直行");

    FormValues f = goodCheck();
    f["method"] = "other";
    f["method_text"] = "現場で対面 (協力会社)";
    f["reading"] = "0.2";
    f["intoxicated"] = "yes";
    f["instructions"] = "運転中止、代わりの運転者を手配";
    const CheckForm other = readCheckForm(f, kDriver, lists(), now());
    ASSERT_TRUE(other.check);
    EXPECT_EQ(other.check->methodText, "現場で対面 (協力会社)");
    EXPECT_TRUE(other.check->intoxicated);
    EXPECT_EQ(other.check->instructions, "運転中止、代わりの運転者を手配");
}

TEST(WebCheckForm, EachRefusalNamesItsFieldWithThePagesOrTheDialogsMessage) {
    const struct {
        std::string name, value, field, message;
    } cases[] = {
        // the page's own
        {"timing", "", "timing", "運転前か運転後かを選んでください。"},
        {"timing", "during", "timing", "運転前か運転後かを選んでください。"},
        {"date", "", "date", "日付を入力してください。"},
        {"date", "2026-02-30", "date", "正しい日付を入力して下さい！"},
        {"date", "9 December", "date", "正しい日付を入力して下さい！"},
        {"date", "2026-12-10", "date", "明日以降の日付は入力できません。"},
        {"date", "2025-12-01", "date", "1年以上前の日付は入力できません。事務所に届けてください。"},
        {"time", "", "time", "時刻を入力してください。"},
        {"time", "24:00", "time", "正しい時間を入力して下さい！"},
        {"time", "8:5", "time", "正しい時間を入力して下さい！"},
        {"vehicle", "", "vehicle", "車両を選んでください。"},
        {"vehicle", "4", "vehicle", "一覧にない車両です。選び直してください。"},
        {"vehicle", "5 OR 1=1", "vehicle", "一覧にない車両です。選び直してください。"},
        {"method", "email", "method", "確認方法を選んでください。"},
        {"detector", "8", "detector", "一覧にない検知器です。選び直してください。"},
        {"intoxicated", "", "intoxicated", "酒気帯びの有無を選んでください。"},
        {"checker", "安全\n太郎", "checker", "改行や制御文字は使えません。"},
        {"checker", "安全\xff", "checker", "文字コードが正しくありません。入力し直してください。"},
        {"remarks", "😀", "remarks", "「😀」は台帳に記録できない文字です。別の文字にしてください。"},
        {"instructions", std::string(101, 'x'), "instructions", "100文字以内で入力してください。"},
        {"reading", std::string(21, '0'), "reading", "20文字以内で入力してください。"},
        // the desktop dialog's (buildCheck)
        {"checker", "  ", "checker", "確認者を入力してください。"},
        {"detector", "0", "detector", "アルコール検知器を選んでください。"},
        {"reading", "abc", "reading", "測定値は 0 から 5 までの数値(mg/L)で入力してください。"},
        {"reading", "5.1", "reading", "測定値は 0 から 5 までの数値(mg/L)で入力してください。"},
        {"reading", "0.15", "intoxicated",
         "測定値が 0.15mg/L 以上です。酒気帯びを「有」にしてください。"},
        {"method", "other", "method_text", "確認方法の内容を入力してください。"},
        {"intoxicated", "yes", "instructions",
         "酒気帯びが「有」のときは指示事項(運転中止など)を入力してください。"},
    };
    for (const auto& k : cases) {
        const FormErrors e = checkErrors(k.name, k.value);
        ASSERT_EQ(e.count(k.field), 1u) << k.name << "=" << k.value;
        EXPECT_EQ(e.at(k.field), k.message) << k.name << "=" << k.value;
        EXPECT_EQ(e.size(), 1u) << k.name << "=" << k.value;
    }
    // A hundred characters of two bytes each are still a check's text.
    FormValues f = goodCheck();
    f["remarks"] = [] {
        std::string s;
        for (int i = 0; i < 100; ++i) s += "漢";
        return s;
    }();
    EXPECT_TRUE(readCheckForm(f, kDriver, lists(), now()).check);
}

TEST(WebCheckForm, EveryFieldsProblemIsShownAtOnce) {
    FormValues f = goodCheck();
    f["date"] = "2099-01-01";
    f["vehicle"] = "";
    f["remarks"] = "\x82\xa0";
    f.erase("intoxicated");
    const CheckForm r = readCheckForm(f, kDriver, lists(), now());
    EXPECT_FALSE(r.check);
    EXPECT_EQ(r.errors.size(), 4u);
    for (const char* field : {"date", "vehicle", "remarks", "intoxicated"})
        EXPECT_EQ(r.errors.count(field), 1u) << field;
    EXPECT_FALSE(readCheckForm({}, kDriver, lists(), now()).check);
}

TEST(WebDriveForm, AcceptedInputBuildsTheDrivingRecordTheEntryDialogWould) {
    const DriveForm r = readDriveForm(goodDrive(), kDriver, lists(), now(), kStamp);
    ASSERT_TRUE(r.drive) << (r.errors.empty()
                                 ? ""
                                 : r.errors.begin()->first + " " + r.errors.begin()->second);
    const store::DataRecord& d = *r.drive;
    EXPECT_EQ(d.kind(), std::int16_t(store::RecordKind::Driving));
    EXPECT_EQ(d.stamp(), kStamp);
    EXPECT_FALSE(d.deleted());
    EXPECT_EQ(d.date(), store::encodeDate(2026, 12, 8) + store::encodeTime(8, 0));
    EXPECT_EQ(d.returnTime(), store::encodeDate(2026, 12, 8) + store::encodeTime(17, 45));
    EXPECT_EQ(d.vehicle(), 3);
    EXPECT_EQ(d.user(), kDriver);
    EXPECT_EQ(d.distance1(), 12345.6);
    EXPECT_EQ(d.distance2(), 12400.0);
    EXPECT_EQ(d.item(), 2);
    EXPECT_EQ(d.destination(), "横浜市 港北区");
    EXPECT_EQ(d.remarks(), "雨");

    // The same record as the entry dialog builds from the same input.
    store::EntryInput in;
    in.kind = store::RecordKind::Driving;
    in.stamp = kStamp;
    in.day = store::encodeDate(2026, 12, 8);
    in.startHour = "8";
    in.startMinute = "00";
    in.endHour = "17";
    in.endMinute = "45";
    in.vehicle = 3;
    in.user = kDriver;
    in.third = 2;
    in.value1 = "12345.6";
    in.value2 = "12400";
    in.value3 = "横浜市 港北区";
    in.remarks = "雨";
    const auto desktop = store::buildEntryRecord(in);
    ASSERT_TRUE(std::holds_alternative<store::DataRecord>(desktop));
    EXPECT_EQ(std::get<store::DataRecord>(desktop), d);

    FormValues f = goodDrive();
    f["purpose"] = "-1";  // その他
    f["destination"] = "";
    f["odometer_end"] = "12345.6";  // nothing driven is not backwards
    const DriveForm other = readDriveForm(f, kDriver, lists(), now(), kStamp);
    ASSERT_TRUE(other.drive);
    EXPECT_EQ(other.drive->item(), -1);
}

TEST(WebDriveForm, EachRefusalNamesItsFieldWithThePagesOrTheDialogsMessage) {
    std::string twentyOne, fiftyOne;
    for (int i = 0; i < 21; ++i) twentyOne += "東";
    for (int i = 0; i < 51; ++i) fiftyOne += "雨";
    const struct {
        std::string name, value, field, message;
    } cases[] = {
        {"date", "", "date", "日付を入力してください。"},
        {"date", "2026-12-10", "date", "明日以降の日付は入力できません。"},
        {"date", "2026-13-01", "date", "正しい日付を入力して下さい！"},
        {"start", "", "start", "時刻を入力してください。"},
        {"end", "17:60", "end", "正しい時間を入力して下さい！"},
        {"vehicle", "", "vehicle", "車両を選んでください。"},
        {"vehicle", "-1", "vehicle", "一覧にない車両です。選び直してください。"},
        {"purpose", "", "purpose", "目的を選んでください。"},
        {"purpose", "3", "purpose", "一覧にない目的です。選び直してください。"},
        {"odometer_start", "", "odometer_start", "出庫時の距離計 (km) を入力してください。"},
        {"odometer_start", "-1", "odometer_start",
         "距離計は 0 から 9999999.9 までの数で入力してください。"},
        {"odometer_end", "1e300", "odometer_end",
         "距離計は 0 から 9999999.9 までの数で入力してください。"},
        {"odometer_end", "12345.5", "odometer_end",
         "入庫時の距離計が出庫時より小さくなっています。"},
        {"destination", twentyOne, "destination",
         "全角20文字 (半角40文字) 以内で入力してください。"},
        {"destination", std::string(41, 'a'), "destination",
         "全角20文字 (半角40文字) 以内で入力してください。"},
        {"destination", "〒\xe3", "destination",
         "文字コードが正しくありません。入力し直してください。"},
        {"remarks", fiftyOne, "remarks", "全角50文字 (半角100文字) 以内で入力してください。"},
        {"remarks", "①②\t", "remarks", "改行や制御文字は使えません。"},
        // the entry dialog's (buildEntryRecord)
        {"odometer_start", "12,345", "odometer_start", "正しい出庫距離を入力して下さい！"},
        {"odometer_end", "たくさん", "odometer_end", "正しい入庫距離を入力して下さい！"},
    };
    for (const auto& k : cases) {
        const FormErrors e = driveErrors(k.name, k.value);
        ASSERT_EQ(e.count(k.field), 1u) << k.name << "=" << k.value;
        EXPECT_EQ(e.at(k.field), k.message) << k.name << "=" << k.value;
        EXPECT_EQ(e.size(), 1u) << k.name << "=" << k.value;
    }
    // Exactly the record's room is accepted, and kept whole.
    FormValues f = goodDrive();
    f["destination"] = twentyOne.substr(0, 20 * 3);
    f["remarks"] = fiftyOne.substr(0, 50 * 3);
    const DriveForm full = readDriveForm(f, kDriver, lists(), now(), kStamp);
    ASSERT_TRUE(full.drive);
    EXPECT_EQ(full.drive->destination(), twentyOne.substr(0, 60));
    EXPECT_EQ(full.drive->remarks(), fiftyOne.substr(0, 150));
}

TEST(WebForms, DatesAndTimesReadAsThePageSendsThem) {
    EXPECT_EQ(parseFormDate("2026-12-09"), store::encodeDate(2026, 12, 9));
    EXPECT_EQ(parseFormDate("2026/1/5"), store::encodeDate(2026, 1, 5));
    EXPECT_FALSE(parseFormDate("0026-12-09"));
    EXPECT_FALSE(parseFormDate("2026-02-29"));
    EXPECT_FALSE(parseFormDate(""));
    const auto t = parseFormTime("07:09");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->hour, 7u);
    EXPECT_EQ(t->minute, 9u);
    EXPECT_TRUE(parseFormTime("7:09"));
    EXPECT_TRUE(parseFormTime("23:59"));
    for (const char* bad :
         {"", "7", "07:9", "07:090", ":30", "123:00", "07-09", "ab:cd", "07:09:00"})
        EXPECT_FALSE(parseFormTime(bad)) << bad;
}

TEST(WebForms, TimesLaterThanNowAndAReturnBeforeTheDepartureAreRefusedBesideTheirField) {
    const std::string later = "今より後の時刻は入力できません。";
    // Now is 10:30 on the 9th; a phone's clock a few minutes ahead is still taken.
    EXPECT_EQ(checkErrors("time", "10:36"), (FormErrors{{"time", later}}));
    FormValues f = goodCheck();
    f["time"] = "10:35";
    EXPECT_TRUE(readCheckForm(f, kDriver, lists(), now()).check);
    f["date"] = "2026-12-08";
    f["time"] = "23:59";
    EXPECT_TRUE(readCheckForm(f, kDriver, lists(), now()).check);

    FormValues d = goodDrive();
    d["date"] = "2026-12-09";
    d["start"] = "09:00";
    d["end"] = "23:50";
    EXPECT_EQ(readDriveForm(d, kDriver, lists(), now(), kStamp).errors,
              (FormErrors{{"end", later}}));
    d["start"] = "22:00";
    EXPECT_EQ(readDriveForm(d, kDriver, lists(), now(), kStamp).errors,
              (FormErrors{{"start", later}, {"end", later}}));
    // Back at 17:45 after leaving at 18:00, on a day gone by.
    EXPECT_EQ(driveErrors("start", "18:00"),
              (FormErrors{{"end", "帰庫時刻が出庫時刻より前になっています。"}}));
    d = goodDrive();
    d["end"] = "8:00";  // back at once
    EXPECT_TRUE(readDriveForm(d, kDriver, lists(), now(), kStamp).drive);
}
