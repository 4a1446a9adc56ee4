#pragma once
// Reading comma-separated values as RFC 4180 and spreadsheet programs write them: quoted
// fields may hold commas, doubled quotes and line breaks; rows end with CRLF or LF.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CsvWriter.h"

namespace quil::store {

struct CsvRow {
    std::size_t line = 0;  // 1-based line of the file where the row starts
    std::vector<std::string> fields;
};

struct CsvParseError {
    std::size_t line = 0;
    std::string message;
};

class CsvReader {
public:
    // The text of a CSV file as UTF-8: a UTF-8 byte-order mark selects UTF-8; without
    // one, `encoding` decides, or when none is given, text that is valid UTF-8 is taken as
    // UTF-8 and anything else as CP932.
    static std::string decode(std::string_view bytes, std::optional<TextEncoding> encoding);

    // Splits UTF-8 text into rows. Blank lines are skipped. A quote that is never closed,
    // or text after a closing quote, is an error naming its line.
    static std::vector<CsvRow> parse(std::string_view text, std::optional<CsvParseError>& error);
};

}  // namespace quil::store
