#include "EntryParse.h"

#include <charconv>
#include <cmath>

namespace quil::store {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Skips a run of digits from `i`; returns how many there were.
std::size_t skipDigits(std::string_view s, std::size_t& i) {
    std::size_t start = i;
    while (i < s.size() && isDigit(s[i])) ++i;
    return i - start;
}

}  // namespace

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::optional<std::int32_t> parseInteger(std::string_view text) {
    std::string_view s = trimBlanks(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty()) return std::nullopt;
    for (char c : s)
        if (!isDigit(c)) return std::nullopt;
    std::int64_t value = 0;
    for (char c : s) {
        value = value * 10 + (c - '0');
        if (value > 2147483648LL) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > 2147483647LL) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::optional<double> parseDecimal(std::string_view text) {
    std::string_view s = trimBlanks(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    // Check the whole shape first: from_chars alone would also take "inf", "nan" and
    // hexadecimal forms, and stop quietly before a trailing ",000".
    std::size_t i = 0;
    std::size_t digits = skipDigits(s, i);
    if (i < s.size() && s[i] == '.') {
        ++i;
        digits += skipDigits(s, i);
    }
    if (digits == 0) return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        if (skipDigits(s, i) == 0) return std::nullopt;
    }
    if (i != s.size()) return std::nullopt;

    double value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(value))
        return std::nullopt;
    return negative ? -value : value;
}

std::optional<unsigned> parseClockField(std::string_view text, unsigned max) {
    std::string_view s = trimBlanks(text);
    if (s.empty() || s.size() > 4) return std::nullopt;
    unsigned value = 0;
    for (char c : s) {
        if (!isDigit(c)) return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > max) return std::nullopt;
    return value;
}

DateTime composeDateTime(DateTime day, unsigned hour, unsigned minute) {
    const DateTime time = encodeTime(hour, minute);
    return day < 0 ? day - time : day + time;
}

std::optional<DateTime> parseCalendarDay(std::string_view s) {
    int part[3] = {0, 0, 0};
    int digits[3] = {0, 0, 0};
    int k = 0;
    char sep = 0;
    for (char c : s) {
        if (c >= '0' && c <= '9') {
            if (++digits[k] > 4) return std::nullopt;
            part[k] = part[k] * 10 + (c - '0');
        } else if ((c == '/' || c == '-') && k < 2 && (sep == 0 || sep == c) && digits[k] > 0) {
            sep = c;
            ++k;
        } else {
            return std::nullopt;
        }
    }
    if (k != 2 || digits[2] == 0 || digits[1] > 2 || digits[2] > 2) return std::nullopt;
    if (!isValidDate(part[0], unsigned(part[1]), unsigned(part[2]))) return std::nullopt;
    return encodeDate(part[0], unsigned(part[1]), unsigned(part[2]));
}

}  // namespace quil::store
