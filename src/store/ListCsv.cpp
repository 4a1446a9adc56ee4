#include "ListCsv.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>

#include "CsvWriter.h"
#include "NumberFormat.h"

namespace quil::store {
namespace {

// The largest date whose day is floor(d + 1e-9) (see decodeDate): 9999-12-31.
constexpr double kLastDay = 2958465.0;

char* putTwoDigits(char* p, unsigned v) {
    p[0] = char('0' + v / 10 % 10);
    p[1] = char('0' + v % 10);
    return p + 2;
}

// A field in RFC 4180 quotes, its quotes doubled; `p` has room for 2 * size + 2 bytes.
char* putQuoted(char* p, std::string_view bytes) {
    *p++ = '"';
    for (char c : bytes) {
        if (c == '"') *p++ = '"';
        *p++ = c;
    }
    *p++ = '"';
    return p;
}

}  // namespace

ListCsv::ListCsv(ListTab tab, const ItemNames& names, TextEncoding encoding)
    : tab_(tab), encoding_(encoding), rows_(tab, names, encoding) {
    const auto inEncoding = [&](std::string_view utf8) {
        return encoding_ == TextEncoding::Cp932 ? toCp932(utf8) : std::string(utf8);
    };
    names_.reserve(names.size() + 1);
    for (int p = -1; p < int(names.size()); ++p)
        names_.push_back(addField(CsvWriter::formulaGuarded(inEncoding(names.nameAt(p)))));
    timeSeparator_ = addPiece(inEncoding(" ～ "));
    fuelCost_ = addField(inEncoding("給油代金"));
    serviceCost_ = addField(inEncoding("点検・整備費"));
    std::size_t longestName = 0;
    for (const Piece& n : names_) longestName = std::max<std::size_t>(longestName, n.size);
    // Commas, line end, number, date, times, four names, three decimals, two amounts, the
    // fixed item texts and two quoted texts of at most 100 bytes; each with a block to spare.
    rowRoom_ = 512 + 4 * (longestName + kBlock) + 2 * (2 * 100 + 2 + kBlock);
    const std::size_t capacity = kFullBytes + rowRoom_;
    buf_.reset(new char[capacity]);
    at_ = buf_.get();
    end_ = at_ + capacity;
}

ListCsv::Piece ListCsv::addPiece(std::string_view bytes) {
    const Piece piece{std::uint32_t(pieces_.size()), std::uint32_t(bytes.size())};
    pieces_.insert(pieces_.end(), bytes.begin(), bytes.end());
    pieces_.resize((pieces_.size() + kBlock - 1) / kBlock * kBlock + kBlock, '\0');
    return piece;
}

ListCsv::Piece ListCsv::addField(std::string_view bytes) {
    if (!CsvWriter::needsQuotes(bytes)) return addPiece(bytes);
    std::string quoted(2 * bytes.size() + 2, '\0');
    quoted.resize(std::size_t(putQuoted(quoted.data(), bytes) - quoted.data()));
    return addPiece(quoted);
}

char* ListCsv::put(char* p, Piece piece) const {
    const char* from = pieces_.data() + piece.offset;
    for (std::size_t i = 0; i < piece.size; i += kBlock) std::memcpy(p + i, from + i, kBlock);
    return p + piece.size;
}

char* ListCsv::putName(char* p, int position) const {
    const auto index = std::size_t(position + 1);
    return put(p, names_[index < names_.size() ? index : 0]);
}

char* ListCsv::putNumber(char* p, std::int32_t value) const {
    return std::to_chars(p, p + 24, value).ptr;
}

// Rows are numbered one after another: the number's digits are counted up in place. When
// the last digit is below 9 it is counted up in whole words, which the copy that follows
// can read at once (after a store of one byte it would wait for that store).
char* ListCsv::putRowNumber(char* p) {
    const int last = rowDigitCount_ - 1;
    if (rowDigits_[last] != '9') {
        std::uint64_t w[4];
        std::memcpy(w, rowDigits_, sizeof w);
        const std::uint64_t one = std::uint64_t(1) << (8 * (last % 8));
        const std::uint64_t w0 = w[0] + (last / 8 == 0 ? one : 0);
        const std::uint64_t w1 = w[1] + (last / 8 == 1 ? one : 0);
        const std::uint64_t w2 = w[2] + (last / 8 == 2 ? one : 0);
        const std::uint64_t w3 = w[3] + (last / 8 == 3 ? one : 0);
        for (char* to : {rowDigits_, p}) {
            std::memcpy(to, &w0, 8);
            std::memcpy(to + 8, &w1, 8);
            std::memcpy(to + 16, &w2, 8);
            std::memcpy(to + 24, &w3, 8);
        }
        return p + rowDigitCount_;
    }
    addOneToDigits(rowDigits_, rowDigitCount_);
    std::memcpy(p, rowDigits_, sizeof rowDigits_);
    return p + rowDigitCount_;
}

void ListCsv::setRowCount(std::int64_t rows) {
    count_ = std::max<std::int64_t>(rows, 0);
    std::memset(rowDigits_, 0, sizeof rowDigits_);
    rowDigitCount_ = int(std::to_chars(rowDigits_, rowDigits_ + sizeof rowDigits_, count_).ptr -
                         rowDigits_);
}

char* ListCsv::putDecimal(char* p, double value, const DataRecord& r, int column) {
    if (char* end = writeNearTenths(p, value)) return end;
    return putGeneral(p, r, column, false);
}

// Rows come in date order, many on one day; a date from 0 on is the day floor(d + 1e-9),
// so one day's text serves every date with the same whole part.
char* ListCsv::putDay(char* p, const DataRecord& r, int column) {
    const DateTime d = r.date();
    if (!(d >= 0.0 && d <= kLastDay)) return putGeneral(p, r, column, false);
    const auto day = static_cast<std::int64_t>(d + 1e-9);  // floor, as d is not negative
    if (day != cachedDay_) {
        scratch_.clear();
        rows_.appendCell(scratch_, r, count_, column);
        if (scratch_.size() != 10) return putGeneral(p, r, column, false);
        std::memcpy(cachedDate_, scratch_.data(), 10);
        cachedDay_ = day;
    }
    std::memcpy(p, cachedDate_, kBlock);
    return p + 10;
}

char* ListCsv::putTimes(char* p, const DataRecord& r, int column) {
    unsigned h1 = 0, m1 = 0, h2 = 0, m2 = 0;
    decodeTime(r.date(), h1, m1);
    decodeTime(r.returnTime(), h2, m2);
    if (h1 > 99 || m1 > 99 || h2 > 99 || m2 > 99) return putGeneral(p, r, column, false);
    p = putTwoDigits(p, h1);
    *p++ = ':';
    p = put(putTwoDigits(p, m1), timeSeparator_);
    p = putTwoDigits(p, h2);
    *p++ = ':';
    return putTwoDigits(p, m2);
}

// In CP932 a stored text that is whole CP932 is copied as it is (quoted when it needs it);
// anything else is converted by ListRowFormatter.
char* ListCsv::putText(char* p, std::string_view raw, const DataRecord& r, int column) {
    if (raw.empty()) return p;
    if (CsvWriter::needsFormulaGuard(raw)) return putGeneral(p, r, column, true);
    bool low = false;  // a byte below '-', as every character that needs quotes is
    if (encoding_ != TextEncoding::Cp932 || !isWholeCp932(raw, '-', low))
        return putGeneral(p, r, column, true);
    if (low && CsvWriter::needsQuotes(raw)) return putQuoted(p, raw);
    std::memcpy(p, raw.data(), raw.size());
    return p + raw.size();
}

char* ListCsv::putGeneral(char* p, const DataRecord& r, int column, bool text) {
    scratch_.clear();
    rows_.appendCell(scratch_, r, count_, column);
    if (text) return putField(p, scratch_);
    p = room(p, scratch_.size());
    std::memcpy(p, scratch_.data(), scratch_.size());
    return p + scratch_.size();
}

char* ListCsv::putField(char* p, std::string_view text) {
    const std::string guarded = CsvWriter::formulaGuarded(text);
    const std::string_view bytes = guarded;
    p = room(p, 2 * bytes.size() + 2);
    if (CsvWriter::needsQuotes(bytes)) return putQuoted(p, bytes);
    std::memcpy(p, bytes.data(), bytes.size());
    return p + bytes.size();
}

// A general cell may be long (a converted text, a number of 300 digits): the room asked
// for keeps a whole row's room after it as well.
char* ListCsv::room(char* p, std::size_t bytes) {
    if (std::size_t(end_ - p) >= bytes + rowRoom_) return p;
    const std::size_t used = std::size_t(p - buf_.get());
    const std::size_t rowStart = std::size_t(at_ - buf_.get());
    const std::size_t capacity =
        std::max(2 * std::size_t(end_ - buf_.get()), used + bytes + rowRoom_);
    std::unique_ptr<char[]> grown(new char[capacity]);
    std::memcpy(grown.get(), buf_.get(), used);
    buf_ = std::move(grown);
    end_ = buf_.get() + capacity;
    at_ = buf_.get() + rowStart;
    return buf_.get() + used;
}

void ListCsv::header() {
    CsvWriter w;
    w.startFile(encoding_);
    for (int c = 1; c < listColumnCount(tab_); ++c) w.field(rows_.title(c));
    w.endRow();
    char* p = room(at_, w.pendingBytes());
    std::memcpy(p, w.pending().data(), w.pendingBytes());
    at_ = p + w.pendingBytes();
}

void ListCsv::row(const DataRecord& r) {
    ++count_;
    char* p = room(at_, 0);
    switch (tab_) {
        case ListTab::Driving: return rowOf<ListTab::Driving>(p, r);
        case ListTab::Refuelling: return rowOf<ListTab::Refuelling>(p, r);
        case ListTab::Maintenance: return rowOf<ListTab::Maintenance>(p, r);
        case ListTab::Expense: return rowOf<ListTab::Expense>(p, r);
    }
}

// The cells from column 1 on (the marker column 0 is the list's own), comma-separated.
template <ListTab tab>
void ListCsv::rowOf(char* p, const DataRecord& r) {
    static constexpr std::span<const ListColumn> columns = listColumns(tab);
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        ((p = putCell<columns[I + 1].content>(p, r, int(I + 1)),
          I + 2 < columns.size() ? void(*p++ = ',') : void()),
         ...);
    }
    (std::make_index_sequence<columns.size() - 1>{});
    end(p);
}

