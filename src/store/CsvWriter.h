#pragma once
// Rows of comma-separated values as RFC 4180 writes them: a field holding a comma, a
// quote, a carriage return or a line feed is quoted, its quotes doubled; rows end with
// CRLF. Text is collected as UTF-8 and handed out in CP932 or UTF-8 in large pieces.

#include <string>
#include <string_view>

namespace quil::store {

enum class CsvEncoding { Cp932, Utf8 };

class CsvWriter {
public:
    // Appends one field (UTF-8) to the current row.
    void field(std::string_view utf8);
    void endRow();

    // The bytes collected so far in `encoding`; the buffer is emptied.
    std::string take(CsvEncoding encoding);
    std::size_t pendingBytes() const { return buf_.size(); }

private:
    std::string buf_;
    bool rowStarted_ = false;
};

}  // namespace quil::store
