#pragma once
// The record list of one tab as CSV: the list's column titles (the marker column left
// out), then one row per record with the list's texts. Numbers are plain (no thousands
// separators), dates yyyy/mm/dd, so a spreadsheet reads them as numbers and dates.

#include <cstdint>
#include <string>

#include "CsvWriter.h"
#include "ItemStore.h"
#include "Records.h"

namespace quil::store {

class ListCsv {
public:
    ListCsv(int tab, const ItemNames& names) : tab_(tab), names_(names) {}

    void header();
    // The next row; rows are numbered from 1 as in the list.
    void row(const DataRecord& r);

    std::int64_t rows() const { return rows_; }
    // Collected bytes in `encoding`; worth taking once they pass about a megabyte.
    bool full() const { return writer_.pendingBytes() >= (1u << 20); }
    std::string take(CsvEncoding encoding) { return writer_.take(encoding); }

private:
    int tab_;
    const ItemNames& names_;
    CsvWriter writer_;
    std::string cell_;
    std::int64_t rows_ = 0;
};

}  // namespace quil::store
