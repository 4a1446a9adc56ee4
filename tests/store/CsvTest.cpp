// CSV as RFC 4180 and spreadsheet programs write it, in both directions.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <type_traits>

#include "store/Codec.h"
#include "store/CsvReader.h"
#include "store/CsvWriter.h"
#include "store/Date.h"
#include "store/ListCsv.h"

using namespace quil::store;

namespace {

std::vector<std::vector<std::string>> fieldsOf(std::string_view text) {
    std::optional<CsvParseError> error;
    std::vector<std::vector<std::string>> out;
    for (const CsvRow& r : CsvReader::parse(text, error)) out.push_back(r.fields);
    EXPECT_FALSE(error) << error->message;
    return out;
}

}  // namespace

TEST(CsvWriter, QuotesOnlyFieldsThatNeedItAndEndsRowsWithCrLf) {
    CsvWriter w;
    for (const char* f : {"plain", "a,b", "say \"hi\"", "two\nlines", "cr\r", "", " space "})
        w.field(f);
    w.endRow();
    w.field("次");
    w.endRow();
    EXPECT_EQ(w.take(),
              "plain,\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",\"cr\r\",, space \r\n次\r\n");
    EXPECT_EQ(w.pendingBytes(), 0u);
}

// Long CP932 fields with one special character at every position, and with every other
// byte below it that is harmless: only the fields holding the character are quoted.
TEST(CsvWriter, FindsTheCharacterThatNeedsQuotesAnywhereInALongField) {
    const std::string text = toCp932("ベンチマーク用の備考ですよ");
    for (char special : {',', '"', '\r', '\n'}) {
        for (std::size_t at = 0; at <= text.size(); ++at) {
            std::string field = text;
            field.insert(at, 1, special);
            CsvWriter w;
            w.field(field);
            w.endRow();
            std::string quoted = "\"";
            for (char c : field) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
            EXPECT_EQ(w.pending(), quoted + "\"\r\n") << at;
        }
    }
    for (std::size_t at = 0; at <= text.size(); ++at) {
        std::string field = text;
        field.insert(at, " !#$%&'()*+");
        CsvWriter w;
        w.field(field);
        EXPECT_EQ(w.pending(), field) << at;
        w.clear();
        EXPECT_EQ(w.pendingBytes(), 0u);
    }
}

// The name columns are quoted exactly when the name needs it, whether or not another name
// of the master list does.
TEST(ListCsv, NameColumnsAreQuotedOnlyWhenTheNameNeedsIt) {
    for (const char* shop : {"B商会", "B,商会", "B\"商会"}) {
        std::vector<ItemRecord> items(3);
        items[0].setKind(ItemKind::Vehicle);
        items[0].setName("軽トラ");
        items[1].setKind(ItemKind::User);
        items[1].setName("山田");
        items[2].setKind(ItemKind::Shop);
        items[2].setName(shop);
        const ItemNames names(items);
        for (TextEncoding encoding : {TextEncoding::Utf8, TextEncoding::Cp932}) {
            ListCsv csv(ListTab::Refuelling, names, encoding);
            DataRecord r;
            r.setKind(1);
            r.setDate(encodeDate(2024, 5, 1));
            r.setVehicle(0);
            r.setUser(1);
            r.setPlace(2);
            r.setDistance2(10.5);
            r.setRemarks("a,b");
            csv.row(r);
            const auto rows = fieldsOf(CsvReader::decode(std::string(csv.pending()), encoding));
            ASSERT_EQ(rows.size(), 1u);
            ASSERT_EQ(rows[0].size(), 9u) << csv.pending();
            EXPECT_EQ(rows[0][2], "軽トラ");
            EXPECT_EQ(rows[0][3], "山田");
            EXPECT_EQ(rows[0][7], shop);
            EXPECT_EQ(rows[0][8], "a,b");
        }
    }
}

TEST(CsvReader, ReadsQuotedFieldsLineBreaksAndBothLineEnds) {
    EXPECT_EQ(fieldsOf("a,b\r\nc,d\ne,f"),
              (std::vector<std::vector<std::string>>{{"a", "b"}, {"c", "d"}, {"e", "f"}}));
    EXPECT_EQ(fieldsOf("\"a,b\",\"say \"\"hi\"\"\",\"x\r\ny\"\r\n"),
              (std::vector<std::vector<std::string>>{{"a,b", "say \"hi\"", "x\r\ny"}}));
    EXPECT_EQ(fieldsOf(",,\r\n\r\n\r\nz\r\n"),
              (std::vector<std::vector<std::string>>{{"", "", ""}, {"z"}}));
    EXPECT_EQ(fieldsOf("a\rb,c"), (std::vector<std::vector<std::string>>{{"a\rb", "c"}}));
}

TEST(CsvReader, RowsKnowTheLineTheyStartOn) {
    std::optional<CsvParseError> error;
    const auto rows = CsvReader::parse("h\r\n\"two\nlines\"\r\n\r\nlast\r\n", error);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].line, 1u);
    EXPECT_EQ(rows[1].line, 2u);
    EXPECT_EQ(rows[2].line, 5u);
}

