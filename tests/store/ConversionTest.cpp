#include <gtest/gtest.h>

#include <cstring>

#include "StoreFixtures.h"
#include "store/Codec.h"
#include "store/ItemStore.h"
#include "store/RecordStore.h"

using namespace quil::store;
using namespace quil::testing;

namespace {

// One record of the older 192-byte format, filled with recognisable values.
std::string oldRecord(double date, std::uint8_t seed, const std::string& oldText) {
    std::string b(192, '\0');
    auto put = [&](std::size_t off, const void* v, std::size_t n) { std::memcpy(&b[off], v, n); };
    b[0] = 2;
    b[1] = 'Q';
    b[2] = 'D';
    b[3] = '\x55';  // pad: not copied
    double stamp = 37000.25;
    put(4, &stamp, 8);
    std::int16_t version = 100;
    put(12, &version, 2);
    std::int16_t kind = 2;
    put(14, &kind, 2);
    b[16] = 1;       // deleted
    b[17] = '\x66';  // pad
    put(20, &date, 8);
    for (std::size_t off = 28; off < 70; ++off) b[off] = static_cast<char>(seed + off);
    b[70] = 3;
    b[71] = 'a';
    b[72] = 'b';
    b[73] = 'c';
    std::int32_t r172 = -123456;
    put(172, &r172, 4);
    b[176] = static_cast<char>(oldText.size());
    std::memcpy(&b[177], oldText.data(), oldText.size());
    return b;
}

}  // namespace

TEST(Conversion, OlderRecordFileIsRebuiltFieldByField) {
    TempDir tmp;
    const double date = encodeDate(2001, 2, 3) + encodeTime(9, 15);
    const std::string text = toCp932("旧データ1234");  // 12 bytes
    writeBytes(tmp.file("Quil.qud"), oldRecord(date, 10, text) + oldRecord(date + 1, 20, "x"));

    EXPECT_TRUE(convertRecordFile(tmp.dir()));
    auto recs = readRecords(tmp.file("Quil.qud"));
    ASSERT_EQ(recs.size(), 2u);
    const auto old = oldRecord(date, 10, text);
    const auto& b = recs[0].bytes();
    auto raw = [&](std::size_t off, std::size_t n) {
        return std::string(reinterpret_cast<const char*>(b.data() + off), n);
    };
    EXPECT_EQ(raw(0, 3), old.substr(0, 3));
    EXPECT_EQ(b[3], 0);
    EXPECT_EQ(raw(4, 8), old.substr(4, 8));
    EXPECT_EQ(recs[0].version(), 101);
    EXPECT_EQ(recs[0].kind(), 2);
    EXPECT_TRUE(recs[0].deleted());
    EXPECT_EQ(b[17], 0);
    EXPECT_EQ(recs[0].date(), encodeDate(2001, 2, 3));
    EXPECT_EQ(raw(28, 22), old.substr(28, 22));
    EXPECT_EQ(raw(50, 2), std::string(2, '\0'));
    EXPECT_EQ(raw(52, 18), old.substr(52, 18));
    EXPECT_EQ(raw(70, 101), old.substr(70, 101));
    EXPECT_EQ(recs[0].reserved172(), -123456);
    EXPECT_EQ(recs[0].returnTime(), encodeDate(2001, 2, 3));
    EXPECT_EQ(recs[0].destination(), "");
    EXPECT_EQ(recs[0].legacyTextRaw(), text);
    EXPECT_EQ(recs[1].date(), encodeDate(2001, 2, 4));
    EXPECT_FALSE(readBytes(tmp.file("tmp.$$$")));

    // Converted once: a second start finds version 101 and leaves the file alone.
    auto after = readBytes(tmp.file("Quil.qud"));
    EXPECT_FALSE(convertRecordFile(tmp.dir()));
    EXPECT_EQ(readBytes(tmp.file("Quil.qud")), after);
}

TEST(Conversion, ASingleOldRecordShorterThanANewOneIsConverted) {
    TempDir tmp;
    writeBytes(tmp.file("Quil.qud"), oldRecord(encodeDate(1999, 1, 1), 1, ""));
    EXPECT_TRUE(convertRecordFile(tmp.dir()));
    EXPECT_EQ(readBytes(tmp.file("Quil.qud"))->size(), 256u);
}

TEST(Conversion, OldLegacyStringLongerThanItsFieldIsClamped) {
    TempDir tmp;
    auto rec = oldRecord(1000, 1, std::string(15, 'L'));
    rec[176] = static_cast<char>(200);
    writeBytes(tmp.file("Quil.qud"), rec);
    EXPECT_TRUE(convertRecordFile(tmp.dir()));
    EXPECT_EQ(readRecords(tmp.file("Quil.qud"))[0].legacyTextRaw(), std::string(15, 'L'));
}

TEST(Conversion, EmptyOrMissingOrCurrentFilesAreLeftAlone) {
    TempDir tmp;
    EXPECT_FALSE(convertOlderFormat(tmp.dir()).records);
    writeBytes(tmp.file("Quil.qud"), "");
    EXPECT_FALSE(convertRecordFile(tmp.dir()));
    EXPECT_EQ(readBytes(tmp.file("Quil.qud")), "");
}

TEST(Conversion, OlderItemFileGetsVersion101AndKeepsEveryOtherByte) {
    TempDir tmp;
    std::string items;
    for (int i = 0; i < 3; ++i) {
        std::string b(128, '\0');
        for (std::size_t k = 0; k < 128; ++k) b[k] = static_cast<char>(k * 7 + i);
        b[0] = 2;
        b[1] = 'Q';
        b[2] = 'I';
        b[12] = 100;
        b[13] = 0;
        items += b;
    }
    writeBytes(tmp.file("Quil.qui"), items);
    auto result = convertOlderFormat(tmp.dir());
    EXPECT_TRUE(result.items);
    EXPECT_FALSE(result.records);
    auto after = *readBytes(tmp.file("Quil.qui"));
    ASSERT_EQ(after.size(), items.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        std::size_t off = i % 128;
        if (off == 12)
            EXPECT_EQ(after[i], 101);
        else if (off == 13)
            EXPECT_EQ(after[i], 0);
        else
            EXPECT_EQ(after[i], items[i]) << i;
    }
    EXPECT_FALSE(convertItemFile(tmp.dir()));
}
