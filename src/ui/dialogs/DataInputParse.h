#pragma once
// Reading the numbers and clock times typed into the record entry dialog. No Qt: the
// rules are plain text rules, the same wherever the program runs.

#include <cstdint>
#include <optional>
#include <string_view>

#include "store/Date.h"

namespace quil::ui {

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
store::DateTime composeDateTime(store::DateTime day, unsigned hour, unsigned minute);

}  // namespace quil::ui
