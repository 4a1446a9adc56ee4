#include "reports/ReportDates.h"

#include <chrono>
#include <cmath>

namespace quil::analysis {

using namespace quil::store;

int monthIndexOf(int year, unsigned month) { return year * 12 + int(month) - 1; }

int monthIndex(DateTime d) {
    const CivilDate c = decodeDate(d);
    return monthIndexOf(c.year, c.month);
}

int yearOfMonthIndex(int index) { return index >= 0 ? index / 12 : (index - 11) / 12; }

unsigned monthOfMonthIndex(int index) { return unsigned(index - yearOfMonthIndex(index) * 12) + 1; }

DateTime addMonths(DateTime d, int months) {
    const CivilDate c = decodeDate(d);
    const int target = monthIndexOf(c.year, c.month) + months;
    const int year = yearOfMonthIndex(target);
    const unsigned month = monthOfMonthIndex(target);
    using namespace std::chrono;
    const unsigned last = unsigned(
        year_month_day_last(std::chrono::year(year), month_day_last(std::chrono::month(month)))
            .day());
    return encodeDate(year, month, c.day < last ? c.day : last);
}

int daysBetween(DateTime from, DateTime to) { return int(std::floor(to) - std::floor(from)); }

}  // namespace quil::analysis
