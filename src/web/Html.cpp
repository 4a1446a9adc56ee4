#include "web/Html.h"

namespace quil::web {

namespace {

// The length of the UTF-8 sequence starting at s[i], or 0 when it is not a valid one
// (overlong forms, surrogates and values above U+10FFFF included).
std::size_t utf8Length(std::string_view s, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    if (c < 0x80) return 1;
    std::size_t n = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    if (b(i + 1) < lo || b(i + 1) > hi) return 0;
    for (std::size_t k = 2; k < n; ++k)
        if (b(i + k) < 0x80 || b(i + k) > 0xBF) return 0;
    return n;
}

}  // namespace

bool isValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = utf8Length(text, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string escapeHtml(std::string_view text) {
    static constexpr const char* kReplacement = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        switch (c) {
            case '&':
                out += "&amp;";
                ++i;
                continue;
            case '<':
                out += "&lt;";
                ++i;
                continue;
            case '>':
                out += "&gt;";
                ++i;
                continue;
            case '"':
                out += "&quot;";
                ++i;
                continue;
            case '\'':
                out += "&#39;";
                ++i;
                continue;
            default: break;
        }
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) {
            out += kReplacement;
            ++i;
            continue;
        }
        const std::size_t n = utf8Length(text, i);
        if (n == 0) {
            out += kReplacement;
            ++i;
            continue;
        }
        out.append(text.substr(i, n));
        i += n;
    }
    return out;
}

std::string page(std::string_view title, std::string_view body) {
    std::string out;
    out.reserve(body.size() + 400);
    out +=
        "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        "<title>";
    out += escapeHtml(title);
    out +=
        " - クイル台帳</title>\n<link rel=\"stylesheet\" href=\"/style.css\">\n</head>\n"
        "<body>\n<main>\n";
    out += body;
    out += "</main>\n</body>\n</html>\n";
    return out;
}

const std::string& styleSheet() {
    static const std::string css = R"(html { -webkit-text-size-adjust: 100%; }
body { margin: 0; font-family: "Noto Sans CJK JP", "Hiragino Sans", "Yu Gothic", sans-serif;
  font-size: 18px; line-height: 1.5; color: #1a1a1a; background: #f6f6f3; }
main { max-width: 36rem; margin: 0 auto; padding: 0.75rem 1rem 3rem; }
h1 { font-size: 1.4rem; margin: 0.5rem 0 1rem; }
h2 { font-size: 1.15rem; margin: 1.5rem 0 0.5rem; }
a { color: #0b57a4; }
label, legend { display: block; font-weight: bold; margin: 1rem 0 0.25rem; }
fieldset { border: 0; margin: 1rem 0 0; padding: 0; }
fieldset legend { margin: 0 0 0.25rem; padding: 0; }
fieldset label { display: flex; align-items: center; font-weight: normal; min-height: 44px;
  margin: 0; }
input[type=radio] { width: 1.5rem; height: 1.5rem; margin: 0 0.75rem 0 0; }
input[type=text], input[type=password], input[type=date], input[type=time], select {
  display: block; box-sizing: border-box; width: 100%; min-height: 48px; font-size: 18px;
  padding: 0.4rem 0.6rem; border: 1px solid #888; border-radius: 6px; background: #fff; }
button, .button { display: block; box-sizing: border-box; width: 100%; min-height: 52px;
  margin: 1.5rem 0 0.5rem; font-size: 1.1rem; font-weight: bold; border: 0; border-radius: 8px;
  background: #0b57a4; color: #fff; text-align: center; text-decoration: none;
  line-height: 52px; padding: 0; }
button.secondary { background: #666; }
nav a { display: block; min-height: 48px; line-height: 48px; margin: 0.5rem 0; padding: 0 1rem;
  border: 1px solid #0b57a4; border-radius: 8px; background: #fff; text-decoration: none;
  font-size: 1.1rem; }
.back a { display: block; min-height: 44px; line-height: 44px; }
.error { color: #b00020; font-weight: bold; margin: 0.25rem 0; }
.notice { background: #e3f2e1; border-left: 6px solid #2e7d32; padding: 0.75rem; }
.warning { background: #fdecea; border-left: 6px solid #b00020; padding: 0.75rem; }
.hint { color: #555; font-size: 16px; margin: 0.25rem 0; }
table { width: 100%; border-collapse: collapse; font-size: 16px; }
td, th { text-align: left; padding: 0; border-bottom: 1px solid #ccc; }
td a { display: block; padding: 0.6rem 0.25rem; min-height: 44px; box-sizing: border-box; }
th { padding: 0.4rem 0.25rem; }
dl { margin: 0; }
dt { font-weight: bold; margin-top: 0.75rem; }
dd { margin: 0 0 0 1rem; overflow-wrap: anywhere; }
.alert { color: #b00020; font-weight: bold; }
)";
    return css;
}

}  // namespace quil::web
