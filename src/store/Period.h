#pragma once
// Display periods: the six kinds, the stored period of a kind in the settings file, its
// first and last day, the label of the main window's period box and the date test the
// record list applies.

#include <cmath>
#include <string>
#include <string_view>

#include "Date.h"

namespace quil::store {

class Settings;

// 0 all, 1 calendar year, 2 fiscal year (April..March), 3 fiscal half, 4 calendar
// quarter, 5 month.
inline constexpr int kPeriodKindCount = 6;

struct PeriodKindInfo {
    int kind;
    const char* name;   // as shown in the user interface
    int subIndexCount;  // number of halves, quarters or months; 0 for kinds without one
};

// The row of `kind`; kinds outside 0..5 give the row of kind 0.
const PeriodKindInfo& periodKindInfo(int kind);

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
StoredPeriod parseStoredPeriod(int kind, std::string_view text, int currentYear);

// Replaces a stored period of `kind` (1..5) that is not a period of that kind (its year or
// sub-index not a number, or out of range) by the default one, the current year with
// sub-index 0, written as the year alone. Returns true when it wrote.
bool repairStoredPeriod(Settings& settings, int kind, int currentYear);

struct PeriodRange {
    DateTime first = 0;  // first day at 00:00
    DateTime last = 0;   // last day at 00:00
};

// The days of a period. Kind 0 (and any kind outside 1..5) spans every representable
// date. For kind 3 sub-index 0 is the first half and any other the second. Throws
// ConversionError for a quarter or month index out of range.
PeriodRange periodRange(int kind, int year, int subIndex);

// The first day (whichEnd 0) or last day (whichEnd 1) of the period stored for `kind`
// in the settings file.
DateTime periodBoundary(const Settings& settings, int kind, int whichEnd);

// The label of the period box, for example "2003年度　(2003/04/01～2004/03/31)". The name
// part comes from the arguments, the days from the period stored for `kind`.
std::string periodLabel(const Settings& settings, int kind, int subIndex,
                        std::string_view yearText);

// The date test of the list, Data.idx, the summaries, the analysis windows and the exports,
// prepared once: a record belongs to the period when its day (a driving record's date
// carries its departure time, which does not count) lies between the first and the last
// day, both included.
class PeriodFilter {
public:
    PeriodFilter() = default;  // everything passes (kind 0)
    PeriodFilter(int kind, const PeriodRange& range);
    // Reads the stored period of `kind`; throws ConversionError like parseStoredPeriod.
    static PeriodFilter load(const Settings& settings, int kind);

    bool passes(DateTime date) const {
        if (all_) return true;
        // The day of a date is its whole part towards zero (before 1899-12-30 the time of
        // day is counted away from zero).
        const DateTime day = std::trunc(date);
        return first_ <= day && day <= last_;
    }

private:
    bool all_ = true;
    DateTime first_ = 0;
    DateTime last_ = 0;
};

}  // namespace quil::store
