#include "ui/components/DisplayPattern.h"

#include <QStringList>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace quil::ui {

namespace {

struct Section {
    QString prefix;
    QString suffix;
    int minInt = 0;   // '0' placeholders before the decimal point
    int minFrac = 0;  // '0' placeholders after it
    int maxFrac = 0;  // all placeholders after it
    bool thousands = false;
    bool hasDigits = false;
};

// Splits at ';' outside quotes.
QStringList splitSections(const QString& pattern) {
    QStringList parts;
    QString cur;
    QChar quote;
    for (QChar ch : pattern) {
        if (!quote.isNull()) {
            if (ch == quote) quote = QChar();
        } else if (ch == u'"' || ch == u'\'') {
            quote = ch;
        } else if (ch == u';') {
            parts.append(cur);
            cur.clear();
            continue;
        }
        cur.append(ch);
    }
    parts.append(cur);
    return parts;
}

Section parseSection(const QString& s) {
    Section sec;
    bool inNumber = false;
    bool afterPoint = false;
    bool numberDone = false;
    QChar quote;
    for (QChar ch : s) {
        if (!quote.isNull()) {
            if (ch == quote) {
                quote = QChar();
            } else {
                (inNumber || numberDone ? sec.suffix : sec.prefix).append(ch);
            }
            continue;
        }
        if (ch == u'"' || ch == u'\'') {
            quote = ch;
            if (inNumber) {
                inNumber = false;
                numberDone = true;
            }
            continue;
        }
        const bool placeholder = ch == u'0' || ch == u'#';
        const bool numberSign = placeholder || ch == u'.' || ch == u',';
        if (numberSign && !numberDone) {
            inNumber = true;
            if (placeholder) {
                sec.hasDigits = true;
                if (afterPoint) {
                    ++sec.maxFrac;
                    if (ch == u'0') sec.minFrac = sec.maxFrac;
                } else if (ch == u'0') {
                    ++sec.minInt;
                }
            } else if (ch == u'.') {
                afterPoint = true;
            } else if (!afterPoint) {
                sec.thousands = true;
            }
            continue;
        }
        if (inNumber) {
            inNumber = false;
            numberDone = true;
        }
        (numberDone ? sec.suffix : sec.prefix).append(ch);
    }
    return sec;
}

// Integer and fraction digits of |value| rounded to `decimals` places, half away from zero
// on its 15-significant-digit decimal form.
void roundedDigits(double value, int decimals, std::string& intPart, std::string& fracPart) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
    std::string digits;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9') digits.push_back(*p);
    }
    int exp10 = std::atoi(p + 1);  // value = 0.digits * 10^(exp10 + 1)
    if (digits.find_first_not_of('0') == std::string::npos) exp10 = 0;
    int keep = exp10 + 1 + decimals;
    if (keep < 0) {
        digits.clear();
        keep = 0;
    } else if (keep < int(digits.size())) {
        const bool up = digits[keep] >= '5';
        digits.resize(keep);
        if (up) {
            int i = keep - 1;
            while (i >= 0 && digits[i] == '9') digits[i--] = '0';
            if (i >= 0) {
                ++digits[i];
            } else {
                digits.insert(digits.begin(), '1');
                ++exp10;
            }
        }
    }
    const int intDigits = exp10 + 1;
    intPart.clear();
    fracPart.clear();
    for (int i = 0; i < intDigits; ++i) intPart.push_back(i < int(digits.size()) ? digits[i] : '0');
    for (int i = 0; i < decimals; ++i) {
        const int k = intDigits + i;
        fracPart.push_back(k >= 0 && k < int(digits.size()) ? digits[k] : '0');
    }
    const auto nz = intPart.find_first_not_of('0');
    intPart = nz == std::string::npos ? std::string() : intPart.substr(nz);
}

QString formatSection(double value, const Section& sec, bool minus) {
    if (!sec.hasDigits) return sec.prefix + sec.suffix;
    std::string ip, fp;
    roundedDigits(value, sec.maxFrac, ip, fp);
    while (int(fp.size()) > sec.minFrac && fp.back() == '0') fp.pop_back();
    if (int(ip.size()) < sec.minInt) ip.insert(0, std::string(sec.minInt - ip.size(), '0'));
    if (sec.thousands && ip.size() > 3) {
        std::string grouped;
        const int n = int(ip.size());
        for (int i = 0; i < n; ++i) {
            if (i > 0 && (n - i) % 3 == 0) grouped.push_back(',');
            grouped.push_back(ip[i]);
        }
        ip = grouped;
    }
    const bool zero = ip.find_first_not_of("0,") == std::string::npos &&
                      fp.find_first_not_of('0') == std::string::npos;
    QString number = QString::fromLatin1(ip.data(), qsizetype(ip.size()));
    if (!fp.empty()) number += u'.' + QString::fromLatin1(fp.data(), qsizetype(fp.size()));
    return sec.prefix + (minus && !zero ? QStringLiteral("-") : QString()) + number + sec.suffix;
}

}  // namespace

std::optional<double> parseDecimalText(const QString& text) {
    std::string s = text.trimmed().toStdString();
    if (!s.empty() && s.front() == '+') s.erase(0, 1);
    if (s.empty()) return std::nullopt;
    for (char c : s) {
        // from_chars also takes "inf", "nan" and hex forms; a cell text is plain decimal.
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == 'e' ||
              c == 'E' || c == '+')) {
            return std::nullopt;
        }
    }
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

QString formatWithPattern(double value, const QString& pattern) {
    const QStringList sections = splitSections(pattern);
    if (value == 0 && sections.size() >= 3 && !sections[2].isEmpty()) {
        return formatSection(0, parseSection(sections[2]), false);
    }
    if (value < 0 && sections.size() >= 2 && !sections[1].isEmpty()) {
        return formatSection(-value, parseSection(sections[1]), false);
    }
    return formatSection(value, parseSection(sections[0]), value < 0);
}

QString applyDisplayPattern(const QString& text, const QString& pattern) {
    if (text.isEmpty() || pattern.isEmpty()) return text;
    const auto v = parseDecimalText(text);
    return v ? formatWithPattern(*v, pattern) : text;
}

}  // namespace quil::ui
