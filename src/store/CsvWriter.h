#pragma once
// Rows of comma-separated values as RFC 4180 writes them: a field holding a comma, a
// quote, a carriage return or a line feed is quoted, its quotes doubled; rows end with
// CRLF. Fields are taken as bytes in the file's encoding (UTF-8 or CP932: neither has a
// comma, quote, CR or LF inside a multi-byte character), and handed out in large pieces.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "Codec.h"

namespace quil::store {

// The lines of a CSV file (its title is line 1, row 0 is line 2) whose text CP932 cannot hold
// (𠮷, 🍺, ♥ …; written in CP932 it would become '?'), at most `most` of them, in order.
// `rowText(i)` gives row i's UTF-8 text. Every CSV export asks this before it writes CP932.
std::vector<std::size_t> linesCp932CannotHold(std::size_t rows,
                                              const std::function<std::string(std::size_t)>& rowText,
                                              std::size_t most = 5);

class CsvWriter {
public:
    // Appends one field to the current row as it is (numbers, dates, fixed texts).
    void field(std::string_view bytes);
    // Appends a field of free text (a name, a remark), guarded as formulaGuarded says.
    void textField(std::string_view bytes);
    // Appends one field that `fill(std::string&)` writes straight into the buffer (no copy
    // for the fields that need no quotes, which is nearly all of them).
    // `text` false promises a field without commas, quotes and line breaks (a number).
    template <typename Fill>
    void fieldFrom(Fill&& fill, bool text = true) {
        if (rowStarted_) buf_ += ',';
        rowStarted_ = true;
        const std::size_t start = buf_.size();
        fill(buf_);
        if (text && needsQuotes(std::string_view(buf_).substr(start))) quoteFrom(start);
    }
    void endRow();
    // Begins a file in `encoding`: a UTF-8 file starts with a byte-order mark (without one
    // Excel reads it in the system's code page and garbles every Japanese text); a CP932
    // file starts with its first field. Every CSV file the program writes begins here.
    void startFile(TextEncoding encoding);

    // The bytes collected so far; the buffer is emptied.
    std::string take();
    std::size_t pendingBytes() const { return buf_.size(); }
    // The bytes collected so far, valid until the next change; clear() empties the
    // buffer and keeps its memory for the next rows.
    std::string_view pending() const { return buf_; }
    void clear() { buf_.clear(); }

    // A text that a spreadsheet would take for a formula when it opens the file (one that
    // starts with '=', '+', '-', '@', a tab or a carriage return) is written with a leading
    // "'", as spreadsheet users mark text; so is a text that already starts with "'" before
    // such a character, so that the reader's removal of one "'" gives every text back.
    static bool needsFormulaGuard(std::string_view bytes);
    // The text with the guard put before it when it needs one.
    static std::string formulaGuarded(std::string_view bytes);
    // What a reader makes of a field: the guard taken away again, nothing else.
    static std::string_view withoutFormulaGuard(std::string_view bytes);

    // Whether a field holds a comma, a quote, a carriage return or a line feed.
    static bool needsQuotes(std::string_view bytes);

private:
    void quoteFrom(std::size_t start);

    std::string buf_;
    bool rowStarted_ = false;
};

}  // namespace quil::store
