#include "CsvWriter.h"

namespace quil::store {

bool CsvWriter::needsQuotes(std::string_view bytes) {
    // The four characters all lie below '-'; most fields have no byte that low at all,
    // which a branch-free pass over the field finds quickly.
    bool low = false;
    for (char c : bytes) low |= static_cast<unsigned char>(c) < static_cast<unsigned char>('-');
    if (!low) return false;
    for (char c : bytes)
        if (c == ',' || c == '"' || c == '\r' || c == '\n') return true;
    return false;
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