TEST(CsvReader, BrokenQuotingIsAnErrorNamingItsLine) {
    std::optional<CsvParseError> error;
    CsvReader::parse("a\nb\n\"never closed\n", error);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->line, 3u);
    CsvReader::parse("a\n\"x\"y,z\n", error);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->line, 2u);
}

TEST(CsvReader, DecodesCp932Utf8AndByteOrderMarks) {
    const std::string text = "年月日,車両\r\n2024/01/01,軽トラ～\r\n";
    const std::string cp932 = toCp932(text);
    EXPECT_EQ(CsvReader::decode(cp932, std::nullopt), text);
    EXPECT_EQ(CsvReader::decode(text, std::nullopt), text);  // BOM-less UTF-8
    EXPECT_EQ(CsvReader::decode("\xEF\xBB\xBF" + text, std::nullopt), text);
    EXPECT_EQ(CsvReader::decode("\xEF\xBB\xBF" + text, TextEncoding::Cp932), text);
    EXPECT_EQ(CsvReader::decode(cp932, TextEncoding::Cp932), text);
    // Told it is UTF-8, bytes are taken as they are.
    EXPECT_EQ(CsvReader::decode(cp932, TextEncoding::Utf8), cp932);
    // A cut UTF-8 sequence at the end is not UTF-8.
    EXPECT_NE(CsvReader::decode(text.substr(0, 2), std::nullopt), text.substr(0, 2));
}

namespace {

// The list's texts of every column through the general cell formatting, quoted where a
// field needs it: what the CSV rows must hold, byte for byte.
std::string cellByCell(ListTab tab, const ItemNames& names, TextEncoding encoding,
                       const std::vector<DataRecord>& records) {
    const ListRowFormatter cells(tab, names, encoding);
    CsvWriter w;
    for (int c = 1; c < listColumnCount(tab); ++c) w.field(cells.title(c));
    w.endRow();
    std::int64_t row = 0;
    for (const DataRecord& r : records) {
        ++row;
        for (int c = 1; c < listColumnCount(tab); ++c)
            w.fieldFrom([&](std::string& out) { cells.appendCell(out, r, row, c); });
        w.endRow();
    }
    // A UTF-8 file starts with the byte-order mark Excel needs.
    return (encoding == TextEncoding::Utf8 ? "\xEF\xBB\xBF" : "") + w.take();
}

std::string rowByRow(ListTab tab, const ItemNames& names, TextEncoding encoding,
                     const std::vector<DataRecord>& records) {
    ListCsv csv(tab, names, encoding);
    csv.header();
    std::string out;
    for (const DataRecord& r : records) {
        csv.row(r);
        if (csv.full()) {
            out += csv.pending();
            csv.clear();
        }
    }
    return out + csv.take();
}

// A record with raw bytes in a text field: `length` may claim more than the field holds.
DataRecord withRawText(DataRecord r, std::size_t offset, std::uint8_t length,
                       std::string_view bytes) {
    std::array<std::uint8_t, DataRecord::Size> raw = r.bytes();
    raw[offset] = length;
    std::memcpy(raw.data() + offset + 1, bytes.data(), bytes.size());
    return DataRecord(raw.data());
}

std::vector<ItemRecord> awkwardItems() {
    const char* names[] = {"車両1", "a,b",        "say \"hi\"", "two\nlines",
                           "cr\r",  "",           "ｶﾅ商会",     "１２３４５６７８９０１２３４５",
                           "Ω€😀",   "末尾,\"\r\n"};
    std::vector<ItemRecord> items;
    for (std::size_t i = 0; i < std::size(names); ++i) {
        ItemRecord it;
        it.setKind(std::int16_t(1 + i % 7));
        it.setName(names[i]);
        it.setDeleted(i % 4 == 3);
        items.push_back(it);
    }
    // A name whose stored bytes end inside a two-byte character.
    std::array<std::uint8_t, ItemRecord::Size> raw = items[0].bytes();
    raw[21] = 'X';
    raw[22] = 0x82;
    raw[23] = 0x81;
    raw[24] = 0x81;
    raw[20] = 4;
    items.push_back(ItemRecord(raw.data()));
    return items;
}

std::vector<DataRecord> awkwardRecords(std::size_t count) {
    const char* texts[] = {
        "",    "ベンチマーク用の備考",  "a,b", "say \"hi\"", "two\r\nlines", "lf\n", "ｱｲｳ ～ 〜",
        "Ω€😀", "                    x", "\"",  ","};
    const double numbers[] = {0.0,     -0.04, 12345.65, 1e300,        -12.3,     999999999.95,
                              0.05,    1e9,   -1e9,     std::nan(""), 1.0 / 0.0, 123.4,
                              5.55e-5, 7.25,  -0.0,     0.1 + 0.2};
    const std::int32_t amounts[] = {0, 1, -1, 9, 10, 99999, INT32_MIN, INT32_MAX};
    const std::int16_t positions[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, -1, -5, 11, 999, 32767};
    std::mt19937 random(15);
    auto pick = [&](const auto& values) { return values[random() % std::size(values)]; };
    std::vector<DataRecord> records;
    double day = encodeDate(2024, 12, 30);
    for (std::size_t i = 0; i < count; ++i) {
        DataRecord r;
        r.setKind(std::int16_t(i % 5 == 4 ? 7 : i % 4));
        r.setDeleted(i % 9 == 0);
        // Mostly days in order with times on them, now and then any date at all.
        day += (random() % 3 == 0) ? 1.0 : 0.0;
        const double odd[] = {std::nan(""), -1.25,    0.0,          2958465.999,
                              1e10,         -1e10,    0.9999999999, day + 0.99999999999,
                              -0.5,         2958466.5};
        r.setDate(random() % 20 == 0 ? pick(odd) : day + double(random() % 1440) / 1440.0);
        r.setReturnTime(random() % 20 == 0 ? pick(odd) : day + double(random() % 97) / 96.0);
        r.setVehicle(pick(positions));
        r.setUser(pick(positions));
        r.setItem(pick(positions));
        r.setPlace(pick(positions));
        r.setDistance1(random() % 3 ? double(random() % 100000) / 10.0 : pick(numbers));
        r.setDistance2(random() % 3 ? double(random() % 100000) / 10.0 : pick(numbers));
        r.setPrice(random() % 2 ? std::int32_t(random() % 100000) : pick(amounts));
        r.setTax(pick(amounts));
        r.setRemarks(pick(texts));
        r.setDestination(pick(texts));
        switch (random() % 12) {
            case 0: r = withRawText(r, 70, 3, "a\x81"); break;           // cut character
            case 1: r = withRawText(r, 70, 2, "\x80,"); break;           // not CP932
            case 2: r = withRawText(r, 184, 0xFF, "\xA0\"\xFD"); break;  // damaged length
            case 3: r = withRawText(r, 184, 4, "\x82\xA0\xFF\n"); break;
            default: break;
        }
        records.push_back(r);
    }
    return records;
}

}  // namespace

