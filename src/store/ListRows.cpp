#include "ListRows.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

#include "NumberFormat.h"

namespace quil::store {
namespace {

// Titles from column 1 on.
const std::array<std::array<const char*, 11>, kListTabCount> kTitles = {{
    {"No", "年月日", "時間", "車両", "使用者", "使用区分", "出庫距離", "入庫距離", "走行距離",
     "行き先", "備考"},
    {"No", "年月日", "車両", "使用者", "給油量", "税抜金額", "消費税", "スタンド名", "備考"},
    {"No", "年月日", "車両", "使用者", "項目", "距離", "税抜金額", "消費税", "店", "備考"},
    {"No", "年月日", "車両", "使用者", "項目", "税抜金額", "消費税", "店", "備考"},
}};
constexpr std::array<int, kListTabCount> kCounts = {12, 10, 11, 10};

bool validTab(int tab) { return tab >= 0 && tab < kListTabCount; }

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

int listColumnCount(int tab) { return validTab(tab) ? kCounts[std::size_t(tab)] : 0; }

const char* listColumnTitle(int tab, int column) {
    if (!validTab(tab) || column < 1 || column >= listColumnCount(tab)) return "";
    return kTitles[std::size_t(tab)][std::size_t(column - 1)];
}

bool listColumnIsText(int tab, int column) {
    if (!validTab(tab) || column < 3 || column >= listColumnCount(tab)) return false;
    switch (tab) {
        case 0: return column != 3 && (column < 7 || column > 9);
        case 1: return column < 5 || column > 7;
        case 2: return column < 6 || column > 8;
        default: return column < 6 || column > 7;
    }
}

bool listColumnIsName(int tab, int column) {
    if (!validTab(tab) || column < 3 || column >= listColumnCount(tab)) return false;
    switch (tab) {
        case 0: return column >= 4 && column <= 6;
        case 1: return column == 3 || column == 4 || column == 8;
        case 2: return column == 3 || column == 4 || column == 5 || column == 9;
        default: return column == 3 || column == 4 || column == 5 || column == 8;
    }
}

ListRowFormatter::ListRowFormatter(int tab, const ItemNames& names, TextEncoding encoding)
    : tab_(tab),
      names_(names),
      encoding_(encoding),
      timeSeparator_(fixed(" ～ ")),
      fuelCost_(fixed("給油代金")),
      serviceCost_(fixed("点検・整備費")) {
    if (encoding_ != TextEncoding::Cp932) return;
    cp932Names_.reserve(names_.size() + 1);
    for (int p = -1; p < int(names_.size()); ++p) cp932Names_.push_back(toCp932(names_.nameAt(p)));
}

std::string ListRowFormatter::title(int column) const {
    return fixed(listColumnTitle(tab_, column));
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
    if (!validTab(tab_)) return;
    switch (column) {
        case 0: return;
        case 1: return appendNumber(out, row);
        case 2: return appendDay(out, r.date());
        default: return appendKindCell(out, r, column);
    }
}

// The tab-specific columns from 3 on.
void ListRowFormatter::appendKindCell(std::string& out, const DataRecord& r, int column) const {
    const std::string_view remarks = r.remarksRaw();
    if (tab_ == 0) {
        switch (column) {
            case 3:
                appendTime(out, r.date());
                out += timeSeparator_;
                return appendTime(out, r.returnTime());
            case 4: return appendName(out, r.vehicle());
            case 5: return appendName(out, r.user());
            case 6: return appendName(out, r.item());
            case 7: return appendOneDecimal(out, r.distance1());
            case 8: return appendOneDecimal(out, r.distance2());
            case 9: return appendOneDecimal(out, r.distance2() - r.distance1());
            case 10: return appendText(out, r.destinationRaw());
            case 11: return appendText(out, remarks);
            default: return;
        }
    }
    switch (column) {
        case 3: return appendName(out, r.vehicle());
        case 4: return appendName(out, r.user());
        default: break;
    }
    if (tab_ == 1) {
        switch (column) {
            case 5: return appendOneDecimal(out, r.distance2());
            case 6: return appendNumber(out, r.price());
            case 7: return appendNumber(out, r.tax());
            case 8: return appendName(out, r.place());
            case 9: return appendText(out, remarks);
            default: return;
        }
    }
    if (tab_ == 2) {
        switch (column) {
            case 5: return appendName(out, r.item());
            case 6: return appendOneDecimal(out, r.distance1());
            case 7: return appendNumber(out, r.price());
            case 8: return appendNumber(out, r.tax());
            case 9: return appendName(out, r.place());
            case 10: return appendText(out, remarks);
            default: return;
        }
    }
    switch (column) {
        case 5:
            if (r.kind() == 1) {
                out += fuelCost_;
                return;
            }
            if (r.kind() == 2) {
                out += serviceCost_;
                return;
            }
            return appendName(out, r.item());
        case 6: return appendNumber(out, r.price());
        case 7: return appendNumber(out, r.tax());
        case 8: return appendName(out, r.place());
        case 9: return appendText(out, remarks);
        default: return;
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

std::string listCellText(int tab, const DataRecord& r, std::int64_t row, int column,
                         const ItemNames& names) {
    std::string out;
    ListRowFormatter(tab, names).appendCell(out, r, row, column);
    return out;
}

}  // namespace quil::store
