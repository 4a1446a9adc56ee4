#include "store/Codec.h"

#include <gtest/gtest.h>

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
