#include "reports/SummaryTable.h"

#include "reports/DataSetItems.h"
#include "store/ItemStore.h"
#include "store/ListColumns.h"
#include "store/NumberFormat.h"
#include "store/Period.h"

namespace quil::ui {

using namespace quil::store;

SummaryKind summaryKindFromIndex(int index) {
    return index >= 0 && index <= 7 ? SummaryKind(index) : SummaryKind::ExpenseByVehicle;
}

ItemKind summaryGroupKind(SummaryKind kind) {
    switch (kind) {
        case SummaryKind::DistanceByUser:
        case SummaryKind::UsesByUser: return ItemKind::User;
        case SummaryKind::DistanceByPurpose:
        case SummaryKind::UsesByPurpose: return ItemKind::Purpose;
        default: return ItemKind::Vehicle;
    }
}

// An index of the flat period list (store::flatPeriodList); anything else is 全て.
SummaryPeriod summaryPeriodFromIndex(int index) {
    const auto& list = flatPeriodList();
    if (index < 0 || std::size_t(index) >= list.size()) return {};
    return {list[std::size_t(index)].kind, list[std::size_t(index)].subIndex};
}

void SummaryFigures::add(const SummaryFigures& o) {
    distance += o.distance;
    count += o.count;
    litres += o.litres;
    price += o.price;
    tax += o.tax;
}

namespace {

// Which records a summary takes: refuels come from the refuelling list's records, expenses
// from the expense list's (every record with a cost), the rest from driving records.
std::vector<std::int16_t> kindsTaken(SummaryKind kind) {
    const ListTab tab = kind == SummaryKind::FuelByVehicle || kind == SummaryKind::RefuelsByVehicle
                            ? ListTab::Refuelling
                        : kind == SummaryKind::ExpenseByVehicle ? ListTab::Expense
                                                                : ListTab::Driving;
    std::vector<std::int16_t> kinds;
    for (std::int16_t k = 0; k <= std::int16_t(RecordKind::Expense); ++k)
        if (listTabShows(tab, k)) kinds.push_back(k);
    return kinds;
}

unsigned groupedBy(SummaryKind kind) {
    switch (summaryGroupKind(kind)) {
        case ItemKind::User: return RecordSumsQuery::User;
        case ItemKind::Purpose: return RecordSumsQuery::Item;
        default: return RecordSumsQuery::Vehicle;
    }
}


// The figures of the line of group item `g` (others when it is no live group of the kind).
SummaryFigures& figuresOf(SummaryResult& out, int g) {
    const int line =
        g >= 0 && std::size_t(g) < out.lineOf.size() ? out.lineOf[std::size_t(g)] : -1;
    if (line < 0) out.hasOthers = true;
    return line >= 0 ? out.groups[std::size_t(line)].figures : out.others;
}

// One record's share of its group's figures, added (sign 1) or taken out (-1), as its
// group's sums count it (RecordSums::add).
void countRecord(SummaryResult& out, const DataRecord& r, int sign) {
    const ItemKind groupKind = summaryGroupKind(out.kind);
    SummaryFigures& f = figuresOf(out, groupKind == ItemKind::User      ? r.user()
                                       : groupKind == ItemKind::Purpose ? r.item()
                                                                        : r.vehicle());
    f.count += sign;
    f.distance += sign * (r.distance2() - r.distance1());
    f.litres += sign * r.distance2();
    f.price += sign * std::int64_t(r.price());
    f.tax += sign * std::int64_t(r.tax());
}

void addUpTotal(SummaryResult& out) {
    out.total = {};
    for (const SummaryLine& l : out.groups) out.total.add(l.figures);
    out.total.add(out.others);
}

// The figures of the live records of `data` over the groups of `items`: what each group's
// sums add.
SummaryResult summarize(DataStore& data, const std::vector<ItemRecord>& items, SummaryKind kind,
                        SummaryPeriod p, int year) {
    SummaryResult out;
    out.itemFileFound = true;
    const auto live = analysis::liveItems(items, summaryGroupKind(kind));
    // Item position -> line; positions of no live group of the kind map to -1.
    std::vector<int> lineOf;
    for (std::size_t i = 0; i < live.size(); ++i) {
        out.groups.push_back({live[i].name, {}});
        const auto pos = std::size_t(live[i].position);
        if (lineOf.size() <= pos) lineOf.resize(pos + 1, -1);
        lineOf[pos] = int(i);
    }

    const PeriodFilter period = hasStoredPeriod(p.kind)
                                    ? PeriodFilter(p.kind, periodRange(p.kind, year, p.subIndex))
                                    : PeriodFilter();
    out.kind = kind;
    out.period = period;
    out.lineOf = std::move(lineOf);
    RecordSumsQuery query;
    query.kinds = kindsTaken(kind);
    query.period = period;
    query.by = groupedBy(kind);
    for (std::int16_t k : query.kinds) out.kindsTaken |= 1u << k;
    const ItemKind groupKind = summaryGroupKind(kind);
    if (data.answersSums()) {
        const std::vector<std::vector<RecordSums>> sums = data.sumRecords({query});
        for (const RecordSums& s : sums.front()) {
            SummaryFigures& f = figuresOf(out, groupKind == ItemKind::User      ? s.user
                                               : groupKind == ItemKind::Purpose ? s.item
                                                                                : s.vehicle);
            f.count += s.count;
            f.distance += s.driven;
            f.litres += s.distance2;
            f.price += s.price;
            f.tax += s.tax;
        }
    } else {
        // A folder: one pass in the process, each record counted as its group's sums count it
        // (RecordSums::add), without building groups, which costs more than the pass itself.
        data.scanRecords([&](const StoredRecord& stored) {
            if (summaryTakes(out, stored.record)) countRecord(out, stored.record, 1);
        });
    }
    addUpTotal(out);
    return out;
}

}  // namespace

bool summaryTakes(const SummaryResult& summary, const DataRecord& r) {
    const std::int16_t k = r.kind();
    if (r.deleted() || k < 0 || k > 15 || !summary.period.passes(r.date())) return false;
    return (summary.kindsTaken >> k & 1u) != 0;
}

void followRecord(SummaryResult& summary, const std::optional<DataRecord>& before,
                  const std::optional<DataRecord>& after) {
    if (!summary.itemFileFound) return;
    if (before && summaryTakes(summary, *before)) countRecord(summary, *before, -1);
    if (after && summaryTakes(summary, *after)) countRecord(summary, *after, 1);
    // A reading names others when a record of the period belongs to none of the groups.
    summary.hasOthers = summary.others.count > 0;
    addUpTotal(summary);
}

SummaryResult computeSummary(DataStore& data, SummaryKind kind, SummaryPeriod period, int year) {
    const std::vector<ItemRecord> items = analysis::itemsByPosition(data);
    if (items.empty()) return {};
    return summarize(data, items, kind, period, year);
}

SummaryResult computeSummary(const std::string& dataFolder, SummaryKind kind,
                             SummaryPeriod period, int year) {
    // An item file that exists counts even when it holds no item.
    if (!ItemStore(dataFolder).exists()) return {};
    const auto data = openFolderStore(dataFolder);
    return summarize(*data, analysis::itemsByPosition(*data), kind, period, year);
}

std::vector<std::string> figureTitles(SummaryKind kind) {
    switch (kind) {
        case SummaryKind::DistanceByVehicle:
        case SummaryKind::DistanceByUser:
        case SummaryKind::DistanceByPurpose: return {"走行距離"};
        case SummaryKind::UsesByVehicle:
        case SummaryKind::UsesByUser:
        case SummaryKind::UsesByPurpose: return {"使用回数"};
        case SummaryKind::FuelByVehicle: return {"給油量"};
        case SummaryKind::RefuelsByVehicle: return {"給油回数"};
        default: return {"税抜金額", "消費税", "合計"};
    }
}

std::vector<std::string> figureTexts(SummaryKind kind, const SummaryFigures& f) {
    switch (kind) {
        case SummaryKind::DistanceByVehicle:
        case SummaryKind::DistanceByUser:
        case SummaryKind::DistanceByPurpose: return {formatOneDecimal(f.distance) + " km"};
        case SummaryKind::FuelByVehicle: return {formatOneDecimal(f.litres) + " L"};
        case SummaryKind::ExpenseByVehicle:
            return {withThousands(f.price) + "円", withThousands(f.tax) + "円",
                    withThousands(f.price + f.tax) + "円"};
        default: return {withThousands(f.count) + " 回"};
    }
}

int displayWidth(const std::string& utf8) {
    int width = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const std::size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        // Three- and four-byte characters (kana, kanji, full-width forms) take two cells;
        // the half-width katakana block U+FF61..U+FF9F takes one.
        bool wide = len >= 3;
        if (len == 3 && c == 0xEF && i + 2 < utf8.size()) {
            const unsigned cp = ((c & 0x0F) << 12) | ((unsigned(utf8[i + 1]) & 0x3F) << 6) |
                                (unsigned(utf8[i + 2]) & 0x3F);
            wide = !(cp >= 0xFF61 && cp <= 0xFF9F);
        }
        width += wide ? 2 : 1;
        i += len;
    }
    return width;
}

}  // namespace quil::ui
