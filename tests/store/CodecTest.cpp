#include "store/Codec.h"

#include <gtest/gtest.h>

#include <string>

using namespace quil::store;

TEST(Codec, RoundTripsJapaneseThroughCp932Bytes) {
    // 表 is 0x95 0x5C in CP932: its second byte is a backslash.
    EXPECT_EQ(toCp932("表"), std::string("\x95\x5C", 2));
    EXPECT_EQ(toCp932("車両1"), std::string("\x8E\xD4\x97\xBC"
                                            "1"));
    EXPECT_EQ(fromCp932(std::string("\x8E\xD4\x97\xBC"
                                    "1")),
              "車両1");
}

TEST(Codec, UsesWindowsMappingsForWaveDashAndFullWidthMinus) {
    EXPECT_EQ(toCp932("～"), std::string("\x81\x60", 2));  // U+FF5E
    EXPECT_EQ(toCp932("－"), std::string("\x81\x7C", 2));  // U+FF0D
    EXPECT_EQ(toCp932("㍑"), std::string("\x87\x67", 2));  // U+3351
    EXPECT_EQ(fromCp932(std::string("\x81\x60", 2)), "～");
}

TEST(Codec, UnmappableCharactersBecomeQuestionMarks) { EXPECT_EQ(toCp932("a😀b"), "a?b"); }

TEST(Codec, HalfCharactersReadTolerantly) {
    // A name cut in the middle of 両 by an older program.
    std::string cut("\x8E\xD4\x97", 3);
    EXPECT_EQ(fromCp932(cut), "車\xEF\xBF\xBD");
    // A lead byte followed by a byte that cannot be a trail byte keeps that byte.
    EXPECT_EQ(fromCp932(std::string("\x8E"
                                    " ",
                                    2)),
              "\xEF\xBF\xBD ");
}

TEST(Codec, CutsAtCharacterBoundaries) {
    std::string s = toCp932("ab車両");  // 6 bytes
    EXPECT_EQ(cp932CutLength(s, 6), 6u);
    EXPECT_EQ(cp932CutLength(s, 5), 4u);  // would split 両
    EXPECT_EQ(cp932CutLength(s, 3), 2u);
    EXPECT_EQ(toCp932Cut("ab車両", 5), toCp932("ab車"));
    EXPECT_EQ(cp932Length("ｱ車"), 3u);  // half-width kana is one byte
}

// Every one- and two-byte string, and a lone first byte after a whole character, is whole
// CP932 exactly when single bytes are ASCII or half-width kana and pairs are a lead byte
// and a trail byte.
TEST(Codec, WholeCp932ChecksEveryShortByteString) {
    auto single = [](int b) { return b < 0x80 || (b >= 0xA1 && b <= 0xDF); };
    auto lead = [](int b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); };
    auto trail = [](int b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; };
    for (int a = 0; a < 256; ++a) {
        const std::string one(1, char(a));
        ASSERT_EQ(quil::store::isWholeCp932(one), single(a)) << a;
        ASSERT_EQ(quil::store::isWholeCp932("A" + one), single(a)) << a;
        for (int b = 0; b < 256; ++b) {
            const std::string two{char(a), char(b)};
            const bool expected = (single(a) && single(b)) || (lead(a) && trail(b));
            ASSERT_EQ(quil::store::isWholeCp932(two), expected) << a << ' ' << b;
            // Below a limit counts characters of one byte only, never a trail byte.
            bool below = false;
            ASSERT_EQ(quil::store::isWholeCp932(two, 0x60, below), expected) << a << ' ' << b;
            if (expected) {
                ASSERT_EQ(below, single(a) && (a < 0x60 || b < 0x60)) << a << ' ' << b;
            }
        }
    }
    EXPECT_TRUE(quil::store::isWholeCp932(""));
}
