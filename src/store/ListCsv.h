#pragma once
// The record list of one tab as CSV: the list's column titles (the marker column left
// out), then one row per record with the list's texts. Numbers are plain (no thousands
// separators), dates yyyy/mm/dd, so a spreadsheet reads them as numbers and dates; a name
// or text a spreadsheet would run as a formula carries CsvWriter's guard.
//
// The texts are those of ListRowFormatter, but a row is written straight into one raw
// buffer, column by column as the tab's table (ListColumns.h) lists them, with the table
// unrolled at compile time: the export writes millions of cells. Name fields
// are formatted and quoted once per export, the date once per day; uncommon values (a text
// that is not whole CP932, a date outside 0001..9999, a number that is not a whole number
// of tenths) go through ListRowFormatter.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ListRows.h"

namespace quil::store {

class ListCsv {
public:
    ListCsv(ListTab tab, const ItemNames& names, TextEncoding encoding);

    void header();
    // The next row; rows are numbered from 1 as in the list.
    void row(const DataRecord& r);

    std::int64_t rowCount() const { return count_; }
    // Numbers the following rows on from `rows` + 1, for rows formatted apart from those
    // before them.
    void setRowCount(std::int64_t rows);
    // Collected bytes worth handing on: 256 KB, few enough to be still in the processor's
    // cache when they are written out.
    bool full() const { return std::size_t(at_ - buf_.get()) >= kFullBytes; }
    std::string take();
    // The collected bytes without a copy, valid until the next row; clear() empties them.
    std::string_view pending() const { return {buf_.get(), std::size_t(at_ - buf_.get())}; }
    void clear() { at_ = buf_.get(); }

private:
    // A field's bytes kept padded to whole 16-byte blocks, so they are copied in blocks.
    struct Piece {
        std::uint32_t offset = 0;
        std::uint32_t size = 0;
    };
    static constexpr std::size_t kFullBytes = std::size_t(1) << 18;
    static constexpr std::size_t kBlock = 16;

    Piece addPiece(std::string_view bytes);
    Piece addField(std::string_view bytes);
    char* put(char* p, Piece piece) const;
    char* putName(char* p, int position) const;
    char* putNumber(char* p, std::int32_t value) const;
    char* putRowNumber(char* p);
    char* putDecimal(char* p, double value, const DataRecord& r, int column);
    char* putDay(char* p, const DataRecord& r, int column);
    char* putTimes(char* p, const DataRecord& r, int column);
    char* putText(char* p, std::string_view raw, const DataRecord& r, int column);
    // A cell of ListRowFormatter, quoted when `text` and it needs it.
    char* putGeneral(char* p, const DataRecord& r, int column, bool text);
    char* putField(char* p, std::string_view text);
    // Room for `bytes` more from `p`; the buffer may move, so it returns the new `p`.
    char* room(char* p, std::size_t bytes);

    // A row of `tab`, its cells written by the tab's column table (unrolled at compile time).
    template <ListTab tab>
    void rowOf(char* p, const DataRecord& r);
    template <ListContent content>
    char* putCell(char* p, const DataRecord& r, int column);
    void end(char* p);

    ListTab tab_;
    TextEncoding encoding_;
    ListRowFormatter rows_;
    std::vector<char> pieces_;  // the bytes of every Piece
    std::vector<Piece> names_;  // position + 1 → name field; 0 → "その他"
    Piece timeSeparator_, fuelCost_, serviceCost_;
    std::size_t rowRoom_ = 0;  // the most bytes a row takes without a general cell
    double cachedDay_ = -1.0;  // the day of cachedDate_, when it is a whole day from 0 on
    char cachedDate_[kBlock] = {};
    std::string scratch_;
    std::unique_ptr<char[]> buf_;
    char* at_ = nullptr;
    char* end_ = nullptr;
    std::int64_t count_ = 0;
    char rowDigits_[2 * kBlock] = {'0'};  // count_ in decimal
    int rowDigitCount_ = 1;
};

}  // namespace quil::store
