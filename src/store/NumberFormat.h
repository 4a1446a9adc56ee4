#pragma once
// Number texts as the Windows program shows them.

#include <cstdint>
#include <string>

namespace quil::store {

// The "0.0" display: one decimal, no thousands separator. The value is first taken to 15
// significant digits, and that decimal form is rounded half away from zero, so 12345.65
// shows as "12345.7" (a plain printf("%.1f") gives 12345.6 from the binary value).
std::string formatOneDecimal(double value);
// The same text appended to `out`.
void appendOneDecimal(std::string& out, double value);
// The common case of that text without a digit string: a value below 1e9 that lies within
// a thousandth of whole tenths (what a one-decimal entry stores). Its 15-digit form is off
// by at most 5e-7, so the rounded tenths are the nearest whole number of tenths. Writes at
// most 13 bytes at `p` and returns their end; nullptr (nothing written) for other values.
char* writeNearTenths(char* p, double value);
// Adds one to the decimal number digits[0, count): a carry past the first digit puts a '1'
// before them (the buffer holds one byte more) and counts it.
void addOneToDigits(char* digits, int& count);
// "12,345" for 12345, "-1,000" for -1000.
std::string withThousands(std::int64_t value);

}  // namespace quil::store
