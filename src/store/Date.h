#pragma once
// The date type of the data files: a double counting days from 1899-12-30, the fraction
// being the time of day.

#include <chrono>
#include <functional>
#include <string>

namespace quil::store {

using DateTime = double;

struct CivilDate {
    int year = 1899;
    unsigned month = 12;
    unsigned day = 30;
    friend bool operator==(const CivilDate&, const CivilDate&) = default;
};

DateTime encodeDate(int year, unsigned month, unsigned day);
DateTime encodeTime(unsigned hour, unsigned minute, unsigned second = 0);
CivilDate decodeDate(DateTime d);
// Hour and minute of the time of day, rounded to the nearest minute as it is shown.
void decodeTime(DateTime d, unsigned& hour, unsigned& minute);
bool isValidDate(int year, unsigned month, unsigned day);
// The day part (00:00) of a date.
DateTime dateOnly(DateTime d);

std::string formatDate(DateTime d);  // "yyyy/mm/dd"
std::string formatTime(DateTime d);  // "hh:nn"

// Current local date and time. Tests may fix the clock.
DateTime now();
DateTime today();
void setClockForTesting(std::function<DateTime()> clock);  // empty function restores

// Years 0..69 become 2000..2069, 70..99 become 1970..1999 (the time of day is dropped);
// any later year leaves the date unchanged.
DateTime correctTwoDigitYear(DateTime d);

}  // namespace quil::store
