// CSV as RFC 4180 and spreadsheet programs write it, in both directions.

#include <gtest/gtest.h>

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
            ListCsv csv(1, names, encoding);
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
