// Expiry arithmetic, the entry rules and the CSV form of licences and papers.

#include <gtest/gtest.h>

#include "papers/PaperCsv.h"
#include "papers/PaperEntry.h"
#include "papers/Papers.h"
#include "store/Codec.h"

using namespace quil::papers;
using quil::store::encodeDate;

namespace {

DriverLicence licence(int driver, quil::store::DateTime expiry, std::int64_t id = 1) {
    DriverLicence l;
    l.id = id;
    l.driver = driver;
    l.expiry = expiry;
    return l;
}

VehiclePaper paper(int vehicle, PaperKind kind, quil::store::DateTime expiry, std::int64_t id = 1,
                   std::string title = {}) {
    VehiclePaper p;
    p.id = id;
    p.vehicle = vehicle;
    p.kind = kind;
    p.title = std::move(title);
    p.expiry = expiry;
    return p;
}

}  // namespace

TEST(Expiry, TheHorizonsEdgesAcrossMonthEndsAndLeapYears) {
    // 2024 is a leap year: 30 days after 31 January is 1 March, in 2025 it is 2 March.
    const auto today = encodeDate(2024, 1, 31) + 0.75;  // late in the day: the time is no matter
    EXPECT_EQ(expiryState(encodeDate(2024, 1, 30), today, 30), ExpiryState::Lapsed);
    EXPECT_EQ(expiryState(encodeDate(2024, 1, 31), today, 30), ExpiryState::Lapsing);  // today
    EXPECT_EQ(expiryState(encodeDate(2024, 2, 1), today, 30), ExpiryState::Lapsing);   // tomorrow
    EXPECT_EQ(expiryState(encodeDate(2024, 3, 1), today, 30), ExpiryState::Lapsing);   // day 30
    EXPECT_EQ(expiryState(encodeDate(2024, 3, 2), today, 30), ExpiryState::Valid);     // day 31
    EXPECT_EQ(daysUntil(encodeDate(2025, 3, 2), encodeDate(2025, 1, 31)), 30);
    EXPECT_EQ(expiryState(encodeDate(2024, 1, 31), today, 0), ExpiryState::Lapsing);

    // A renewal's proposal keeps the day, or takes the month's last one.
    EXPECT_EQ(addMonths(encodeDate(2024, 2, 29), 12), encodeDate(2025, 2, 28));
    EXPECT_EQ(addMonths(encodeDate(2024, 2, 29), 48), encodeDate(2028, 2, 29));
    EXPECT_EQ(addMonths(encodeDate(2023, 1, 31), 1), encodeDate(2023, 2, 28));
    EXPECT_EQ(addMonths(encodeDate(2024, 1, 31), 1), encodeDate(2024, 2, 29));
    EXPECT_EQ(addMonths(encodeDate(2024, 11, 30), 25), encodeDate(2026, 12, 30));
    EXPECT_EQ(addMonths(encodeDate(2024, 3, 31), -1), encodeDate(2024, 2, 29));
}

TEST(Expiry, TheListHoldsCurrentEntriesDueWithinTheHorizonByDate) {
    const auto today = encodeDate(2026, 12, 10);
    DriverLicence old = licence(1, encodeDate(2020, 1, 1), 1);
    old.renewed = true;  // history: never listed
    const std::vector<DriverLicence> licences = {old, licence(1, encodeDate(2027, 1, 9), 2),
                                                 licence(8, encodeDate(2026, 12, 10), 3),
                                                 licence(9, encodeDate(2027, 1, 10), 4)};
    const std::vector<VehiclePaper> papers = {
        paper(0, PaperKind::Inspection, encodeDate(2026, 12, 9), 1),
        paper(0, PaperKind::Other, encodeDate(2026, 12, 10), 2, "リース満了"),
        paper(7, PaperKind::Compulsory, encodeDate(2030, 1, 1), 3)};
    const auto list = expiryList(licences, papers, today, 30);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].what, "車検");
    EXPECT_EQ(list[0].state, ExpiryState::Lapsed);
    EXPECT_EQ(list[0].days, -1);
    // The same day: the licence first, then the paper.
    EXPECT_EQ(list[1].of, ExpiryEntry::Of::Licence);
    EXPECT_EQ(list[1].position, 8);
    EXPECT_EQ(list[2].what, "リース満了");
    EXPECT_EQ(list[3].days, 30);
    EXPECT_TRUE(anyLapsed(list));
    EXPECT_FALSE(anyLapsed(expiryList(licences, {}, today, 30)));
    EXPECT_EQ(expiryList(licences, papers, today, 60).size(), 5u);
}

