#include "CsvWriter.h"

#include "Codec.h"

namespace quil::store {

void CsvWriter::field(std::string_view utf8) {
    if (rowStarted_) buf_ += ',';
    rowStarted_ = true;
    if (utf8.find_first_of(",\"\r\n") == std::string_view::npos) {
        buf_ += utf8;
        return;
    }
    buf_ += '"';
    for (char c : utf8) {
        if (c == '"') buf_ += '"';
        buf_ += c;
    }
    buf_ += '"';
}

void CsvWriter::endRow() {
    buf_ += "\r\n";
    rowStarted_ = false;
}

std::string CsvWriter::take(CsvEncoding encoding) {
    std::string out = encoding == CsvEncoding::Cp932 ? toCp932(buf_) : std::move(buf_);
    buf_.clear();
    return out;
}

}  // namespace quil::store
