#include "NumberFormat.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace quil::store {

char* writeNearTenths(char* p, double value) {
    if (!(std::fabs(value) < 1e9)) return nullptr;
    // Any whole number within a thousandth of the tenths is their nearest, so the rounding
    // here needs no care at halves (those fail the test); it avoids a library call.
    const double tenths = value * 10.0;
    const auto nearest = static_cast<std::int64_t>(tenths + (tenths < 0 ? -0.5 : 0.5));
    if (!(std::fabs(tenths - static_cast<double>(nearest)) < 1e-3)) return nullptr;
    if (nearest == 0) {
        std::memcpy(p, "0.0", 3);
        return p + 3;
    }
    if (nearest < 0) *p++ = '-';
    const auto whole = static_cast<std::uint64_t>(nearest < 0 ? -nearest : nearest);
    p = std::to_chars(p, p + 12, whole / 10).ptr;
    p[0] = '.';
    p[1] = char('0' + whole % 10);
    return p + 2;
}

namespace {

bool appendNearTenths(std::string& out, double value) {
    char buf[16];
    char* end = writeNearTenths(buf, value);
    if (!end) return false;
    out.append(buf, std::size_t(end - buf));
    return true;
}

}  // namespace

void appendOneDecimal(std::string& out, double value) {
    if (appendNearTenths(out, value)) return;
    if (std::isnan(value)) {
        out += "NAN";
        return;
    }
    if (std::isinf(value)) {
        out += value > 0 ? "INF" : "-INF";
        return;
    }
    // 15 significant digits: d.dddddddddddddde±x
    char buf[40];
    const char* end =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14).ptr;
    const char* p = buf;
    const bool negative = *p == '-';
    if (negative) ++p;
    char digits[16];
    int count = 0;
    for (; p < end && *p != 'e'; ++p)
        if (*p != '.') digits[count++] = *p;
    int exponent = 0;
    if (p < end && p[1] == '+') ++p;
    std::from_chars(p + 1, end, exponent);

    // Keep the digits down to the first decimal: exponent + 2 of them.
    const int keep = exponent + 2;
    char tenths[330];  // the value times ten, rounded, as decimal digits
    int n = 0;
    if (keep >= count) {
        for (int i = 0; i < count; ++i) tenths[n++] = digits[i];
        while (n < keep) tenths[n++] = '0';
    } else if (keep >= 0) {
        for (int i = 0; i < keep; ++i) tenths[n++] = digits[i];
        if (digits[keep] >= '5') addOneToDigits(tenths, n);
    }
    int first = 0;
    while (first < n && tenths[first] == '0') ++first;
    if (first == n) {
        out += "0.0";
        return;
    }
    if (negative) out += '-';
    if (n - first < 2) {
        out += '0';
    } else {
        out.append(tenths + first, std::size_t(n - first - 1));
    }
    out += '.';
    out += tenths[n - 1];
}

std::string formatOneDecimal(double value) {
    std::string out;
    appendOneDecimal(out, value);
    return out;
}

void addOneToDigits(char* digits, int& count) {
    int i = count - 1;
    for (; i >= 0 && digits[i] == '9'; --i) digits[i] = '0';
    if (i >= 0) {
        ++digits[i];
        return;
    }
    std::memmove(digits + 1, digits, std::size_t(count));
    digits[0] = '1';
    ++count;
}

std::string withThousands(std::int64_t value) {
    const std::string digits = std::to_string(value < 0 ? -value : value);
    std::string out = value < 0 ? "-" : "";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

}  // namespace quil::store