TEST(EntryRules, RefusalsInFieldOrderAndThePastAcceptedWithAWarning) {
    const auto today = encodeDate(2026, 12, 10);
    LicenceInput in;
    in.driver = 1;
    in.number = "１２３４ ５６７８-9012";  // full-width digits, blanks and hyphens as typed
    in.expiryText = "2029/02/28";
    in.seenOnText = "2026-12-01";
    in.kinds = " 普通・準中型 ";
    auto ok = buildLicence(in, today, {});
    ASSERT_TRUE(ok.entry) << ok.message;
    EXPECT_EQ(ok.entry->number, "123456789012");
    EXPECT_EQ(ok.entry->kinds, "普通・準中型");
    EXPECT_EQ(ok.entry->seenOn, encodeDate(2026, 12, 1));
    EXPECT_TRUE(ok.warning.empty());

    struct Case {
        void (*change)(LicenceInput&);
        EntryField field;
        const char* message;
    };
    const Case cases[] = {
        {[](LicenceInput& i) { i.driver = -1; }, EntryField::Driver, "運転者を選んでください。"},
        {[](LicenceInput& i) { i.number = "12345678901"; }, EntryField::Number, nullptr},
        {[](LicenceInput& i) { i.number = "1234567890123"; }, EntryField::Number, nullptr},
        {[](LicenceInput& i) { i.number = "12345678901a"; }, EntryField::Number, nullptr},
        {[](LicenceInput& i) { i.expiryText = "2029/02/29"; }, EntryField::Expiry,
         "正しい日付を入力して下さい！"},
        {[](LicenceInput& i) { i.expiryText = ""; }, EntryField::Expiry,
         "正しい日付を入力して下さい！"},
        {[](LicenceInput& i) { i.seenOnText = "昨日"; }, EntryField::SeenOn,
         "正しい日付を入力して下さい！"},
        {[](LicenceInput& i) { i.seenOnText = "2026/12/11"; }, EntryField::SeenOn,
         "明日以降の日付は入力できません。"},
    };
    for (const Case& c : cases) {
        LicenceInput bad = in;
        c.change(bad);
        const auto r = buildLicence(bad, today, {});
        EXPECT_FALSE(r.entry);
        EXPECT_EQ(r.field, c.field);
        if (c.message) {
            EXPECT_EQ(r.message, c.message);
        }
    }
    LicenceInput empty = in;
    empty.number = "";
    EXPECT_TRUE(buildLicence(empty, today, {}).entry);

    LicenceInput past = in;
    past.expiryText = "2026/12/09";
    const auto lapsed = buildLicence(past, today, {});
    ASSERT_TRUE(lapsed.entry);
    EXPECT_EQ(lapsed.warning, "有効期限（2026/12/09）が過ぎています。");

    PaperInput p;
    p.vehicle = 0;
    p.kind = PaperKind::Other;
    p.expiryText = "2027/03/31";
    EXPECT_EQ(buildPaper(p, today, {}).field, EntryField::Title);
    p.title = "リース満了";
    const auto built = buildPaper(p, today, {});
    ASSERT_TRUE(built.entry);
    EXPECT_EQ(built.entry->title, "リース満了");
    p.kind = PaperKind::Inspection;  // a title belongs only to the office's own entries
    EXPECT_EQ(buildPaper(p, today, {}).entry->title, "");
    p.vehicle = -1;
    EXPECT_EQ(buildPaper(p, today, {}).field, EntryField::Vehicle);
}

TEST(EntryRules, DuplicatesAreRefusedButNotTheEntryBeingEdited) {
    const auto today = encodeDate(2026, 12, 10);
    DriverLicence stored = licence(1, encodeDate(2029, 2, 28), 5);
    stored.number = "123456789012";
    LicenceInput in;
    in.driver = 1;
    in.expiryText = "2029/02/28";
    EXPECT_EQ(buildLicence(in, today, {stored}).field, EntryField::Expiry);
    EXPECT_TRUE(buildLicence(in, today, {stored}, 5).entry);  // editing that entry
    in.expiryText = "2032/02/28";  // a renewal
    EXPECT_TRUE(buildLicence(in, today, {stored}).entry);
    // One person's number on another driver's licence.
    in.driver = 8;
    in.number = "123456789012";
    EXPECT_EQ(buildLicence(in, today, {stored}).field, EntryField::Number);
    in.driver = 1;
    EXPECT_TRUE(buildLicence(in, today, {stored}).entry);

    const VehiclePaper lease = paper(0, PaperKind::Other, encodeDate(2027, 3, 31), 2, "リース満了");
    PaperInput p;
    p.vehicle = 0;
    p.kind = PaperKind::Other;
    p.title = "リース満了";
    p.expiryText = "2027/03/31";
    EXPECT_EQ(buildPaper(p, today, {lease}).field, EntryField::Expiry);
    p.title = "駐車場契約";  // another entry of the office's own: no duplicate
    EXPECT_TRUE(buildPaper(p, today, {lease}).entry);
    p.kind = PaperKind::Inspection;
    EXPECT_TRUE(buildPaper(p, today, {lease}).entry);
}

