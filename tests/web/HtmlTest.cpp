// The one escaping function every page's text goes through, and the frame of every page.

#include <gtest/gtest.h>

#include "web/Html.h"

using quil::web::escapeHtml;
using quil::web::isValidUtf8;

TEST(WebHtml, MarkupCharactersBecomeReferencesAndJapaneseStaysAsItIs) {
    EXPECT_EQ(escapeHtml("<script>alert('x')</script>"),
              "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;");
    EXPECT_EQ(escapeHtml("\" onfocus=\"x"), "&quot; onfocus=&quot;x");
    EXPECT_EQ(escapeHtml("A&amp;B"), "A&amp;amp;B");
    EXPECT_EQ(escapeHtml("山田 太郎　配達"), "山田 太郎　配達");
    EXPECT_EQ(escapeHtml("'; DROP TABLE quil_records; --"), "&#39;; DROP TABLE quil_records; --");
    EXPECT_EQ(escapeHtml("行1\n行2\tx"), "行1\n行2\tx");
    EXPECT_EQ(escapeHtml(""), "");
}

TEST(WebHtml, BytesThatAreNotUtf8AndControlCharactersBecomeTheReplacementCharacter) {
    const std::string r = "\xEF\xBF\xBD";
    EXPECT_EQ(escapeHtml("a\xff"
                         "b"),
              "a" + r + "b");
    EXPECT_EQ(escapeHtml("\x82\xa0"), r + r);          // CP932 "あ" is not UTF-8
    EXPECT_EQ(escapeHtml("\xC0\xBC"), r + r);          // an overlong '<'
    EXPECT_EQ(escapeHtml("\xED\xA0\x80"), r + r + r);  // a surrogate
    EXPECT_EQ(escapeHtml("\xE3\x81"), r + r);          // cut off at the end
    EXPECT_EQ(escapeHtml(std::string("a\0b", 3)), "a" + r + "b");
    EXPECT_EQ(escapeHtml("\x1b[31m\x7f"), r + "[31m" + r);
    EXPECT_EQ(escapeHtml("😀"), "😀");

    EXPECT_TRUE(isValidUtf8("山田😀<"));
    EXPECT_FALSE(isValidUtf8("\x82\xa0"));
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));  // past U+10FFFF
}

TEST(WebHtml, APageIsJapaneseUtf8ForAPhoneWithItsTitleEscaped) {
    const std::string p = quil::web::page("<b>記録</b>", "<p>本文</p>\n");
    EXPECT_EQ(p.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_NE(p.find("<html lang=\"ja\">"), std::string::npos);
    EXPECT_NE(p.find("<meta charset=\"utf-8\">"), std::string::npos);
    EXPECT_NE(p.find("<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"),
              std::string::npos);
    EXPECT_NE(p.find("<title>&lt;b&gt;記録&lt;/b&gt; - クイル台帳</title>"), std::string::npos);
    EXPECT_NE(p.find("<link rel=\"stylesheet\" href=\"/style.css\">"), std::string::npos);
    EXPECT_NE(p.find("<p>本文</p>"), std::string::npos);
    EXPECT_EQ(p.find("<script"), std::string::npos);
    EXPECT_EQ(p.find("style="), std::string::npos);  // the policy allows the style sheet only

    const std::string& css = quil::web::styleSheet();
    EXPECT_NE(css.find("font-size: 18px"), std::string::npos);
    EXPECT_NE(css.find("min-height: 48px"), std::string::npos);
}
