#include "CsvWriter.h"

namespace quil::store {

bool CsvWriter::needsQuotes(std::string_view bytes) {
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
