#pragma once
// The figures of the summary table, without widgets: the groups of a summary (vehicles,
// users or purposes, every live one in item-file order) and, per group, the figure the
// summary names over a period, from the live records of the record file. The main
// window's vehicle and user filters play no part.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "store/DataStore.h"
#include "store/Period.h"
#include "store/Records.h"

namespace quil::ui {

// The nine summaries, in the order of the window's list.
enum class SummaryKind {
    DistanceByVehicle = 0,
    DistanceByUser,
    DistanceByPurpose,
    UsesByVehicle,
    UsesByUser,
    UsesByPurpose,
    FuelByVehicle,
    RefuelsByVehicle,
    ExpenseByVehicle,
};
// Any index outside 0..8 is the expense summary.
SummaryKind summaryKindFromIndex(int index);
// Item kind of the groups: 1 vehicles, 2 users, 6 purposes.
store::ItemKind summaryGroupKind(SummaryKind kind);

// The period of an entry of the window's period list (0 全て, 1 年, 2 年度, 3 and 4 the
// fiscal halves, 5..8 the quarters, 9..20 the months) as a display period kind and
// sub-index.
struct SummaryPeriod {
    store::PeriodKind kind = store::PeriodKind::All;
    int subIndex = 0;
};
SummaryPeriod summaryPeriodFromIndex(int index);

struct SummaryFigures {
    double distance = 0;     // km
    std::int64_t count = 0;  // records
    double litres = 0;
    std::int64_t price = 0;  // yen before tax
    std::int64_t tax = 0;
    void add(const SummaryFigures& o);
};

struct SummaryLine {
    std::string name;
    SummaryFigures figures;
};

struct SummaryResult {
    bool itemFileFound = false;
    std::vector<SummaryLine> groups;
    // Records in the period whose group is no live item (a deleted one, or none).
    SummaryFigures others;
    bool hasOthers = false;
    SummaryFigures total;  // groups and others

    // What the figures were read over, so that a change of one record can be followed.
    SummaryKind kind = SummaryKind::DistanceByVehicle;
    store::PeriodFilter period;
    std::vector<int> lineOf;  // item position -> group line; -1: none (others)
    unsigned kindsTaken = 0;  // bit k: records of kind k count
};

// Whether `r` enters the figures of `summary`: a live record of a kind it takes, dated in its
// period.
bool summaryTakes(const SummaryResult& summary, const store::DataRecord& r);
// Follows one record changed after the figures were read: takes `before` out and puts
// `after` in (either absent or not taken), leaving the figures a new reading gives, group
// lines as they were (the items did not change).
void followRecord(SummaryResult& summary, const std::optional<store::DataRecord>& before,
                  const std::optional<store::DataRecord>& after);

// Reads the items and the live records of a data set. A data set without items (no item
// file) gives no groups and no figures (itemFileFound false). Throws what the store throws.
SummaryResult computeSummary(store::DataStore& data, SummaryKind kind, SummaryPeriod period,
                             int year);
// The same over the data folder `dataFolder` (ending with the separator); without Quil.qui
// nothing is read.
SummaryResult computeSummary(const std::string& dataFolder, SummaryKind kind,
                             SummaryPeriod period, int year);

// The figure columns of a line for a summary, e.g. "123.4 km" or "1,200円 96円 1,296円",
// each right-aligned in its column (all lines of a kind get the same widths).
std::vector<std::string> figureTexts(SummaryKind kind, const SummaryFigures& f);
// Column titles of the figures: "走行距離", "使用回数", ... or 税抜金額, 消費税, 合計.
std::vector<std::string> figureTitles(SummaryKind kind);
// Display width of UTF-8 text in a monospaced font: two for a wide (East Asian) character.
int displayWidth(const std::string& utf8);

}  // namespace quil::ui
