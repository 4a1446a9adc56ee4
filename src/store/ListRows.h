#pragma once
// The rows of the record list as text: the columns of each tab (tab index = record kind;
// tab 3 lists every record with a cost), their titles and the text of a record's cell.
// The list on screen and the CSV export both format their rows here.

#include <cstdint>
#include <string>

#include "ItemStore.h"
#include "Records.h"

namespace quil::store {

inline constexpr int kListTabCount = 4;

// Number of columns of a tab, the marker column 0 included: 12, 10, 11, 10.
int listColumnCount(int tab);
// Title of a column ("No", "年月日", ...); empty for the marker column and out of range.
const char* listColumnTitle(int tab, int column);
// Whether a tab lists records of `kind`: its own kind, or 1..3 for tab 3.
bool listTabTakes(int tab, int kind);

// Appends the text of a record's cell in row `row` (1-based) to `out`; column 0 (the
// marker) has none. Names come from `names`, read once per list.
void appendListCell(std::string& out, int tab, const DataRecord& r, std::int64_t row, int column,
                    const ItemNames& names);
std::string listCellText(int tab, const DataRecord& r, std::int64_t row, int column,
                         const ItemNames& names);

}  // namespace quil::store
