#include "ListRows.h"

#include <array>
#include <charconv>

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

// The tab-specific columns from 3 on.
void appendKindCell(std::string& out, int tab, const DataRecord& r, int column,
                    const ItemNames& names) {
    auto name = [&](int position) { out += names.nameAt(position); };
    if (tab == 0) {
        switch (column) {
            case 3:
                out += formatTime(r.date());
                out += " ～ ";
                out += formatTime(r.returnTime());
                return;
            case 4: return name(r.vehicle());
            case 5: return name(r.user());
            case 6: return name(r.item());
            case 7: out += formatOneDecimal(r.distance1()); return;
            case 8: out += formatOneDecimal(r.distance2()); return;
            case 9: out += formatOneDecimal(r.distance2() - r.distance1()); return;
            case 10: out += r.destination(); return;
            case 11: out += r.remarks(); return;
            default: return;
        }
    }
    switch (column) {
        case 3: return name(r.vehicle());
        case 4: return name(r.user());
        default: break;
    }
    if (tab == 1) {
        switch (column) {
            case 5: out += formatOneDecimal(r.distance2()); return;
            case 6: return appendNumber(out, r.price());
            case 7: return appendNumber(out, r.tax());
            case 8: return name(r.place());
            case 9: out += r.remarks(); return;
            default: return;
        }
    }
    if (tab == 2) {
        switch (column) {
            case 5: return name(r.item());
            case 6: out += formatOneDecimal(r.distance1()); return;
            case 7: return appendNumber(out, r.price());
            case 8: return appendNumber(out, r.tax());
            case 9: return name(r.place());
            case 10: out += r.remarks(); return;
            default: return;
        }
    }
    switch (column) {
        case 5:
            if (r.kind() == 1)
                out += "給油代金";
            else if (r.kind() == 2)
                out += "点検・整備費";
            else
                name(r.item());
            return;
        case 6: return appendNumber(out, r.price());
        case 7: return appendNumber(out, r.tax());
        case 8: return name(r.place());
        case 9: out += r.remarks(); return;
        default: return;
    }
}

}  // namespace

int listColumnCount(int tab) { return validTab(tab) ? kCounts[std::size_t(tab)] : 0; }

const char* listColumnTitle(int tab, int column) {
    if (!validTab(tab) || column < 1 || column >= listColumnCount(tab)) return "";
    return kTitles[std::size_t(tab)][std::size_t(column - 1)];
}

bool listTabTakes(int tab, int kind) { return kind == tab || (tab == 3 && kind >= 1 && kind <= 3); }

void appendListCell(std::string& out, int tab, const DataRecord& r, std::int64_t row, int column,
                    const ItemNames& names) {
    if (!validTab(tab)) return;
    switch (column) {
        case 0: return;
        case 1: return appendNumber(out, row);
        case 2: out += formatDate(r.date()); return;
        default: return appendKindCell(out, tab, r, column, names);
    }
}

std::string listCellText(int tab, const DataRecord& r, std::int64_t row, int column,
                         const ItemNames& names) {
    std::string out;
    appendListCell(out, tab, r, row, column, names);
    return out;
}

}  // namespace quil::store
