#include "ListCsv.h"

namespace quil::store {

void ListCsv::header() {
    for (int c = 1; c < listColumnCount(tab_); ++c) writer_.field(rows_.title(c));
    writer_.endRow();
}

void ListCsv::row(const DataRecord& r) {
    ++count_;
    for (int c = 1; c < columns_; ++c)
        writer_.fieldFrom([&](std::string& out) { rows_.appendCell(out, r, count_, c); },
                          text_[std::size_t(c)]);
    writer_.endRow();
}

}  // namespace quil::store
