#include "CsvWriter.h"

#include <cstdint>
#include <cstring>

namespace quil::store {

std::vector<std::size_t> linesCp932CannotHold(std::size_t rows,
                                              const std::function<std::string(std::size_t)>& rowText,
                                              std::size_t most) {
    std::vector<std::size_t> lines;
    for (std::size_t i = 0; i < rows && lines.size() < most; ++i)
        if (!toCp932Exact(rowText(i))) lines.push_back(i + 2);
    return lines;
}

bool CsvWriter::needsQuotes(std::string_view bytes) {
    // The four characters all lie below '-'; most fields have no byte that low at all,
    // which eight bytes at a time (a byte below n sets its top bit in (x - n) & ~x) finds
    // quickly.
    constexpr std::uint64_t kOnes = 0x0101010101010101u, kTops = 0x8080808080808080u;
    const char* p = bytes.data();
    const char* end = p + bytes.size();
    bool low = false;
    for (; end - p >= 8 && !low; p += 8) {
        std::uint64_t x;
        std::memcpy(&x, p, 8);
        low = ((x - kOnes * '-') & ~x & kTops) != 0;
    }
    for (; p < end && !low; ++p) low = static_cast<unsigned char>(*p) < '-';
    if (!low) return false;
    for (char c : bytes)
        if (c == ',' || c == '"' || c == '\r' || c == '\n') return true;
    return false;
}

bool CsvWriter::needsFormulaGuard(std::string_view bytes) {
    while (!bytes.empty() && bytes.front() == '\'') bytes.remove_prefix(1);
    if (bytes.empty()) return false;
    switch (bytes.front()) {
        case '=':
        case '+':
        case '-':
        case '@':
        case '\t':
        case '\r': return true;
        default: return false;
    }
}

std::string CsvWriter::formulaGuarded(std::string_view bytes) {
    if (!needsFormulaGuard(bytes)) return std::string(bytes);
    std::string guarded;
    guarded.reserve(bytes.size() + 1);
    guarded += '\'';
    guarded += bytes;
    return guarded;
}

std::string_view CsvWriter::withoutFormulaGuard(std::string_view bytes) {
    if (bytes.size() > 1 && bytes.front() == '\'' && needsFormulaGuard(bytes.substr(1)))
        bytes.remove_prefix(1);
    return bytes;
}

void CsvWriter::quoteFrom(std::size_t start) {
    const std::string bytes = buf_.substr(start);
    buf_.resize(start);
    buf_ += '"';
    for (char c : bytes) {
        if (c == '"') buf_ += '"';
        buf_ += c;
    }
    buf_ += '"';
}

void CsvWriter::field(std::string_view bytes) {
    fieldFrom([&](std::string& out) { out += bytes; });
}

void CsvWriter::textField(std::string_view bytes) {
    if (!needsFormulaGuard(bytes)) return field(bytes);
    fieldFrom([&](std::string& out) {
        out += '\'';
        out += bytes;
    });
}

void CsvWriter::startFile(TextEncoding encoding) {
    if (encoding == TextEncoding::Utf8) buf_ += "\xEF\xBB\xBF";
}

void CsvWriter::endRow() {
    buf_ += "\r\n";
    rowStarted_ = false;
}

std::string CsvWriter::take() {
    std::string out = std::move(buf_);
    buf_.clear();
    return out;
}

}  // namespace quil::store
