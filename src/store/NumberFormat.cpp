#include "NumberFormat.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace quil::store {

std::string formatOneDecimal(double value) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
    // 15 significant digits: d.dddddddddddddde±x
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.14e", value);
    const char* p = buf;
    bool negative = *p == '-';
    if (negative) ++p;
    std::string digits;
    for (; *p && *p != 'e'; ++p)
        if (*p != '.') digits += *p;
    const int exponent = std::atoi(p + 1);

    // Keep the digits down to the first decimal: exponent + 2 of them.
    const int keep = exponent + 2;
    std::string tenths;  // the value times ten, rounded, as decimal digits
    if (keep >= static_cast<int>(digits.size())) {
        tenths = digits + std::string(static_cast<std::size_t>(keep) - digits.size(), '0');
    } else if (keep >= 0) {
        tenths = digits.substr(0, static_cast<std::size_t>(keep));
        if (digits[static_cast<std::size_t>(keep)] >= '5') {
            int i = static_cast<int>(tenths.size()) - 1;
            for (; i >= 0 && tenths[static_cast<std::size_t>(i)] == '9'; --i)
                tenths[static_cast<std::size_t>(i)] = '0';
            if (i >= 0)
                ++tenths[static_cast<std::size_t>(i)];
            else
                tenths.insert(tenths.begin(), '1');
        }
    }
    const auto first = tenths.find_first_not_of('0');
    if (first == std::string::npos) return "0.0";
    tenths.erase(0, first);
    if (tenths.size() < 2) tenths.insert(tenths.begin(), '0');
    std::string out = negative ? "-" : "";
    out += tenths.substr(0, tenths.size() - 1);
    out += '.';
    out += tenths.back();
    return out;
}

}  // namespace quil::store
