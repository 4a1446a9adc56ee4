#pragma once
// Calendar steps the analysis figures need: months as one running number, adding months to a
// date, and the whole days between two dates.

#include "store/Date.h"

namespace quil::analysis {

// year * 12 + (month - 1): consecutive months are consecutive numbers.
int monthIndex(store::DateTime d);
int monthIndexOf(int year, unsigned month);
int yearOfMonthIndex(int index);
unsigned monthOfMonthIndex(int index);

// The same day `months` months later (earlier when negative); a day the target month lacks
// becomes its last day (2024/01/31 + 1 month = 2024/02/29). The time of day is dropped.
store::DateTime addMonths(store::DateTime d, int months);

// Whole days from the day of `from` to the day of `to` (negative when `to` is earlier).
int daysBetween(store::DateTime from, store::DateTime to);

}  // namespace quil::analysis
