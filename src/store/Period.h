#pragma once
// Display periods: the six kinds, the stored period of a kind in the settings file, its
// first and last day, the label of the main window's period box and the date test the
// record list applies.

#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Date.h"

namespace quil::store {

class Settings;

// The six period kinds. The numbers are the ones Quil.ini keeps (Item/Time and the keys
// Item/Time1..Time5) and the order of every period chooser; code names the kinds, and a
// stored number becomes a kind once, through periodKindOf, where it is read.
enum class PeriodKind : int {
    All = 0,
    Year = 1,        // calendar year
    FiscalYear = 2,  // April..March
    FiscalHalf = 3,  // April..September or October..March
    Quarter = 4,     // calendar quarter
    Month = 5,
};
inline constexpr int kPeriodKindCount = 6;
// Every kind, in the order of the stored numbers.
inline constexpr PeriodKind kPeriodKinds[kPeriodKindCount] = {
    PeriodKind::All,        PeriodKind::Year,    PeriodKind::FiscalYear,
    PeriodKind::FiscalHalf, PeriodKind::Quarter, PeriodKind::Month};

// The kind a stored number names; nullopt outside 0..5.
constexpr std::optional<PeriodKind> periodKindOf(int stored) {
    if (stored < 0 || stored >= kPeriodKindCount) return std::nullopt;
    return static_cast<PeriodKind>(stored);
}
// The number Quil.ini keeps for a kind.
constexpr int storedNumber(PeriodKind kind) { return static_cast<int>(kind); }
// Every kind but All keeps a period of its own (Item/Time<kind>).
constexpr bool hasStoredPeriod(PeriodKind kind) { return kind != PeriodKind::All; }
// A half, quarter or month: a part of a year, chosen by a sub-index.
constexpr bool hasSubIndex(PeriodKind kind) {
    return kind == PeriodKind::FiscalHalf || kind == PeriodKind::Quarter ||
           kind == PeriodKind::Month;
}
// A fiscal year or half: the year runs from April to March.
constexpr bool isFiscal(PeriodKind kind) {
    return kind == PeriodKind::FiscalYear || kind == PeriodKind::FiscalHalf;
}
// The kind of a stored number that keeps a period of its own; nullopt for All and outside
// 0..5.
constexpr std::optional<PeriodKind> storedPeriodKindOf(int stored) {
    const auto kind = periodKindOf(stored);
    return kind && hasStoredPeriod(*kind) ? kind : std::nullopt;
}

struct PeriodKindInfo {
    PeriodKind kind;
    const char* name;   // as shown in the user interface
    int subIndexCount;  // number of halves, quarters or months; 0 for kinds without one
};

const PeriodKindInfo& periodKindInfo(PeriodKind kind);

// A stored period (Item/Time<kind>) taken apart.
struct StoredPeriod {
    std::string yearText;  // its first four characters, or the current year as four digits
    int year = 0;
    int subIndex = 0;  // kinds 3..5 only; 0 otherwise
};

// The first four characters of `text` are the year; for kinds 3..5 the characters from
// the fifth on are the 0-based sub-index (0 when there are none). An empty text stands for
// `currentYear` with sub-index 0. Throws ConversionError when the year or sub-index is not
// a number, or the year is outside 1..9998.
StoredPeriod parseStoredPeriod(PeriodKind kind, std::string_view text, int currentYear);

// Replaces a stored period of `kind` (not All) that is not a period of that kind (its year or
// sub-index not a number, or out of range) by the default one, the current year with
// sub-index 0, written as the year alone. Returns true when it wrote.
bool repairStoredPeriod(Settings& settings, PeriodKind kind, int currentYear);

// A period of a kind: the year (the fiscal year for kinds that run from April) and the
// half, quarter or month (0-based; 0 for kinds without parts).
struct PeriodPosition {
    int year = 0;
    int subIndex = 0;
    friend bool operator==(const PeriodPosition&, const PeriodPosition&) = default;
};
// The period of `kind` that holds `day`: January to March belong to the fiscal year before.
PeriodPosition periodHolding(PeriodKind kind, DateTime day);

// One entry of the flat period list of the summary windows: 全て, 年, 年度, 年度　上期,
// 年度　下期, 年1/4期 .. 年4/4期, 年1月 .. 年12月 (UTF-8; shown after the year).
struct FlatPeriodEntry {
    PeriodKind kind;
    int subIndex;
    std::string name;
};
const std::vector<FlatPeriodEntry>& flatPeriodList();

struct PeriodRange {
    DateTime first = 0;  // first day at 00:00
    DateTime last = 0;   // last day at 00:00
};

// The days of a period. All spans every representable date. For FiscalHalf sub-index 0 is
// the first half and any other the second. Throws ConversionError for a quarter or month
// index out of range.
PeriodRange periodRange(PeriodKind kind, int year, int subIndex);

// The first day (whichEnd 0) or last day (whichEnd 1) of the period stored for `kind`
// in the settings file.
DateTime periodBoundary(const Settings& settings, PeriodKind kind, int whichEnd);

// The label of the period box, for example "2003年度　(2003/04/01～2004/03/31)". The name
// part comes from the arguments, the days from the period stored for `kind`.
std::string periodLabel(const Settings& settings, PeriodKind kind, int subIndex,
                        std::string_view yearText);

// The date test of the list, Data.idx, the summaries, the analysis windows and the exports,
// prepared once: a record belongs to the period when its day (a driving record's date
// carries its departure time, which does not count) lies between the first and the last
// day, both included.
class PeriodFilter {
public:
    PeriodFilter() = default;  // everything passes (kind 0)
    PeriodFilter(PeriodKind kind, const PeriodRange& range);
    // Takes the days of `range`, both included, whatever kind of period it is.
    static PeriodFilter within(const PeriodRange& range) {
        return PeriodFilter(PeriodKind::Year, range);
    }
    // Reads the stored period of `kind`; throws ConversionError like parseStoredPeriod.
    static PeriodFilter load(const Settings& settings, PeriodKind kind);

    bool passes(DateTime date) const {
        if (all_) return true;
        // The day of a date is its whole part towards zero (before 1899-12-30 the time of
        // day is counted away from zero).
        const DateTime day = std::trunc(date);
        return first_ <= day && day <= last_;
    }
    // What passes, for a query elsewhere: everything, or the days first to last.
    bool all() const { return all_; }
    DateTime firstDay() const { return first_; }
    DateTime lastDay() const { return last_; }

private:
    bool all_ = true;
    DateTime first_ = 0;
    DateTime last_ = 0;
};

}  // namespace quil::store
