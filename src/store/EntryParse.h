#pragma once
// Reading the numbers and clock times of a record entry (the entry dialog, the CSV
// import). Plain text rules, the same wherever the program runs.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Date.h"

namespace quil::store {

// The text without the blanks and tabs around it.
std::string_view trimBlanks(std::string_view text);
// The same as a string of its own: what an entry keeps of a typed field.
inline std::string trimmed(std::string_view text) { return std::string(trimBlanks(text)); }

// A signed 32-bit decimal integer: optional sign and digits only, blanks around it
// allowed. "1,000", "12.5", "" and values beyond the int32 range give nullopt.
std::optional<std::int32_t> parseInteger(std::string_view text);

// A decimal number with '.' as the decimal point and an optional exponent ("12.5",
// "-3", ".5", "1e3"); no thousands separators, blanks around it allowed. Text that is not
// such a number, and values beyond the range of a double, give nullopt.
std::optional<double> parseDecimal(std::string_view text);

// An hour (max 23) or minute (max 59) typed as decimal digits; nullopt for anything else.
std::optional<unsigned> parseClockField(std::string_view text, unsigned max);

// A day (no time) joined with a time of day, as the Windows date type joins them: a
// day before 1899-12-30 is negative and carries its time toward minus infinity.
DateTime composeDateTime(DateTime day, unsigned hour, unsigned minute);

// A calendar day written year, month, day with '/' or '-' between them ("2026/01/05",
// "2026-1-5", as spreadsheets write dates); nullopt for anything else or a day that does
// not exist.
std::optional<DateTime> parseCalendarDay(std::string_view text);

}  // namespace quil::store