template <ListContent content>
char* ListCsv::putCell(char* p, const DataRecord& r, int column) {
    using C = ListContent;
    if constexpr (content == C::Marker) return p;
    if constexpr (content == C::RowNumber) return putRowNumber(p);
    if constexpr (content == C::Date) return putDay(p, r, column);
    if constexpr (content == C::TimeSpan) return putTimes(p, r, column);
    if constexpr (content == C::Vehicle) return putName(p, r.vehicle());
    if constexpr (content == C::User) return putName(p, r.user());
    if constexpr (content == C::Item) return putName(p, r.item());
    // The expense list names the cost of a refuelling or a maintenance record.
    if constexpr (content == C::CostItem)
        return r.kind() == static_cast<std::int16_t>(RecordKind::Refuelling) ? put(p, fuelCost_)
               : r.kind() == static_cast<std::int16_t>(RecordKind::Maintenance)
                   ? put(p, serviceCost_)
                   : putName(p, r.item());
    if constexpr (content == C::Place) return putName(p, r.place());
    if constexpr (content == C::Distance1) return putDecimal(p, r.distance1(), r, column);
    if constexpr (content == C::Distance2) return putDecimal(p, r.distance2(), r, column);
    if constexpr (content == C::DistanceDriven)
        return putDecimal(p, r.distance2() - r.distance1(), r, column);
    if constexpr (content == C::Price) return putNumber(p, r.price());
    if constexpr (content == C::Tax) return putNumber(p, r.tax());
    if constexpr (content == C::Destination) return putText(p, r.destinationRaw(), r, column);
    if constexpr (content == C::Remarks) return putText(p, r.remarksRaw(), r, column);
}

void ListCsv::end(char* p) {
    p[0] = '\r';
    p[1] = '\n';
    at_ = p + 2;
}

std::string ListCsv::take() {
    std::string out(pending());
    clear();
    return out;
}

}  // namespace quil::store
