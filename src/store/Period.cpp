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

using K = PeriodKind;

constexpr std::array<PeriodKindInfo, kPeriodKindCount> kKinds{{
    {K::All, "全て", 0},
    {K::Year, "年", 0},
    {K::FiscalYear, "年度", 0},
    {K::FiscalHalf, "半期", 2},
    {K::Quarter, "4半期", 4},
    {K::Month, "月", 12},
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

std::string periodKeyName(PeriodKind kind) {
    return "[Item] Time" + std::to_string(storedNumber(kind));
}

DateTime day(int y, unsigned m, unsigned d) { return encodeDate(y, m, d); }

DateTime lastOfMonth(int y, unsigned m) {
    year_month_day_last last{year{y} / month{m} / std::chrono::last};
    return encodeDate(y, m, static_cast<unsigned>(last.day()));
}

PeriodRange storedRange(const Settings& settings, PeriodKind kind) {
    const StoredPeriod p =
        parseStoredPeriod(kind, settings.storedPeriod(kind), decodeDate(today()).year);
    return periodRange(kind, p.year, p.subIndex);
}

}  // namespace

const PeriodKindInfo& periodKindInfo(PeriodKind kind) {
    return kKinds[static_cast<std::size_t>(storedNumber(kind))];
}

PeriodPosition periodHolding(PeriodKind kind, DateTime day) {
    constexpr unsigned kApril = 4, kSeptember = 9, kMonthsAQuarter = 3;
    const CivilDate d = decodeDate(day);
    PeriodPosition p;
    p.year = isFiscal(kind) && d.month < kApril ? d.year - 1 : d.year;
    switch (kind) {
        case K::FiscalHalf: p.subIndex = d.month >= kApril && d.month <= kSeptember ? 0 : 1; break;
        case K::Quarter: p.subIndex = int((d.month - 1) / kMonthsAQuarter); break;
        case K::Month: p.subIndex = int(d.month - 1); break;
        case K::All:
        case K::Year:
        case K::FiscalYear: break;
    }
    return p;
}

const std::vector<FlatPeriodEntry>& flatPeriodList() {
    static const std::vector<FlatPeriodEntry> list = [] {
        std::vector<FlatPeriodEntry> l = {{K::All, 0, "全て"},
                                          {K::Year, 0, "年"},
                                          {K::FiscalYear, 0, "年度"},
                                          {K::FiscalHalf, 0, "年度　上期"},
                                          {K::FiscalHalf, 1, "年度　下期"}};
        for (int q = 0; q < periodKindInfo(K::Quarter).subIndexCount; ++q)
            l.push_back({K::Quarter, q, "年" + std::to_string(q + 1) + "/4期"});
        for (int m = 0; m < periodKindInfo(K::Month).subIndexCount; ++m)
            l.push_back({K::Month, m, "年" + std::to_string(m + 1) + "月"});
        return l;
    }();
    return list;
}

StoredPeriod parseStoredPeriod(PeriodKind kind, std::string_view text, int currentYear) {
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
    if (hasSubIndex(kind) && !rest.empty()) {
        std::optional<int> sub = parseDecimal(rest);
        if (!sub)
            throw ConversionError("表示期間の区分「" + std::string(rest) +
                                  "」が数値ではありません。(Quil.ini の " + periodKeyName(kind) +
                                  ")");
        p.subIndex = *sub;
    }
    return p;
}

bool repairStoredPeriod(Settings& settings, PeriodKind kind, int currentYear) {
    if (!hasStoredPeriod(kind)) return false;
    try {
        const StoredPeriod p = parseStoredPeriod(kind, settings.storedPeriod(kind), currentYear);
        periodRange(kind, p.year, p.subIndex);
        return false;
    } catch (const ConversionError&) {
        settings.setStoredPeriod(kind, parseStoredPeriod(kind, {}, currentYear).yearText);
        return true;
    }
}

PeriodRange periodRange(PeriodKind k, int y, int sub) {
    const int count = periodKindInfo(k).subIndexCount;
    if ((k == K::Quarter || k == K::Month) && (sub < 0 || sub >= count))
        throw ConversionError("表示期間の区分 " + std::to_string(sub) + " が範囲外です。(" +
                              periodKindInfo(k).name + ")");
    if (hasStoredPeriod(k) && (y < 1 || y > 9998))
        throw ConversionError("表示期間の年 " + std::to_string(y) + " が範囲外です。");
    switch (k) {
        case K::Year: return {day(y, 1, 1), day(y, 12, 31)};
        case K::FiscalYear: return {day(y, 4, 1), day(y + 1, 3, 31)};
        case K::FiscalHalf:
            if (sub == 0) return {day(y, 4, 1), day(y, 9, 30)};
            return {day(y, 10, 1), day(y + 1, 3, 31)};
        case K::Quarter: {
            const auto firstMonth = static_cast<unsigned>(sub * 3 + 1);
            return {day(y, firstMonth, 1), lastOfMonth(y, firstMonth + 2)};
        }
        case K::Month: {
            const auto m = static_cast<unsigned>(sub + 1);
            return {day(y, m, 1), lastOfMonth(y, m)};
        }
        case K::All: break;
    }
    return {day(1, 1, 1), day(9999, 12, 31)};
}

DateTime periodBoundary(const Settings& settings, PeriodKind kind, int whichEnd) {
    const PeriodRange r = storedRange(settings, kind);
    return whichEnd == 0 ? r.first : r.last;
}

std::string periodLabel(const Settings& settings, PeriodKind kind, int subIndex,
                        std::string_view yearText) {
    if (!hasStoredPeriod(kind)) return "全て";
    std::string label = std::string(yearText) + "年";
    switch (kind) {
        case K::FiscalYear: label += "度"; break;
        case K::FiscalHalf: label += subIndex == 0 ? "上期" : "下期"; break;
        case K::Quarter: label += std::to_string(subIndex + 1) + "/4期"; break;
        case K::Month: label += std::to_string(subIndex + 1) + "月"; break;
        case K::All:
        case K::Year: break;
    }
    const PeriodRange r = storedRange(settings, kind);
    return label + "　(" + formatDate(r.first) + "～" + formatDate(r.last) + ")";
}

PeriodFilter::PeriodFilter(PeriodKind kind, const PeriodRange& range)
    : all_(!hasStoredPeriod(kind)),
      first_(std::trunc(range.first)),
      last_(std::trunc(range.last)) {}

PeriodFilter PeriodFilter::load(const Settings& settings, PeriodKind kind) {
    if (!hasStoredPeriod(kind)) return PeriodFilter();
    return PeriodFilter(kind, storedRange(settings, kind));
}

}  // namespace quil::store
