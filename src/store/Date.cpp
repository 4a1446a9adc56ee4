#include "Date.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>

namespace quil::store {
namespace {

using namespace std::chrono;

// 1899-12-30 as days since 1970-01-01.
constexpr int kEpochOffset = -25569;

std::function<DateTime()>& clockOverride() {
    static std::function<DateTime()> f;
    return f;
}

}  // namespace

DateTime encodeDate(int y, unsigned m, unsigned d) {
    sys_days sd{year{y} / month{m} / day{d}};
    return static_cast<DateTime>(sd.time_since_epoch().count() - kEpochOffset);
}

DateTime encodeTime(unsigned hour, unsigned minute, unsigned second) {
    return (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
}

bool isValidDate(int y, unsigned m, unsigned d) {
    return y >= 1 && y <= 9999 && year_month_day{year{y} / month{m} / day{d}}.ok();
}

CivilDate decodeDate(DateTime dt) {
    // Damaged files may hold any double: keep it within 0001-01-01 .. 9999-12-31.
    constexpr double kFirst = -693593.0, kLast = 2958465.0;
    if (!(dt >= kFirst)) dt = std::isnan(dt) ? 0.0 : kFirst;
    if (dt > kLast + 0.99999) dt = kLast;
    auto days = static_cast<long>(std::floor(dt + 1e-9));
    // A negative day count with a time of day belongs to the day toward zero in the
    // Windows representation (-1.25 is 1899-12-29 06:00).
    if (dt < 0 && dt != std::floor(dt)) days = static_cast<long>(std::ceil(dt));
    year_month_day ymd{sys_days{std::chrono::days{days + kEpochOffset}}};
    return {static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
            static_cast<unsigned>(ymd.day())};
}

void decodeTime(DateTime dt, unsigned& hour, unsigned& minute) {
    long minutes = 0;
    if (std::fabs(dt) < 4e15) {
        // The same rounding by integer conversions, exact below 2^53: the library's
        // trunc and llround are calls that show when a million rows are written.
        const auto whole = static_cast<std::int64_t>(dt);
        const double scaled = std::fabs(dt - static_cast<double>(whole)) * 1440.0;
        minutes = static_cast<long>(scaled);
        if (scaled - static_cast<double>(minutes) >= 0.5) ++minutes;
    } else {
        minutes = static_cast<long>(std::llround(std::fabs(dt - std::trunc(dt)) * 1440.0));
    }
    if (minutes >= 1440) minutes = 1439;
    hour = static_cast<unsigned>(minutes / 60);
    minute = static_cast<unsigned>(minutes % 60);
}

DateTime dateOnly(DateTime d) {
    CivilDate c = decodeDate(d);
    return encodeDate(c.year, c.month, c.day);
}

std::string formatDate(DateTime d) {
    CivilDate c = decodeDate(d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d/%02u/%02u", c.year, c.month, c.day);
    return buf;
}

std::string formatTime(DateTime d) {
    unsigned h = 0, m = 0;
    decodeTime(d, h, m);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02u:%02u", h, m);
    return buf;
}

DateTime now() {
    if (clockOverride()) return clockOverride()();
    std::time_t t = std::time(nullptr);
    std::tm lt{};
    localtime_r(&t, &lt);
    return encodeDate(lt.tm_year + 1900, static_cast<unsigned>(lt.tm_mon + 1),
                      static_cast<unsigned>(lt.tm_mday)) +
           encodeTime(static_cast<unsigned>(lt.tm_hour), static_cast<unsigned>(lt.tm_min),
                      static_cast<unsigned>(lt.tm_sec));
}

DateTime today() { return dateOnly(now()); }

void setClockForTesting(std::function<DateTime()> clock) { clockOverride() = std::move(clock); }

DateTime correctTwoDigitYear(DateTime d) {
    CivilDate c = decodeDate(d);
    if (c.year >= 100) return d;
    int y = c.year <= 69 ? c.year + 2000 : c.year + 1900;
    return encodeDate(y, c.month, c.day);
}

}  // namespace quil::store