TEST(PaperCsv, RoundTripsWithoutNumbersUnlessAskedAndRefusesAFaultyFileWhole) {
    const auto today = encodeDate(2026, 12, 10);
    CsvNames names;
    names.drivers = {{1, "使用者1"}, {8, "山田"}};
    names.vehicles = {{0, "車両1"}, {7, "軽トラ (品川 300 あ 12-34)"}};
    DriverLicence a = licence(1, encodeDate(2029, 2, 28), 1);
    a.number = "123456789012";
    a.kinds = "普通";
    a.conditions = "=眼鏡等";  // a formula-like text survives the guard
    a.seenOn = encodeDate(2026, 12, 1);
    a.seenBy = "総務";
    a.remarks = "更新, 済み";
    const DriverLicence b = licence(8, encodeDate(2027, 5, 1), 2);

    const std::string withNumbers = writeLicencesCsv({a, b}, names, true);
    const std::string without = writeLicencesCsv({a, b}, names, false);
    EXPECT_EQ(withNumbers.find(quil::store::toCp932("運転者,免許証番号,")), 0u);
    EXPECT_EQ(without.find("123456789012"), std::string::npos);
    auto back = readLicencesCsv(withNumbers, names, {}, today);
    ASSERT_EQ(back.error, "");
    ASSERT_EQ(back.entries.size(), 2u);
    a.id = 0;
    EXPECT_EQ(back.entries[0], a);
    back = readLicencesCsv(without, names, {}, today);
    ASSERT_EQ(back.error, "");
    EXPECT_EQ(back.entries[0].number, "");
    // Read again over what is stored: every row is skipped, nothing added twice.
    const auto again = readLicencesCsv(withNumbers, names, {a, b}, today);
    EXPECT_EQ(again.error, "");
    EXPECT_TRUE(again.entries.empty());
    EXPECT_EQ(again.alreadyStored, 2u);

    std::string faulty = writeLicencesCsv({a, b}, names, true, quil::store::TextEncoding::Utf8);
    faulty += "山田,99,普通,,2030/01/01,,,\r\n";
    const auto refused = readLicencesCsv(faulty, names, {}, today);
    EXPECT_TRUE(refused.entries.empty());
    EXPECT_EQ(refused.error.rfind("4行目: 免許証番号は12桁", 0), 0u) << refused.error;
    const auto unknown =
        readLicencesCsv(quil::store::toCp932("運転者,種類,条件,有効期限,確認日,確認者,備考\r\n"
                                              "鈴木,,,2030/01/01,,,\r\n"),
                        names, {}, today);
    EXPECT_EQ(unknown.error, "2行目: 運転者「鈴木」が見つかりません。");
    // Twice the same licence in one file is a duplicate.
    const auto twice = readLicencesCsv(
        "運転者,種類,条件,有効期限,確認日,確認者,備考\n山田,,,2030/01/01,,,\n山田,,,2030/01/01,,,\n",
        names, {}, today);
    EXPECT_EQ(twice.error.rfind("3行目:", 0), 0u) << twice.error;

    VehiclePaper c = paper(7, PaperKind::Voluntary, encodeDate(2027, 4, 1), 3);
    c.insurer = "東京海上";
    c.number = "P-0001";
    const VehiclePaper d = paper(0, PaperKind::Other, encodeDate(2027, 3, 31), 4, "リース満了");
    const auto papersBack = readPapersCsv(writePapersCsv({c, d}, names), names, {}, today);
    ASSERT_EQ(papersBack.error, "");
    ASSERT_EQ(papersBack.entries.size(), 2u);
    c.id = 0;
    EXPECT_EQ(papersBack.entries[0], c);
    EXPECT_EQ(papersBack.entries[1].title, "リース満了");
    EXPECT_NE(readPapersCsv("車両,種類\n", names, {}, today).error, "");
}