// The rows written straight into the buffer hold exactly the texts the list formats cell by
// cell: awkward names and texts (commas, quotes, line breaks, text CP932 cannot hold, bytes
// that are not whole CP932), deleted and missing items, odd numbers and dates, records of
// every kind on every tab, in both encodings, across buffers taken on the way.
TEST(ListCsv, RowsMatchTheListsCellTextsOnAwkwardRecords) {
    const std::vector<ItemRecord> items = awkwardItems();
    const ItemNames names(items);
    const std::vector<DataRecord> records = awkwardRecords(12000);
    for (TextEncoding encoding : {TextEncoding::Cp932, TextEncoding::Utf8}) {
        for (const ListTab tab : kListTabs) {
            const std::string expected = cellByCell(tab, names, encoding, records);
            const std::string written = rowByRow(tab, names, encoding, records);
            ASSERT_EQ(written.size(), expected.size()) << "tab " << int(tab);
            for (std::size_t at = 0; at < expected.size(); ++at)
                ASSERT_EQ(written[at], expected[at]) << "tab " << int(tab) << " at " << at << ": "
                                                     << expected.substr(at > 80 ? at - 80 : 0, 160);
        }
    }
    // Many rows come out in several pieces, the same bytes in the same order; kept
    // together, the buffer grows to hold them all.
    std::vector<DataRecord> many;
    for (int i = 0; i < 3; ++i) many.insert(many.end(), records.begin(), records.end());
    const std::string expected = cellByCell(ListTab::Expense, names, TextEncoding::Cp932, many);
    EXPECT_EQ(rowByRow(ListTab::Expense, names, TextEncoding::Cp932, many), expected);
    ListCsv kept(ListTab::Expense, names, TextEncoding::Cp932);
    kept.header();
    for (const DataRecord& r : many) kept.row(r);
    EXPECT_TRUE(kept.full());
    EXPECT_EQ(kept.take(), expected);
    EXPECT_EQ(kept.pending(), "");
}

// The tab's columns in order, and nothing but a line end on a tab that does not exist; a
// UTF-8 file starts with the byte-order mark Excel needs, a CP932 one does not.
TEST(ListCsv, HeaderHoldsTheColumnTitles) {
    const ItemNames names;
    ListCsv csv(ListTab::Expense, names, TextEncoding::Utf8);
    csv.header();
    EXPECT_EQ(csv.take(), "\xEF\xBB\xBFNo,年月日,車両,使用者,項目,税抜金額,消費税,店,備考\r\n");
    // A number that names no tab does not get this far.
    static_assert(!std::is_constructible_v<ListCsv, int, const ItemNames&, TextEncoding>);
    ListCsv cp932(ListTab::Expense, names, TextEncoding::Cp932);
    cp932.header();
    EXPECT_EQ(cp932.take().substr(0, 3), "No,");
}
