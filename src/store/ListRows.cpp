#include "ListRows.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

#include "NumberFormat.h"

namespace quil::store {
namespace {

using C = ListContent;

template <typename T>
void appendNumber(std::string& out, T value) {
    char buf[24];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, end);
}

void appendTwoDigits(char* p, unsigned v) {
    p[0] = char('0' + v / 10 % 10);
    p[1] = char('0' + v % 10);
}

// formatDate and formatTime without a formatted print: the export formats millions.
void appendDate(std::string& out, DateTime d) {
    const CivilDate c = decodeDate(d);
    if (c.year < 0 || c.year > 9999) {
        out += formatDate(d);
        return;
    }
    char b[10];
    appendTwoDigits(b, unsigned(c.year) / 100);
    appendTwoDigits(b + 2, unsigned(c.year) % 100);
    b[4] = '/';
    appendTwoDigits(b + 5, c.month);
    b[7] = '/';
    appendTwoDigits(b + 8, c.day);
    out.append(b, sizeof b);
}

void appendTime(std::string& out, DateTime d) {
    unsigned h = 0, m = 0;
    decodeTime(d, h, m);
    if (h > 99 || m > 99) {
        out += formatTime(d);
        return;
    }
    char b[5];
    appendTwoDigits(b, h);
    b[2] = ':';
    appendTwoDigits(b + 3, m);
    out.append(b, sizeof b);
}

}  // namespace

bool listContentIsName(ListContent content) {
    switch (content) {
        case C::Vehicle:
        case C::User:
        case C::Item:
        case C::CostItem:
        case C::Place: return true;
        default: return false;
    }
}

bool listContentIsText(ListContent content) {
    return listContentIsName(content) || content == C::Destination || content == C::Remarks;
}

int listColumnCount(ListTab tab) { return int(listColumns(tab).size()); }

namespace {

const ListColumn* columnAt(ListTab tab, int column) {
    const auto columns = listColumns(tab);
    return column >= 0 && std::size_t(column) < columns.size() ? &columns[std::size_t(column)]
                                                               : nullptr;
}

}  // namespace

const char* listColumnTitle(ListTab tab, int column) {
    const ListColumn* c = columnAt(tab, column);
    return c ? c->title : "";
}

bool listColumnIsText(ListTab tab, int column) {
    const ListColumn* c = columnAt(tab, column);
    return c && listContentIsText(c->content);
}

bool listColumnIsName(ListTab tab, int column) {
    const ListColumn* c = columnAt(tab, column);
    return c && listContentIsName(c->content);
}

ListRowFormatter::ListRowFormatter(ListTab tab, const ItemNames& names, TextEncoding encoding)
    : columns_(listColumns(tab)),
      names_(names),
      encoding_(encoding),
      timeSeparator_(fixed(" ～ ")),
      fuelCost_(fixed(kFuelCostItemName)),
      serviceCost_(fixed(kServiceCostItemName)) {
    if (encoding_ != TextEncoding::Cp932) return;
    cp932Names_.reserve(names_.size() + 1);
    for (int p = -1; p < int(names_.size()); ++p) cp932Names_.push_back(toCp932(names_.nameAt(p)));
}

std::string ListRowFormatter::title(int column) const {
    return column >= 0 && std::size_t(column) < columns_.size()
               ? fixed(columns_[std::size_t(column)].title)
               : std::string();
}

void ListRowFormatter::appendName(std::string& out, int position) const {
    if (encoding_ == TextEncoding::Utf8) {
        out += names_.nameAt(position);
        return;
    }
    const bool known = position >= 0 && std::size_t(position) < names_.size();
    out += cp932Names_[known ? std::size_t(position) + 1 : 0];
}

void ListRowFormatter::appendText(std::string& out, std::string_view raw) const {
    if (encoding_ == TextEncoding::Cp932 && isWholeCp932(raw)) {
        out += raw;
        return;
    }
    const std::string utf8 = fromCp932(raw);
    out += encoding_ == TextEncoding::Cp932 ? toCp932(utf8) : utf8;
}

std::string ListRowFormatter::fixed(const char* utf8) const {
    return encoding_ == TextEncoding::Cp932 ? toCp932(utf8) : std::string(utf8);
}

void ListRowFormatter::appendCell(std::string& out, const DataRecord& r, std::int64_t row,
                                  int column) const {
    if (column < 0 || std::size_t(column) >= columns_.size()) return;
    const ListContent content = columns_[std::size_t(column)].content;
    if (content == C::RowNumber) return appendNumber(out, row);
    appendContent(out, r, content);
}

void ListRowFormatter::appendContent(std::string& out, const DataRecord& r,
                                     ListContent content) const {
    switch (content) {
        case C::Marker:
        case C::RowNumber: return;
        case C::Date: return appendDay(out, r.date());
        case C::TimeSpan:
            appendTime(out, r.date());
            out += timeSeparator_;
            return appendTime(out, r.returnTime());
        case C::Vehicle: return appendName(out, r.vehicle());
        case C::User: return appendName(out, r.user());
        case C::Item: return appendName(out, r.item());
        case C::CostItem:
            if (r.kind() == static_cast<std::int16_t>(RecordKind::Refuelling)) {
                out += fuelCost_;
                return;
            }
            if (r.kind() == static_cast<std::int16_t>(RecordKind::Maintenance)) {
                out += serviceCost_;
                return;
            }
            return appendName(out, r.item());
        case C::Place: return appendName(out, r.place());
        case C::Distance1: return appendOneDecimal(out, r.distance1());
        case C::Distance2: return appendOneDecimal(out, r.distance2());
        case C::DistanceDriven: return appendOneDecimal(out, r.distance2() - r.distance1());
        case C::Price: return appendNumber(out, r.price());
        case C::Tax: return appendNumber(out, r.tax());
        case C::Destination: return appendText(out, r.destinationRaw());
        case C::Remarks: return appendText(out, r.remarksRaw());
    }
}

// A date from 1899-12-30 on is the day floor(d + 1e-9) (see decodeDate), so one day's text
// serves every date with the same whole part.
void ListRowFormatter::appendDay(std::string& out, DateTime d) const {
    if (!(d >= 0.0 && d <= 2958465.0)) return appendDate(out, d);
    const double day = std::floor(d + 1e-9);
    if (day != cachedDay_) {
        std::string text;
        appendDate(text, d);
        if (text.size() != sizeof cachedDate_) {
            out += text;
            return;
        }
        std::memcpy(cachedDate_, text.data(), sizeof cachedDate_);
        cachedDay_ = day;
    }
    out.append(cachedDate_, sizeof cachedDate_);
}

std::string listCellText(ListTab tab, const DataRecord& r, std::int64_t row, int column,
                         const ItemNames& names) {
    std::string out;
    ListRowFormatter(tab, names).appendCell(out, r, row, column);
    return out;
}

}  // namespace quil::store
