#include "ListCsv.h"

#include "ListRows.h"

namespace quil::store {

void ListCsv::header() {
    for (int c = 1; c < listColumnCount(tab_); ++c) writer_.field(listColumnTitle(tab_, c));
    writer_.endRow();
}

void ListCsv::row(const DataRecord& r) {
    ++rows_;
    for (int c = 1; c < listColumnCount(tab_); ++c) {
        cell_.clear();
        appendListCell(cell_, tab_, r, rows_, c, names_);
        writer_.field(cell_);
    }
    writer_.endRow();
}

}  // namespace quil::store
