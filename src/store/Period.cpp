#include "Period.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <limits>
#include <optional>

#include "Settings.h"
#include "StoreError.h"

namespace quil::store {
namespace {

using namespace std::chrono;

constexpr std::array<PeriodKindInfo, kPeriodKindCount> kKinds{{
    {0, "全て", 0},
    {1, "年", 0},
    {2, "年度", 0},
    {3, "半期", 2},
    {4, "4半期", 4},
    {5, "月", 12},
}};

// Byte length of the first `count` UTF-8 characters of `s` (all of it when shorter).
std::size_t utf8Prefix(std::string_view s, std::size_t count) {
    std::size_t i = 0;
    for (std::size_t n = 0; n < count && i < s.size(); ++n) {
        ++i;
        while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
    }
    return i;
}

// A decimal integer with an optional sign and nothing else.
std::optional<int> parseDecimal(std::string_view s) {
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty()) return std::nullopt;
    long long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
        if (v > std::numeric_limits<int>::max()) return std::nullopt;
    }
    return static_cast<int>(negative ? -v : v);
}

std::string periodKeyName(int kind) { return "[Item] Time" + std::to_string(kind); }

DateTime day(int y, unsigned m, unsigned d) { return encodeDate(y, m, d); }

DateTime lastOfMonth(int y, unsigned m) {
    year_month_day_last last{year{y} / month{m} / std::chrono::last};
    return encodeDate(y, m, static_cast<unsigned>(last.day()));
}

PeriodRange storedRange(const Settings& settings, int kind) {
    const StoredPeriod p =
        parseStoredPeriod(kind, settings.storedPeriod(kind), decodeDate(today()).year);
    return periodRange(kind, p.year, p.subIndex);
}

}  // namespace

const PeriodKindInfo& periodKindInfo(int kind) {
    return (kind >= 0 && kind < kPeriodKindCount) ? kKinds[static_cast<std::size_t>(kind)]
                                                  : kKinds[0];
}

StoredPeriod parseStoredPeriod(int kind, std::string_view text, int currentYear) {
    StoredPeriod p;
    if (text.empty()) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%04d", currentYear);
        p.yearText = buf;
        p.year = currentYear;
        return p;
    }
    const std::size_t yearBytes = utf8Prefix(text, 4);
    p.yearText = std::string(text.substr(0, yearBytes));
    std::optional<int> year = parseDecimal(p.yearText);
    if (!year)
        throw ConversionError("表示期間の年「" + p.yearText +
                              "」が数値ではありません。(Quil.ini の " + periodKeyName(kind) + ")");
    if (*year < 1 || *year > 9998)
        throw ConversionError("表示期間の年「" + p.yearText + "」が範囲外です。(Quil.ini の " +
                              periodKeyName(kind) + ")");
    p.year = *year;

    std::string_view rest = text.substr(yearBytes);
    if (kind >= 3 && kind <= 5 && !rest.empty()) {
        std::optional<int> sub = parseDecimal(rest);
        if (!sub)
            throw ConversionError("表示期間の区分「" + std::string(rest) +
                                  "」が数値ではありません。(Quil.ini の " + periodKeyName(kind) +
                                  ")");
        p.subIndex = *sub;
    }
    return p;
}

bool repairStoredPeriod(Settings& settings, int kind, int currentYear) {
    if (kind < 1 || kind > 5) return false;
    try {
        const StoredPeriod p = parseStoredPeriod(kind, settings.storedPeriod(kind), currentYear);
        periodRange(kind, p.year, p.subIndex);
        return false;
    } catch (const ConversionError&) {
        settings.setStoredPeriod(kind, parseStoredPeriod(kind, {}, currentYear).yearText);
        return true;
    }
}

PeriodRange periodRange(int kind, int y, int sub) {
    const int count = periodKindInfo(kind).subIndexCount;
    if ((kind == 4 || kind == 5) && (sub < 0 || sub >= count))
        throw ConversionError("表示期間の区分 " + std::to_string(sub) + " が範囲外です。(" +
                              periodKindInfo(kind).name + ")");
    if (kind >= 1 && kind <= 5 && (y < 1 || y > 9998))
        throw ConversionError("表示期間の年 " + std::to_string(y) + " が範囲外です。");
    switch (kind) {
        case 1: return {day(y, 1, 1), day(y, 12, 31)};
        case 2: return {day(y, 4, 1), day(y + 1, 3, 31)};
        case 3:
            if (sub == 0) return {day(y, 4, 1), day(y, 9, 30)};
            return {day(y, 10, 1), day(y + 1, 3, 31)};
        case 4: {
            const auto firstMonth = static_cast<unsigned>(sub * 3 + 1);
            return {day(y, firstMonth, 1), lastOfMonth(y, firstMonth + 2)};
        }
        case 5: {
            const auto m = static_cast<unsigned>(sub + 1);
            return {day(y, m, 1), lastOfMonth(y, m)};
        }
        default: return {day(1, 1, 1), day(9999, 12, 31)};
    }
}

DateTime periodBoundary(const Settings& settings, int kind, int whichEnd) {
    const PeriodRange r = storedRange(settings, kind);
    return whichEnd == 0 ? r.first : r.last;
}

std::string periodLabel(const Settings& settings, int kind, int subIndex,
                        std::string_view yearText) {
    if (kind < 1 || kind > 5) return "全て";
    std::string label = std::string(yearText) + "年";
    switch (kind) {
        case 2: label += "度"; break;
        case 3: label += subIndex == 0 ? "上期" : "下期"; break;
        case 4: label += std::to_string(subIndex + 1) + "/4期"; break;
        case 5: label += std::to_string(subIndex + 1) + "月"; break;
        default: break;
    }
    const PeriodRange r = storedRange(settings, kind);
    return label + "　(" + formatDate(r.first) + "～" + formatDate(r.last) + ")";
}

PeriodFilter::PeriodFilter(int kind, const PeriodRange& range)
    : all_(kind < 1 || kind > 5), first_(std::trunc(range.first)), last_(std::trunc(range.last)) {}

PeriodFilter PeriodFilter::load(const Settings& settings, int kind) {
    if (kind < 1 || kind > 5) return PeriodFilter();
    return PeriodFilter(kind, storedRange(settings, kind));
}

}  // namespace quil::store
