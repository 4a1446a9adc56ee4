#pragma once
// Writing the pages: every text that reaches a page goes through escapeHtml, and every
// page through page(), which gives it the same head, style sheet and frame.

#include <string>
#include <string_view>

namespace quil::web {

// The text as HTML character data or a quoted attribute value: & < > " ' as references;
// bytes that are not UTF-8, and control characters other than tab and line breaks, as
// U+FFFD, so that whatever a request brought cannot become markup or break the page.
std::string escapeHtml(std::string_view text);

// Whether `text` is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool isValidUtf8(std::string_view text);

// A whole HTML5 page: `title` is text (escaped here), `body` markup made by the caller
// with every text in it escaped.
std::string page(std::string_view title, std::string_view body);

// The style sheet every page links (/style.css): one column, 16px+ text, 44px+ targets.
const std::string& styleSheet();

}  // namespace quil::web
