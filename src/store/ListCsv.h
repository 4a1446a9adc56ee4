#pragma once
// The record list of one tab as CSV: the list's column titles (the marker column left
// out), then one row per record with the list's texts. Numbers are plain (no thousands
// separators), dates yyyy/mm/dd, so a spreadsheet reads them as numbers and dates.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "CsvWriter.h"
#include "ListRows.h"

namespace quil::store {

class ListCsv {
public:
    ListCsv(int tab, const ItemNames& names, TextEncoding encoding)
        : tab_(tab), columns_(listColumnCount(tab)), rows_(tab, names, encoding) {
        // Names are few: when none holds a comma, quote or line break, their columns are
        // not searched row by row. (Both encodings keep these ASCII bytes as they are.)
        bool namesPlain = true;
        for (int p = -1; p < int(names.size()); ++p)
            namesPlain =
                namesPlain && names.nameAt(p).find_first_of(",\"\r\n") == std::string::npos;
        for (int c = 0; c < columns_; ++c)
            text_.push_back(listColumnIsText(tab, c) && !(namesPlain && listColumnIsName(tab, c)));
    }

    void header();
    // The next row; rows are numbered from 1 as in the list.
    void row(const DataRecord& r);

    std::int64_t rowCount() const { return count_; }
    // Collected bytes; worth taking once they pass about a megabyte.
    bool full() const { return writer_.pendingBytes() >= (1u << 20); }
    std::string take() { return writer_.take(); }
    // The collected bytes without a copy, valid until the next row; clear() empties them.
    std::string_view pending() const { return writer_.pending(); }
    void clear() { writer_.clear(); }

private:
    int tab_;
    int columns_;
    ListRowFormatter rows_;
    std::vector<bool> text_;  // per column: may need quotes
    CsvWriter writer_;
    std::int64_t count_ = 0;
};

}  // namespace quil::store
