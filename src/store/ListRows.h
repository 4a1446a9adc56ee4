#pragma once
// The rows of the record list as text, by the column tables of ListColumns.h: the cells of
// a record in UTF-8 for the list on screen, or in CP932 for the CSV export.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "Codec.h"
#include "ItemStore.h"
#include "ListColumns.h"
#include "Records.h"

namespace quil::store {

// Free text (names, destination, remarks); every other content is digits, signs, points,
// slashes, colons and the time separator.
bool listContentIsText(ListContent content);
// A master-list name (on the expense tab the item column may also hold a fixed text
// without commas, quotes or line breaks).
bool listContentIsName(ListContent content);

// Shorthands over the tables, safe for any column (out of range: "", false).
// Number of columns of a tab, the marker column 0 included: 12, 10, 11, 10.
int listColumnCount(ListTab tab);
// Title of a column ("No", "年月日", ...); empty for the marker column and out of range.
const char* listColumnTitle(ListTab tab, int column);
bool listColumnIsText(ListTab tab, int column);
bool listColumnIsName(ListTab tab, int column);

// Cell texts of one tab in UTF-8 (the list on screen) or CP932 (the CSV file). In CP932
// the records' own strings are copied as stored, without a round trip through UTF-8; a
// string that is not whole CP932 is converted like any other text.
class ListRowFormatter {
public:
    ListRowFormatter(ListTab tab, const ItemNames& names,
                     TextEncoding encoding = TextEncoding::Utf8);

    // Appends the text of a record's cell in row `row` (1-based); the marker column 0 has
    // none.
    void appendCell(std::string& out, const DataRecord& r, std::int64_t row, int column) const;
    std::string title(int column) const;

private:
    void appendName(std::string& out, int position) const;
    void appendText(std::string& out, std::string_view raw) const;
    std::string fixed(const char* utf8) const;
    void appendContent(std::string& out, const DataRecord& r, ListContent content) const;
    void appendDay(std::string& out, DateTime d) const;

    std::span<const ListColumn> columns_;
    const ItemNames& names_;
    TextEncoding encoding_;
    std::vector<std::string> cp932Names_;  // CP932 only: position + 1 → name; 0 → "その他"
    std::string timeSeparator_, fuelCost_, serviceCost_;  // " ～ ", "給油代金", "点検・整備費"
    // The last date written: rows come in date order, many on one day.
    mutable double cachedDay_ = -1.0;
    mutable char cachedDate_[10] = {};
};

// What the expense list shows as the item of a refuelling and of a maintenance record.
inline constexpr const char* kFuelCostItemName = "給油代金";
inline constexpr const char* kServiceCostItemName = "点検・整備費";

// The UTF-8 text of a cell, as the list shows it.
std::string listCellText(ListTab tab, const DataRecord& r, std::int64_t row, int column,
                         const ItemNames& names);

}  // namespace quil::store
